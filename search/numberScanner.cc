// The number-file scanner's driver: chunked reading, the byte-at-a-time state
// machine that defines the rules, and the choice of vector kernel.
#include "search/numberScanner.h"

#include <algorithm>
#include <ios>
#include <memory>
#include <string>

#include "search/scanKernel.h"

namespace scan_detail {

namespace {

// The magnitude of INT32_MIN; a larger magnitude can never be read back.
constexpr std::uint64_t kMinMagnitude = 2147483648u;
// Slack before and after the chunk, so that the kernels may read a little
// past either end of it without bounds checks.
constexpr std::size_t kFrontPad = 64;
constexpr std::size_t kBackPad = 256;

inline bool isSpace(unsigned char c) {
    return c == ' ' || static_cast<unsigned>(c - 9) < 5u;
}
inline bool isDigit(unsigned char c) {
    return static_cast<unsigned>(c - '0') < 10u;
}

// Ends the token in `state`. Returns false, leaving the state failed, when its
// value lies outside the 32-bit range.
inline bool finishToken(ScanState& state, std::int32_t*& out) {
    const std::uint64_t limit = state.negative ? kMinMagnitude : kMinMagnitude - 1;
    state.phase = ScanState::betweenTokens;
    if (state.magnitude > limit) {
        state.failed = true;
        return false;
    }
    const auto magnitude = static_cast<std::int64_t>(state.magnitude);
    *out++ = static_cast<std::int32_t>(state.negative ? -magnitude : magnitude);
    return true;
}

// At the end of the file: a pending token is complete, a lone sign is not.
void finishAtEnd(ScanState& s, std::int32_t*& out) {
    if (s.phase == ScanState::inDigits) {
        finishToken(s, out);
    } else if (s.phase == ScanState::afterSign) {
        s.failed = true;
    }
}

// The kernels for this processor: AVX2 where it has it, chosen once.
struct Kernels {
    ScanChunk scan;
    CountChunk count;
};

Kernels kernels() {
#if defined(__x86_64__)
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                                __builtin_cpu_supports("popcnt");
    if (hasAvx2 && !forceBaselineKernels) {
        return {avx2::scanChunk, avx2::countChunk};
    }
#endif
    return {baseline::scanChunk, baseline::countChunk};
}

// Reads `in` a chunk at a time, lets `process` read each chunk's tokens, and
// hands the numbers it appended to `sink`.
// The memory one chunk needs: its text with padding, and room for its numbers.
struct ChunkBuffers {
    explicit ChunkBuffers(std::size_t bytes)
        // Left uninitialised: only the pages a file reaches are ever touched,
        // and touching a fresh page is dear.
        : size(bytes),
          storage(new char[kFrontPad + bytes + kBackPad]),
          // At most one number per two bytes, plus one finished at the end.
          values(new std::int32_t[bytes / 2 + 2]) {
        std::fill(storage.get(), text(), ' ');
    }
    char* text() const { return storage.get() + kFrontPad; }

