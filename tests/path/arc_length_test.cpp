#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "path_fixtures.h"

TEST(ArcTable, TravelCurveLengthsAndTableShape) {
    const PathState path = builtPath(travelCurve());
    const auto& t = path.arcTable;
    ASSERT_EQ(t.size(), 101u);
    EXPECT_NEAR(path.pathLength, 291.32, 0.01);
    EXPECT_EQ(t[0].u, 0.0f);
    EXPECT_EQ(t[0].s, 0.0f);
    EXPECT_EQ(t[100].s, float(path.pathLength));
    double shortest = 1e9;
    for (size_t k = 1; k < t.size(); ++k) {
        ASSERT_GE(t[k].s, t[k - 1].s);
        shortest = std::min(shortest, double(t[k].s) - t[k - 1].s);
    }
    EXPECT_NEAR(t[1].s - t[0].s, 7.75, 0.01);
    EXPECT_NEAR(t[100].s - t[99].s, 6.33, 0.01);
    EXPECT_NEAR(shortest, 1.71, 0.01);
    EXPECT_NEAR(t[99].s, 285.0, 0.05);
}

TEST(ArcTable, LookupMatchesEntriesExactlyAndInterpolatesBetweenThem) {
    const PathState path = builtPath(travelCurve());
    const auto& t = path.arcTable;
    EXPECT_EQ(paramAtDistance(path, 0.0), 0.0f);
    for (size_t k = 0; k < t.size(); ++k) EXPECT_EQ(paramAtDistance(path, t[k].s), t[k].u) << k;
    for (size_t k = 1; k < t.size(); ++k) {
        const double half = (double(t[k - 1].s) + t[k].s) / 2.0;
        EXPECT_NEAR(paramAtDistance(path, half), (double(t[k - 1].u) + t[k].u) / 2.0, 1e-6) << k;
    }
    // Inside the last interval the parameter still rises towards the last sample's.
    const float late = paramAtDistance(path, (double(t[99].s) + 3 * double(t[100].s)) / 4.0);
    EXPECT_GT(late, t[99].u);
    EXPECT_LT(late, t[100].u);
}

TEST(ArcTable, DistancesOutsideTheTable) {
    const PathState path = builtPath(travelCurve());
    const float last = path.arcTable.back().u;
    // The full length in double may lie a hair above the last entry's float.
    EXPECT_EQ(paramAtDistance(path, path.pathLength), last);
    EXPECT_EQ(paramAtDistance(path, path.pathLength + 1e-3), last);
    EXPECT_EQ(paramAtDistance(path, 1e9), last);
    EXPECT_EQ(paramAtDistance(path, std::nan("")), last);
    EXPECT_EQ(paramAtDistance(path, -5.0), 0.0f);
    EXPECT_EQ(paramAtDistance(PathState{}, 3.0), 0.0f);
}

TEST(ArcTable, StraightReachPathSlowsTowardsItsEnd) {
    const PathState path = builtPath(reachStartCurve(), -40.0f);
    EXPECT_NEAR(path.pathLength, 30.0, 1e-4);
    // Half the length lies at the root of 2u - u^2 = 1/2.
    EXPECT_NEAR(paramAtDistance(path, 15.0), 1.0 - std::sqrt(0.5), 1e-3);
    // Chords of equal parameter steps shrink along the path.
    EXPECT_GT(path.arcTable[1].s - path.arcTable[0].s, path.arcTable[100].s - path.arcTable[99].s);
}

TEST(ArcTable, CoincidentSamplesGiveAZeroTable) {
    const PathState path = builtPath({{4, 4}, {4, 4}, {4, 4}});
    EXPECT_EQ(path.pathLength, 0.0);
    for (const ArcEntry& e : path.arcTable) EXPECT_EQ(e.s, 0.0f);
    EXPECT_EQ(paramAtDistance(path, 0.0), 0.0f);
}
