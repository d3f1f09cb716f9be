// Menu action 2: the binary search over sortedNumbers.txt.
#pragma once

#include "scan/numberScanner.h"

// Counts the occurrences of a number in sortedNumbers.txt, loading the file
// into sortedList on the first search of the run; comparisons are probes.
void binarySearch();

// Appends the numbers of sortedFile to sortedList until the reading stops,
// warning once if they are not in ascending order and saying why the reading
// stopped early; `kernel` is for the benchmark. Leaves sortedFile failed, so later calls append
// nothing.
void loadSortedList(const ScanKernel& kernel = bestKernel());
