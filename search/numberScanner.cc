// The number-file scanner: a 16-bytes-at-a-time path for plain tokens, and a
// byte-at-a-time state machine that defines the rules and takes every token
// the fast path is unsure of.
#include "search/numberScanner.h"

#include <algorithm>
#include <cstring>
#include <ios>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// The magnitude of INT32_MIN; a larger magnitude can never be read back.
constexpr std::uint64_t kMinMagnitude = 2147483648u;
// Read size. Large enough that the read calls cost nothing next to the
// parsing, small enough to stay in the second-level cache.
constexpr std::size_t kChunk = std::size_t{1} << 20;
// Slack before and after the chunk so the fast path may load 16 bytes at any
// token, and 8 bytes before its digits, without bounds checks.
constexpr std::size_t kFrontPad = 16;
constexpr std::size_t kBackPad = 64;

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

// The reference reader: runs the state machine over [p, end) and returns where
// it stopped: at `end`, at the first byte of a bad token (state.failed), or,
// with `oneToken`, right after the first token that it finished.
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
                s.magnitude = c - '0';
                s.phase = ScanState::inDigits;
                continue;
            case ScanState::afterSign:
                if (!isDigit(c)) {
                    s.failed = true;
                    return p;
                }
                s.magnitude = c - '0';
                s.phase = ScanState::inDigits;
                continue;
            case ScanState::inDigits:
                if (isDigit(c)) {
                    // Saturates just past the limit, so a run of any length
                    // is read in constant space and still rejected.
                    s.magnitude = std::min(s.magnitude * 10 + (c - '0'), kMinMagnitude + 1);
                    continue;
                }
                // `c` is not part of the token: it is looked at again as the
                // start of what follows.
                if (!finishToken(s, out)) {
                    return p;
                }
                if (oneToken) {
                    return p;
                }
                --p;
                continue;
        }
    }
    return p;
}

// At the end of the file: a pending token is complete, a lone sign is not.
void finishAtEnd(ScanState& s, std::int32_t*& out) {
    if (s.phase == ScanState::inDigits) {
        finishToken(s, out);
    } else if (s.phase == ScanState::afterSign) {
        s.failed = true;
    }
}

// Bit masks of 64 bytes: bit i describes byte i of the block.
struct BlockMasks {
    std::uint64_t space, digit, sign, newline;
};

#if defined(__SSE2__)
// Signed compares only: each range is shifted to start at -128, so that one
// less-than tells whether a byte lies inside it.
#define NEEDLE_CLASSIFY(Vec, load, set1, add, cmpeq, cmplt, orv, movemask, width)        \
    BlockMasks m{0, 0, 0, 0};                                                            \
    for (unsigned i = 0; i < 64; i += width) {                                           \
        const Vec bytes = load(reinterpret_cast<const Vec*>(p + i));                     \
        const Vec controls = add(bytes, set1(static_cast<char>(128 - 9)));               \
        const Vec space = orv(cmplt(controls, set1(-128 + 5)), cmpeq(bytes, set1(' '))); \
        const Vec digits = add(bytes, set1(static_cast<char>(128 - '0')));               \
        const Vec digit = cmplt(digits, set1(-128 + 10));                                \
        const Vec sign = orv(cmpeq(bytes, set1('-')), cmpeq(bytes, set1('+')));          \
        const Vec newline = cmpeq(bytes, set1('\n'));                                    \
        m.space |= std::uint64_t{static_cast<std::uint32_t>(movemask(space))} << i;      \
        m.digit |= std::uint64_t{static_cast<std::uint32_t>(movemask(digit))} << i;      \
        m.sign |= std::uint64_t{static_cast<std::uint32_t>(movemask(sign))} << i;        \
        m.newline |= std::uint64_t{static_cast<std::uint32_t>(movemask(newline))} << i;  \
    }                                                                                    \
    return m;

inline BlockMasks classifySse2(const char* p) {
    NEEDLE_CLASSIFY(__m128i, _mm_loadu_si128, _mm_set1_epi8, _mm_add_epi8, _mm_cmpeq_epi8,
                    _mm_cmplt_epi8, _mm_or_si128, _mm_movemask_epi8, 16)
}

// _mm256_cmplt_epi8 does not exist; greater-than with the operands swapped does.
#define NEEDLE_CMPLT256(a, b) _mm256_cmpgt_epi8(b, a)
__attribute__((target("avx2"))) inline BlockMasks classifyAvx2(const char* p) {
    NEEDLE_CLASSIFY(__m256i, _mm256_loadu_si256, _mm256_set1_epi8, _mm256_add_epi8,
                    _mm256_cmpeq_epi8, NEEDLE_CMPLT256, _mm256_or_si256, _mm256_movemask_epi8, 32)
}
#undef NEEDLE_CMPLT256
#undef NEEDLE_CLASSIFY
#else
inline BlockMasks classifyPortable(const char* p) {
    BlockMasks m{0, 0, 0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        m.space |= std::uint64_t{isSpace(c)} << i;
        m.digit |= std::uint64_t{isDigit(c)} << i;
        m.sign |= std::uint64_t{c == '-' || c == '+'} << i;
        m.newline |= std::uint64_t{c == '\n'} << i;
    }
    return m;
}
#endif

