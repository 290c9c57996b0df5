// Short texts for item values, qualities, types, access rights and times, as the views
// and property dialogs show them.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

// The value as text with its quality applied: " (uncertain)" appended, or "Bad" for a bad
// quality.
std::wstring GetValueText(const VARIANT& value, WORD quality);
// Whether values of this type (or arrays of it) have a text; others show as "?".
bool HasValueText(VARTYPE vt);
// Upper-case name of a value's type tag ("SHORT", ..., "ARRAY", "UNKOWN").
std::wstring GetTypeName(VARTYPE vt);
// Inverse of GetTypeName for the six scalar names; anything else gives VT_EMPTY.
VARTYPE ParseTypeName(const std::wstring& name);

// Texts of an item's OPC attributes.
std::wstring GetAccessRightsText(DWORD accessRights);
std::wstring GetAttributeTypeText(VARTYPE vt);  // "Float", "Array of Shorts", ...
std::wstring GetEuTypeText(DWORD euType);

// UTC time stamp as local time "M/d/yy H:mm:ss". Empty when the high 32 bits are zero (no
// time) or when the system cannot convert the time.
std::wstring FormatLocalTime(const FILETIME& ft);
