// The bounded double reader against the standard extraction it stands in for.
#include "frontend/doubleReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Everything an extraction leaves behind: the value, the stream state and
// what is left to read.
struct Extraction {
    double value;
    bool fail, eof;
    std::string rest;

    bool operator==(const Extraction& o) const {
        return std::memcmp(&value, &o.value, sizeof value) == 0 && fail == o.fail && eof == o.eof &&
               rest == o.rest;
    }
};

std::ostream& operator<<(std::ostream& os, const Extraction& e) {
    os.precision(17);
    return os << e.value << (e.fail ? " fail" : "") << (e.eof ? " eof" : "") << ", "
              << e.rest.size() << " bytes left";
}

template <typename Extract>
Extraction extract(const std::string& text, Extract how) {
    std::istringstream in(text);
    double value = 12345.0;  // shows whether a failed read wrote it
    how(in, value);
    Extraction e{value, in.fail(), in.eof(), {}};
    in.clear();
    e.rest.assign(std::istreambuf_iterator<char>(in), {});
    return e;
}

void expectSameAsStandard(const std::string& text) {
    const Extraction expected = extract(text, [](std::istream& in, double& v) { in >> v; });
    const Extraction actual = extract(text, readDouble);
    EXPECT_EQ(actual, expected) << "input of " << text.size() << " bytes: \"" << text.substr(0, 120)
                                << (text.size() > 120 ? "...\"" : "\"");
}

void expectAllSameAsStandard(const std::vector<std::string>& table) {
    for (const std::string& text : table) {
        expectSameAsStandard(text);
    }
}

TEST(ReadDouble, PlainNumbersAndWhatFollowsThem) {
    expectAllSameAsStandard({"3",           "+3",     "-3",        "3.0",
                             "3e0",         "-0",     "+0",        "2.5 7",
                             "3abc",        "1 5\n",  "  \n\t 42", "7\n",
                             "0",           "00000",  "-000.000",  "12345678901234567890",
                             "0.1",         "1.5e3x", "1E5",       "2147483648",
                             "-2147483649", ".5",     "5.",        "5.e2",
                             "-.5e-1"});
}

TEST(ReadDouble, TextThatIsNoNumber) {
    expectAllSameAsStandard({"",      "   ",      "\n",    "abc",   "+",     "-",   ".",   "+.",
                             "-.e5",  "e5",       "+-1",   "--1",   "..5",   "x1",  "inf", "-inf",
                             "nan",   "infinity", "0x1p3", "0x10",  "1e",    "1e+", "1e-", "1E-x",
                             "1e+-5", "1ee5",     "1e5e5", "1.2.3", "1e5.5", ".e1"});
}

TEST(ReadDouble, OverflowAndUnderflow) {
    expectAllSameAsStandard(
        {"1e400", "-1e400", "1e308", "1.7976931348623157e308", "1.7976931348623158e308",
         "1.7976931348623159e308", "1e-400", "-1e-400", "4.9e-324", "2.4703282292062327e-324",
         "2.4703282292062328e-324", "2.2250738585072011e-308", "1e99999999999999999999999",
         "1e-99999999999999999999999", "0e99999999999999999999999", "-0e-5"});
}

// `odd` x 2^-1075 written out whole: for an odd number below 2^53, the
// midpoint between two neighbouring subnormal doubles (for 1, between 0 and
// the smallest), whose rounding needs every digit.
std::string midpointOfSubnormals(std::uint64_t odd) {
    std::vector<int> digits;  // odd x 5^1075, least significant digit first
    for (; odd != 0; odd /= 10) {
        digits.push_back(static_cast<int>(odd % 10));
    }
    for (int i = 0; i < 1075; ++i) {
        int carry = 0;
        for (int& d : digits) {
            const int v = d * 5 + carry;
            d = v % 10;
            carry = v / 10;
        }
        for (; carry != 0; carry /= 10) {
            digits.push_back(carry % 10);
        }
    }
    std::string text;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d) {
        text += static_cast<char>('0' + *d);
    }
    return "0." + std::string(1075 - text.size(), '0') + text;
}

std::string halfOfSmallestDouble() {
    return midpointOfSubnormals(1);
}

