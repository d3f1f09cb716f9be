// The plain `>> int32_t` loop, kept simple on purpose: it is what "right" means.
#include "plainLoop.h"

#include <algorithm>
#include <sstream>

bool Reading::operator==(const Reading& o) const {
    return values == o.values && stop == o.stop && line == o.line && token == o.token &&
           tokenCut == o.tokenCut;
}

std::ostream& operator<<(std::ostream& os, const Reading& r) {
    os << r.values.size() << " numbers, stop " << static_cast<int>(r.stop) << " at line " << r.line;
    if (r.stop == ScanStop::notANumber) {
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
            r.stop = ScanStop::notANumber;
            const std::size_t tokenEnd = std::min(text.find_first_of(kSpace, at), text.size());
            r.token = text.substr(at, std::min(tokenEnd - at, kTokenShown));
            r.tokenCut = tokenEnd - at > kTokenShown;
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
