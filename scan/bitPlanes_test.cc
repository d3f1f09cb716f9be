// The portable set's classes, taken from a block's bit planes, against each
// byte's own class. A class that misses a byte only sends its token to the
// byte machine, which reads it right, so that the tests of the scanner
// cannot tell; this one can.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "scan/simd/portable.h"
// After the set: the windows are written against it.
#include "scan/generic/blocks.h"

namespace scan {
namespace {

TEST(BitPlanes, EveryByteValueAtEveryPlaceIsClassedAsItself) {
    std::mt19937 random(45);
    char block[64];
    for (unsigned value = 0; value < 256; ++value) {
        for (unsigned at = 0; at < 64; ++at) {
            for (char& byte : block) {
                byte = static_cast<char>(random());
            }
            block[at] = static_cast<char>(value);
            const BlockClasses classes = classesOf<Portable>(block);
            for (unsigned i = 0; i < 64; ++i) {
                const auto c = static_cast<unsigned char>(block[i]);
                const auto bit = [&](std::uint64_t mask) { return (mask >> i & 1) != 0; };
                const bool twoToNine = c >= '2' && c <= '9';
                ASSERT_EQ(bit(classes.digit), isDigit(c)) << int{c} << " at " << i;
                ASSERT_EQ(bit(classes.minus), c == '-') << int{c} << " at " << i;
                ASSERT_EQ(bit(classes.newline), c == '\n') << int{c} << " at " << i;
                ASSERT_EQ(bit(classes.zero), c == '0') << int{c} << " at " << i;
                ASSERT_EQ(bit(classes.space), isSpace(c)) << int{c} << " at " << i;
                ASSERT_EQ(bit(classes.twoToNine), twoToNine) << int{c} << " at " << i;
            }
        }
    }
}

}  // namespace
}  // namespace scan
