// The rules every name in a package answers to, in two levels. The portable level refuses
// everything the engine level refuses, and more.
#pragma once

#include <cstddef>
#include <string_view>

#include "package/name_problem.h"

enum class NameLevel : uint8_t {
    // What the engine refuses, as it reads a name on Windows (code page 932 bytes) and elsewhere
    // (converted to UTF-8): a name that passes is extracted as one file in the folder, or in
    // folders inside it. The writer stores nothing less.
    engine,
    // Also what Windows would refuse or change when it creates the file: the characters
    // * ? " < > |, every control character, a trailing dot or space. For names that `create`
    // packs and `test` passes.
    portable,
};

// A package's length byte allows no more.
inline constexpr size_t MAX_NAME_BYTES = 255;

// A stored name (Shift-JIS bytes), which may hold folders (parts joined by backslashes): its
// length, whether it is code page 932 text, its depth, then the rules of `level` for each part.
NameProblem StoredNameProblem(std::string_view shift_jis, NameLevel level);

// One file or folder name as a file system gives it (UTF-8), never a path: whether code page 932
// can spell it, then as stored.
NameProblem Utf8NameProblem(std::string_view utf8, NameLevel level);
