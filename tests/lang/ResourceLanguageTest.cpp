// Reads this executable's own compiled resources (the program's .rc, linked in) per
// language, exactly as the language blocks hold them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "OpcUiText.h"
#include "UiLanguage.h"
#include "resource.h"

namespace {

const LANGID kZh = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const LANGID kEn = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

HMODULE Self() {
  return ::GetModuleHandleW(nullptr);
}

// Named functions, not lambdas: the 32-bit build needs the callbacks' stdcall convention.
BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR p) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<UINT>*>(p)->push_back(LOWORD(reinterpret_cast<UINT_PTR>(name)));
  return TRUE;
}
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR p) {
  reinterpret_cast<std::set<LANGID>*>(p)->insert(lang);
  return TRUE;
}
INT_PTR CALLBACK InertDialog(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

// Every (numbered) resource name of a type, with the languages each has.
std::map<UINT, std::set<LANGID>> Languages(LPCWSTR type) {
  std::map<UINT, std::set<LANGID>> out;
  std::vector<UINT> names;
  ::EnumResourceNamesW(Self(), type, CollectName, reinterpret_cast<LONG_PTR>(&names));
  for (UINT name : names) {
    ::EnumResourceLanguagesW(Self(), type, MAKEINTRESOURCEW(name), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&out[name]));
  }
  return out;
}

// Every string of one language, by id.
std::map<UINT, std::wstring> Strings(LANGID lang) {
  std::map<UINT, std::wstring> out;
  for (const auto& [block, langs] : Languages(RT_STRING)) {
    if (!langs.count(lang)) continue;
    for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
      std::wstring text;
      if (LoadLangString(Self(), id, lang, text)) out[id] = text;
    }
  }
  return out;
}

// The % fields of a text: numbered ones in any order, printf ones in order.
std::wstring Fields(const std::wstring& s) {
  std::vector<std::wstring> numbered;
  std::wstring printf;
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] != L'%') continue;
    if (s[i + 1] == L'%') {
      ++i;
    } else if (iswdigit(s[i + 1])) {
      numbered.push_back(s.substr(i, 2));
      ++i;
    } else {
      size_t j = i + 1;
      while (j < s.size() && !iswalpha(s[j])) ++j;
      while (j < s.size() && (s[j] == L'l' || s[j] == L'h')) ++j;
      printf += s.substr(i, j + 1 - i) + L" ";
      i = j;
    }
  }
  std::sort(numbered.begin(), numbered.end());
  std::wstring out;
  for (const std::wstring& n : numbered) out += n + L" ";
  return out + L"| " + printf;
}

// CJK in an English text is a text left untranslated; "中文" is the language's own name.
bool HasChinese(std::wstring s) {
  for (size_t p; (p = s.find(L"中文")) != std::wstring::npos;) s.erase(p, 2);
  return std::any_of(s.begin(), s.end(), [](wchar_t c) { return c >= 0x2E80 && c <= 0x9FFF; });
}

// A menu as a line: "id,id,[id,id],..." (popups bracketed), and its texts.
void WalkMenu(HMENU h, std::wstring& shape, std::vector<std::wstring>& texts) {
  for (int i = 0; i < ::GetMenuItemCount(h); ++i) {
    wchar_t buf[256] = {};
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    mii.dwTypeData = buf;
    mii.cch = 256;
    ::GetMenuItemInfoW(h, static_cast<UINT>(i), TRUE, &mii);
    if (buf[0]) texts.push_back(buf);
    if (mii.hSubMenu) {
      shape += L"[";
      WalkMenu(mii.hSubMenu, shape, texts);
      shape += L"]";
    } else {
      shape += (mii.fType & MFT_SEPARATOR) ? L"-," : std::to_wstring(mii.wID) + L",";
    }
  }
}

const void* Resource(LPCWSTR type, UINT id, LANGID lang) {
  HRSRC r = ::FindResourceExW(Self(), type, MAKEINTRESOURCEW(id), lang);
  return r ? ::LockResource(::LoadResource(Self(), r)) : nullptr;
}

