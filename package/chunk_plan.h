// Where the pieces of a file begin and end. The reader only needs the chunks of an entry to add
// up to its size, so the writer is free to cut where the data changes character: a piece of
// machine code and a piece of string tables each get a code of their own instead of sharing one
// that fits neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Piece lengths of `size` bytes cut every `block_size` bytes, the last piece holding the rest.
std::vector<size_t> FixedPieces(size_t size, int32_t block_size);

// Piece lengths, in order, adding up to `size`, none longer than `block_size`, chosen to make the
// encoded chunks smallest by an estimate of their coded size plus what each chunk costs the
// reader (its length field, its code's description, the decoder's set-up). Cut points lie on a
// grid and on the fixed cuts, so the fixed cutting is among the plans weighed. The estimate uses
// integers only: equal input gives equal pieces on every platform.
std::vector<size_t> PlannedPieces(const uint8_t* data, size_t size, int32_t block_size);

// Distance between the cut points PlannedPieces considers for this block size.
size_t PlanGrid(int32_t block_size);
