#include <gtest/gtest.h>

#include <vector>

#include "path/path.h"

namespace {

double distanceOnly(double t) {
    PathState path;
    return distanceAtTime(path, t).distance;
}

}  // namespace

TEST(SpeedProfile, KnownValuesAndSymmetry) {
    EXPECT_EQ(distanceOnly(0.0), 0.0);
    EXPECT_NEAR(distanceOnly(1.0), 1.0, 1e-12);
    EXPECT_NEAR(distanceOnly(0.1), 0.0238095238095238, 1e-12);
    EXPECT_NEAR(distanceOnly(0.5), 0.5, 1e-12);
    EXPECT_NEAR(distanceOnly(0.85), 0.9464285714285714, 1e-12);
    EXPECT_NEAR(distanceOnly(0.9), 0.9761904761904762, 1e-12);
    EXPECT_NEAR(distanceOnly(0.3), 0.2142857142857143, 1e-12);
    EXPECT_NEAR(distanceOnly(0.7), 0.7857142857142857, 1e-12);
    for (int i = 0; i <= 100; ++i) {
        const double t = i / 100.0;
        EXPECT_NEAR(distanceOnly(1.0 - t), 1.0 - distanceOnly(t), 1e-12) << t;
    }
    double previous = -1.0;
    for (int i = 0; i <= 1000; ++i) {
        const double d = distanceOnly(i / 1000.0);
        EXPECT_GT(d, previous);
        previous = d;
    }
}

TEST(SpeedProfile, PiecesJoinAtTheirBoundaries) {
    // The boundary value belongs to the outer piece; the inner piece meets it there.
    const double v = kCruiseSpeed;
    EXPECT_NEAR(distanceOnly(0.3), v * (0.3 - 0.15), 1e-12);
    EXPECT_NEAR(distanceOnly(0.7), v * (0.7 - 0.15), 1e-12);
    EXPECT_NEAR(distanceOnly(0.3 + 1e-9), distanceOnly(0.3), 1e-8);
    EXPECT_NEAR(distanceOnly(0.7 - 1e-9), distanceOnly(0.7), 1e-8);

    PathState path;
    distanceAtTime(path, 0.3);
    EXPECT_EQ(path.movePhase, kPhaseAccelerating);
    distanceAtTime(path, 0.3 + 1e-12);
    EXPECT_EQ(path.movePhase, kPhaseCruising);
    distanceAtTime(path, 0.7 - 1e-12);
    EXPECT_EQ(path.movePhase, kPhaseCruising);
    distanceAtTime(path, 0.7);
    EXPECT_EQ(path.movePhase, kPhaseDecelerating);
}

TEST(SpeedProfile, EachPhaseChangeFiresOncePerPass) {
    PathState path;
    struct Change {
        int frame;
        int32_t phase;
    };
    std::vector<Change> changes;
    // Two passes of 7000 ms drawn every 16 ms, the second starting afresh.
    int frame = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int ms = 0; ms <= 7000; ms += 16, ++frame) {
            if (distanceAtTime(path, ms / 7000.0).phaseChanged)
                changes.push_back({frame, path.movePhase});
        }
    }
    ASSERT_EQ(changes.size(), 5u);
    const int perPass = 7000 / 16 + 1;
    // First frames past 0.3 and at or past 0.7, then the new pass at t = 0.
    EXPECT_EQ(changes[0].frame, 132);  // 2112 ms
    EXPECT_EQ(changes[0].phase, kPhaseCruising);
    EXPECT_EQ(changes[1].frame, 307);  // 4912 ms
    EXPECT_EQ(changes[1].phase, kPhaseDecelerating);
    EXPECT_EQ(changes[2].frame, perPass);
    EXPECT_EQ(changes[2].phase, kPhaseAccelerating);
    EXPECT_EQ(changes[3].frame, perPass + 132);
    EXPECT_EQ(changes[4].frame, perPass + 307);
}

TEST(SpeedProfile, PhasesAdvanceOnlyFromThePhaseBefore) {
    PathState path;
    // A gap from the first piece straight into the third changes nothing.
    EXPECT_FALSE(distanceAtTime(path, 0.2).phaseChanged);
    EXPECT_FALSE(distanceAtTime(path, 0.8).phaseChanged);
    EXPECT_EQ(path.movePhase, kPhaseAccelerating);
    EXPECT_FALSE(distanceAtTime(path, 0.1).phaseChanged);
    EXPECT_TRUE(distanceAtTime(path, 0.5).phaseChanged);
    EXPECT_EQ(path.movePhase, kPhaseCruising);
    // Back in the first piece while cruising: no change either.
    EXPECT_FALSE(distanceAtTime(path, 0.1).phaseChanged);
    EXPECT_EQ(path.movePhase, kPhaseCruising);
    EXPECT_FALSE(distanceAtTime(path, 0.5).phaseChanged);
    EXPECT_TRUE(distanceAtTime(path, 1.0).phaseChanged);
    EXPECT_EQ(path.movePhase, kPhaseDecelerating);
    EXPECT_FALSE(distanceAtTime(path, 0.5).phaseChanged);
    EXPECT_TRUE(distanceAtTime(path, 0.0).phaseChanged);
    EXPECT_EQ(path.movePhase, kPhaseAccelerating);
}
