// Fuzzes the number-file scanner: arbitrary bytes as a number file must read
// exactly as the plain `>> int32_t` loop reads them, with every kernel the
// processor runs: the same numbers, the same stop, line and token, and the
// same counts.
#include <cstdint>
#include <string>

#include "oracle.h"
#include "scan/numberScanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Reading expected = plainLoop(text);
    const std::int32_t target =
        expected.values.empty() ? 7 : expected.values[size % expected.values.size()];
    for (const scan::ScanKernel* kernel : scan::supportedKernels()) {
        check(readWithKernel(text, *kernel) == expected);
        check(countWithKernel(text, target, *kernel) == expectedCount(expected, target));
    }
    return 0;
}
