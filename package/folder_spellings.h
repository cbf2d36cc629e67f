// A look at a whole package's names before anything is made: Windows would merge two spellings
// of one folder (`A\b.txt`, `a\c.txt`) into one, a POSIX system would make two, so a package
// that holds both is refused everywhere, as `create` refuses such a tree.
#pragma once

#include <cstddef>
#include <cstdint>

// `entries` are the bytes from the first entry of a plain package to its end (or to the end of
// what is there). Only names that pass the engine's rules take part: one that does not is
// refused at its own turn, after the files before it. A package that ends early or lies about a
// length is left for the extraction to report where it goes wrong, as are two names of one
// file, whose second simply fails to be created.
bool SpellsAFolderTwoWays(const uint8_t* entries, size_t length);
