// The byte-at-a-time reader that defines what a number file holds. Every
// kernel must read exactly as it does, and hands it whatever is unusual.
//
// Included by the kernels, which are compiled with their own instruction sets
// and without the C++ library: C headers only, and helpers with internal
// linkage, so that no copy built for one instruction set can stand in for
// another at link time.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace scan {

// The magnitude of INT32_MIN; a larger magnitude can never be read back.
constexpr uint64_t kMinMagnitude = 2147483648u;

namespace {

// White space as formatted extraction skips it: space, \t, \n, \v, \f, \r.
inline bool isSpace(unsigned char c) {
    return c == ' ' || static_cast<unsigned>(c - 9) < 5u;
}
inline bool isDigit(unsigned char c) {
    return static_cast<unsigned>(c - '0') < 10u;
}

// Eight bytes from `p` as a number whose low byte is p[0], whatever the
// processor's byte order.
inline uint64_t loadLittle(const char* p) {
    uint64_t x;
    memcpy(&x, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x;
}

// The one rule for a token's value, which the byte machine and every
// conversion share: whether `magnitude`, with a minus before it where
// `negative` is 1, lies outside the 32-bit range ...
inline bool beyondRange(uint64_t magnitude, unsigned negative) {
    return magnitude > kMinMagnitude - 1 + negative;
}
// ... and its value where it does not. Bitwise, without a branch: the sign
// of random numbers is a coin toss that no branch predictor wins, and
// (m ^ -1) + 1 is -m.
inline int32_t signedValue(uint64_t magnitude, unsigned negative) {
    const uint64_t flip = 0 - uint64_t{negative};
    return static_cast<int32_t>(static_cast<uint32_t>((magnitude ^ flip) + negative));
}

}  // namespace

// The reader's position, carried from one chunk of text to the next, so that
// a token split between two chunks reads as if it were whole.
struct ScanState {
    enum Phase : uint8_t { betweenTokens, afterSign, inDigits };
    uint64_t line = 1;       // line of the next byte
    uint64_t tokenLine = 0;  // line the current or last token began on
    uint64_t magnitude = 0;  // digits so far, saturated just past 2^31
    // Where the current or last token began, if it began in the chunk being
    // read; the reader of the chunks clears it before each one.
    const char* tokenStart = nullptr;
    Phase phase = betweenTokens;
    bool negative = false;
    bool failed = false;  // stopped at a token that is not a 32-bit number
};

// Runs the reader over [p, end) up to the end of the first token it
// finishes, appending its number to `out`. Returns where it stopped: right
// after that token, at `end`, or at the byte that showed a token to be bad
// (state.failed). A token still open at `end` stays open in the state.
const char* runMachine(ScanState& state, const char* p, const char* end, int32_t*& out);

// At the end of the file: an open token is complete, a lone sign is bad.
void finishAtEnd(ScanState& state, int32_t*& out);

}  // namespace scan
