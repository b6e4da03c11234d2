// Key and corner lines in the shape exporters write are read by a shortcut that
// skips the general token steps. It must give exactly what those steps give:
// the same model bit for bit and the same problems. Doubling every space
// between fields forces the general steps without changing what the text says,
// so each random text is read both ways and compared.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "model/smd.h"

namespace {

// A field in the usual shape most of the time, otherwise a near miss of it.
std::string field(std::mt19937_64& rng) {
    char text[64];
    const double v = std::uniform_real_distribution<double>(-150.0, 150.0)(rng);
    if (rng() % 400 == 0) return "1.00000x";  // not a number: reading stops here
    switch (rng() % 32) {
        case 0:
            return "-0.000000";
        case 1:
            std::snprintf(text, sizeof text, "%.7f", v);  // seven decimals
            return text;
        case 2:
            std::snprintf(text, sizeof text, "%.5f", v);  // five decimals
            return text;
        case 3:
            std::snprintf(text, sizeof text, "%+.6f", v);  // always signed
            return text;
        case 4:
            std::snprintf(text, sizeof text, "%.6e", v);
            return text;
        case 5:
            std::snprintf(text, sizeof text, "%d", static_cast<int>(v));
            return text;
        case 6:
            std::snprintf(text, sizeof text, "%.6f", v * 10);  // three whole digits
            return text;
        default:
            std::snprintf(text, sizeof text, "%.6f", std::fmod(v, 100.0));
            return text;
    }
}

// Bones, two frames and a few triangles; line ends, index words and trailing
// fields vary now and then.
std::string randomSmd(std::mt19937_64& rng) {
    const int bones = 1 + static_cast<int>(rng() % 12);
    auto lineEnd = [&] { return rng() % 8 == 0 ? std::string("\r\n") : std::string("\n"); };
    std::string s = "version 1\nnodes\n";
    for (int i = 0; i < bones; ++i)
        s += std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(i - 1) + "\n";
    s += "end\nskeleton\n";
    for (int f = 0; f < 2; ++f) {
        s += "time " + std::to_string(f) + "\n";
        for (int b = 0; b < bones; ++b) {
            s += std::to_string(rng() % 10 == 0 ? b + 1 : b);  // now and then a wrong index
            for (int k = 0; k < 6; ++k) s += " " + field(rng);
            if (rng() % 20 == 0) s += " 7";  // a stray field
            s += lineEnd();
        }
    }
    s += "end\ntriangles\n";
    for (int t = 0; t < 4; ++t) {
        s += "skin.bmp\n";
        for (int c = 0; c < 3; ++c) {
            s += std::to_string(rng() % (bones + 2));  // now and then a missing bone
            for (int k = 0; k < 8; ++k) s += " " + field(rng);
            if (rng() % 10 == 0) s += " 1 0 1.000000";  // weight links
            s += lineEnd();
        }
    }
    return s + "end\n";
}

// Every space after the first line (which must read "version 1" exactly), doubled.
std::string doubleSpaces(const std::string& text) {
    const size_t firstLineEnd = text.find('\n');
    std::string out = text.substr(0, firstLineEnd);
    for (char c : text.substr(firstLineEnd)) {
        out += c;
        if (c == ' ') out += ' ';
    }
    return out;
}

// Every number's bits, every index and name, in order.
std::string fingerprint(const Model& m) {
    std::string s;
    auto bits = [&](const void* p, size_t n) { s.append(static_cast<const char*>(p), n); };
    for (const Bone& b : m.bones) bits(&b, sizeof b);
    for (const Frame& f : m.frames) {
        s += '|';
        for (const BoneKey& k : f) bits(&k, sizeof k);
    }
    for (const Triangle& t : m.triangles) bits(&t, sizeof t);
    return s;
}

// The problems without their columns (doubled spaces move them).
std::string problems(const SmdLoadResult& r) {
    std::string s = std::to_string(static_cast<int>(r.status));
    for (const SmdProblem& p : r.problems) s += "\n" + std::to_string(p.line) + " " + p.message;
    return s;
}

TEST(SmdLines, UsualLinesReadExactlyAsTheGeneralStepsReadThem) {
    std::mt19937_64 rng(20261209);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = randomSmd(rng);
        Model usual, general;
        const SmdLoadResult a = loadSmdFromMemory(usual, text);
        const SmdLoadResult b = loadSmdFromMemory(general, doubleSpaces(text));
        ASSERT_EQ(problems(a), problems(b)) << text;
        ASSERT_EQ(fingerprint(usual), fingerprint(general)) << text;
    }
}

TEST(SmdLines, ShortcutValuesAreTheNearestFloats) {
    // Values the shortcut takes (it reads the keys after a frame's first), with
    // the sign, zero and the widest mantissa.
    const std::string text =
        "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n"
        "0 0 0 0 0 0 0\n"
        "1 -0.000000 99.999999 -99.999999 0.000001 -1.000000 3.141593\n"
        "end\n";
    Model m;
    ASSERT_EQ(loadSmdFromMemory(m, text + std::string(200, '\n')).status, SmdStatus::Loaded);
    ASSERT_EQ(m.frames.size(), 1u);
    ASSERT_EQ(m.frames[0].size(), 2u);
    const BoneKey& k = m.frames[0][1];
    EXPECT_TRUE(std::signbit(k.x) && k.x == 0.0f);
    EXPECT_EQ(k.y, 99.999999f);
    EXPECT_EQ(k.z, -99.999999f);
    EXPECT_EQ(k.rx, 0.000001f);
    EXPECT_EQ(k.ry, -1.0f);
    EXPECT_EQ(k.rz, 3.141593f);
}

}  // namespace
