// A range of bytes tested by compares, for the vector instruction sets:
// included at the end of their primitives, and written against them.
#pragma once

namespace scan {
namespace {

// Compares are signed: the range is shifted to start at -128, and tested
// with a single less-than.
template <char lo, char hi>
inline auto inRange(Vec bytes) {
    return less(plus(bytes, splat(static_cast<char>(128 - lo))),
                splat(static_cast<char>(-128 + (hi - lo + 1))));
}

}  // namespace
}  // namespace scan
