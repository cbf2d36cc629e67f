// File names between Shift-JIS (code page 932, as packages store them) and UTF-8.
// Conversions are exact: a name that has no form in the other encoding fails, and no
// best-fit substitute is ever made (no yen sign for a backslash, or the reverse).
#pragma once

#include <string>
#include <string_view>

bool ShiftJisToUtf8(std::string_view shift_jis, std::string& utf8);
bool Utf8ToShiftJis(std::string_view utf8, std::string& shift_jis);
