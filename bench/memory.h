// Peak memory of the two searches, each measured in a process of its own.
#pragma once

#include <filesystem>

// Peak resident memory, in KiB, of this program re-run as a child that does
// one search over `file`: "--peak-load" or "--peak-linear".
long peakOfChild(const char* mode, const std::filesystem::path& file);

// The child's side: does the search `mode` names over `file` and prints its
// own peak. Returns the child's exit status.
int runPeakChild(const char* mode, const char* file);
