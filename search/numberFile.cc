// Early-stop messages for the number files.
#include "search/numberFile.h"

#include <iostream>

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
