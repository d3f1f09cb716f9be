// Menu action 2: the binary search over sortedNumbers.txt.
#pragma once

#include <cstdint>
#include <vector>

#include "frontend/numberList.h"

// Counts the occurrences of a number in sortedNumbers.txt, loading the file
// into sortedList on the first search of the run; comparisons are probes.
void binarySearch();

// The number of elements equal to list[at] in the unbroken run through `at`,
// `at` included, looked for within [low, top] only: what a probe that found
// the target counts. In a sorted list that is every occurrence.
std::int64_t countRunAround(const NumberList& list, std::int64_t at, std::int64_t low,
                            std::int64_t top);
