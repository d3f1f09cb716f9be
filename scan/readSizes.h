// The driver's read sizes, which tests and the benchmark use to put tokens
// at the seams between chunks and windows.
#pragma once

#include <cstddef>

namespace scan {

// A file is read a chunk at a time: large enough that the read calls cost
// nothing next to the parsing, and small, as the chunk is the memory a
// reading holds, with the window of the file mapped to read ahead in, two
// chunks (see scan/readAhead.h). A small file touches only the pages of the
// chunk that it fills. Chunks of 256 KiB held 384 KiB more at the peak with
// their window, and were no faster; chunks of 64 KiB, in a window of four,
// were as fast end to end, but in the benchmark counted the sorted file 3%
// slower with AVX2. (A first chunk of 64 KiB, freed once a file filled it,
// only kept its pages in the heap.)
constexpr std::size_t kChunk = std::size_t{1} << 17;

// Bytes a kernel reads at a time: the index of token bounds that a load
// writes for a window stays in the first-level cache. A count writes no
// index, and reads windows four times as long (fewer windows, each with a
// part-block at either end: 5% faster with AVX-512, 1% with the others),
// four to a chunk, so that its seams lie within a chunk too.
constexpr std::size_t kWindow = 8192;
constexpr std::size_t kCountWindow = 32768;

}  // namespace scan
