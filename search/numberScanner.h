// The number-file scanner: reads whole numbers exactly as `stream >> int32_t`
// would, in large chunks, and says where and why the reading stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>

// Why the reading of a number file ended.
enum class ScanStop {
    endOfFile,    // only white space was left
    notANumber,   // a token that is not a 32-bit whole number
    readError,    // the stream could not be read
    outOfMemory,  // the receiver of the numbers could not store one
};

// Where the reading ended; `line` is 1-based. For a bad token or a number
// that could not be stored it is the line the token begins on; otherwise the
// line the reading had reached.
struct ScanEnd {
    ScanStop stop;
    std::uint64_t line;
};

// The byte-at-a-time reader's position between two chunks, so that a token
// split by a chunk boundary reads as if it were whole.
struct ScanState {
    enum Phase : std::uint8_t { betweenTokens, afterSign, inDigits };
    std::uint64_t line = 1;       // line of the next byte
    std::uint64_t tokenLine = 0;  // line the current or last token began on
    std::uint64_t magnitude = 0;  // digits so far, saturated just past 2^31
    Phase phase = betweenTokens;
    bool negative = false;
    bool failed = false;  // stopped at a bad token
};

// The numbers read from one chunk of the file, in file order, with what is
// needed to find the line of any of them again.
struct NumberBatch {
    const std::int32_t* values;
    std::size_t count;
    const char* text;  // the chunk the numbers were read from
    const char* textEnd;
    ScanState start;  // the reader's state before the chunk
    bool lastChunk;   // the chunk ended the file
};

// Receives each batch; returns how many of its numbers it stored. Fewer than
// `count` means it ran out of memory at the first one it did not store, and
// the reading stops there.
using NumberSink = std::function<std::size_t(const NumberBatch&)>;

// Reads numbers from `in` until the end of the file, a bad token, a read error
// or a refusal of `sink`, handing them over chunk by chunk. The rules are
// those of formatted extraction: white space (space, \t, \n, \v, \f, \r) is
// skipped; a token is an optional sign directly followed by the longest run
// of decimal digits; it ends before the first byte that cannot continue it
// ("12abc" gives 12, "5-3" gives 5 and -3); a value outside the 32-bit range,
// a lone sign or any other byte ends the reading. Memory stays bounded
// whatever the file holds: long tokens are never buffered whole.
ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink);

// Counts the numbers of `in` into `numbers`, and those equal to `target` into
// `matches`, reading exactly as scanNumbers does and stopping where it would,
// but converting few of them: a plain number is compared with the target as
// text. A count stops where the reading stops.
ScanEnd countNumbers(std::streambuf& in, std::int32_t target, std::int64_t& numbers,
                     std::int64_t& matches);

// The 1-based line on which the batch's number at `index` begins. Costs a
// byte-at-a-time pass over the chunk, so it is meant for the rare messages.
std::uint64_t lineOfNumber(const NumberBatch& batch, std::size_t index);
