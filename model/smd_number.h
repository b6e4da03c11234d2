// Number parsing for the SMD reader: decimal text to the nearest 32-bit float,
// and decimal text to a 32-bit integer, one whole token at a time.
//
// A token is the text between blanks. A number token is accepted as formatted
// stream input reads it: an optional sign ('+' or '-'), digits with an optional
// fraction ("12", "1.5", ".5", "5."), and an optional exponent ("e-3", "E+07").
// Anything else in the token (a second point, letters, hexadecimal) makes the
// whole token invalid. The float result is correctly rounded: the float nearest
// to the exact decimal value, ties to even, for any number of digits.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>

enum class NumberParse {
    Ok,         // the whole token is a number and `out` holds it
    NotFinite,  // the token reads as a number but not as a finite float ("nan",
                // "inf", "1e999"); `out` is set to 0
    Invalid,    // the token is not a number; `out` is untouched
};

// Parses the token [first, last) (non-empty, no blanks inside) as a float.
NumberParse parseSmdFloat(const char* first, const char* last, float& out);

// Parses the token [first, last) as a decimal integer ([+-]digits). Values beyond
// the 32-bit range saturate to INT32_MIN / INT32_MAX (such indices are out of
// range for any model, which the reader then reports).
NumberParse parseSmdInt(const char* first, const char* last, int32_t& out);

namespace smd_detail {

// True for the characters that separate tokens: space, tab, line feed, carriage
// return, vertical tab and form feed.
inline constexpr struct BlankTable {
    bool blank[256] = {};
    constexpr BlankTable() {
        for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) blank[c] = true;
    }
} kBlanks;
inline bool isBlank(char c) {
    return kBlanks.blank[static_cast<unsigned char>(c)];
}

