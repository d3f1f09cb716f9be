// Formatted extraction of a double, as `in >> value` does it, in bounded memory.
#pragma once

#include <istream>

// Reads a floating-point number from `in` exactly as `in >> value` does with
// libstdc++ in the "C" locale: the same characters consumed (white space, an
// optional sign, digits with one decimal point, an exponent with its optional
// sign where a digit came before it), the same stream state (fail, and end of
// file where the standard one sets it), and the same value: correctly
// rounded, 0 when the text is no number, the largest double of its sign on
// overflow (both failing), a tiny or zero value on underflow. Unlike the
// standard one, it keeps at most a few hundred digits, whatever arrives:
// enough to round correctly, and whether any non-zero digit came after them.
std::istream& readDouble(std::istream& in, double& value);
