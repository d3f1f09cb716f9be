// The plain `>> int32_t` loop, kept simple on purpose: it is what "right" means.
#include "oracle.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

bool Reading::operator==(const Reading& o) const {
    return values == o.values && stop == o.stop && line == o.line && token == o.token &&
           tokenCut == o.tokenCut;
}

std::ostream& operator<<(std::ostream& os, const Reading& r) {
    os << r.values.size() << " numbers, stop " << static_cast<int>(r.stop) << " at line " << r.line;
    if (r.stop == scan::ScanStop::notANumber) {
        os << " at token \"" << r.token << (r.tokenCut ? "\"..." : "\"");
    }
    return os;
}

Reading plainLoop(const std::string& text) {
    static const char* const kSpace = " \t\n\v\f\r";
    std::istringstream in(text);
    Reading r;
    std::int32_t value;
    while (true) {
        const auto before = static_cast<std::size_t>(in.tellg());
        if (in >> value) {
            r.values.push_back(value);
            continue;
        }
        std::size_t at = text.find_first_not_of(kSpace, before);
        if (at == std::string::npos) {
            at = text.size();
        } else {
            r.stop = scan::ScanStop::notANumber;
            const std::size_t tokenEnd = std::min(text.find_first_of(kSpace, at), text.size());
            r.token = text.substr(at, std::min(tokenEnd - at, scan::kTokenShown));
            r.tokenCut = tokenEnd - at > scan::kTokenShown;
        }
        r.line = 1 + static_cast<std::uint64_t>(std::count(
                         text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        return r;
    }
}

PlainCount plainCount(std::istream& in, std::int32_t target) {
    PlainCount c;
    std::int32_t value;
    while (in >> value) {
        ++c.numbers;
        c.matches += value == target;
    }
    return c;
}

std::vector<std::int32_t> plainList(std::istream& in) {
    std::vector<std::int32_t> list;
    std::int32_t value;
    while (in >> value) {
        list.push_back(value);
    }
    return list;
}

Reading readWithKernel(const std::string& text, const scan::ScanKernel& kernel) {
    std::stringbuf in(text);
    return readWithKernel(in, kernel);
}

Reading readWithKernel(std::streambuf& in, const scan::ScanKernel& kernel) {
    Reading r;
    const scan::ScanEnd end = scan::scanNumbers(
        in,
        [&r](const scan::NumberBatch& batch) {
            r.values.insert(r.values.end(), batch.values, batch.values + batch.count);
            return batch.count;
        },
        kernel);
    r.stop = end.stop;
    r.line = end.line;
    r.token = end.token;
    r.tokenCut = end.tokenCut;
    return r;
}

// Counts are kept as numbers of the Reading: two files of over 2^31 numbers
// are not what these helpers are for.
Reading countWithKernel(const std::string& text, std::int32_t target,
                        const scan::ScanKernel& kernel) {
    std::stringbuf in(text);
    const scan::NumberCount c = scan::countNumbers(in, target, kernel);
    return {{static_cast<std::int32_t>(c.numbers), static_cast<std::int32_t>(c.matches)},
            c.end.stop,
            c.end.line,
            c.end.token,
            c.end.tokenCut};
}

Reading expectedCount(const Reading& plain, std::int32_t target) {
    Reading counted = plain;
    counted.values = {
        static_cast<std::int32_t>(plain.values.size()),
        static_cast<std::int32_t>(std::count(plain.values.begin(), plain.values.end(), target))};
    return counted;
}

void check(bool holds) {
    if (!holds) {
        std::abort();
    }
}
