// The oracle the number-file scanner is checked against: the plain `>> int32_t` loop.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "search/numberScanner.h"

// How a number file reads: its numbers, why the reading stopped, and where.
struct Reading {
    std::vector<std::int32_t> values;
    ScanStop stop = ScanStop::endOfFile;
    std::uint64_t line = 0;

    bool operator==(const Reading& o) const {
        return values == o.values && stop == o.stop && line == o.line;
    }
};

// For test failure messages.
inline std::ostream& operator<<(std::ostream& os, const Reading& r) {
    return os << r.values.size() << " numbers, stop " << static_cast<int>(r.stop) << " at line "
              << r.line;
}

// Reads `text` with the plain extraction loop. Where an extraction fails, the
// bad token begins at the first byte that is not white space; if there is
// none, the file simply ended.
inline Reading plainLoop(const std::string& text) {
    std::istringstream in(text);
    Reading r;
    std::int32_t value;
    while (true) {
        const auto before = static_cast<std::size_t>(in.tellg());
        if (in >> value) {
            r.values.push_back(value);
            continue;
        }
        std::size_t at = text.find_first_not_of(" \t\n\v\f\r", before);
        if (at == std::string::npos) {
            at = text.size();
        } else {
            r.stop = ScanStop::notANumber;
        }
        r.line = 1 + static_cast<std::uint64_t>(std::count(
                         text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        return r;
    }
}
