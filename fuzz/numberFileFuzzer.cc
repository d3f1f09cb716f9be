// Fuzzes the number-file scanner: arbitrary bytes as a number file must read
// exactly as the plain `>> int32_t` loop reads them, with every kernel the
// processor runs: the same numbers, the same stop, line and token, and the
// same counts.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "plainLoop.h"
#include "scan/numberScanner.h"

namespace {

void check(bool agree) {
    if (!agree) {
        std::abort();
    }
}

bool sameEnd(const ScanEnd& end, const Reading& expected) {
    return end.stop == expected.stop && end.line == expected.line && end.token == expected.token &&
           end.tokenCut == expected.tokenCut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Reading expected = plainLoop(text);
    const std::int32_t target =
        expected.values.empty() ? 7 : expected.values[size % expected.values.size()];
    const auto matches = std::count(expected.values.begin(), expected.values.end(), target);
    for (const ScanKernel* kernel : supportedKernels()) {
        std::stringbuf scanned(text);
        std::vector<std::int32_t> values;
        const ScanEnd end = scanNumbers(
            scanned,
            [&values](const NumberBatch& batch) {
                values.insert(values.end(), batch.values, batch.values + batch.count);
                return batch.count;
            },
            *kernel);
        check(values == expected.values && sameEnd(end, expected));

        std::stringbuf counted(text);
        const NumberCount count = countNumbers(counted, target, *kernel);
        check(count.numbers == static_cast<std::int64_t>(expected.values.size()) &&
              count.matches == matches && sameEnd(count.end, expected));
    }
    return 0;
}
