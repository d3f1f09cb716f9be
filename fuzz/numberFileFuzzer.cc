// Fuzzes the number-file scanner: arbitrary bytes as a number file must read
// exactly as the plain `>> int32_t` loop reads them, with either kernel: the
// same numbers, the same stop, the same line, and the same counts.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "plainLoop.h"
#include "search/numberScanner.h"
#include "search/scanKernel.h"

namespace {

void check(bool agree) {
    if (!agree) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Reading expected = plainLoop(text);
    const std::int32_t target =
        expected.values.empty() ? 7 : expected.values[size % expected.values.size()];
    const auto matches = std::count(expected.values.begin(), expected.values.end(), target);
    for (const bool baseline : {false, true}) {
        scan_detail::forceBaselineKernels = baseline;
        std::stringbuf scanned(text);
        std::vector<std::int32_t> values;
        const ScanEnd end = scanNumbers(scanned, [&values](const NumberBatch& batch) {
            values.insert(values.end(), batch.values, batch.values + batch.count);
            return batch.count;
        });
        check(values == expected.values && end.stop == expected.stop && end.line == expected.line);

        std::stringbuf counted(text);
        std::int64_t numbers = 0;
        std::int64_t found = 0;
        const ScanEnd countEnd = countNumbers(counted, target, numbers, found);
        check(numbers == static_cast<std::int64_t>(expected.values.size()) && found == matches &&
              countEnd.stop == expected.stop && countEnd.line == expected.line);
    }
    return 0;
}
