// The program-wide state that every operation of needle shares.
#pragma once

#include <cstdint>
#include <fstream>
#include <vector>

#include "frontend/numberList.h"
#include "system/fileIdentity.h"

// Whether the menu loop runs another pass; menu choice 0 clears it.
extern bool keepRunning;
// The last number accepted from the user: the menu choice, then a search's target.
extern std::int32_t currentNumber;
// Occurrences of the target found by the last search. 64-bit: a file may hold more
// than 2^31 numbers.
extern std::int64_t instanceCount;
// Comparisons made by the last search (numbers read, or probes for the binary search).
extern std::int64_t comparisonCount;
// The number just extracted from standard input, before it is validated.
extern double rawInput;
// Upper bound and probe index of the binary search's range; 64-bit so that
// neither the indices nor their sum can overflow.
extern std::int64_t high;
extern std::int64_t mid;
// The stream on numbers.txt, read by the linear search.
extern std::ifstream unsortedFile;
// The stream on sortedNumbers.txt, read once by the first binary search.
extern std::ifstream sortedFile;
// The numbers of sortedNumbers.txt in file order; only ever grows.
extern NumberList sortedList;
// How many threads may read a regular file at once (see --threads).
extern unsigned readingThreads;
// Which files the two streams have open; empty for one that never opened.
extern FileIdentity unsortedFileIdentity;
extern FileIdentity sortedFileIdentity;

// Opens both number files and says on the console how that went.
void openNumberFiles();
// Before a search reads its file: when numbers.txt (sortedNumbers.txt) now
// names another file than the one the stream has open, as after mv, sed -i
// or an editor's save, opens the stream on that one, so that a search reads
// what the name names now. A name that names nothing now leaves the stream
// as it was, and so does a stream that never opened. A name that leads to
// no file (a link whose target is gone), or one whose file cannot be opened,
// is said as at start-up and leaves the stream closed: the search counts
// nothing, and every later one tries again. A FIFO, whose open waits for a
// writer, is said on standard error before the open.
void reopenUnsortedFileIfReplaced();
void reopenSortedFileIfReplaced();
// Closes both number files; nothing is reported, whatever the outcome.
void closeNumberFiles();

// Flushes standard output and returns the program's exit status: 0, or 1 when
// what it wrote could not all be written (a full disk, a closed pipe).
int exitStatus();
