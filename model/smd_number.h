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

enum class NumberParse {
    Ok,         // the whole token is a number and `out` holds it
    NotFinite,  // the token reads as a number but not as a finite float ("nan",
                // "inf", "1e999"); `out` is set to 0
    Invalid,    // the token is not a number; `out` is untouched
};

// Parses the token that starts at `first` and runs to the first blank or to
// `last` as a float; sets `tokenEnd` to the token's end whatever the outcome.
NumberParse parseSmdFloat(const char* first, const char* last, float& out, const char*& tokenEnd);

// Parses the token [first, last) as a decimal integer ([+-]digits). Values beyond
// the 32-bit range saturate to INT32_MIN / INT32_MAX (such indices are out of
// range for any model, which the reader then reports).
NumberParse parseSmdInt(const char* first, const char* last, int32_t& out);

namespace smd_detail {

// True for the characters that separate tokens: space, tab, line feed, vertical
// tab, form feed and carriage return.
inline bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The shape exporters write, [-]digits[.digits] with at most 15 digits, read
// inline for the reader's inner loop; anything else is left to parseSmdFloat
// (returns nullptr; otherwise the position after the token). The
// quotient of two doubles that hold the mantissa and the power of ten exactly
// is correctly rounded; rounding it again to float gives the float nearest to
// the decimal value unless the quotient lies exactly halfway between two
// floats (the decimal value then lies on the same side of every halfway point
// as the quotient), and those are left to the general path too.
inline const char* plainDecimal(const char* p, const char* last, float& out) {
    static constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = p < last && *p == '-';
    p += negative;
    const char* const digitsBegin = p;
    uint64_t mantissa = 0;
    auto digits = [&] {
        for (unsigned d; p < last && (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10u;
             ++p)
            mantissa = mantissa * 10 + d;
    };
    digits();
    const bool point = p < last && *p == '.';
    const char* const fractionBegin = p + point;
    if (point) {
        ++p;
        digits();
    }
    const long count = p - digitsBegin - point;  // digits on both sides of the point
    const long scale = p - fractionBegin;        // digits after it
    if (count <= 0 || count > 15 || (p < last && !smd_detail::isBlank(*p))) return nullptr;
    const double quotient = static_cast<double>(mantissa) / kPow10[scale];
    const uint64_t bits = std::bit_cast<uint64_t>(quotient);
    if ((bits & 0x1FFFFFFFu) == 0x10000000u) return nullptr;  // halfway between two floats
    const float value = static_cast<float>(quotient);
    out = negative ? -value : value;
    return p;
}

}  // namespace smd_detail
