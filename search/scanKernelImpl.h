// The number scanner's vector kernel. It is compiled once per instruction set:
// the including file opens a namespace for it and is built with that set's
// compiler flags, so the same source becomes a baseline and an AVX2 kernel.
// No include guard: each kernel's file includes it once.
//
// Expects <cstdint>, <cstring>, "search/scanKernel.h" and, on x86-64,
// <immintrin.h> to be included already, outside the namespace. It uses no
// standard-library template: an instance of one made here, with these flags,
// could be the one the linker keeps for the whole program, and would then run
// AVX2 instructions on processors without them.

constexpr std::uint64_t kMinMagnitude = 2147483648u;  // of INT32_MIN
constexpr std::uint32_t kNone = ~std::uint32_t{0};

inline bool isSpaceByte(unsigned char c) {
    return c == ' ' || static_cast<unsigned>(c - 9) < 5u;
}
inline unsigned firstOne(std::uint64_t mask) {
    return static_cast<unsigned>(__builtin_ctzll(mask));
}
inline std::size_t smaller(std::size_t a, std::size_t b) {
    return a < b ? a : b;
}
inline std::uint64_t newlinesIn(const char* p, const char* end) {
    std::uint64_t count = 0;
    for (; p < end; ++p) {
        count += *p == '\n';
    }
    return count;
}
inline std::uint64_t countOnes(std::uint64_t mask) {
    return static_cast<std::uint64_t>(__builtin_popcountll(mask));
}

// Bit masks of 64 bytes: bit i describes byte i of the block. `first`,
// `second` and `last` mark the bytes equal to those bytes of the counted
// target's text.
struct Block {
    std::uint64_t space, digit, minus, plus, zero, two, atLeastThree, newline, first, second, last;
};

// The bytes of a target's text that classify marks.
struct TargetBytes {
    char first, second, last;
};

#if defined(__SSE2__)
#if defined(__AVX2__)
using Vec = __m256i;
constexpr unsigned kVecBytes = 32;
inline Vec load(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p));
}
inline Vec splat(char c) {
    return _mm256_set1_epi8(c);
}
inline Vec equal(Vec a, Vec b) {
    return _mm256_cmpeq_epi8(a, b);
}
inline Vec less(Vec a, Vec b) {
    return _mm256_cmpgt_epi8(b, a);
}
inline Vec plus(Vec a, Vec b) {
    return _mm256_add_epi8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return _mm256_or_si256(a, b);
}
inline std::uint64_t bitsOf(Vec v) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
}
#else
using Vec = __m128i;
constexpr unsigned kVecBytes = 16;
inline Vec load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const Vec*>(p));
}
inline Vec splat(char c) {
    return _mm_set1_epi8(c);
}
inline Vec equal(Vec a, Vec b) {
    return _mm_cmpeq_epi8(a, b);
}
inline Vec less(Vec a, Vec b) {
    return _mm_cmplt_epi8(a, b);
}
inline Vec plus(Vec a, Vec b) {
    return _mm_add_epi8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return _mm_or_si128(a, b);
}
inline std::uint64_t bitsOf(Vec v) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(v));
}
#endif

