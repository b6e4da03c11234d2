// Runs the real ikreach executable headless with a scripted session (move the
// target, Enter, wait through walk and blend, move again, Enter) and checks the
// trace it writes and the frames it captures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/math.h"
#include "tests/support/headless_run.h"
#include "tests/support/json_line.h"
#include "tests/support/png_image.h"

namespace {

double num(const JsonFields& f, const std::string& key) {
    const auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Number) << key;
    return it == f.end() ? NAN : it->second.number;
}
bool flag(const JsonFields& f, const std::string& key) {
    const auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Bool) << key;
    return it != f.end() && it->second.boolean;
}
bool isNull(const JsonFields& f, const std::string& key) {
    const auto it = f.find(key);
    return it != f.end() && it->second.kind == JsonValue::Kind::Null;
}
Vec3 vec(const JsonFields& f, const std::string& key) {
    return {float(num(f, key + ".0")), float(num(f, key + ".1")), float(num(f, key + ".2"))};
}
double dist(const Vec3& a, const Vec3& b) {
    return std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y) +
                     double(a.z - b.z) * (a.z - b.z));
}

// Screen pixel of a scene point seen from the fixed camera on the 484 x 461
// headless surface.
struct Screen {
    int x, y;
};
Screen project(const Vec3& p) {
    const Matrix4 view = matrixLookAtLH({-200, 0, 0}, {0, 0, 0}, {0, 0, 1});
    const Matrix4 projection = matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f);
    const Vec3 q = vec3TransformCoord(p, matrixMultiply(view, projection));
    return {int(std::lround((q.x + 1.0) / 2.0 * 484.0)),
            int(std::lround((1.0 - q.y) / 2.0 * 461.0))};
}

bool isBackground(const PngImage::Pixel& p) {
    return p.r == 120 && p.g == 120 && p.b == 120;
}
bool isBlack(const PngImage::Pixel& p) {
    return p.r < 30 && p.g < 30 && p.b < 30;
}
bool isGreen(const PngImage::Pixel& p) {
    return p.g > 200 && p.r < 60 && p.b < 60;
}
bool isRed(const PngImage::Pixel& p) {
    return p.r > 200 && p.g < 60 && p.b < 60;
}
bool isBlue(const PngImage::Pixel& p) {
    return p.b > 200 && p.r < 60 && p.g < 60;
}

class IkreachHeadless : public HeadlessRun {
protected:
    IkreachHeadless() : HeadlessRun("ikreach_headless") {}

    int run(const std::string& script, const std::string& extra = "") {
        HeadlessResult r = runHeadless(IKREACH_EXE, IKREACH_DATA_DIR, script, extra);
        err = std::move(r.err);
        trace = std::move(r.trace);
        return r.status;
    }
    // Milliseconds from the first frame to `f` (the tick counter may wrap).
    double elapsed(const JsonFields& f) const {
        return std::fmod(num(f, "tick") - num(trace[0], "tick") + 4294967296.0, 4294967296.0);
    }
    // The trace line of the first frame drawn at or after `ms` into the run.
    const JsonFields& at(double ms) const {
        for (const JsonFields& f : trace)
            if (elapsed(f) >= ms) return f;
        ADD_FAILURE() << "no frame at " << ms << " ms";
        return trace.back();
    }
    std::string err;
    std::vector<JsonFields> trace;
};

