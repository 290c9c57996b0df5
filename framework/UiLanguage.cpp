#include "UiLanguage.h"

#include "Wnd.h"

namespace {
UiLanguage g_language = UiLanguage::Chinese;

HMODULE Program() {
  return ::GetModuleHandleW(nullptr);
}

// FindResourceEx may fall back to another language by itself; that is wanted here.
HRSRC FindIn(HMODULE h, LPCWSTR type, LPCWSTR name, UiLanguage lang) {
  return ::FindResourceExW(h, type, name, UiLanguageId(lang));
}
}  // namespace

LANGID UiLanguageId(UiLanguage lang) {
  return lang == UiLanguage::English ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                     : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
}

BOOL ParseUiLanguage(const std::wstring& code, UiLanguage& lang) {
  if (::lstrcmpiW(code.c_str(), L"en") == 0) {
    lang = UiLanguage::English;
    return TRUE;
  }
  if (::lstrcmpiW(code.c_str(), L"zh") == 0) {
    lang = UiLanguage::Chinese;
    return TRUE;
  }
  return FALSE;
}

const wchar_t* UiLanguageCode(UiLanguage lang) {
  return lang == UiLanguage::English ? L"en" : L"zh";
}

void SetUiLanguage(UiLanguage lang) {
  g_language = lang;
}

UiLanguage GetUiLanguage() {
  return g_language;
}

HRSRC FindUiResource(LPCWSTR type, UINT nID) {
  HMODULE h = Program();
  LPCWSTR name = MAKEINTRESOURCEW(nID);
  HRSRC r = FindIn(h, type, name, g_language);
  if (!r) r = FindIn(h, type, name, UiLanguage::Chinese);
  if (!r) r = ::FindResourceW(h, name, type);
  return r;
}

const void* LoadUiResource(LPCWSTR type, UINT nID) {
  HRSRC r = FindUiResource(type, nID);
  HGLOBAL g = r ? ::LoadResource(Program(), r) : nullptr;
  return g ? ::LockResource(g) : nullptr;
}

HMENU LoadUiMenu(UINT nID) {
  const void* p = LoadUiResource(RT_MENU, nID);
  return p ? ::LoadMenuIndirectW(p) : nullptr;
}

BOOL LoadLangString(HMODULE hModule, UINT nID, LANGID lang, std::wstring& text) {
  // Strings come in blocks of 16, each a length and that many characters.
  HRSRC r = ::FindResourceExW(hModule, RT_STRING, MAKEINTRESOURCEW(nID / 16 + 1), lang);
  HGLOBAL g = r ? ::LoadResource(hModule, r) : nullptr;
  const WCHAR* p = g ? static_cast<const WCHAR*>(::LockResource(g)) : nullptr;
  if (!p) return FALSE;
  const WCHAR* end = p + ::SizeofResource(hModule, r) / sizeof(WCHAR);
  for (UINT i = 0; i < nID % 16; ++i) {
    if (p >= end) return FALSE;
    p += 1 + *p;
  }
  if (p >= end || *p == 0 || p + 1 + *p > end) return FALSE;
  text.assign(p + 1, *p);
  return TRUE;
}

std::wstring LoadResString(UINT nID) {
  std::wstring text;
  // A block of the chosen language may exist without this one string in it.
  if (LoadLangString(Program(), nID, UiLanguageId(g_language), text)) return text;
  if (LoadLangString(Program(), nID, UiLanguageId(UiLanguage::Chinese), text)) return text;
  const wchar_t* p = nullptr;
  int n = ::LoadStringW(Program(), nID, reinterpret_cast<LPWSTR>(&p), 0);
  return (n > 0 && p) ? std::wstring(p, n) : std::wstring();
}

std::wstring FormatPlaceholders(const std::wstring& pattern,
                                std::initializer_list<std::wstring> args) {
  std::wstring out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    wchar_t c = pattern[i];
    if (c == L'%' && i + 1 < pattern.size()) {
      wchar_t d = pattern[i + 1];
      if (d == L'%') {
        out += L'%';
        ++i;
        continue;
      }
      if (d >= L'1' && d <= L'9') {
        size_t k = static_cast<size_t>(d - L'1');
        if (k < args.size()) out += *(args.begin() + k);
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::wstring FormatResString(UINT nID, std::initializer_list<std::wstring> args) {
  return FormatPlaceholders(LoadResString(nID), args);
}
