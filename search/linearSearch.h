// Menu action 1, and the target prompt and search report that every search uses.
#pragma once

#include <cstdint>
#include <streambuf>

#include "search/numberScanner.h"

// Asks for the number to look for; afterwards currentNumber holds it.
void askForTarget();
// Prints the one-line result of a search from instanceCount, currentNumber
// and comparisonCount.
void printSearchReport();
// Reads the numbers of `in` from where it stands, adding each one to
// comparisonCount and each one equal to `target` to instanceCount. Memory
// stays constant: numbers are counted, not kept.
ScanEnd countMatches(std::streambuf& in, std::int32_t target);

// Counts the occurrences of a number in numbers.txt, reading the whole file
// from its beginning on every search, one comparison per number read.
void linearSearch();
