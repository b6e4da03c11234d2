// Runs the real pathmove executable headless over two passes and checks the
// trace it writes and the frames it captures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/math.h"
#include "path/path.h"
#include "tests/support/headless_run.h"
#include "tests/support/json_line.h"
#include "tests/support/png_image.h"

namespace {

namespace fs = std::filesystem;

using Result = HeadlessResult;

double num(const JsonFields& f, const std::string& key) {
    const auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Number) << key;
    return it == f.end() ? NAN : it->second.number;
}

bool isBlue(const PngImage::Pixel& p) {
    return p.r == 0 && p.g == 0 && p.b == 255;
}
bool isRed(const PngImage::Pixel& p) {
    return p.r > 200 && p.g < 60 && p.b < 60;
}

// Screen pixel of a scene point seen from the start-up camera on the 484 x 461
// headless surface (aspect 1 stretched over it, as the projection is set up).
struct Screen {
    double x, y;
};
Screen project(const Vec3& p) {
    const Matrix4 view = matrixLookAtLH({-300, -300, 100}, {0, 0, 0}, {0, 0, 1});
    const Matrix4 projection = matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f);
    const Vec3 q = vec3TransformCoord(p, matrixMultiply(view, projection));
    return {(q.x + 1.0) / 2.0 * 484.0, (1.0 - q.y) / 2.0 * 461.0};
}

class PathmoveHeadless : public HeadlessRun {
protected:
    PathmoveHeadless() : HeadlessRun("pathmove_headless") {}

    Result run(const std::string& script, const std::string& extra,
               const std::string& data = PATHMOVE_DATA_DIR) {
        return runHeadless(PATHMOVE_EXE, data, script, extra);
    }
};

TEST_F(PathmoveHeadless, TwoPassesChangePhaseAndClipAtTheirFractions) {
    const Result r = run("", "--step 16 --frames 900");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.trace.size(), 900u);
    const JsonFields& first = r.trace[0];
    EXPECT_EQ(num(first, "clip.periodMs"), 40.0);
    EXPECT_EQ(num(first, "eye.0"), -300.0);
    EXPECT_EQ(num(first, "path.fraction"), 0.0);
    EXPECT_EQ(num(first, "path.ground.0"), 60.0);
    EXPECT_EQ(num(first, "path.ground.1"), -50.0);
    EXPECT_NEAR(num(first, "path.heading"), 5.1160, 1e-4);

    const double walkFrames = num(first, "clip.frames");
    const double runFrames = num(r.trace[140], "clip.frames");
    EXPECT_GE(walkFrames, 25.0);
    EXPECT_LE(walkFrames, 35.0);
    EXPECT_GE(runFrames, 16.0);
    EXPECT_LE(runFrames, 24.0);

    struct Change {
        size_t index;
        double phase;
    };
    std::vector<Change> changes;
    std::vector<size_t> passStarts;
    for (size_t i = 1; i < r.trace.size(); ++i) {
        const JsonFields& f = r.trace[i];
        const double phase = num(f, "path.phase"), fraction = num(f, "path.fraction");
        if (phase != num(r.trace[i - 1], "path.phase")) changes.push_back({i, phase});
        if (fraction < num(r.trace[i - 1], "path.fraction")) passStarts.push_back(i);
        // The clip follows the phase.
        EXPECT_EQ(num(f, "clip.frames"), phase == 1.0 ? runFrames : walkFrames) << i;
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 1.0);
    }
    // A pass runs out after 7000 ms: the frame at 7008 ms starts the next at 0.
    ASSERT_EQ(passStarts, (std::vector<size_t>{438, 876}));
    for (size_t start : passStarts) {
        EXPECT_EQ(num(r.trace[start], "path.fraction"), 0.0);
        EXPECT_EQ(num(r.trace[start], "path.ground.0"), 60.0);
        EXPECT_NEAR(num(r.trace[start - 1], "path.ground.0"), -50.0, 0.5);
        EXPECT_NEAR(num(r.trace[start - 1], "path.ground.1"), 50.0, 0.5);
    }
    ASSERT_EQ(changes.size(), 6u);
    const double phases[] = {1, 2, 0, 1, 2, 0};
    for (size_t k = 0; k < changes.size(); ++k) {
        const size_t i = changes[k].index;
        EXPECT_EQ(changes[k].phase, phases[k]);
        const double before = num(r.trace[i - 1], "path.fraction");
        const double at = num(r.trace[i], "path.fraction");
        if (phases[k] == 1) {
            EXPECT_LE(before, 0.3);
            EXPECT_GT(at, 0.3);
        } else if (phases[k] == 2) {
            EXPECT_LT(before, 0.7);
            EXPECT_GE(at, 0.7);
        } else {
            EXPECT_EQ(i, passStarts[k / 3]);
        }
    }
    // CPU time of the frames that read a clip, for the record (never asserted).
    for (const Change& c : changes) {
        std::printf("phase %g at frame %zu: cpuUs %.1f (frame before %.1f)\n", c.phase, c.index + 1,
                    num(r.trace[c.index], "cpuUs"), num(r.trace[c.index - 1], "cpuUs"));
    }
}

