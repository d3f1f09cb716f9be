// Menu action 1, and the dialogue that every search shares: the target
// prompt, the search report and the note on a reading that stopped early.
#pragma once

#include "scan/numberScanner.h"

// Asks for the number to look for; afterwards currentNumber holds it.
void askForTarget();
// Prints the one-line result of a search from instanceCount, currentNumber
// and comparisonCount.
void printSearchReport();
// Writes, for any ending but the end of the file, the one line on standard
// error that says where the reading of `fileName` ("unsorted file" or "sorted
// file") stopped and why.
void reportEarlyStop(const char* fileName, const ScanEnd& end);

// Counts the occurrences of a number in numbers.txt, reading the whole file
// from its beginning on every search, one comparison per number read. Memory
// stays constant: numbers are counted, not kept.
void linearSearch();
