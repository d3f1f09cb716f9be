// Vector primitives for any processor: a "vector" of one byte, so that the
// kernel's algorithm runs unchanged where there are no vector instructions.
#pragma once

#include <stdint.h>

#include "scan/simd/scalar.h"

namespace scan {
namespace {

using Vec = signed char;
constexpr unsigned kVecBytes = 1;

inline Vec load(const char* p) {
    return static_cast<Vec>(*p);
}
inline Vec splat(char c) {
    return static_cast<Vec>(c);
}
// Comparisons give all ones or zero, as vector compares do.
inline Vec equal(Vec a, Vec b) {
    return static_cast<Vec>(a == b ? -1 : 0);
}
inline Vec less(Vec a, Vec b) {
    return static_cast<Vec>(a < b ? -1 : 0);
}
inline Vec plus(Vec a, Vec b) {
    return static_cast<Vec>(static_cast<unsigned char>(a + b));
}
inline Vec either(Vec a, Vec b) {
    return static_cast<Vec>(a | b);
}
// The top bit of each byte, as a movemask gives it.
inline uint64_t bitsOf(Vec v) {
    return static_cast<unsigned char>(v) >> 7;
}

}  // namespace
}  // namespace scan
