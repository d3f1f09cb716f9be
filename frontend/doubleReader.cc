// A bounded twin of `std::istream >> double`. The standard extraction copies
// every character of the number into a string and hands it to strtod; this
// keeps only what can change the correctly rounded result.
#include "frontend/doubleReader.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// Significant digits kept. A double lies nearer one neighbour than the other
// unless the decimal value sits exactly on the midpoint between them, and
// such midpoints have at most 767 significant digits. With more digits kept
// than that, and the rest stood for by one non-zero digit when any of them is
// not zero, the shortened text falls on the same side of every midpoint as
// the whole one, so strtod rounds both alike.
constexpr std::size_t kKeptDigits = 800;
// An exponent beyond this makes any value kept here overflow or underflow;
// it is saturated there so that no run of exponent digits can overflow.
constexpr std::int64_t kExponentLimit = 1'000'000'000'000'000;

// The number as read so far: value = sign 0.digits x 10^(scale + exponent).
struct Decimal {
    bool negative = false;
    bool sawDigit = false;  // a digit of the significand came, even a zero
    bool sawExponentDigit = false;
    std::string digits;    // significant digits, from the first non-zero one
    bool dropped = false;  // a non-zero digit came after the kept ones
    std::int64_t scale = 0;
    std::int64_t exponent = 0;
    bool exponentNegative = false;

    void addDigit(int digit, bool afterPoint) {
        sawDigit = true;
        if (digits.empty() && digit == 0) {
            scale -= afterPoint;  // a zero before the first significant digit
            return;
        }
        scale += !afterPoint;
        if (digits.size() < kKeptDigits) {
            digits += static_cast<char>('0' + digit);
        } else {
            dropped |= digit != 0;
        }
    }
    void addExponentDigit(int digit) {
        sawExponentDigit = true;
        exponent = exponent < kExponentLimit ? exponent * 10 + digit : kExponentLimit;
    }
};

// The value strtod gives for the kept text, which stands for the whole.
double valueOf(const Decimal& d) {
    if (d.digits.empty()) {
        return d.negative ? -0.0 : 0.0;
    }
    // Past these bounds any 800 digits overflow or underflow: strtod need
    // not read an exponent of more than a few digits.
    constexpr std::int64_t kBound = 100'000;
    std::int64_t power = d.scale + (d.exponentNegative ? -d.exponent : d.exponent);
    power = power < -kBound ? -kBound : power > kBound ? kBound : power;
    const std::string text = std::string(d.negative ? "-0." : "0.") + d.digits +
                             (d.dropped ? "1" : "") + "e" + std::to_string(power);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::istream& readDouble(std::istream& in, double& value) {
    // Skips white space; at the end of the input it sets eofbit and failbit.
    const std::istream::sentry ready(in);
    if (!ready) {
        return in;
    }
    std::streambuf& buffer = *in.rdbuf();
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
    in.setstate(state);
    return in;
}
