// The engine's rules: whether an entry's name may become a file in the destination folder and
// nowhere else. Its verdicts decide what every package extracts, so they change only on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "package/name_problem.h"

// Tells whether a byte opens a double-byte character in the encoding the name is judged in.
using LeadBytePredicate = bool (*)(uint8_t byte);

// Lead bytes of code page 932 (Shift-JIS), for judging names where no system code page is at
// hand.
bool IsShiftJisLeadByte(uint8_t byte);

// For encodings in which no character contains an ASCII byte (UTF-8).
bool HasNoLeadBytes(uint8_t byte);

// What is wrong with `name`, read the way the platform's file call reads it: empty, a separator
// ('\' or '/' as characters), ':', a control character, a broken double-byte character, only
// dots (and spaces), or a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
// CONOUT$, with or without an extension). Details are bytes of `name`.
NameProblem EntryNameProblem(std::string_view name, LeadBytePredicate is_lead_byte);

// True when `name` names one file directly inside the folder: EntryNameProblem finds nothing.
bool IsSafeEntryName(std::string_view name, LeadBytePredicate is_lead_byte);

// A name may reach this many parts deep (its file and the folders above it).
inline constexpr size_t MAX_NAME_PARTS = 16;

// Where the part that starts at `from` ends: at the next single-byte backslash, or at the end.
// A backslash that is the second byte of a double-byte character separates nothing.
size_t EntryPartEnd(std::string_view name, size_t from, LeadBytePredicate is_lead_byte);

// A name with folders: parts joined by single backslashes, at most MAX_NAME_PARTS of them, each
// of which EntryNameProblem passes. No part is empty, so the name neither starts nor ends with
// a backslash. Details are bytes of the failing part.
NameProblem EntryTreeProblem(std::string_view name, LeadBytePredicate is_lead_byte);
