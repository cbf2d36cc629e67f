// Whether an entry's name may become a file in the destination folder and nowhere else.
#pragma once

#include <cstdint>
#include <string_view>

// Tells whether a byte opens a double-byte character in the encoding the name is judged in.
using LeadBytePredicate = bool (*)(uint8_t byte);

// Lead bytes of code page 932 (Shift-JIS), for judging names where no system code page is at
// hand.
bool IsShiftJisLeadByte(uint8_t byte);

// For encodings in which no character contains an ASCII byte (UTF-8).
bool HasNoLeadBytes(uint8_t byte);

// True when `name`, read the way the platform's file call reads it, names one file directly
// inside the folder: not empty, no separator ('\' or '/' as characters), no ':', no control
// character, no broken double-byte character, not "." or "..", not a reserved device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without an extension).
bool IsSafeEntryName(std::string_view name, LeadBytePredicate is_lead_byte);
