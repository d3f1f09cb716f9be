// The number-file scanner: reads whole numbers exactly as `stream >> int32_t`
// would, a chunk at a time, and says what it read, why it stopped and where.
// This is the scanner's one public header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

// Why the reading of a number file ended.
enum class ScanStop {
    endOfFile,    // only white space was left
    notANumber,   // a token that is not a 32-bit whole number
    readError,    // the stream could not be read
    outOfMemory,  // the receiver of the numbers could not store one
};

// How much of a bad token is kept to be shown.
constexpr std::size_t kTokenShown = 32;

// Where and why the reading ended.
struct ScanEnd {
    ScanStop stop = ScanStop::endOfFile;
    // 1-based. For a bad token, or a number that could not be stored, the
    // line the token begins on; otherwise the line the reading had reached.
    std::uint64_t line = 1;
    // For a bad token: its text from where the failed extraction began (after
    // the white space it skipped) up to the next white space or the end of
    // the file, at most kTokenShown bytes; `tokenCut` when there was more.
    std::string token;
    bool tokenCut = false;
};

struct ChunkOrigin;  // the scanner's own record of where a batch came from

// The numbers read from one chunk of the file, in file order.
struct NumberBatch {
    const std::int32_t* values;
    std::size_t count;
    const ChunkOrigin* origin;

    // The 1-based line on which the number at `index` (below `count`)
    // begins. Costs a byte-at-a-time pass over the chunk, so it is meant for
    // rare messages.
    std::uint64_t lineOf(std::size_t index) const;
};

// Receives each batch; returns how many of its numbers it stored. Fewer than
// `count` means it ran out of memory at the first one it did not store, and
// the reading stops there.
using NumberSink = std::function<std::size_t(const NumberBatch&)>;

// One way of reading, for one instruction set. The program always uses the
// best one; tests and the benchmark may ask for any the processor runs.
struct ScanKernel;
// The kernels this processor can run, best first: "avx512", "avx2", "sse2"
// on x86-64, "neon" on AArch64, and "portable" everywhere.
const std::vector<const ScanKernel*>& supportedKernels();
const ScanKernel& bestKernel();
// The supported kernel of that name, or nullptr.
const ScanKernel* findKernel(std::string_view name);
const char* kernelName(const ScanKernel& kernel);

// The regular file a stream reads, where it is known: open on `fd` (-1 where
// it is not), the stream at its byte `at`. The scanner reads ahead of the
// stream in it (see scan/readAhead.h); what it reads is the stream's alone.
struct StreamFile {
    int fd = -1;
    std::uint64_t at = 0;
};

// Reads numbers from `in` until the end of the file, a bad token, a read error
// or a refusal of `sink`, handing them over chunk by chunk. The rules are
// those of formatted extraction: white space (space, \t, \n, \v, \f, \r) is
// skipped; a token is an optional sign directly followed by the longest run
// of decimal digits; it ends before the first byte that cannot continue it
// ("12abc" gives 12, "5-3" gives 5 and -3); a value outside the 32-bit range,
// a lone sign or any other byte ends the reading. Memory stays bounded
// whatever the file holds: long tokens are never buffered whole.
// Lines are counted from `firstLine`, the line `in` starts on.
ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink,
                    const ScanKernel& kernel = bestKernel(), std::uint64_t firstLine = 1,
                    StreamFile file = {});

// What a count found: the numbers read, those equal to the target, and where
// and why the reading ended.
struct NumberCount {
    std::int64_t numbers = 0;
    std::int64_t matches = 0;
    ScanEnd end;
};

// Counts the numbers of `in`, and those equal to `target`, reading exactly as
// scanNumbers does and stopping where it would, but converting few of them:
// a plain number is compared with the target as text.
NumberCount countNumbers(std::streambuf& in, std::int32_t target,
                         const ScanKernel& kernel = bestKernel(), std::uint64_t firstLine = 1,
                         StreamFile file = {});

// Adds what `more` counted to `total`, but for where it ended.
void addCount(NumberCount& total, const NumberCount& more);

}  // namespace scan
