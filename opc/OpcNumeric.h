// An item value as a number, for drawing it over time: every scalar the list shows as a
// number converts; booleans become 0 and 1; text, dates, error codes and arrays do not.
#pragma once
#include <windows.h>
#include <oleauto.h>

enum class OpcNumericKind { Number, Boolean, Text, Array, Other };

OpcNumericKind GetNumericKind(VARTYPE vt);
// False (out untouched) when the value is not of a numeric kind.
bool GetNumericValue(const VARIANT& value, double& out);
