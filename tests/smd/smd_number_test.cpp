// Decimal text to float: the nearest float every time, compared bit for bit
// with the standard library's correctly rounded from_chars.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "model/smd_number.h"

namespace {

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The reference: std::from_chars (no leading '+'); out-of-range results are
// what stream input gives: 0 on underflow, not finite on overflow.
NumberParse reference(const std::string& text, float& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first < last && *first == '+') ++first;
    auto r = std::from_chars(first, last, out);
    if (r.ptr != last) return NumberParse::Invalid;
    if (r.ec == std::errc::result_out_of_range) {
        // Tell underflow from overflow by the exponent's sign.
        const bool underflow =
            text.find("e-") != std::string::npos || text.find("E-") != std::string::npos;
        out = underflow ? (text[0] == '-' ? -0.0f : 0.0f) : 0.0f;
        return underflow ? NumberParse::Ok : NumberParse::NotFinite;
    }
    return r.ec == std::errc() ? NumberParse::Ok : NumberParse::Invalid;
}

std::string randomDecimal(std::mt19937_64& rng) {
    std::string s;
    switch (rng() % 3) {
        case 0:
            break;
        case 1:
            s += '-';
            break;
        default:
            s += rng() % 4 == 0 ? "+" : "";
            break;
    }
    const int intDigits = static_cast<int>(rng() % 12);
    const int fracDigits = static_cast<int>(rng() % 14);
    for (int i = 0; i < intDigits; ++i) s += static_cast<char>('0' + rng() % 10);
    if (fracDigits > 0 || intDigits == 0 || rng() % 8 == 0) s += '.';
    for (int i = 0; i < fracDigits; ++i) s += static_cast<char>('0' + rng() % 10);
    if (intDigits == 0 && fracDigits == 0) s += '0';
    if (rng() % 3 == 0) {
        s += rng() % 2 ? 'e' : 'E';
        const int e = static_cast<int>(rng() % 90) - 45;
        if (e >= 0 && rng() % 2) s += '+';
        s += std::to_string(e);
    }
    return s;
}

void expectSameAsReference(const std::string& text) {
    float expected = -7.0f, actual = -7.0f;
    const NumberParse want = reference(text, expected);
    // The reader hands over the rest of the text: the token ends at the blank.
    const std::string more = text + " 5";
    const char* end = nullptr;
    const NumberParse got = parseSmdFloat(more.data(), more.data() + more.size(), actual, end);
    ASSERT_EQ(got, want) << text;
    ASSERT_EQ(end, more.data() + text.size()) << text;
    if (want == NumberParse::Ok) {
        ASSERT_EQ(bitsOf(actual), bitsOf(expected)) << text;
    }
    if (want == NumberParse::NotFinite) {
        ASSERT_EQ(actual, 0.0f) << text;
    }
}

TEST(SmdNumbers, RandomDecimalsAreCorrectlyRounded) {
    std::mt19937_64 rng(20261208);
    for (int i = 0; i < 400000; ++i) expectSameAsReference(randomDecimal(rng));
}

