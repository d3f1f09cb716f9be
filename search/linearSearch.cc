// The linear search: streams numbers.txt and compares every number with the target.
#include "search/linearSearch.h"

#include <iostream>
#include <string>

#include "frontend/numberReader.h"
#include "frontend/programState.h"
#include "frontend/readingProgress.h"

void askForTarget() {
    std::cout << "What int do you want me to look for?\nPlease give me a number: ";
    readNumber();
}

void printSearchReport() {
    std::cout << "There were " << instanceCount << " instances of " << currentNumber
              << " in the file with " << comparisonCount << " comparisons made\n";
}

// The bad token as it can be shown on any terminal: printable ASCII as it is,
// every other byte, and " and \, as \xhh, so that no file can send control
// sequences; "..." when the token was longer than what was kept.
static std::string shownToken(const ScanEnd& end) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : end.token) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E && byte != '"' && byte != '\\') {
            shown += c;
        } else {
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return end.tokenCut ? shown + "..." : shown;
}

void reportEarlyStop(const char* fileName, const ScanEnd& end) {
    std::string reason;
    switch (end.stop) {
        case ScanStop::endOfFile:
            return;
        case ScanStop::notANumber:
            reason = '"' + shownToken(end) + "\" is not a 32-bit whole number";
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
        ReadingProgress progress("numbers.txt", *unsortedFile.rdbuf());
        const NumberCount count = countNumbers(progress.stream(), currentNumber);
        progress.erase();
        comparisonCount = count.numbers;
        instanceCount = count.matches;
        // The stream ends failed, as after the extraction that stopped it.
        unsortedFile.setstate(std::ios::failbit);
        reportEarlyStop("unsorted file", count.end);
    }

    printSearchReport();
    currentNumber = 10;  // matches none of the menu's remaining tests
}