// Masks the kernel does not use are dead code once this is inlined.
inline Block classify(const char* p, TargetBytes target) {
    Block b{};
    for (unsigned i = 0; i < 64; i += kVecBytes) {
        const Vec bytes = load(p + i);
        // Compares are signed: a range shifted to start at -128 is tested
        // with a single less-than.
        const Vec controls = plus(bytes, splat(static_cast<char>(128 - 9)));
        const Vec space = either(less(controls, splat(-128 + 5)), equal(bytes, splat(' ')));
        const Vec fromZero = plus(bytes, splat(static_cast<char>(128 - '0')));
        b.space |= bitsOf(space) << i;
        b.digit |= bitsOf(less(fromZero, splat(-128 + 10))) << i;
        b.atLeastThree |= bitsOf(less(splat(-128 + 2), fromZero)) << i;
        b.minus |= bitsOf(equal(bytes, splat('-'))) << i;
        b.plus |= bitsOf(equal(bytes, splat('+'))) << i;
        b.zero |= bitsOf(equal(bytes, splat('0'))) << i;
        b.two |= bitsOf(equal(bytes, splat('2'))) << i;
        b.newline |= bitsOf(equal(bytes, splat('\n'))) << i;
        b.first |= bitsOf(equal(bytes, splat(target.first))) << i;
        b.second |= bitsOf(equal(bytes, splat(target.second))) << i;
        b.last |= bitsOf(equal(bytes, splat(target.last))) << i;
    }
    return b;
}
#else
inline Block classify(const char* p, TargetBytes target) {
    Block b{};
    for (unsigned i = 0; i < 64; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        const std::uint64_t bit = std::uint64_t{1} << i;
        b.space |= isSpaceByte(c) ? bit : 0;
        b.digit |= static_cast<unsigned>(c - '0') < 10u ? bit : 0;
        b.atLeastThree |= c >= '3' ? bit : 0;
        b.minus |= c == '-' ? bit : 0;
        b.plus |= c == '+' ? bit : 0;
        b.zero |= c == '0' ? bit : 0;
        b.two |= c == '2' ? bit : 0;
        b.newline |= c == '\n' ? bit : 0;
        b.first |= c == static_cast<unsigned char>(target.first) ? bit : 0;
        b.second |= c == static_cast<unsigned char>(target.second) ? bit : 0;
        b.last |= c == static_cast<unsigned char>(target.last) ? bit : 0;
    }
    return b;
}
#endif

