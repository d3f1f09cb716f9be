// White space found by compares (\t \n \v \f \r are 9 to 13), for the
// instruction sets that have no lookup of a byte in a table: included at the
// end of their primitives, and written against them.
#pragma once

namespace scan {
namespace {

inline auto whiteSpace(Vec bytes) {
    return either(inRange<'\t', '\r'>(bytes), equal(bytes, splat(' ')));
}

}  // namespace
}  // namespace scan
