// White space found by compares, for the instruction sets that have no
// lookup of a byte in a table: included at the end of their primitives, and
// written against them.
#pragma once

namespace scan {
namespace {

inline Vec whiteSpace(Vec bytes) {
    // \t \n \v \f \r are 9 to 13; compares are signed, so the range is
    // shifted to start at -128.
    const Vec controls = plus(bytes, splat(static_cast<char>(128 - 9)));
    return either(less(controls, splat(static_cast<char>(-123))), equal(bytes, splat(' ')));
}

}  // namespace
}  // namespace scan