// The first pass starts with the program, whatever the tick count then is.
TEST_F(PathmoveHeadless, TheFirstPassStartsAtStartUp) {
    for (const char* tickStart : {"3000", "0", "4294967000"}) {
        SCOPED_TRACE(tickStart);
        const Result r = run("", std::string("--frames 2 --tick-start ") + tickStart);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.trace.size(), 2u);
        EXPECT_EQ(num(r.trace[0], "path.fraction"), 0.0);
        EXPECT_EQ(num(r.trace[0], "path.phase"), 0.0);
        EXPECT_NEAR(num(r.trace[1], "path.fraction"), 16.0 / 7000.0, 1e-9);
    }
}

TEST_F(PathmoveHeadless, CaptureShowsTheBlueSceneThePathAndTheSmallFigureOnIt) {
    // The same moment with and without the figure: without clip files nothing of
    // the character is drawn, so the two pictures differ exactly by the figure
    // and the message that says why (its rows are left out below).
    const std::string script = "3504 capture " + path("figure.png") + "\n";
    const Result with = run(script, "--frames 240");
    ASSERT_EQ(with.status, 0) << with.err;
    fs::rename(path("figure.png"), path("with.png"));
    const fs::path bare = dir / "bare";
    fs::create_directories(bare);
    const Result without = run(script, "--frames 240", bare.string());
    ASSERT_EQ(without.status, 0) << without.err;
    EXPECT_NE(without.err.find("walk.smd"), std::string::npos);
    fs::rename(path("figure.png"), path("without.png"));

    const JsonFields& frame = with.trace[219];
    ASSERT_EQ(num(frame, "tick"), 1003504.0);
    EXPECT_EQ(num(frame, "path.phase"), 1.0);
    const float gx = float(num(frame, "path.ground.0")), gy = float(num(frame, "path.ground.1"));

    const PngImage a = image("with.png"), b = image("without.png");
    ASSERT_EQ(a.width, 484);
    ASSERT_EQ(a.height, 461);
    ASSERT_EQ(b.width, 484);
    for (const auto& [x, y] : {std::pair{0, 40}, {483, 0}, {0, 460}, {483, 460}}) {
        EXPECT_TRUE(isBlue(a.at(x, y))) << x << "," << y;
    }
    // The path: every red dot and the white line between them lie on the projected
    // samples at z = -10.
    PathState curve;
    curve.controlPoints = {{60, -50}, {-45, -95}, {-60, -50}, {-75, -5},
                           {25, -10}, {30, 40},   {35, 90},   {-50, 50}};
    samplePath(curve);
    int samplesOnLine = 0;
    for (const Point2& p : curve.samplePoints) {
        const Screen s = project({p.x, p.y, -10.0f});
        const int x = int(std::lround(s.x)), y = int(std::lround(s.y));
        samplesOnLine += b.count(x - 1, y - 1, x + 2, y + 2, [](const PngImage::Pixel& q) {
            return isRed(q) || isWhite(q);
        }) > 0;
    }
    EXPECT_GE(samplesOnLine, 99);
    EXPECT_GT(b.count(0, 0, 484, 461, isRed), 60);
    EXPECT_GT(b.count(0, 40, 484, 461, isWhite), 30);

    // The figure: about 22 units tall at a tenth of the view, standing on its
    // ground position; nothing else changes.
    const Screen feet = project({gx, gy, -10.0f});
    int differing = 0, outside = 0, whiteAbove = 0;
    ASSERT_GT(feet.y - 40, 100);                       // the figure lies below the message
    EXPECT_GT(b.count(10, 50, 200, 70, isWhite), 20);  // "walk.smd: error: cannot open..."
    for (int y = 0; y < a.height; ++y) {
        if (y >= 45 && y < 100) continue;
        for (int x = 0; x < a.width; ++x) {
            const PngImage::Pixel p = a.at(x, y), q = b.at(x, y);
            if (p.r == q.r && p.g == q.g && p.b == q.b) continue;
            ++differing;
            const bool near = std::abs(x - feet.x) <= 15 && y >= feet.y - 40 && y <= feet.y + 4;
            outside += !near;
            whiteAbove += near && isWhite(p) && y < feet.y - 8;
        }
    }
    EXPECT_GT(differing, 40);
    EXPECT_LT(differing, 600);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(whiteAbove, 20);
}

TEST_F(PathmoveHeadless, WithHelpShownThePathIsStillDrawn) {
    const Result r = run("100 key F1\n200 capture " + path("help.png") + "\n", "--frames 20");
    ASSERT_EQ(r.status, 0) << r.err;
    const PngImage img = image("help.png");
    EXPECT_GT(img.count(8, 45, 150, 72, isWhite), 30);  // "F1: Toggle Help"
    EXPECT_GT(img.count(0, 0, 484, 461, isRed), 60);
}

}  // namespace