// Appends the positions of the set bits of `bits`, plus `base`, to `out`.
inline void appendOffsets(std::uint64_t bits, std::uint32_t base, std::uint32_t* out,
                          std::uint32_t& count) {
#if defined(__BMI__) && defined(__POPCNT__)
    // No loop whose length follows the data, which no branch predictor can
    // follow on random files: eight positions are always written (tzcnt of 0
    // is 64, harmless past the count), more only for blocks of short numbers.
    const auto total = static_cast<std::uint32_t>(_mm_popcnt_u64(bits));
    std::uint32_t* to = out + count;
    for (int i = 0; i < 8; ++i) {
        to[i] = base + static_cast<std::uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    for (std::uint32_t i = 8; i < total; ++i) {
        to[i] = base + static_cast<std::uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    count += total;
#else
    for (; bits != 0; bits &= bits - 1) {
        out[count++] = base + firstOne(bits);
    }
#endif
}

#if defined(__SSE4_1__)
// 16 zero bytes, then 16 bytes of ones: 16 bytes loaded from offset n keep
// the last n bytes of a vector.
alignas(32) constexpr unsigned char kKeepLast[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The value of the n (1 to 16) digits that end just before `end`, without a
// branch on n: the 16 bytes before `end` are loaded, those before the first
// digit are zeroed (they read as leading zeros), and digits are combined in
// pairs, fours and eights by vector multiply-adds. Reads 16 bytes before `end`.
inline std::uint64_t digitValue(const char* end, unsigned n) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    v = _mm_subs_epu8(v, _mm_set1_epi8('0'));
    v = _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + n)));
    v = _mm_maddubs_epi16(v, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
    v = _mm_madd_epi16(v, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    v = _mm_packus_epi32(v, v);
    v = _mm_madd_epi16(v, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const auto halves = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
    return (halves & 0xFFFFFFFF) * 100000000 + (halves >> 32);
}
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Sums eight digit bytes (ASCII digits or zero bytes, the first the most
// significant) by combining neighbours pairwise, then in fours, then in eights.
inline std::uint64_t eightDigits(std::uint64_t x) {
    x = ((x & 0x0F0F0F0F0F0F0F0F) * 2561) >> 8;
    x = ((x & 0x00FF00FF00FF00FF) * 6553601) >> 16;
    return ((x & 0x0000FFFF0000FFFF) * 42949672960001) >> 32;
}

// Which bytes of the 16 before a token's end hold its last n digits.
constexpr std::uint64_t keepHigh(unsigned n) {
    return n <= 8 ? 0 : ~std::uint64_t{0} << (8 * (16 - n));
}
constexpr std::uint64_t keepLow(unsigned n) {
    return n >= 8 ? ~std::uint64_t{0} : n == 0 ? 0 : ~std::uint64_t{0} << (8 * (8 - n));
}

// As above, eight digits at a time in a 64-bit register.
inline std::uint64_t digitValue(const char* end, unsigned n) {
    std::uint64_t high, low;
    std::memcpy(&high, end - 16, 8);
    std::memcpy(&low, end - 8, 8);
    return eightDigits(high & keepHigh(n)) * 100000000 + eightDigits(low & keepLow(n));
}
#else
inline std::uint64_t digitValue(const char* end, unsigned n) {
    std::uint64_t value = 0;
    for (const char* q = end - n; q < end; ++q) {
        value = value * 10 + static_cast<unsigned char>(*q) - '0';
    }
    return value;
}
#endif

// The first stage of the value path: finds the tokens of [p, p + size) from
// block masks alone, so that no block waits for the one before it. `p` must
// be at white space or at the start of a token. A byte is unusual when it is
// neither white space nor a digit nor a sign that starts a token; indexing
// stops in its block, since the state machine takes over there.
inline void indexTokens(const char* p, std::size_t size, TokenIndex& ix) {
    ix.startCount = ix.endCount = 0;
    ix.unusual = kNone;
    ix.newlines = 0;
    std::uint64_t previousSpace = 1;
    for (std::uint32_t base = 0; base < size; base += 64) {
        const Block m = classify(p + base, TargetBytes{});
        const std::uint64_t valid =
            size - base >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (size - base)) - 1;
        const std::uint64_t afterSpace = (m.space << 1) | previousSpace;
        previousSpace = m.space >> 63;
        const std::uint64_t starts = ~m.space & afterSpace & valid;
        const std::uint64_t ends = m.space & ~afterSpace & valid;
        const std::uint64_t unusual = ~m.space & ~m.digit & ~((m.minus | m.plus) & starts) & valid;
        appendOffsets(starts, base, ix.starts, ix.startCount);
        appendOffsets(ends, base, ix.ends, ix.endCount);
        ix.newlines += countOnes(m.newline & valid);
        if (unusual != 0) {
            ix.unusual = base + firstOne(unusual);
            return;
        }
    }
}

// The value path: reads the tokens of [p, end) a window at a time, indexing
// the window, then converting its plain tokens (a sign, then 1 to 10 digits)
// each on its own. A token that is anything else, and the rest of its window,
// go to the state machine.
const char* scanChunk(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                      TokenIndex& ix) {
    while (p < end) {
        if (s.phase != ScanState::betweenTokens) {
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
            continue;
        }
        const std::size_t size = smaller(kWindow, static_cast<std::size_t>(end - p));
        indexTokens(p, size, ix);
        std::uint32_t i = 0;
        std::uint32_t handOver = kNone;
        for (; i < ix.endCount; ++i) {
            const std::uint32_t start = ix.starts[i];
            const std::uint32_t stop = ix.ends[i];
            // Bitwise, not ||: the sign of random numbers is a coin toss that
            // no branch predictor wins.
            const auto first = static_cast<unsigned char>(p[start]);
            const unsigned negative = first == '-';
            const unsigned sign = negative | (first == '+');
            const unsigned digits = stop - start - sign;
            if (stop > ix.unusual || digits - 1 >= 10) {
                handOver = start;
                break;
            }
            const std::uint64_t magnitude = digitValue(p + stop, digits);
            if (magnitude > kMinMagnitude - 1 + negative) {
                s.failed = true;
                s.tokenLine = s.line + newlinesIn(p, p + start);
                return p + start;
            }
            // (m ^ -1) + 1 is -m: negation without a branch.
            const std::uint64_t flip = 0 - std::uint64_t{negative};
            *out++ = static_cast<std::int32_t>(
                static_cast<std::uint32_t>((magnitude ^ flip) + negative));
        }
        if (handOver == kNone && ix.unusual != kNone) {
            handOver = ix.starts[i];
        }
        if (handOver != kNone) {
            s.line += newlinesIn(p, p + handOver);
            p = runMachine(s, p + handOver, p + size, out, false);
            if (s.failed) {
                return p;
            }
            continue;
        }
        s.line += ix.newlines;
        if (i == ix.startCount) {
            p += size;
        } else if (ix.starts[i] != 0) {
            p += ix.starts[i];  // a token cut off by the window's end opens the next one
        } else {
            // A token as long as a window, or one that reaches `end`: the
            // state machine reads it without limit.
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
        }
    }
    return end;
}

// Bit i of the result is bit i + k of the 128-bit pair (high:low), 0 < k < 64.
inline std::uint64_t ahead(std::uint64_t low, std::uint64_t high, unsigned k) {
    return (low >> k) | (high << (64 - k));
}

// Eight bytes as a number whose order is the order of their texts.
inline std::uint64_t textOrder(const char* p) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x;
}

// Whether ten digits lie beyond 2147483647, or 2147483648 after a minus:
// the first eight as one number, the last two as another, without a branch.
// The masks leave it only the numbers from 2100000000 up, about one random
// number in fifty.
inline std::uint64_t beyondLimit(const char* digits, bool negative) {
    constexpr std::uint64_t head = 0x3231343734383336;  // "21474836"
    const std::uint64_t first = textOrder(digits);
    const auto last = static_cast<unsigned>(static_cast<unsigned char>(digits[8]) << 8 |
                                            static_cast<unsigned char>(digits[9]));
    const unsigned limit = ('4' << 8 | '7') + negative;
    return static_cast<std::uint64_t>(first > head) |
           static_cast<std::uint64_t>((first == head) & (last > limit));
}

// Counts the tokens of [p, p + size), which ends in white space, into `tally`
// and its newlines into `newlines`, deciding everything from block masks and
// comparing text with the target's canonical text: two canonical numbers are
// equal exactly when their texts are. Returns false, counting nothing, when
// the window holds anything but canonical 32-bit numbers: an unusual byte, a
// lone sign, a "+", a leading zero, "-0", more than 10 digits, or 10 digits
// beyond the 32-bit range. Reads up to 128 bytes past the window.
inline bool countWindow(const char* p, std::size_t size, const CountTarget& target, Tally& tally,
                        std::uint64_t& newlines) {
    const unsigned length = target.length;
    // A one-character target's second byte is NUL and unused.
    const TargetBytes bytes{target.text[0], target.text[1], target.text[length - 1]};
    Tally window{0, 0};
    std::uint64_t lines = 0;
    std::uint64_t previousSpace = 1;
    std::uint64_t previousDigit = 0;
    Block m = classify(p, bytes);
    for (std::uint32_t base = 0; base < size; base += 64) {
        // Tokens may run into the next block: their checks look ahead in it.
        const Block next = classify(p + base + 64, bytes);
        const std::uint64_t valid =
            size - base >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (size - base)) - 1;
        const std::uint64_t starts = ~m.space & ((m.space << 1) | previousSpace) & valid;
        const std::uint64_t signStarts = (m.minus | m.plus) & starts;
        const std::uint64_t digitStarts = m.digit & ~((m.digit << 1) | previousDigit);
        const std::uint64_t digitNext = ahead(m.digit, next.digit, 1);
        // Runs of digits: bit i is set when bytes i to i + n - 1 are all digits.
        // The next block's runs are exact in the low bits that are shifted in.
        const std::uint64_t run2 = m.digit & digitNext;
        const std::uint64_t run2Next = next.digit & (next.digit >> 1);
        const std::uint64_t run4 = run2 & ahead(run2, run2Next, 2);
        const std::uint64_t run8 = run4 & ahead(run4, run2Next & (run2Next >> 2), 4);
        const std::uint64_t run10 = run8 & ahead(run2, run2Next, 8);
        const std::uint64_t run11 = run10 & ahead(m.digit, next.digit, 10);
        const std::uint64_t tens = digitStarts & run10 & ~run11;
        const std::uint64_t twos = tens & m.two;
        const std::uint64_t secondAtLeastTwo =
            ahead(m.two | m.atLeastThree, next.two | next.atLeastThree, 1);
        const std::uint64_t unplain = (~m.space & ~m.digit & ~signStarts) |  // unusual byte
                                      (signStarts & ~digitNext) |            // lone sign
                                      (m.plus & starts) |                    // "+"
                                      (m.zero & digitStarts & digitNext) |   // leading zero
                                      (m.minus & starts & ahead(m.zero, next.zero, 1)) |  // -0
                                      (digitStarts & run11) |     // 11+ digits
                                      (tens & m.atLeastThree) |   // 3000000000 and up
                                      (twos & secondAtLeastTwo);  // 2200000000 and up
        if ((unplain & valid) != 0) {
            return false;
        }
        // Ten digits from 2100000000 up: compare with the limit as text.
        std::uint64_t beyond = 0;
        const std::uint64_t twentyOnes =
            twos & ~ahead(m.zero, next.zero, 1) & ~secondAtLeastTwo & valid;
        for (std::uint64_t t = twentyOnes; t != 0; t &= t - 1) {
            const char* digits = p + base + firstOne(t);
            beyond |= beyondLimit(digits, digits[-1] == '-');
        }
        if (beyond != 0) {
            return false;
        }
        window.numbers += static_cast<std::int64_t>(countOnes(starts));
        // Tokens of the target's length with its first, second and last
        // bytes are rare unless they match; memcmp settles the rest.
        std::uint64_t candidates = starts & m.first & ahead(m.space, next.space, length);
        if (length >= 2) {
            candidates &= ahead(m.last, next.last, length - 1);
        }
        if (length >= 3) {
            candidates &= ahead(m.second, next.second, 1);
        }
        for (; candidates != 0; candidates &= candidates - 1) {
            const char* token = p + base + firstOne(candidates);
            window.matches += std::memcmp(token, target.text, length) == 0;
        }
        lines += countOnes(m.newline & valid);
        previousSpace = m.space >> 63;
        previousDigit = m.digit >> 63;
        m = next;
    }
    tally.numbers += window.numbers;
    tally.matches += window.matches;
    newlines = lines;
    return true;
}

