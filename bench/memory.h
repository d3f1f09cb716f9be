// Peak memory of the two searches, each measured in a process of its own.
#pragma once

#include <cstdint>
#include <filesystem>

// Peak resident memory, in KiB, of this program re-run as a child that does
// one search over `file`: "--peak-load" or "--peak-linear".
long peakOfChild(const char* mode, const std::filesystem::path& file);

// The child's side: does the search `mode` names over `file` and prints its
// own peak. Returns the child's exit status.
int runPeakChild(const char* mode, const char* file);

// Prints the load's peak against its bound, and the linear search's on a
// file a hundredth of the size against the full one (random.txt in `dir`,
// of `numbers` numbers).
void reportPeakMemory(const std::filesystem::path& dir, std::uint64_t numbers);
