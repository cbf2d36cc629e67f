// The operating-system handle the portable core carries without knowing it.
#pragma once

#include <cstdint>

// HANDLE on Windows (INVALID_HANDLE_VALUE is -1); a file descriptor elsewhere.
using FileHandle = intptr_t;
inline constexpr FileHandle INVALID_FILE = -1;
