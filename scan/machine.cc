// The byte-at-a-time reader: the rules of a number file, one byte at a time.
#include "scan/machine.h"

namespace scan {

namespace {

// Ends the token in `state`, leaving the state failed where its value lies
// outside the 32-bit range.
void finishToken(ScanState& s, int32_t*& out) {
    s.phase = ScanState::betweenTokens;
    if (beyondRange(s.magnitude, s.negative)) {
        s.failed = true;
        return;
    }
    *out++ = signedValue(s.magnitude, s.negative);
}

// One in every byte of a word: times a byte, that byte in every place.
constexpr uint64_t kEveryByte = 0x0101010101010101;

// A magnitude held just past the limit once beyond it, so that a run of
// digits of any length is read in constant space and still rejected.
inline uint64_t saturated(uint64_t magnitude) {
    return magnitude < kMinMagnitude + 1 ? magnitude : kMinMagnitude + 1;
}

// How many of the eight bytes of `word` (first byte lowest) are digits
// before the first one that is not, 0 to 8. A byte x ^ '0' is a digit's
// value where its high half is zero and its low half less than 10, which
// adding 6 to the low half shows without a carry into the next byte.
inline unsigned leadingDigits(uint64_t word) {
    const uint64_t x = word ^ (kEveryByte * '0');
    const uint64_t notDigit =
        (x & kEveryByte * 0xF0) | (((x & kEveryByte * 0x0F) + kEveryByte * 6) & kEveryByte * 0x10);
    // The high bit of each byte that is not zero.
    const uint64_t marks =
        (((notDigit & kEveryByte * 0x7F) + kEveryByte * 0x7F) | notDigit) & kEveryByte * 0x80;
    return marks == 0 ? 8u : static_cast<unsigned>(__builtin_ctzll(marks)) / 8;
}

// The value of the first `count` bytes of `word` (1 to 8 digits, first
// byte lowest), moved to the top so that the bytes below read as leading
// zeros: each pair of digits is joined in its first byte, then the four
// pairs by two multiplies, whose sum lands in the high half.
inline uint64_t digitsValue(uint64_t word, unsigned count) {
    constexpr uint64_t kPairs = 0x000000FF000000FF;  // bytes 0 and 4
    uint64_t v = (word ^ (kEveryByte * '0')) << (64 - 8 * count);
    v = v * 10 + (v >> 8);
    v = (v & kPairs) * (100 + (1000000ull << 32)) + ((v >> 16) & kPairs) * (1 + (10000ull << 32));
    return v >> 32;
}

// Appends the run of digits at `p` to `magnitude`, saturated as one digit
// at a time would be, and returns where the run ends (at `end` where the
// text ends first).
inline const char* readDigits(const char* p, const char* end, uint64_t& magnitude) {
    static constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,     10000,
                                                100000, 1000000, 10000000, 100000000};
    // Eight bytes at a time, where eight remain: the byte loop's exit, taken
    // at a token's end after a length no branch predictor knows, cost more
    // than the digits.
    while (end - p >= 8) {
        const uint64_t word = loadLittle(p);
        const unsigned count = leadingDigits(word);
        if (count != 0) {
            // At most (2^31 + 1) 10^8 + 10^8: no overflow.
            magnitude = saturated(magnitude * kPowersOfTen[count] + digitsValue(word, count));
        }
        p += count;
        if (count < 8) {
            return p;
        }
    }
    for (; p < end && isDigit(static_cast<unsigned char>(*p)); ++p) {
        magnitude = saturated(magnitude * 10 + static_cast<uint64_t>(*p - '0'));
    }
    return p;
}

}  // namespace

void finishAtEnd(ScanState& s, int32_t*& out) {
    if (s.phase == ScanState::inDigits) {
        finishToken(s, out);
    } else if (s.phase == ScanState::afterSign) {
        s.failed = true;
    }
}

const char* runMachine(ScanState& s, const char* p, const char* end, int32_t*& out) {
    if (p == end) {
        return p;
    }
    // Each phase goes on into the next, the text checked for its end at
    // each byte taken: a token reads straight through, not once round a
    // loop for every byte.
    switch (s.phase) {
        case ScanState::betweenTokens: {
            unsigned char c;
            while (isSpace(c = static_cast<unsigned char>(*p))) {
                s.line += c == '\n';
                if (++p == end) {
                    return p;
                }
            }
            // Whatever this byte is, an extraction begins here.
            s.tokenLine = s.line;
            s.tokenStart = p;
            s.negative = c == '-';
            if (c == '+' || c == '-') {
                s.phase = ScanState::afterSign;
                if (++p == end) {
                    return p;
                }
            }
        }
            [[fallthrough]];  // a token without a sign starts at its first digit
        case ScanState::afterSign:
            if (!isDigit(static_cast<unsigned char>(*p))) {
                s.failed = true;
                return p;
            }
            s.magnitude = static_cast<uint64_t>(*p - '0');
            s.phase = ScanState::inDigits;
            if (++p == end) {
                return p;
            }
            [[fallthrough]];
        case ScanState::inDigits:
            p = readDigits(p, end, s.magnitude);
            if (p == end) {
                return p;
            }
            // `*p` is not part of the token: the caller looks at it again as
            // the start of what follows.
            finishToken(s, out);
            return p;
    }
    return p;
}

}  // namespace scan
