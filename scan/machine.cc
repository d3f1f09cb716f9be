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

}  // namespace

void finishAtEnd(ScanState& s, int32_t*& out) {
    if (s.phase == ScanState::inDigits) {
        finishToken(s, out);
    } else if (s.phase == ScanState::afterSign) {
        s.failed = true;
    }
}

const char* runMachine(ScanState& s, const char* p, const char* end, int32_t*& out) {
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (s.phase) {
            case ScanState::betweenTokens:
                if (isSpace(c)) {
                    s.line += c == '\n';
                    continue;
                }
                // Whatever this byte is, an extraction begins here.
                s.tokenLine = s.line;
                s.tokenStart = p;
                s.negative = c == '-';
                if (c == '+' || c == '-') {
                    s.phase = ScanState::afterSign;
                    continue;
                }
                [[fallthrough]];  // a token without a sign starts at its first digit
            case ScanState::afterSign:
                if (!isDigit(c)) {
                    s.failed = true;
                    return p;
                }
                s.magnitude = static_cast<uint64_t>(c - '0');
                s.phase = ScanState::inDigits;
                continue;
            case ScanState::inDigits:
                if (isDigit(c)) {
                    // Saturates just past the limit, so a run of any length
                    // is read in constant space and still rejected.
                    const uint64_t more = s.magnitude * 10 + static_cast<uint64_t>(c - '0');
                    s.magnitude = more < kMinMagnitude + 1 ? more : kMinMagnitude + 1;
                    continue;
                }
                // `c` is not part of the token: the caller looks at it again
                // as the start of what follows.
                finishToken(s, out);
                return p;
        }
    }
    return p;
}

}  // namespace scan
