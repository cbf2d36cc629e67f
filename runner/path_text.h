// Shift-JIS path text: helpers that understand double-byte characters (no Windows needed).
#pragma once

// True when, walking `text` character by character from its start, a double-byte character
// begins exactly at `index`.
bool IsLeadBytePosition(const char* text, int index);

// Cuts `path` in place at its last separator (a drive prefix such as "C:" stays whole).
void TrimLastComponent(char* path);
