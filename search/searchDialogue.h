// The dialogue every search shares: the target prompt, the search report, and
// the note on a number file whose reading stopped early.
#pragma once

#include <string>
#include <string_view>

#include "scan/numberScanner.h"

// Asks for the number to look for; afterwards currentNumber holds it.
void askForTarget();
// Prints the one-line result of a search from instanceCount, currentNumber
// and comparisonCount.
void printSearchReport();
// Writes, for any ending but the end of the file, the one line on standard
// error that says where the reading of `fileName` ("unsorted file" or "sorted
// file") stopped and why.
void reportEarlyStop(const char* fileName, const scan::ScanEnd& end);

// `text` as it can be shown on any terminal: printable ASCII as it is, every
// other byte, and " and \, as \xhh, so that no file or argument can send
// control sequences.
std::string escapedForTerminal(std::string_view text);
