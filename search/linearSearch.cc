// The linear search: streams numbers.txt and compares every number with the target.
#include "search/linearSearch.h"

#include <iostream>

#include "frontend/numberReader.h"
#include "frontend/programState.h"
#include "search/numberFile.h"

void askForTarget() {
    std::cout << "What int do you want me to look for?\nPlease give me a number: ";
    readNumber();
}

void printSearchReport() {
    std::cout << "There were " << instanceCount << " instances of " << currentNumber
              << " in the file with " << comparisonCount << " comparisons made\n";
}

ScanEnd countMatches(std::streambuf& in, std::int32_t target) {
    return countNumbers(in, target, comparisonCount, instanceCount);
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
        const ScanEnd end = countMatches(*unsortedFile.rdbuf(), currentNumber);
        // The stream ends failed, as after the extraction that stopped it.
        unsortedFile.setstate(std::ios::failbit);
        reportEarlyStop("unsorted file", end);
    }

    printSearchReport();
    currentNumber = 10;  // matches none of the menu's remaining tests
}
