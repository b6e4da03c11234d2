#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "path_fixtures.h"

namespace {

// The Bernstein form of the curve in double precision, for comparison.
Point2 bernstein(const std::vector<Point2>& c, double u) {
    const size_t degree = c.size() - 1;
    double x = 0, y = 0, binomial = 1;
    for (size_t k = 0; k <= degree; ++k) {
        const double w = binomial * std::pow(1 - u, double(degree - k)) * std::pow(u, double(k));
        x += w * c[k].x;
        y += w * c[k].y;
        binomial = binomial * double(degree - k) / double(k + 1);
    }
    return {float(x), float(y)};
}

double distance(Point2 a, Point2 b) {
    return std::hypot(double(a.x) - b.x, double(a.y) - b.y);
}

}  // namespace

TEST(Curve, TravelCurveEndsAndMiddle) {
    const auto c = travelCurve();
    const Point2 start = evalBezier(c, 0.0f), middle = evalBezier(c, 0.5f),
                 end = evalBezier(c, 1.0f);
    EXPECT_EQ(start.x, 60.0f);
    EXPECT_EQ(start.y, -50.0f);
    EXPECT_EQ(middle.x, -19.0625f);
    EXPECT_EQ(middle.y, -6.015625f);
    EXPECT_EQ(end.x, -50.0f);
    EXPECT_EQ(end.y, 50.0f);
}

TEST(Curve, IsOneCurveOfFullDegreeThroughNoInnerControlPoint) {
    const auto c = travelCurve();
    for (float u : {0.01f, 0.13f, 0.37f, 0.5f, 0.71f, 0.99f}) {
        const Point2 p = evalBezier(c, u), q = bernstein(c, u);
        EXPECT_NEAR(p.x, q.x, 1e-4) << "u = " << u;
        EXPECT_NEAR(p.y, q.y, 1e-4) << "u = " << u;
    }
    // Points 2 and 5 are midpoints of their neighbours, yet the curve keeps clear of them.
    double nearest2 = 1e9, nearest5 = 1e9;
    for (int i = 0; i <= 10000; ++i) {
        const Point2 p = evalBezier(c, float(i) / 10000.0f);
        nearest2 = std::min(nearest2, distance(p, {-60, -50}));
        nearest5 = std::min(nearest5, distance(p, {30, 40}));
    }
    EXPECT_GT(nearest2, 5.0);
    EXPECT_GT(nearest5, 5.0);
}

TEST(Curve, SmallPolygons) {
    const auto reach = reachStartCurve();
    const Point2 half = evalBezier(reach, 0.5f);
    EXPECT_EQ(half.x, 0.0f);
    EXPECT_EQ(half.y, -22.5f);
    for (float u : {0.0f, 0.3f, 1.0f}) {
        const Point2 p = evalBezier({{3.5f, -2.0f}}, u);
        EXPECT_EQ(p.x, 3.5f);
        EXPECT_EQ(p.y, -2.0f);
    }
    const Point2 none = evalBezier({}, 0.5f);
    EXPECT_EQ(none.x, 0.0f);
    EXPECT_EQ(none.y, 0.0f);
    // More control points than the evaluator keeps on the stack.
    std::vector<Point2> line;
    for (int i = 0; i < 40; ++i) line.push_back({float(i), 2.0f * float(i)});
    const Point2 p = evalBezier(line, 0.25f);
    EXPECT_NEAR(p.x, 9.75f, 1e-4);
    EXPECT_NEAR(p.y, 19.5f, 1e-4);
}

TEST(Sampling, StepsOfOneHundredthDriftToA101stParameterShortOfOne) {
    PathState path = builtPath(travelCurve(), -10.0f);
    ASSERT_EQ(path.samplePoints.size(), 101u);
    ASSERT_EQ(path.arcTable.size(), 101u);
    EXPECT_EQ(path.arcTable[0].u, 0.0f);
    EXPECT_FLOAT_EQ(path.arcTable[100].u, 0.9999993f);
    EXPECT_LT(path.arcTable[100].u, 1.0f);
    for (size_t k = 1; k < 101; ++k) EXPECT_GT(path.arcTable[k].u, path.arcTable[k - 1].u);

    const Point2 last = path.samplePoints[100];
    EXPECT_LT(distance(last, {-50, 50}), 0.001);
    EXPECT_GT(distance(last, {-50, 50}), 0.0);
    for (size_t k = 0; k < 101; ++k) {
        const Point2 expected = evalBezier(path.controlPoints, path.arcTable[k].u);
        EXPECT_EQ(path.samplePoints[k].x, expected.x);
        EXPECT_EQ(path.samplePoints[k].y, expected.y);
    }
}

TEST(Sampling, FillsTheDrawableVerticesAndReplacesEarlierSamples) {
    PathState path = builtPath(reachStartCurve(), -40.0f);
    path.controlPoints = travelCurve();
    samplePath(path);  // a second sampling replaces, it does not append
    ASSERT_EQ(path.samplePoints.size(), 101u);
    ASSERT_EQ(path.pathVertexCount, 101u);
    for (size_t k = 0; k < 101; ++k) {
        EXPECT_EQ(path.pathVertices[k].x, path.samplePoints[k].x);
        EXPECT_EQ(path.pathVertices[k].y, path.samplePoints[k].y);
        EXPECT_EQ(path.pathVertices[k].z, -40.0f);
        EXPECT_EQ(path.pathVertices[k].color, 0xFFFFFFFFu);
    }
    EXPECT_EQ(path.pathVertices[101].color, 0u);
    EXPECT_EQ(path.pathVertices[101].z, 0.0f);
    for (const ArcEntry& e : path.arcTable) EXPECT_EQ(e.s, 0.0f);
}

TEST(Sampling, DotColourMarksEverySampleButTheLast) {
    PathState path = builtPath(travelCurve());
    setPathDotColor(path, 0xFFFF0000u);
    for (size_t k = 0; k < 100; ++k) EXPECT_EQ(path.pathVertices[k].color, 0xFFFF0000u);
    EXPECT_EQ(path.pathVertices[100].color, 0xFFFFFFFFu);
    EXPECT_EQ(path.pathVertices[101].color, 0u);
    setPathDotColor(path, 0xFFFFFFFFu);
    for (size_t k = 0; k < 101; ++k) EXPECT_EQ(path.pathVertices[k].color, 0xFFFFFFFFu);

    PathState empty;
    setPathDotColor(empty, 0xFFFF0000u);
    EXPECT_EQ(empty.pathVertices[0].color, 0u);
}
