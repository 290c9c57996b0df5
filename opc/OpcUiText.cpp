#include "OpcUiText.h"

#include <iterator>

namespace {
OpcTextSourceFn g_textSource = nullptr;

const wchar_t* const kBuiltInTexts[] = {
    L"不支持IDataObject\n",
    L"OPC Proxy dll 可能未注册!\n",
    L"连接OPC服务器'%1'失败!\nCoCreateInstance:",
    L"连接OPC服务器'%1'失败!\nCoCreateInstanceEx:",
    L"浏览树不完整: 服务器的地址空间过大或浏览出错",
    L"不是Plover工作区文件 (第一行应为 \"plover-workspace 1\")",
    L"由更新版本的Plover写成, 格式版本高于 %1",
    L"文件过大 (最多 %1 MB)",
    L"行过长 (最多 %1 字节)",
    L"不是有效的UTF-8文本, 或含有控制字符",
    L"未知的关键字 '%1'",
    L"'%1' 的值无效",
    L"'%1' 缺少值",
    L"'%1' 重复出现",
    L"'%1' 的位置不对 (服务器设置在前, 组在服务器之后, 项在组之后)",
    L"'%1' 与前面的重复",
    L"组过多 (最多 %1 个)",
    L"项过多 (最多 %1 个)",
    L"'%1' 的文字不能写入工作区 (空, 换行, 控制字符或无效的UTF-16)",
    L"第 %1 行: %2",
};
static_assert(std::size(kBuiltInTexts) == static_cast<size_t>(OpcUiText::Count));
}  // namespace

OpcTextSourceFn SetOpcTextSource(OpcTextSourceFn fn) {
  OpcTextSourceFn old = g_textSource;
  g_textSource = fn;
  return old;
}

const wchar_t* OpcBuiltInText(OpcUiText key) {
  const auto i = static_cast<size_t>(key);
  return i < std::size(kBuiltInTexts) ? kBuiltInTexts[i] : L"";
}

std::wstring OpcUiString(OpcUiText key, std::initializer_list<std::wstring> args) {
  std::wstring pattern = g_textSource ? g_textSource(key) : std::wstring();
  if (pattern.empty()) pattern = OpcBuiltInText(key);
  // Arguments by number, so a language may put them in its own order.
  std::wstring out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t d = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (pattern[i] == L'%' && d >= L'1' && d <= L'9') {
      const auto k = static_cast<size_t>(d - L'1');
      if (k < args.size()) out += *(args.begin() + k);
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}
