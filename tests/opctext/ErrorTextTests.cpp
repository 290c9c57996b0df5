#include <gtest/gtest.h>
#include <windows.h>

#include "OpcErrorText.h"
#include "OpcUiPorts.h"
#include "TextTestSupport.h"

namespace {

// The system's own text for a code, or empty.
std::wstring SystemText(DWORD code) {
  wchar_t buffer[260];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, 260, nullptr);
  return std::wstring(buffer, n);
}

constexpr DWORD kUnknownItem = 0xC0040007;  // OPC_E_UNKNOWNITEMID: the system has no text

struct Shown {
  OpcBoxOwner owner;
  std::wstring text, caption;
  UINT type;
  int count = 0;
};
Shown g_shown;

int CaptureBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
               UINT type) {
  g_shown = {owner, text, caption, type, g_shown.count + 1};
  return IDOK;
}

}  // namespace

TEST_F(SimTextTest, ErrorTextSystemFirstThenServer) {
  const std::wstring system = SystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_NE(L"", system);
  ASSERT_EQ(L"", SystemText(kUnknownItem));
  // One failing answer is queued: it is used only if the server is asked.
  ASSERT_EQ(S_OK, m_control->FailMethod(L"IOPCServer::GetErrorString", E_FAIL, FALSE));
  EXPECT_EQ(L"RegOpenKey:  " + system,
            GetErrorText(L"RegOpenKey: ", ERROR_FILE_NOT_FOUND, m_server.Get()));
  EXPECT_EQ(L"x " + SystemText(E_OUTOFMEMORY), GetErrorText(L"x", E_OUTOFMEMORY, m_server.Get()));
  EXPECT_EQ(L"p OPC Server failed GetErrorString.",
            GetErrorText(L"p", kUnknownItem, m_server.Get()));
  {
    TaskMemWatch watch;
    EXPECT_EQ(L"p The item is no longer available in the server address space.",
              GetErrorText(L"p", kUnknownItem, m_server.Get()));
    EXPECT_EQ(0u, watch.Outstanding()) << "the server's text was not freed";
  }
  EXPECT_EQ(L"MultiQI:  Unknown Error.", GetErrorText(L"MultiQI: ", kUnknownItem, nullptr));
}

TEST(ErrorText, EveryRpcAndComCodeAClientMeetsHasAText) {
  // The platform's text where it has one (what Wine has is kept), ours where it has none.
  for (DWORD code : {0x80010108u, 0x80010007u, 0x80010012u, 0x800401FDu, 0x800706BAu, 0x800706BEu,
                     0x800706BFu, 0x80070776u, 0x80010002u, 0x8001011Fu, 0x80010001u, 0x8001010Au,
                     0x80080005u, 0x80040154u, 0x800401F3u, 0x80004002u, 0x8000FFFFu}) {
    const std::wstring text = SystemErrorText(code);
    EXPECT_FALSE(text.empty()) << std::hex << code;
    EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\n")) << std::hex << code;
    std::wstring system = SystemText(code);
    while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r')) system.pop_back();
    const bool platform = !system.empty() && code != 0x80070776u;  // Wine's is wrong there
    if (platform) {
      EXPECT_EQ(system, text) << std::hex << code;
    }
    EXPECT_EQ(L"p " + (platform ? SystemText(code) : text), GetErrorText(L"p", code, nullptr))
        << std::hex << code;
  }
  EXPECT_EQ(L"The object exporter specified was not found.", SystemErrorText(0x80070776));
  EXPECT_EQ(L"", SystemErrorText(kUnknownItem));
}

TEST(ErrorText, ReportShowsOneOkBoxWithoutOwner) {
  g_shown = {};
  OpcMessageBoxFn previous = SetOpcMessageBox(CaptureBox);
  ReportError(L"连接OPC服务器'X'失败!\nCoCreateInstance:", kUnknownItem, nullptr);
  SetOpcMessageBox(previous);
  EXPECT_EQ(1, g_shown.count);
  EXPECT_EQ(OpcBoxOwner::None, g_shown.owner);
  EXPECT_EQ(L"连接OPC服务器'X'失败!\nCoCreateInstance: Unknown Error.", g_shown.text);
  EXPECT_EQ(L"Plover", g_shown.caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK), g_shown.type);
}
