// A bounded twin of `std::istream >> double`. The standard extraction copies
// every character of the number into a string and hands it to strtod; this
// keeps only what can change the correctly rounded result.
#include "frontend/doubleReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// Significant digits kept. A double lies nearer one neighbour than the other
// unless the decimal value sits exactly on the midpoint between them. Such a
// midpoint is an odd multiple of 2^-1075, and the longest, that between the
// two largest subnormals, (2^53 - 1) x 2^-1075, has 768 significant digits.
// With more digits kept than that, and the rest stood for by one non-zero
// digit when any of them is not zero, the shortened text falls on the same
// side of every midpoint as the whole one, so strtod rounds both alike.
constexpr std::size_t kKeptDigits = 800;
// An exponent beyond this makes any value kept here overflow or underflow;
// it is saturated there so that no run of exponent digits can overflow.
constexpr std::int64_t kExponentLimit = 1'000'000'000'000'000;

// The number as read so far: value = sign 0.digits x 10^(scale + exponent).
struct Decimal {
    bool negative = false;
    bool sawDigit = false;  // a digit of the significand came, even a zero
    bool sawExponentDigit = false;
    char digits[kKeptDigits];  // significant digits, from the first non-zero one
    std::size_t kept = 0;      // how many of them
    bool dropped = false;      // a non-zero digit came after the kept ones
    std::int64_t scale = 0;
    std::int64_t exponent = 0;
    bool exponentNegative = false;

    void addDigit(int digit, bool afterPoint) {
        sawDigit = true;
        if (kept == 0 && digit == 0) {
            scale -= afterPoint;  // a zero before the first significant digit
            return;
        }
        scale += !afterPoint;
        if (kept < kKeptDigits) {
            digits[kept++] = static_cast<char>('0' + digit);
        } else {
            dropped |= digit != 0;
        }
    }
    void addExponentDigit(int digit) {
        sawExponentDigit = true;
        exponent = exponent < kExponentLimit ? exponent * 10 + digit : kExponentLimit;
    }
};

// The value strtod gives for the kept text, which stands for the whole. Built
// on the stack: reading a number allocates nothing, so it cannot run out of
// memory.
double valueOf(const Decimal& d) {
    if (d.kept == 0) {
        return d.negative ? -0.0 : 0.0;
    }
    const std::int64_t power = d.scale + (d.exponentNegative ? -d.exponent : d.exponent);
    char text[kKeptDigits + 32];
    std::snprintf(text, sizeof text, "%s0.%.*s%se%lld", d.negative ? "-" : "",
                  static_cast<int>(d.kept), d.digits, d.dropped ? "1" : "",
                  static_cast<long long>(power));
    return std::strtod(text, nullptr);
}

// Reads the number's characters from `buffer`, past the white space, and
// returns the stream state they leave: eof where the input ended, fail where
// they are no number or overflow.
std::ios::iostate readNumberText(std::streambuf& buffer, double& value) {
    constexpr int kEnd = std::char_traits<char>::eof();
    Decimal d;
    int c = buffer.sgetc();
    if (c == '+' || c == '-') {
        d.negative = c == '-';
        c = buffer.snextc();
    }
    bool afterPoint = false;
    bool inExponent = false;
    while (c != kEnd) {
        if (c >= '0' && c <= '9') {
            if (inExponent) {
                d.addExponentDigit(c - '0');
            } else {
                d.addDigit(c - '0', afterPoint);
            }
        } else if (c == '.' && !afterPoint && !inExponent) {
            afterPoint = true;
        } else if ((c == 'e' || c == 'E') && !inExponent && d.sawDigit) {
            inExponent = true;
            c = buffer.snextc();
            if (c != '+' && c != '-') {
                continue;  // look at it again as an exponent digit
            }
            d.exponentNegative = c == '-';
        } else {
            break;
        }
        c = buffer.snextc();
    }

    std::ios::iostate state = c == kEnd ? std::ios::eofbit : std::ios::goodbit;
    if (!d.sawDigit || (inExponent && !d.sawExponentDigit)) {
        value = 0;  // no number: "", "+", ".", "1e", "1e-"
        state |= std::ios::failbit;
    } else {
        value = valueOf(d);
        if (value == std::numeric_limits<double>::infinity() ||
            value == -std::numeric_limits<double>::infinity()) {
            value = value > 0 ? std::numeric_limits<double>::max()
                              : std::numeric_limits<double>::lowest();
            state |= std::ios::failbit;
        }
    }
    return state;
}

}  // namespace

std::istream& readDouble(std::istream& in, double& value) {
    // Skips white space; at the end of the input it sets eofbit and failbit.
    const std::istream::sentry ready(in);
    if (!ready) {
        return in;
    }
    std::ios::iostate state = std::ios::badbit;
    try {
        state = readNumberText(*in.rdbuf(), value);
    } catch (...) {
        // A buffer whose read failed may throw, as libstdc++'s file buffers
        // do: the stream goes bad, as in `in >> value`, which catches it too.
    }
    in.setstate(state);
    return in;
}
