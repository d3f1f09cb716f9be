// Haystack files for the benchmark: numbers of a chosen shape.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>

enum class HaystackShape {
    random,       // random 32-bit numbers, one per line
    sorted,       // random 32-bit numbers in ascending order, one per line
    small,        // numbers from 0 to 99, separated by single spaces
    shortLines,   // numbers from 0 to 999, one per line
    signedZeros,  // signs and leading zeros: "+000123", "-0000004567"
    someSigns,    // random numbers, one in twenty with a "+" or a leading zero
};

// Writes `count` numbers of `shape` to `out`, the same for the same `seed`.
// Sorted output is made without holding the numbers: an ascending walk with
// random steps that ends near the top of the range.
inline void writeHaystack(std::ostream& out, HaystackShape shape, std::uint64_t count,
                          std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::string text;
    const std::uint64_t step = count == 0 ? 1 : (std::uint64_t{1} << 32) / count;
    std::int64_t walk = INT32_MIN;
    for (std::uint64_t i = 0; i < count; ++i) {
        switch (shape) {
            case HaystackShape::random:
                text += std::to_string(static_cast<std::int32_t>(rng()));
                text += '\n';
                break;
            case HaystackShape::sorted:
                text += std::to_string(walk);
                text += '\n';
                walk += static_cast<std::int64_t>(rng() % (2 * step));
                if (walk > INT32_MAX) {
                    walk = INT32_MAX;
                }
                break;
            case HaystackShape::small:
                text += std::to_string(rng() % 100);
                text += ' ';
                break;
            case HaystackShape::shortLines:
                text += std::to_string(rng() % 1000);
                text += '\n';
                break;
            case HaystackShape::someSigns: {
                const auto value = static_cast<std::int32_t>(rng());
                const std::string digits = std::to_string(value < 0 ? -std::int64_t{value} : value);
                const char* sign = value < 0 ? "-" : "";
                if (i % 20 == 7) {
                    sign = value < 0 ? "-0" : rng() & 1 ? "+" : "0";
                }
                text += sign + digits;
                text += '\n';
                break;
            }
            case HaystackShape::signedZeros:
                text += rng() & 1 ? '-' : '+';
                text += std::string(rng() % 5, '0');
                text += std::to_string(rng() % 100000);
                text += '\n';
                break;
        }
        if (text.size() > (1u << 16)) {
            out << text;
            text.clear();
        }
    }
    out << text;
}

// Writes the haystack of `shape` to `file`, from seed 42.
inline void writeHaystackFile(const std::filesystem::path& file, HaystackShape shape,
                              std::uint64_t count) {
    std::ofstream out(file);
    writeHaystack(out, shape, count, 42);
}
