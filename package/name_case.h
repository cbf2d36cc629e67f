// Windows compares file names without case, over every letter code page 932 can spell: fullwidth
// Latin, Greek, Cyrillic and roman numerals as well as ASCII. Two names with the same fold are
// one file to Windows.
#pragma once

#include <string>
#include <string_view>

// `utf8` with each letter replaced by the one Windows compares it as (its uppercase form);
// anything else, broken bytes too, is kept.
std::string FoldNameCase(std::string_view utf8);
