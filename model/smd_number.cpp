#include "model/smd_number.h"

#include <fast_float/fast_float.h>

#include <cmath>
#include <limits>
#include <system_error>

NumberParse parseSmdFloat(const char* first, const char* last, float& out, const char*& tokenEnd) {
    if (const char* end = smd_detail::plainDecimal(first, last, out)) {
        tokenEnd = end;
        return NumberParse::Ok;
    }
    // Correctly rounded for any length. A leading '+' is accepted by stream
    // input but not by from_chars-style parsers. Only decimal text: "nan" and
    // "inf" are recognised (to report them as non-finite) but hexadecimal and
    // other forms are not numbers here.
    const bool plus = first < last && *first == '+';
    const char* p = first + plus;
    float value = 0.0f;
    const auto result = fast_float::from_chars(p, last, value, fast_float::chars_format::general);
    tokenEnd = result.ptr;
    if (result.ec != std::errc() || (plus && *p == '-') ||
        (tokenEnd < last && !smd_detail::isBlank(*tokenEnd))) {
        while (tokenEnd < last && !smd_detail::isBlank(*tokenEnd)) ++tokenEnd;
        return NumberParse::Invalid;
    }
    if (!std::isfinite(value)) {
        out = 0.0f;
        return NumberParse::NotFinite;
    }
    out = value;
    return NumberParse::Ok;
}

NumberParse parseSmdInt(const char* first, const char* last, int32_t& out) {
    const char* p = first;
    bool negative = false;
    if (p < last && (*p == '-' || *p == '+')) negative = *p++ == '-';
    if (p == last) return NumberParse::Invalid;
    int64_t value = 0;
    for (; p < last; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (digit >= 10u) return NumberParse::Invalid;
        if (value <= std::numeric_limits<int32_t>::max()) value = value * 10 + digit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    out = static_cast<int32_t>(value);
    return NumberParse::Ok;
}