    std::size_t size;
    std::unique_ptr<char[]> storage;
    std::unique_ptr<std::int32_t[]> values;
};

// Reads `in` a chunk at a time, lets `process` read each chunk's tokens, and
// hands the numbers it appended to `sink`.
template <typename Process>
ScanEnd readChunks(std::streambuf& in, const NumberSink& sink, Process process) {
    auto chunk = std::make_unique<ChunkBuffers>(kFirstChunk);
    const auto index = std::make_unique<TokenIndex>();
    ScanState state;
    while (true) {
        char* const text = chunk->text();
        std::streamsize got = 0;
        try {
            got = in.sgetn(text, static_cast<std::streamsize>(chunk->size));
        } catch (const std::ios_base::failure&) {
            return {ScanStop::readError, state.line};
        }
        if (got < 0) {
            return {ScanStop::readError, state.line};
        }
        const char* textEnd = text + got;
        std::fill(text + got, text + got + kBackPad, ' ');
        const ScanState start = state;
        std::int32_t* const values = chunk->values.get();
        std::int32_t* out = values;
        process(state, text, textEnd, out, *index);
        const bool lastChunk = got == 0;
        if (lastChunk && !state.failed) {
            finishAtEnd(state, out);
        }
        const auto count = static_cast<std::size_t>(out - values);
        if (count != 0) {
            const NumberBatch batch{values, count, text, textEnd, start, lastChunk};
            const std::size_t stored = sink(batch);
            if (stored < count) {
                return {ScanStop::outOfMemory, lineOfNumber(batch, stored)};
            }
        }
        if (state.failed) {
            return {ScanStop::notANumber, state.tokenLine};
        }
        if (lastChunk) {
            return {ScanStop::endOfFile, state.line};
        }
        // The state carries everything a token split between chunks needs,
        // so the buffers may change between any two chunks.
        if (static_cast<std::size_t>(got) == chunk->size && chunk->size < kChunk) {
            chunk = std::make_unique<ChunkBuffers>(kChunk);
        }
    }
}

}  // namespace

bool forceBaselineKernels = false;

const char* runMachine(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                       bool oneToken) {
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (s.phase) {
            case ScanState::betweenTokens:
                if (isSpace(c)) {
                    s.line += c == '\n';
                    continue;
                }
                s.tokenLine = s.line;
                s.negative = c == '-';
                if (c == '+' || c == '-') {
                    s.phase = ScanState::afterSign;
                    continue;
                }
                if (!isDigit(c)) {
                    s.failed = true;
                    return p;
                }
                s.magnitude = static_cast<std::uint64_t>(c - '0');
                s.phase = ScanState::inDigits;
                continue;
            case ScanState::afterSign:
                if (!isDigit(c)) {
                    s.failed = true;
                    return p;
                }
                s.magnitude = static_cast<std::uint64_t>(c - '0');
                s.phase = ScanState::inDigits;
                continue;
            case ScanState::inDigits:
                if (isDigit(c)) {
                    // Saturates just past the limit, so a run of any length
                    // is read in constant space and still rejected.
                    s.magnitude = std::min(s.magnitude * 10 + static_cast<std::uint64_t>(c - '0'),
                                           kMinMagnitude + 1);
                    continue;
                }
                // `c` is not part of the token: it is looked at again as the
                // start of what follows.
                if (!finishToken(s, out) || oneToken) {
                    return p;
                }
                --p;
                continue;
        }
    }
    return p;
}

}  // namespace scan_detail

using namespace scan_detail;

ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink) {
    return readChunks(in, sink, kernels().scan);
}

ScanEnd countNumbers(std::streambuf& in, std::int32_t target, std::int64_t& numbers,
                     std::int64_t& matches) {
    CountTarget canonical{};
    const std::string text = std::to_string(target);
    std::copy(text.begin(), text.end(), canonical.text);
    canonical.length = static_cast<unsigned>(text.size());
    Tally tally{0, 0};
    const CountChunk countChunk = kernels().count;
    // The kernel counts plain numbers itself and hands over the rest.
    const ScanEnd end = readChunks(
        in,
        [&tally, target](const NumberBatch& batch) {
            tally.numbers += static_cast<std::int64_t>(batch.count);
            tally.matches += std::count(batch.values, batch.values + batch.count, target);
            return batch.count;
        },
        [&](ScanState& s, const char* from, const char* to, std::int32_t*& out, TokenIndex& ix) {
            return countChunk(s, from, to, out, ix, canonical, tally);
        });
    numbers += tally.numbers;
    matches += tally.matches;
    return end;
}

std::uint64_t lineOfNumber(const NumberBatch& batch, std::size_t index) {
    ScanState s = batch.start;
    std::int32_t scratch[1];
    const char* p = batch.text;
    for (std::size_t seen = 0;;) {
        std::int32_t* out = scratch;
        p = runMachine(s, p, batch.textEnd, out, true);
        if (out == scratch && p == batch.textEnd && !s.failed && batch.lastChunk) {
            finishAtEnd(s, out);
        }
        if (out != scratch) {
            if (seen == index) {
                return s.tokenLine;
            }
            ++seen;
            continue;
        }
        if (p == batch.textEnd || s.failed) {
            return s.line;  // only for an index past the batch's end
        }
    }
}