inline unsigned firstOne(std::uint64_t mask) {
    return static_cast<unsigned>(__builtin_ctzll(mask));
}

// Sums eight digit bytes (ASCII digits or zero bytes, the first the most
// significant) by combining neighbours pairwise, then in fours, then in eights.
inline std::uint64_t eightDigits(std::uint64_t x) {
    x = ((x & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
    x = ((x & 0x00FF00FF00FF00FF) * 6553601) >> 16;
    return ((x & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
}

// Which bytes of the 16 before a token's end hold its last n digits, for the
// low and high 8 bytes of that window.
struct DigitKeep {
    std::uint64_t high, low;
};
constexpr DigitKeep digitKeep(unsigned n) {
    return {n <= 8 ? 0 : ~std::uint64_t{0} << (8 * (16 - n)),
            n >= 8   ? ~std::uint64_t{0}
            : n == 0 ? 0
                     : ~std::uint64_t{0} << (8 * (8 - n))};
}
constexpr DigitKeep kDigitKeep[17] = {
    digitKeep(0),  digitKeep(1),  digitKeep(2),  digitKeep(3),  digitKeep(4),  digitKeep(5),
    digitKeep(6),  digitKeep(7),  digitKeep(8),  digitKeep(9),  digitKeep(10), digitKeep(11),
    digitKeep(12), digitKeep(13), digitKeep(14), digitKeep(15), digitKeep(16)};

// The value of the n (1 to 16) digits that end just before `end`, without a
// branch on n: the 16 bytes before `end` are loaded and those before the
// first digit are zeroed, so that they read as leading zeros. Reads up to 16
// bytes before `end`.
inline std::uint64_t digitValue(const char* end, unsigned n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t high, low;
    std::memcpy(&high, end - 16, 8);
    std::memcpy(&low, end - 8, 8);
    return eightDigits(high & kDigitKeep[n].high) * 100000000 +
           eightDigits(low & kDigitKeep[n].low);
#else
    std::uint64_t value = 0;
    for (const char* q = end - n; q < end; ++q) {
        value = value * 10 + static_cast<unsigned char>(*q) - '0';
    }
    return value;
#endif
}

#if defined(__SSE2__)
// 16 zero bytes, then 16 bytes of ones: 16 bytes loaded from offset n keep
// the last n bytes of a vector.
alignas(32) constexpr unsigned char kKeepLast[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// digitValue with vector multiply-adds: digits are combined in pairs, fours
// and eights across the 16 bytes at once, leaving two 8-digit halves.
__attribute__((target("sse4.1"))) inline std::uint64_t digitValueSse41(const char* end,
                                                                       unsigned n) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    v = _mm_subs_epu8(v, _mm_set1_epi8('0'));
    v = _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + n)));
    v = _mm_maddubs_epi16(v, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
    v = _mm_madd_epi16(v, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    v = _mm_packus_epi32(v, v);
    v = _mm_madd_epi16(v, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const auto halves = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
    return (halves & 0xFFFFFFFF) * 100000000 + (halves >> 32);
}
#endif

// Bytes indexed at a time. The index of a window stays in the first-level
// cache, and a window is the most work lost when an unusual byte sends the
// rest of it to the state machine.
constexpr std::size_t kWindow = 8192;
constexpr std::uint32_t kNone = ~std::uint32_t{0};

// Where the tokens of a window start and end, as offsets from its start.
struct TokenIndex {
    std::uint32_t starts[kWindow / 2 + 1];
    std::uint32_t ends[kWindow / 2 + 1];
    std::uint32_t startCount, endCount;
    std::uint32_t unusual;   // offset of the first unusual byte, or kNone
    std::uint64_t newlines;  // newlines in the window, when nothing was unusual
};

inline void appendOffsets(std::uint64_t bits, std::uint32_t base, std::uint32_t* out,
                          std::uint32_t& count) {
    for (; bits != 0; bits &= bits - 1) {
        out[count++] = base + firstOne(bits);
    }
}

// The first stage: finds the tokens of [p, p + size) from block masks alone,
// so no block waits for the one before it. `p` must be at white space or at
// the start of a token. A byte is unusual when it is neither white space nor
// a digit nor a sign that starts a token; indexing stops in its block, since
// the state machine takes over there.
template <BlockMasks (*classify)(const char*)>
inline __attribute__((always_inline)) void indexTokens(const char* p, std::size_t size,
                                                       TokenIndex& ix) {
    ix.startCount = ix.endCount = 0;
    ix.unusual = kNone;
    ix.newlines = 0;
    std::uint64_t previousSpace = 1;
    for (std::uint32_t base = 0; base < size; base += 64) {
        const BlockMasks m = classify(p + base);
        const std::uint64_t valid =
            size - base >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (size - base)) - 1;
        const std::uint64_t afterSpace = (m.space << 1) | previousSpace;
        previousSpace = m.space >> 63;
        const std::uint64_t starts = ~m.space & afterSpace & valid;
        const std::uint64_t ends = m.space & ~afterSpace & valid;
        const std::uint64_t unusual = ~m.space & ~m.digit & ~(m.sign & starts) & valid;
        appendOffsets(starts, base, ix.starts, ix.startCount);
        appendOffsets(ends, base, ix.ends, ix.endCount);
        ix.newlines += static_cast<std::uint64_t>(__builtin_popcountll(m.newline & valid));
        if (unusual != 0) {
            ix.unusual = base + firstOne(unusual);
            return;
        }
    }
}

// Reads the tokens of [p, end) a window at a time: indexes the window, then
// converts its plain tokens (a sign, then 1 to 10 digits) each on its own.
// A token that is anything else, and the rest of its window, go to the state
// machine. Returns where it stopped, as runMachine does. Bytes from `end` on
// are padding and must be white space.
template <BlockMasks (*classify)(const char*), std::uint64_t (*convert)(const char*, unsigned)>
inline __attribute__((always_inline)) const char* scanWindows(ScanState& s, const char* p,
                                                              const char* end, std::int32_t*& out,
                                                              TokenIndex& ix) {
    while (p < end) {
        if (s.phase != ScanState::betweenTokens) {
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
            continue;
        }
        const std::size_t size = std::min(kWindow, static_cast<std::size_t>(end - p));
        indexTokens<classify>(p, size, ix);
        std::uint32_t i = 0;
        std::uint32_t handOver = kNone;
        for (; i < ix.endCount; ++i) {
            const std::uint32_t start = ix.starts[i];
            const std::uint32_t stop = ix.ends[i];
            const unsigned sign = p[start] == '-' || p[start] == '+';
            const unsigned digits = stop - start - sign;
            if (stop > ix.unusual || digits - 1 >= 10) {
                handOver = start;
                break;
            }
            const std::uint64_t magnitude = convert(p + stop, digits);
            const bool negative = p[start] == '-';
            if (magnitude > kMinMagnitude - 1 + negative) {
                s.failed = true;
                s.tokenLine = s.line + static_cast<std::uint64_t>(std::count(p, p + start, '\n'));
                return p + start;
            }
            const auto value = static_cast<std::int64_t>(magnitude);
            *out++ = static_cast<std::int32_t>(negative ? -value : value);
        }
        if (handOver == kNone && ix.unusual != kNone) {
            handOver = ix.starts[i];
        }
        if (handOver != kNone) {
            s.line += static_cast<std::uint64_t>(std::count(p, p + handOver, '\n'));
            p = runMachine(s, p + handOver, p + size, out, false);
            if (s.failed) {
                return p;
            }
            continue;
        }
        s.line += ix.newlines;
        if (i == ix.startCount) {
            p += size;
        } else if (ix.starts[i] != 0) {
            p += ix.starts[i];  // a token cut off by the window's end opens the next one
        } else {
            // A token as long as a window, or one that reaches the end of
            // the chunk: the state machine reads it without limit.
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
        }
    }
    return end;
}

#if defined(__SSE2__)
const char* scanChunkSse2(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                          TokenIndex& ix) {
    return scanWindows<classifySse2, digitValue>(s, p, end, out, ix);
}

__attribute__((target("avx2,sse4.1,popcnt,bmi"))) const char* scanChunkAvx2(
    ScanState& s, const char* p, const char* end, std::int32_t*& out, TokenIndex& ix) {
    return scanWindows<classifyAvx2, digitValueSse41>(s, p, end, out, ix);
}

// The widest variant this processor runs, chosen once.
const char* scanChunk(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                      TokenIndex& ix) {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") &&
                                __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi");
    return hasAvx2 ? scanChunkAvx2(s, p, end, out, ix) : scanChunkSse2(s, p, end, out, ix);
}
#else
const char* scanChunk(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                      TokenIndex& ix) {
    return scanWindows<classifyPortable, digitValue>(s, p, end, out, ix);
}
#endif

}  // namespace

ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink) {
    std::vector<char> buffer(kFrontPad + kChunk + kBackPad, ' ');
    char* const text = buffer.data() + kFrontPad;
    // At most one number per two bytes, plus one finished at the end of the file.
    std::vector<std::int32_t> values(kChunk / 2 + 2);
    const auto index = std::make_unique<TokenIndex>();
    ScanState state;
    while (true) {
        std::streamsize got = 0;
        try {
            got = in.sgetn(text, static_cast<std::streamsize>(kChunk));
        } catch (const std::ios_base::failure&) {
            return {ScanStop::readError, state.line};
        }
        if (got < 0) {
            return {ScanStop::readError, state.line};
        }
        const char* textEnd = text + got;
        std::fill(text + got, text + got + kBackPad, ' ');
        const ScanState start = state;
        std::int32_t* out = values.data();
        scanChunk(state, text, textEnd, out, *index);
        const bool lastChunk = got == 0;
        if (lastChunk && !state.failed) {
            finishAtEnd(state, out);
        }
        const auto count = static_cast<std::size_t>(out - values.data());
        if (count != 0) {
            const NumberBatch batch{values.data(), count, text, textEnd, start, lastChunk};
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
    }
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
