// The number-file scanner: a 16-bytes-at-a-time path for plain tokens, and a
// byte-at-a-time state machine that defines the rules and takes every token
// the fast path is unsure of.
#include "search/numberScanner.h"

#include <algorithm>
#include <cstring>
#include <ios>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
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

// Bit masks of 16 bytes at `p`: bit i describes p[i].
struct Masks {
    unsigned space;
    unsigned digit;
    unsigned newline;
};

inline Masks classify16(const char* p) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed compares only: shift each range to start at -128, then one
    // less-than tells whether a byte is inside it.
    const __m128i controls = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(128 - 9)));
    const __m128i isControlSpace = _mm_cmplt_epi8(controls, _mm_set1_epi8(-128 + 5));
    const __m128i isBlank = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    const __m128i digits = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(128 - '0')));
    const __m128i isDigitByte = _mm_cmplt_epi8(digits, _mm_set1_epi8(-128 + 10));
    const __m128i isNewline = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
    return {static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isControlSpace, isBlank))),
            static_cast<unsigned>(_mm_movemask_epi8(isDigitByte)),
            static_cast<unsigned>(_mm_movemask_epi8(isNewline))};
#else
    Masks m{0, 0, 0};
    for (unsigned i = 0; i < 16; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        m.space |= unsigned{isSpace(c)} << i;
        m.digit |= unsigned{isDigit(c)} << i;
        m.newline |= unsigned{c == '\n'} << i;
    }
    return m;
#endif
}

inline unsigned lowBits(unsigned n) {
    return (1u << n) - 1;
}
inline unsigned countOnes(unsigned mask) {
    return static_cast<unsigned>(__builtin_popcount(mask));
}
inline unsigned firstOne(unsigned mask) {
    return static_cast<unsigned>(__builtin_ctz(mask));
}

// The value of the `n` (1 to 10) digits at `q`. Reads up to 8 bytes before q.
inline std::uint64_t digitValue(const char* q, unsigned n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t high = 0;
    for (; n > 8; --n) {
        high = high * 10 + static_cast<unsigned char>(*q++) - '0';
    }
    // Eight digits at once: load the 8 bytes that end with the last digit,
    // zero the bytes before the first one (they then read as leading zeros),
    // and combine neighbours pairwise, then in fours, then in eights.
    std::uint64_t x;
    std::memcpy(&x, q + n - 8, 8);
    x &= ~std::uint64_t{0} << (8 * (8 - n));
    x = ((x & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
    x = ((x & 0x00FF00FF00FF00FF) * 6553601) >> 16;
    x = ((x & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
    return high * 100000000 + x;
#else
    std::uint64_t value = 0;
    for (unsigned i = 0; i < n; ++i) {
        value = value * 10 + static_cast<unsigned char>(q[i]) - '0';
    }
    return value;
#endif
}

// Reads the tokens of [p, end), taking plain ones (a sign, then 1 to 10 digits,
// then white space, within 16 bytes) on the fast path and handing everything
// else to the state machine. Returns where it stopped, as runMachine does.
// Bytes from `end` on are padding and must be white space.
const char* scanChunk(ScanState& s, const char* p, const char* end, std::int32_t*& out) {
    while (p < end) {
        if (s.phase != ScanState::betweenTokens) {
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
            continue;
        }
        Masks m = classify16(p);
        const unsigned nonSpace = ~m.space & 0xFFFF;
        if (nonSpace == 0) {
            s.line += countOnes(m.newline);
            p += 16;
            continue;
        }
        const unsigned skip = firstOne(nonSpace);
        if (skip != 0) {
            s.line += countOnes(m.newline & lowBits(skip));
            p += skip;
            if (p >= end) {
                break;
            }
            m = classify16(p);
        }
        const unsigned length = m.space == 0 ? 16 : firstOne(m.space);
        const unsigned sign = *p == '-' || *p == '+';
        const unsigned digits = length - sign;
        // A token that reaches `end` may go on in the next chunk.
        if (length == 16 || p + length >= end || digits == 0 || digits > 10 ||
            ((m.digit >> sign) & lowBits(digits)) != lowBits(digits)) {
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
            continue;
        }
        s.tokenLine = s.line;
        s.negative = *p == '-';
        s.magnitude = digitValue(p + sign, digits);
        if (!finishToken(s, out)) {
            return p;
        }
        p += length;
    }
    return end;
}

}  // namespace

ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink) {
    std::vector<char> buffer(kFrontPad + kChunk + kBackPad, ' ');
    char* const text = buffer.data() + kFrontPad;
    // At most one number per two bytes, plus one finished at the end of the file.
    std::vector<std::int32_t> values(kChunk / 2 + 2);
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
        scanChunk(state, text, textEnd, out);
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
