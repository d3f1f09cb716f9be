// For tests, fuzzers and the benchmark, which run many programs in one
// process: the program-wide state as at the start of a run.
#pragma once

#include "frontend/programState.h"

// Puts every variable of frontend/programState.h back to its initial value:
// both streams closed and cleared, the list emptied and its memory released.
inline void resetProgramState() {
    keepRunning = true;
    currentNumber = 0;
    instanceCount = 0;
    comparisonCount = 0;
    rawInput = 0;
    high = 0;
    mid = 0;
    for (std::ifstream* file : {&unsortedFile, &sortedFile}) {
        file->close();
        file->clear();
    }
    NumberList().swap(sortedList);
    readingThreads = 1;
    unsortedFileIdentity = {};
    sortedFileIdentity = {};
}