// The counting path: counts the tokens of [p, end) a window at a time with
// countWindow; a window it declines goes through the value path, its numbers
// to `out`.
const char* countChunk(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                       TokenIndex& ix, const CountTarget& target, Tally& tally) {
    while (p < end) {
        if (s.phase != ScanState::betweenTokens) {
            p = runMachine(s, p, end, out, true);
            if (s.failed) {
                return p;
            }
            continue;
        }
        const std::size_t size = smaller(kWindow, static_cast<std::size_t>(end - p));
        // End the window at white space, so that no token is cut in two. A
        // plain token is at most 11 bytes; a window without white space in its
        // last 12 has a long token, or one cut by `end`, for the value path.
        std::size_t cut = size;
        while (cut > 0 && size - cut < 12 && !isSpaceByte(static_cast<unsigned char>(p[cut - 1]))) {
            --cut;
        }
        const bool endsInSpace = cut > 0 && isSpaceByte(static_cast<unsigned char>(p[cut - 1]));
        std::uint64_t newlines = 0;
        if (endsInSpace && countWindow(p, cut, target, tally, newlines)) {
            s.line += newlines;
            p += cut;
            continue;
        }
        p = scanChunk(s, p, p + (endsInSpace ? cut : size), out, ix);
        if (s.failed) {
            return p;
        }
    }
    return end;
}