// Helpers of the fast path: eight text bytes at once, first character in the
// lowest byte (little-endian loads).
inline uint64_t loadEight(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How many of the eight bytes, from the first, are decimal digits (0..8).
inline unsigned leadingDigits(uint64_t v) {
    // A byte is a digit when its high nibble is 3 and adding 6 keeps it 3. A
    // carry out of a non-digit byte can only disturb the bytes after it.
    const uint64_t nonDigit = ((v & 0xF0F0F0F0F0F0F0F0ull) |
                               (((v + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
                              0x3333333333333333ull;
    return nonDigit ? static_cast<unsigned>(__builtin_ctzll(nonDigit)) >> 3 : 8u;
}

// The value of the first n (0..7) digit bytes of v.
inline uint64_t digitsValue(uint64_t v, unsigned n) {
    if (n == 0) return 0;
    // Move the n digits to the top; the bytes below become leading zeros.
    v = (v - 0x3030303030303030ull) << (64 - 8 * n);
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    return static_cast<uint32_t>(v);
}

// Rounds mantissa * 10^exponent (|exponent| <= 22, mantissa <= 2^53) to the
// nearest float, or returns false when that cannot be done safely in double
// precision. The product with 10^exponent (exact for exponent >= 0, the
// rounded reciprocal otherwise) is within 2 units in the last place of the
// exact value, so rounding it to float gives the float nearest to the exact
// value unless it lies within that distance of a point halfway between two
// floats; those, subnormal and very large results are left to the general path.
[[gnu::always_inline]] inline bool roundToFloat(uint64_t mantissa, int exponent, bool negative,
                                                float& out) {
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    static constexpr double kPow10Negative[23] = {
        1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,  1e-8,  1e-9,  1e-10, 1e-11,
        1e-12, 1e-13, 1e-14, 1e-15, 1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
    if (mantissa == 0) {
        out = negative ? -0.0f : 0.0f;
        return true;
    }
    if (mantissa > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
    const double d = static_cast<double>(mantissa) *
                     (exponent < 0 ? kPow10Negative[-exponent] : kPow10[exponent]);
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const uint64_t biased = bits >> 52;  // d is positive: no sign bit
    // Normal floats that cannot round up to infinity (2^-126 <= d < 2^127), and
    // clear of a float tie: the 29 bits a float drops must not be within 4 of
    // 1000...0.
    if (biased - (1023 - 126) > 252u) return false;
    if (((bits & 0x1fffffffu) - (0x10000000u - 4u)) <= 8u) return false;
    const float f = static_cast<float>(d);
    out = negative ? -f : f;
    return true;
}

// The shape exporters write almost everywhere, one or two digits, a point and
// six decimals followed by a blank ("-12.345678 "), without a loop or a branch
// per character. `q` is past the sign and at least 16 bytes of text follow it.
// Returns the position of the blank after the token, or nullptr for any other
// shape (left to the paths below).
[[gnu::always_inline]] inline const char* parseSixDecimals(const char* q, bool negative,
                                                           float& out) {
    const unsigned first = static_cast<unsigned char>(q[0]) - unsigned{'0'};
    const unsigned two =
        static_cast<unsigned>(static_cast<unsigned char>(q[1]) - unsigned{'0'}) < 10u;
    // From the last whole digit on, both shapes read "d.dddddd". Less '0' in
    // every byte but the point's, less '.' in that one, the bytes of d must be
    // at most 9 and the point's 0. (A byte below what is taken off wraps to
    // 0xD0 or more; a carry out of a byte above 0x80 can only disturb the bytes
    // after it.)
    const uint64_t d = loadEight(q + two) - 0x3030303030302E30ull;
    const uint64_t wrong = ((d + 0x7676767676767F76ull) | d) & 0x8080808080808080ull;
    if ((wrong != 0) | (first >= 10u) | !isBlank(q[two + 8])) return nullptr;
    // d read as an eight-digit number (pairs, fours, then all eight) is
    // units * 10^7 + decimals; the mantissa is tens * 10^7 + units * 10^6 + decimals.
    uint64_t e = d * 10 + (d >> 8);
    e = (((e & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((e >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    const uint64_t mantissa =
        static_cast<uint32_t>(e) - (d & 0xFF) * 9000000 + uint64_t{first & (0u - two)} * 10000000;
    // The value m / 10^6 (m < 10^8) is 0 or a normal float below 2^7, and
    // rounding the double product to float gives the nearest float: the
    // product is within 2 units in the last place of the exact value, while the
    // exact value is at least 2^28 / 10^6 > 268 such units away from any point
    // halfway between two floats. (Halfway points below 2^e are odd multiples
    // of 2^(e-25); m * 2^(25-e) = odd * 2^6 * 5^6 would need e >= 19, so the
    // integer |m * 2^(25-e) - odd * 10^6| is at least 1.) The sign comes with
    // the scale: rounding is symmetric, "-0.000000" gives -0, and a branch on
    // the sign would be mispredicted half the time.
    static constexpr double kScale[2] = {1e-6, -1e-6};
    out =
        static_cast<float>(static_cast<double>(static_cast<int64_t>(mantissa)) * kScale[negative]);
    return q + two + 8;
}

// The fast path of parseSmdFloat, inline for the reader's inner loop: parses a
// number token that starts at `p` and ends at the first blank or at `last`,
// writes it to `out` and returns the position after the token. Returns nullptr
// when the token needs the general path: more than 19 digits, a mantissa above
// 2^53, a decimal exponent beyond +-22, a result outside the normal float
// range, a double exactly on a float tie (see roundToFloat), or text that is
// not a plain number. The usual shape, [-]digits[.digits] with fewer than
// eight digits on each side, is read eight bytes at a time when at least 24
// bytes of text remain.
[[gnu::always_inline]] inline const char* parseFloatFast(const char* p, const char* last,
                                                         float& out) {
    static constexpr uint64_t kScale[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    if constexpr (std::endian::native == std::endian::little) {
        if (last - p >= 24) {
            const bool negative = *p == '-';
            const char* q = p + negative;
            if (const char* after = parseSixDecimals(q, negative, out)) return after;
            const uint64_t head = loadEight(q);
            const unsigned wholeDigits = leadingDigits(head);
            const uint64_t whole = digitsValue(head, wholeDigits);
            q += wholeDigits;
            if (*q == '.') {
                const uint64_t tail = loadEight(q + 1);
                const unsigned fractionDigits = leadingDigits(tail);
                const char* after = q + 1 + fractionDigits;
                if (wholeDigits < 8 && fractionDigits < 8 && wholeDigits + fractionDigits > 0 &&
                    isBlank(*after) &&
                    roundToFloat(whole * kScale[fractionDigits] + digitsValue(tail, fractionDigits),
                                 -static_cast<int>(fractionDigits), negative, out))
                    return after;
            } else if (wholeDigits > 0 && wholeDigits < 8 && isBlank(*q) &&
                       roundToFloat(whole, 0, negative, out)) {
                return q;
            }
        }
    }
    bool negative = false;
    if (p < last && (*p == '-' || *p == '+')) negative = *p++ == '-';
    uint64_t mantissa = 0;
    const char* digits = p;
    while (p < last && static_cast<unsigned>(*p - '0') < 10u)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    long count = p - digits;
    int exponent = 0;
    if (p < last && *p == '.') {
        const char* fraction = ++p;
        while (p < last && static_cast<unsigned>(*p - '0') < 10u)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        exponent = -static_cast<int>(p - fraction);
        count += p - fraction;
    }
    if (count == 0 || count > 19) return nullptr;
    if (p < last && (*p | 0x20) == 'e') {
        ++p;
        bool negativeExponent = false;
        if (p < last && (*p == '-' || *p == '+')) negativeExponent = *p++ == '-';
        const char* exponentDigits = p;
        int value = 0;
        while (p < last && static_cast<unsigned>(*p - '0') < 10u) {
            if (value < 100000) value = value * 10 + (*p - '0');
            ++p;
        }
        if (p == exponentDigits) return nullptr;
        exponent += negativeExponent ? -value : value;
    }
    if (p < last && !isBlank(*p)) return nullptr;
    return roundToFloat(mantissa, exponent, negative, out) ? p : nullptr;
}

}  // namespace smd_detail
