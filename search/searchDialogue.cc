// What every search says: the target prompt, the report, the note on an early stop.
#include "search/searchDialogue.h"

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

std::string escapedForTerminal(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E && byte != '"' && byte != '\\') {
            shown += c;
        } else {
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return shown;
}

void reportEarlyStop(const char* fileName, const scan::ScanEnd& end) {
    std::string reason;
    switch (end.stop) {
        case scan::ScanStop::endOfFile:
            return;
        case scan::ScanStop::notANumber:
            // "..." when the token was longer than what the scanner kept.
            reason = '"' + escapedForTerminal(end.token) + (end.tokenCut ? "..." : "") +
                     "\" is not a 32-bit whole number";
            break;
        case scan::ScanStop::readError:
            reason = "read error";
            break;
        case scan::ScanStop::outOfMemory:
            reason = "out of memory";
            break;
    }
    std::cerr << "Stopped reading the " << fileName << " at line " << end.line << ": " << reason
              << "!\n";
}
