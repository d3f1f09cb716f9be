// The linear search: streams numbers.txt and compares every number with the target.
#include "search/linearSearch.h"

#include <iostream>

#include "frontend/numberReader.h"
#include "frontend/programState.h"

void askForTarget() {
    std::cout << "What int do you want me to look for?\nPlease give me a number: ";
    readNumber();
}

void printSearchReport() {
    std::cout << "There were " << instanceCount << " instances of " << currentNumber
              << " in the file with " << comparisonCount << " comparisons made\n";
}

void reportEarlyStop(const char* fileName, const ScanEnd& end) {
    const char* reason = nullptr;
    switch (end.stop) {
        case ScanStop::endOfFile:
            return;
        case ScanStop::notANumber:
            reason = "not a 32-bit whole number";
            break;
        case ScanStop::readError:
            reason = "read error";
            break;
        case ScanStop::outOfMemory:
            reason = "out of memory";
            break;
    }
    std::cerr << "Stopped reading the " << fileName << " at line " << end.line << ": " << reason
              << "!\n";
}

void linearSearch() {
    instanceCount = 0;
    comparisonCount = 0;
    std::cout << '\n';
    askForTarget();

    // A file that never opened yields nothing. Any other is read from its
    // start, so that every search sees the whole file; one that cannot be
    // repositioned (a pipe) is read on from where it stands.
    if (unsortedFile.is_open()) {
        unsortedFile.clear();
        unsortedFile.rdbuf()->pubseekpos(0, std::ios::in);
        const NumberCount count = countNumbers(*unsortedFile.rdbuf(), currentNumber);
        comparisonCount = count.numbers;
        instanceCount = count.matches;
        // The stream ends failed, as after the extraction that stopped it.
        unsortedFile.setstate(std::ios::failbit);
        reportEarlyStop("unsorted file", count.end);
    }

    printSearchReport();
    currentNumber = 10;  // matches none of the menu's remaining tests
}