TEST_F(IkreachHeadless, ASessionWalksReachesBlendsAndReachesAgain) {
    const std::string script =
        "100 key RIGHT\n"  // target (0, -48, 20)
        "150 key PRIOR\n"  // target (0, -48, 22)
        "180 capture " +
        path("start.png") +
        "\n"
        "200 key RETURN\n"  // the walk: 200 .. 2200 ms
        "400 key LEFT\n"    // ignored while walking
        "400 key NEXT\n"
        "3600 capture " +
        path("held.png") +
        "\n"
        "3700 key UP\n"      // target (2, -48, 22)
        "3800 key RETURN\n"  // the second, short walk
        "6950 capture " +
        path("again.png") +
        "\n"
        "7000 close\n";
    ASSERT_EQ(run(script), 0) << err;
    EXPECT_EQ(err, "");
    ASSERT_GT(trace.size(), 400u);

    // Idle: no motion step, the character at the origin facing -y.
    const JsonFields& idle = at(120);
    EXPECT_TRUE(isNull(idle, "path.fraction"));
    EXPECT_EQ(num(idle, "path.ground.0"), 0.0);
    EXPECT_FLOAT_EQ(float(num(idle, "path.heading")), 6.2831855f);
    EXPECT_EQ(num(idle, "eye.0"), -200.0);
    const Vec3 target = vec(at(160), "reach.target");
    EXPECT_EQ(target.y, -48.0f);
    EXPECT_EQ(target.z, 22.0f);

    // Walking: keys ignored, the fraction grows, the ground moves along -y.
    const JsonFields& walking = at(1200);
    EXPECT_TRUE(flag(walking, "reach.active"));
    EXPECT_NEAR(num(walking, "path.fraction"), 0.5, 0.02);
    EXPECT_EQ(vec(walking, "reach.target").y, -48.0f);
    EXPECT_EQ(vec(walking, "reach.target").z, 22.0f);
    EXPECT_LT(num(walking, "path.ground.1"), -10.0);

    // Arrival: the first frame past 2000 ms uses 0.85 and stands at 94.64 % of the
    // 28-unit path.
    size_t arrival = 0;
    for (size_t i = 1; i < trace.size(); ++i)
        if (flag(trace[i], "reach.done") && !flag(trace[i - 1], "reach.done")) {
            arrival = i;
            break;
        }
    ASSERT_GT(arrival, 0u);
    const JsonFields& arrived = trace[arrival];
    EXPECT_EQ(num(arrived, "path.fraction"), 0.85);
    EXPECT_GT(elapsed(arrived), 2200.0);
    EXPECT_LE(elapsed(arrived), 2232.0);
    EXPECT_NEAR(num(arrived, "path.ground.1"), -0.94642857 * 28.0, 0.02);
    EXPECT_FALSE(flag(arrived, "reach.active"));
    EXPECT_TRUE(flag(arrived, "reach.finished"));
    const double unbent = dist(vec(arrived, "reach.effector"), target);
    EXPECT_GT(unbent, 20.0) << "the blend starts from the unbent arm";

    // Blending, then holding: the hand comes to the target.
    const JsonFields& blending = at(2700);
    EXPECT_TRUE(flag(blending, "reach.finished"));
    const double mid = dist(vec(blending, "reach.effector"), target);
    EXPECT_LT(mid, unbent - 5.0);
    const JsonFields& held = at(3500);
    EXPECT_TRUE(flag(held, "reach.done"));
    EXPECT_FALSE(flag(held, "reach.finished"));
    const double reached = dist(vec(held, "reach.effector"), target);
    EXPECT_LT(reached, 3.0);
    EXPECT_LT(reached, mid - 5.0);
    EXPECT_TRUE(isNull(held, "path.fraction"));

    // The second Enter: a short walk from where the first ended, then a new solve
    // toward the moved target.
    const Vec3 second = vec(at(3750), "reach.target");
    EXPECT_EQ(second.x, 2.0f);
    EXPECT_TRUE(flag(at(4000), "reach.active"));
    const JsonFields& again = at(6900);
    EXPECT_FALSE(flag(again, "reach.finished"));
    EXPECT_TRUE(flag(again, "reach.done"));
    EXPECT_LT(dist(vec(again, "reach.effector"), second), 3.0);
    EXPECT_LT(num(again, "path.ground.1"), num(held, "path.ground.1"));

    // Pictures: grey background; before the walk, the marker's three colours at the
    // target, away from the black skeleton with its green joints at the origin.
    const PngImage start = image("start.png");
    ASSERT_EQ(start.width, 484);
    ASSERT_EQ(start.height, 461);
    EXPECT_TRUE(isBackground(start.at(470, 450)));
    EXPECT_TRUE(isBackground(start.at(470, 10)));
    const Screen t = project(target);
    EXPECT_GT(start.count(t.x - 12, t.y - 12, t.x + 13, t.y + 13, isRed), 0);
    EXPECT_GT(start.count(t.x - 12, t.y - 12, t.x + 13, t.y + 13, isGreen), 0);
    EXPECT_GT(start.count(t.x - 12, t.y - 12, t.x + 13, t.y + 13, isBlue), 0);
    const Screen pelvis = project({0, 0, 0});
    EXPECT_GT(start.count(pelvis.x - 40, pelvis.y - 130, pelvis.x + 40, pelvis.y + 130, isBlack),
              150);
    EXPECT_GT(start.count(pelvis.x - 40, pelvis.y - 130, pelvis.x + 40, pelvis.y + 130, isGreen),
              20);
    EXPECT_EQ(start.count(0, 0, 484, 461, isRed),
              start.count(t.x - 12, t.y - 12, t.x + 13, t.y + 13, isRed))
        << "red only in the marker";

    // Held: the arm's black line and a green joint reach into the marker's
    // neighbourhood.
    const PngImage heldImage = image("held.png");
    EXPECT_TRUE(isBackground(heldImage.at(470, 450)));
    EXPECT_GT(heldImage.count(t.x - 15, t.y - 15, t.x + 16, t.y + 16, isBlack), 0);
    EXPECT_GT(heldImage.count(t.x - 15, t.y - 15, t.x + 16, t.y + 16, isRed), 0);
}

TEST_F(IkreachHeadless, TheTargetStaysWithinItsHeightBoundsAndWalksSurviveAWrappingTick) {
    std::string script;
    for (int i = 0; i < 8; ++i) script += std::to_string(50 + 10 * i) + " key PRIOR\n";
    script += "200 key RETURN\n2600 close\n";
    ASSERT_EQ(run(script, "--tick-start 4294966000"), 0) << err;
    EXPECT_EQ(vec(at(60), "reach.target").z, 24.0f);
    EXPECT_EQ(vec(at(150), "reach.target").z, 30.0f);
    for (const JsonFields& f : trace) EXPECT_LE(vec(f, "reach.target").z, 30.0f);
    // The tick counter wraps 1296 ms into the run, in the middle of the walk.
    EXPECT_TRUE(flag(at(1400), "reach.active"));
    EXPECT_NEAR(num(at(1400), "path.fraction"), 0.6, 0.01);
    EXPECT_TRUE(flag(at(2300), "reach.done"));
    EXPECT_NEAR(num(at(2300), "path.ground.1"), -0.94642857 * 30.0, 0.02);
}

}  // namespace
