// Short texts for item values, qualities, types, access rights and times, as the views
// and property dialogs show them.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

// The value as text with its quality applied: " (uncertain)" appended, or "Bad" for a bad
// quality.
std::wstring GetValueText(const VARIANT& value, WORD quality);
// The same text for a scalar number or BOOL (or any bad value) as ASCII into out (room for
// kScalarValueTextMax chars), without allocating; returns its length, 0 for other values
// and for numbers GetValueText must give (those in exponent form).
constexpr size_t kScalarValueTextMax = 40;
size_t GetScalarValueText(const VARIANT& value, WORD quality, char* out);
// Whether values of this type (or arrays of it) have a text; others show as "?".
bool HasValueText(VARTYPE vt);
// Upper-case name of a value's type tag ("SHORT", "BYTE", ..., "ARRAY", "UNKOWN").
std::wstring GetTypeName(VARTYPE vt);
// Inverse of GetTypeName for the scalar names; anything else gives VT_EMPTY.
VARTYPE ParseTypeName(const std::wstring& name);

// The text as a value of type vt, as every write converts it (VT_BSTR stays text): whole
// numbers exactly with our own range check (DISP_E_OVERFLOW), "On"/"Off", currency and
// dates as the list shows them, arrays from the list's comma-separated text. On failure
// out is empty and the conversion's code is returned.
HRESULT ConvertWriteText(const std::wstring& text, VARTYPE vt, VARIANT* out);

// Texts of an item's OPC attributes.
std::wstring GetAccessRightsText(DWORD accessRights);
std::wstring GetAttributeTypeText(VARTYPE vt);  // "Float", "Array of Shorts", ...
std::wstring GetEuTypeText(DWORD euType);

// UTC time stamp as local time "M/d/yy H:mm:ss". Empty when the high 32 bits are zero (no
// time) or when the system cannot convert the time.
std::wstring FormatLocalTime(const FILETIME& ft);