// A dialog's controls as "id:class," in template order, and its texts.
std::wstring DialogShape(UINT id, LANGID lang, std::vector<std::wstring>& texts) {
  // Child templates (the dialog bars) need a parent.
  HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
  HWND dlg = ::CreateDialogIndirectParamW(
      Self(), static_cast<LPCDLGTEMPLATEW>(Resource(RT_DIALOG, id, lang)), parent, InertDialog, 0);
  std::wstring shape;
  if (dlg) {
    wchar_t buf[256];
    ::GetWindowTextW(dlg, buf, 256);
    if (buf[0]) texts.push_back(buf);
    for (HWND c = ::GetWindow(dlg, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
      ::GetClassNameW(c, buf, 256);
      shape += std::to_wstring(::GetDlgCtrlID(c)) + L":" + buf + L",";
      ::GetWindowTextW(c, buf, 256);
      if (buf[0]) texts.push_back(buf);
    }
    ::DestroyWindow(dlg);
  } else {
    shape = L"(not created)";
  }
  ::DestroyWindow(parent);
  return shape;
}

std::string Narrow(const std::wstring& s) {
  std::string out(::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr),
                  0);
  ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, out.data(), static_cast<int>(out.size()),
                        nullptr, nullptr);
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace

// Every string in both languages, with the same % fields, and no Chinese left in English.
// The failure names every id at fault, so texts added in one language only show at once.
TEST(ResourceLanguageTest, EveryStringInBothLanguagesWithTheSameFields) {
  const std::map<UINT, std::wstring> zh = Strings(kZh), en = Strings(kEn);
  ASSERT_GT(zh.size(), 80u);
  std::ostringstream faults;
  for (const auto& [id, text] : zh) {
    auto it = en.find(id);
    if (it == en.end())
      faults << "string " << id << " has no English\n";
    else if (Fields(text) != Fields(it->second))
      faults << "string " << id << ": % fields differ: " << Narrow(text) << " / "
             << Narrow(it->second) << "\n";
  }
  for (const auto& [id, text] : en) {
    if (!zh.count(id)) faults << "string " << id << " has no Chinese\n";
    if (HasChinese(text)) faults << "string " << id << " is not English: " << Narrow(text) << "\n";
  }
  EXPECT_EQ("", faults.str());
}

// Every menu and dialog in both languages with the same commands and controls, English
// texts in the English ones; nothing of either type in a third language.
TEST(ResourceLanguageTest, EveryMenuAndDialogInBothLanguagesWithTheSameIds) {
  std::ostringstream faults;
  const std::set<LANGID> both = {kZh, kEn};
  size_t menus = 0, dialogs = 0;
  for (const auto& [id, langs] : Languages(RT_MENU)) {
    ++menus;
    if (langs != both) {
      faults << "menu " << id << " is not in exactly both languages\n";
      continue;
    }
    std::wstring shape[2];
    std::vector<std::wstring> texts[2];
    for (int i = 0; i < 2; ++i) {
      HMENU h = ::LoadMenuIndirectW(Resource(RT_MENU, id, i ? kEn : kZh));
      WalkMenu(h, shape[i], texts[i]);
      ::DestroyMenu(h);
    }
    if (shape[0] != shape[1]) faults << "menu " << id << " commands differ\n";
    for (const std::wstring& t : texts[1])
      if (HasChinese(t)) faults << "menu " << id << " is not English: " << Narrow(t) << "\n";
  }
  for (const auto& [id, langs] : Languages(RT_DIALOG)) {
    ++dialogs;
    if (langs != both) {
      faults << "dialog " << id << " is not in exactly both languages\n";
      continue;
    }
    std::vector<std::wstring> texts[2];
    const std::wstring zh = DialogShape(id, kZh, texts[0]), en = DialogShape(id, kEn, texts[1]);
    if (zh != en)
      faults << "dialog " << id << " controls differ: " << Narrow(zh) << " / " << Narrow(en)
             << "\n";
    for (const std::wstring& t : texts[1])
      if (HasChinese(t)) faults << "dialog " << id << " is not English: " << Narrow(t) << "\n";
  }
  EXPECT_GE(menus, 2u);
  EXPECT_GE(dialogs, 10u);
  EXPECT_EQ("", faults.str());
}

// The core's texts come by key from IDS_CORE_FIRST on: the Chinese table says exactly what the
// core says by itself, so a key and its id cannot slip apart.
TEST(ResourceLanguageTest, CoreTextsLineUpWithTheirIds) {
  for (unsigned k = 0; k < static_cast<unsigned>(OpcUiText::Count); ++k) {
    std::wstring zh, en;
    EXPECT_TRUE(LoadLangString(Self(), IDS_CORE_FIRST + k, kZh, zh)) << k;
    EXPECT_TRUE(LoadLangString(Self(), IDS_CORE_FIRST + k, kEn, en)) << k;
    EXPECT_EQ(OpcBuiltInText(static_cast<OpcUiText>(k)), zh) << "key " << k;
  }
  // Formatted texts: numbered arguments in any order, "%%" a percent sign.
  EXPECT_EQ(L"a 50% b", FormatPlaceholders(L"%2 50%% %1", {L"b", L"a"}));
}