// The midpoint with the most significant digits, 768, between the two
// largest subnormals: a tie, which rounds to even, 0x1p-1022. Read with a
// digit too few, it would round down.
TEST(ReadDouble, TheLongestMidpointRoundsAsAWhole) {
    const std::string longest = midpointOfSubnormals((std::uint64_t{1} << 53) - 1);
    ASSERT_EQ(longest.size() - longest.find_first_not_of("0."), 768u);
    expectSameAsStandard(longest);
    std::istringstream in(longest);
    double value = 0;
    readDouble(in, value);
    EXPECT_EQ(value, 0x1p-1022);
}

TEST(ReadDouble, DigitsPastWhatIsKeptStillDecideTheRounding) {
    const std::string half = halfOfSmallestDouble();
    const std::string halfOfOneUlp = "1.00000000000000011102230246251565404236316680908203125";
    expectAllSameAsStandard({
        half,                                 // a tie: rounds to even, 0
        half + std::string(3000, '0'),        // still a tie
        half + std::string(3000, '0') + "1",  // just above: the smallest double
        half.substr(0, half.size() - 1) + "4" + std::string(2000, '9'),  // just below
        halfOfOneUlp,
        halfOfOneUlp + std::string(5000, '0') + "1",
        "1" + std::string(5000, '0') + "e-5000",
        "1" + std::string(5000, '0') + ".5e-5000",
        "0." + std::string(5000, '0') + "1e5001",
        std::string(400, '9') + "." + std::string(400, '9'),
        std::string(5000, '1'),
        "9007199254740993" + std::string(3000, '0') + "1e-3000",
        "1e" + std::string(3000, '0') + "3",
        "-1e-" + std::string(3000, '0') + "3",
    });
    // Decided by a non-zero digit past the kept ones that more zeros follow:
    // the zeros must not undo it. Typed at a prompt, the tie above 1 reads as
    // 1, accepted; just above it, as the next double, rejected.
    expectAllSameAsStandard({
        half + std::string(3000, '0') + "1" + std::string(3000, '0'),
        halfOfOneUlp + std::string(5000, '0') + "1" + std::string(2000, '0'),
        halfOfOneUlp + std::string(5000, '0') + "3" + std::string(10, '0') + " 5\n",
        "-" + halfOfOneUlp + std::string(900, '0') + "2" + std::string(900, '0') + "e0",
    });
}

// Random numbers from a grammar of the awkward parts: long runs of digits and
// zeros on either side of the point, exponents short and long, signs where
// they belong and where they do not, each followed by more text or by the end.
std::string randomNumber(std::mt19937_64& rng) {
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto digits = [&](int most) {
        const int length = pick(4) == 0 ? pick(most) : pick(20);
        std::string run;
        const char zeroOrAny = pick(3) == 0 ? '0' : 0;
        for (int i = 0; i < length; ++i) {
            run += zeroOrAny != 0 && pick(50) != 0 ? '0' : static_cast<char>('0' + pick(10));
        }
        return run;
    };
    static const char* const signs[] = {"", "", "+", "-", "+-"};
    static const char* const tails[] = {"", " ", "\n", "x", " 5\n", ".", "e", "e+", "-", "0x"};
    std::string text = pick(4) == 0 ? " \n\t" : "";
    text += signs[pick(5)];
    text += digits(1500);
    if (pick(2) == 0) {
        text += '.';
        text += digits(1500);
    }
    if (pick(2) == 0) {
        text += pick(2) == 0 ? 'e' : 'E';
        text += signs[pick(5)];
        text += pick(8) == 0 ? digits(60) : std::to_string(pick(700));
    }
    return text + tails[pick(10)];
}

TEST(ReadDouble, RandomAwkwardNumbers) {
    std::mt19937_64 rng(12);
    for (int i = 0; i < 20000; ++i) {
        expectSameAsStandard(randomNumber(rng));
        if (HasFailure()) {
            return;
        }
    }
}

// Reading on: the next extraction starts where this one stopped.
TEST(ReadDouble, SuccessiveReadsOfOneLine) {
    std::istringstream standard("1 2.5e3x 3e+ 7");
    std::istringstream ours(standard.str());
    for (int i = 0; i < 4; ++i) {
        double a = 0, b = 0;
        standard >> a;
        readDouble(ours, b);
        EXPECT_EQ(a, b);
        EXPECT_EQ(standard.rdstate(), ours.rdstate());
        standard.clear();
        ours.clear();
        standard.ignore(1);
        ours.ignore(1);
    }
}

}  // namespace
