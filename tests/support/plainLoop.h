// The oracle the number-file scanner is checked against: the plain `>> int32_t` loop.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "scan/numberScanner.h"

// How a number file reads: its numbers, why the reading stopped, where, and
// which token stopped it.
struct Reading {
    std::vector<std::int32_t> values;
    ScanStop stop = ScanStop::endOfFile;
    std::uint64_t line = 0;
    std::string token;
    bool tokenCut = false;

    bool operator==(const Reading& o) const;
};

// For test failure messages.
std::ostream& operator<<(std::ostream& os, const Reading& r);

// Reads `text` with the plain extraction loop. Where an extraction fails, the
// bad token begins at the first byte that is not white space and runs to the
// next white space; if there is none, the file simply ended.
Reading plainLoop(const std::string& text);

// What the plain loop counts in a stream: its numbers and those equal to `target`.
struct PlainCount {
    std::int64_t numbers = 0;
    std::int64_t matches = 0;
};
PlainCount plainCount(std::istream& in, std::int32_t target);

// The numbers of a stream, appended one at a time as the plain loop reads them.
std::vector<std::int32_t> plainList(std::istream& in);
