// The order in which a stream package holds its files. A stream compresses a file by what the
// files before it taught the compressor, and the nearer a like file lies, the more of it the
// match finder reaches; so files of one kind go next to each other. The reader takes the files
// in any order (each name makes its own folders), so the order is the writer's choice.
#pragma once

#include <string>
#include <vector>

#include "tools/filespack/files/input_files.h"

// The kind of a file by its name (UTF-8, no folder part): the extension after the last dot,
// ASCII letters in upper case; "" for a name without one (a leading dot starts no extension).
std::string StreamKind(const std::string& leaf);

// Files of one kind together, the kinds in the byte order of StreamKind, each kind's files in
// the order they came (the order `create` takes a folder in), so the same inputs give the same
// package.
void OrderForStream(std::vector<InputFile>& files);
