// Fuzzes the count and the load split over threads: arbitrary bytes as a
// number file, read by one to seven threads (as the input's size picks; one
// reads through the stream, ahead in the file) in pieces as small as a byte,
// must count and load exactly as the plain `>> int32_t` loop reads them: the
// same numbers and matches, the same stop, line and token; and the load warns
// of the first descent on the line the one-thread load names.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "oracle.h"
#include "scan/splitReading.h"
#include "search/sortedList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Reading expected = plainLoop(text);
    const std::int32_t target =
        expected.values.empty() ? 7 : expected.values[size % expected.values.size()];
    // The input as a file, which the split count reads by offset: one file
    // for the whole run, rewritten for each input.
    static const int file = [] {
        const std::string path = "/tmp/needle-fuzz-" + std::to_string(getpid());
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        unlink(path.c_str());
        return fd;
    }();
    check(file >= 0 && ftruncate(file, 0) == 0 &&
          pwrite(file, data, size, 0) == static_cast<ssize_t>(size));
    scan::SplitFile split;
    split.fd = file;
    split.size = size;
    split.threads = 1 + static_cast<unsigned>(size % 7);
    split.pieceSize = 1 + size % 5;
    std::stringbuf counted1(text);
    const scan::NumberCount c = scan::CountWork(target).countAll(counted1, split);
    const Reading counted = {
        {static_cast<std::int32_t>(c.numbers), static_cast<std::int32_t>(c.matches)},
        c.end.stop,
        c.end.line,
        c.end.token,
        c.end.tokenCut};
    check(counted == expectedCount(expected, target));

    std::vector<std::uint64_t> warnedOne, warnedSplit;
    NumberList alone, list;
    std::stringbuf text1(text), text2(text);
    loadNumbers(alone, text1, SIZE_MAX, nullptr, scan::bestKernel(),
                [&](std::uint64_t line) { warnedOne.push_back(line); });
    list.reserve(size / 2 + 1);
    const scan::ScanEnd end = loadNumbers(list, text2, SIZE_MAX, &split, scan::bestKernel(),
                                          [&](std::uint64_t line) { warnedSplit.push_back(line); });
    const Reading loaded = {std::vector<std::int32_t>(list.begin(), list.end()), end.stop, end.line,
                            end.token, end.tokenCut};
    check(loaded == expected && warnedSplit == warnedOne);
    return 0;
}
