// Fuzzes the bounded double reader: arbitrary bytes, read one number after
// another, must read exactly as `std::istringstream >> double` reads them:
// the same values, the same stream state, the same place where each stopped.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "frontend/doubleReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream standard(text);
    std::istringstream ours(text);
    // As the prompt does: after a failed read, skip one character and go on.
    for (int reads = 0; reads < 64; ++reads) {
        double expected = 1.5;
        double actual = 1.5;
        standard >> expected;
        readDouble(ours, actual);
        if (std::memcmp(&expected, &actual, sizeof expected) != 0 ||
            standard.rdstate() != ours.rdstate() ||
            standard.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in) !=
                ours.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in)) {
            std::abort();
        }
        if (standard.eof()) {
            break;
        }
        standard.clear();
        ours.clear();
        standard.ignore(1);
        ours.ignore(1);
    }
    return 0;
}
