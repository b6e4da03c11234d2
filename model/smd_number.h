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

#include <cstdint>

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
inline bool isBlank(char c) {
    return c == ' ' || (static_cast<unsigned char>(c) - 9u) < 5u;
}

// The fast path of parseSmdFloat, inline for the reader's inner loop: parses a
// number token that starts at `p` and ends at the first blank or at `last`,
// writes it to `out` and returns the position after the token. Returns nullptr
// when the token needs the general path: more than 19 digits, a mantissa above
// 2^53, a decimal exponent beyond +-22, a result outside the normal float range,
// a double that sits exactly on a float rounding tie, or text that is not a
// plain number. Otherwise the result is exact: the quotient or product of two
// exactly representable doubles is rounded once, and rounding that double to
// float gives the float nearest to the decimal value unless the double lies
// exactly halfway between two floats.
inline const char* parseFloatFast(const char* p, const char* last, float& out) {
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
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
    if (mantissa == 0) {
        out = negative ? -0.0f : 0.0f;
        return p;
    }
    if (mantissa > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) return nullptr;
    double d = exponent < 0 ? static_cast<double>(mantissa) / kPow10[-exponent]
                            : static_cast<double>(mantissa) * kPow10[exponent];
    uint64_t bits;
    static_assert(sizeof bits == sizeof d);
    __builtin_memcpy(&bits, &d, sizeof bits);
    const uint64_t biased = bits >> 52;  // d is positive: no sign bit
    // Normal floats only (2^-126 <= d < 2^128), and not exactly on a float tie:
    // the 29 bits a float drops would be 1000...0.
    if (biased < 1023 - 126 || biased > 1023 + 127) return nullptr;
    if ((bits & 0x1fffffffu) == 0x10000000u) return nullptr;
    float f = static_cast<float>(d);
    if (f > 3.40282347e+38f) return nullptr;  // rounded up to infinity
    out = negative ? -f : f;
    return p;
}

}  // namespace smd_detail