// Six-decimal numbers as exporters write them, and values right next to the
// places where rounding a double to a float could go wrong.
TEST(SmdNumbers, ExporterStyleAndHardCases) {
    std::mt19937_64 rng(7);
    char text[64];
    for (int i = 0; i < 200000; ++i) {
        const double v = std::uniform_real_distribution<double>(-2000.0, 2000.0)(rng);
        std::snprintf(text, sizeof text, "%.6f", v);
        expectSameAsReference(text);
    }
    // Exact float midpoints and their neighbours (ties round to even).
    for (uint32_t k = 0; k < 20000; ++k) {
        const uint32_t bits = 0x3f800000u + static_cast<uint32_t>(rng() % 0x1000000u) * 37u;
        float f;
        std::memcpy(&f, &bits, sizeof f);
        float g = std::nextafter(f, 1e30f);
        const double mid = (static_cast<double>(f) + static_cast<double>(g)) / 2.0;
        for (double d : {mid, std::nextafter(mid, 0.0), std::nextafter(mid, 1e300)}) {
            std::snprintf(text, sizeof text, "%.17g", d);
            expectSameAsReference(text);
            std::snprintf(text, sizeof text, "%.40g", d);  // exact decimal of the double
            expectSameAsReference(text);
        }
    }
    // Short decimals within a hair of a float tie: the fast path must not be
    // fooled by its own rounding error.
    for (uint32_t k = 0; k < 50000; ++k) {
        const uint32_t bits = 0x30000000u + static_cast<uint32_t>(rng() % 0x1C000000u);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        const double tie =
            static_cast<double>(f) + (static_cast<double>(std::nextafter(f, 1e30f)) - f) / 2.0;
        for (int digits = 8; digits <= 17; ++digits) {
            std::snprintf(text, sizeof text, "%.*e", digits - 1, tie);
            expectSameAsReference(text);
            std::snprintf(text, sizeof text, "%.*f", digits, tie);
            expectSameAsReference(text);
        }
    }
    for (const char* s : {"16777217",
                          "16777219",
                          "1.00000005960464477539062500",
                          "1.000000059604644775390625001",
                          "0.1",
                          "3.4028234663852886e38",
                          "3.4028235677973366e38",
                          "1.17549435e-38",
                          "1.1754942e-38",
                          "1e-45",
                          "7e-46",
                          "0.000000",
                          "-0.000000",
                          "123456789012345678901234",
                          "0.00000000000000000000000000000000000001",
                          "9007199254740993",
                          "1e22",
                          "1e23",
                          "4.2e-22",
                          "100000000000000000000000e-23"})
        expectSameAsReference(s);
}

struct TokenCase {
    const char* text;
    NumberParse result;
    float value;
};

TEST(SmdNumbers, WholeTokensOnly) {
    const TokenCase cases[] = {
        {"+1.5", NumberParse::Ok, 1.5f},     {".5", NumberParse::Ok, 0.5f},
        {"5.", NumberParse::Ok, 5.0f},       {"-.25e1", NumberParse::Ok, -2.5f},
        {"1E+3", NumberParse::Ok, 1000.0f},  {"1.5.3", NumberParse::Invalid, 0},
        {"1e", NumberParse::Invalid, 0},     {"1e+", NumberParse::Invalid, 0},
        {"+", NumberParse::Invalid, 0},      {"-", NumberParse::Invalid, 0},
        {".", NumberParse::Invalid, 0},      {"+-1", NumberParse::Invalid, 0},
        {"--1", NumberParse::Invalid, 0},    {"0x10", NumberParse::Invalid, 0},
        {"1,5", NumberParse::Invalid, 0},    {"1.0f", NumberParse::Invalid, 0},
        {"end", NumberParse::Invalid, 0},    {"nan", NumberParse::NotFinite, 0},
        {"-inf", NumberParse::NotFinite, 0}, {"1e999", NumberParse::NotFinite, 0},
        {"+nan", NumberParse::NotFinite, 0}, {"3.5e38", NumberParse::NotFinite, 0},
    };
    for (const TokenCase& c : cases) {
        float v = -7.0f;
        const size_t n = std::strlen(c.text);
        const char* end = nullptr;
        EXPECT_EQ(parseSmdFloat(c.text, c.text + n, v, end), c.result) << c.text;
        EXPECT_EQ(end, c.text + n) << c.text;
        if (c.result != NumberParse::Invalid) {
            EXPECT_EQ(v, c.value) << c.text;
        }
        if (c.result == NumberParse::Invalid) {
            EXPECT_EQ(v, -7.0f) << c.text;
        }
    }
}

TEST(SmdNumbers, IntegersSaturate) {
    const struct {
        const char* text;
        NumberParse result;
        int32_t value;
    } cases[] = {
        {"0", NumberParse::Ok, 0},
        {"-1", NumberParse::Ok, -1},
        {"+12", NumberParse::Ok, 12},
        {"2147483647", NumberParse::Ok, 2147483647},
        {"2147483648", NumberParse::Ok, 2147483647},
        {"-2147483648", NumberParse::Ok, INT32_MIN},
        {"-99999999999999999999999", NumberParse::Ok, INT32_MIN},
        {"1.0", NumberParse::Invalid, 0},
        {"-", NumberParse::Invalid, 0},
        {"1e3", NumberParse::Invalid, 0},
        {"0x1", NumberParse::Invalid, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(parseSmdInt(c.text, c.text + std::strlen(c.text), v), c.result) << c.text;
        if (c.result == NumberParse::Ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

}  // namespace
