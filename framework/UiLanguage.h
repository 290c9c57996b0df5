// The language of the program's own texts. Resources of both languages live in the one
// executable (LANGUAGE blocks); every string, menu and dialog is looked up by id in the
// chosen language explicitly, since Wine and Windows pick a block by the thread's UI
// language differently.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

enum class UiLanguage { Chinese, English };

LANGID UiLanguageId(UiLanguage lang);
// "zh" / "en" (any case); FALSE for anything else.
BOOL ParseUiLanguage(const std::wstring& code, UiLanguage& lang);
const wchar_t* UiLanguageCode(UiLanguage lang);

void SetUiLanguage(UiLanguage lang);
UiLanguage GetUiLanguage();

// A resource of the program in the current language; another language's when that one
// has none (a text not translated yet still shows).
HRSRC FindUiResource(LPCWSTR type, UINT nID);
const void* LoadUiResource(LPCWSTR type, UINT nID);
HMENU LoadUiMenu(UINT nID);

// One string of a string table in exactly that language; FALSE when it has none.
BOOL LoadLangString(HMODULE hModule, UINT nID, LANGID lang, std::wstring& text);

// A string resource with %1..%9 replaced by the arguments (the order may differ between
// languages); "%%" is a percent sign.
std::wstring FormatResString(UINT nID, std::initializer_list<std::wstring> args);
std::wstring FormatPlaceholders(const std::wstring& pattern,
                                std::initializer_list<std::wstring> args);
