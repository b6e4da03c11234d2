// Control polygons shared by the path tests.
#pragma once

#include <utility>
#include <vector>

#include "path/path.h"

// The fixed curve of the path-movement program: degree 7 in the ground plane.
inline std::vector<Point2> travelCurve() {
    return {{60, -50}, {-45, -95}, {-60, -50}, {-75, -5}, {25, -10}, {30, 40}, {35, 90}, {-50, 50}};
}

// The reaching walk's start-up plan: from (0, 0) to 20 units short of (0, -50),
// the last point doubled.
inline std::vector<Point2> reachStartCurve() {
    return {{0, 0}, {0, -30}, {0, -30}};
}

// Samples and measures `controls` as the programs do at start-up.
inline PathState builtPath(std::vector<Point2> controls, float height = -10.0f) {
    PathState path;
    path.pathHeight = height;
    path.controlPoints = std::move(controls);
    samplePath(path);
    buildArcTable(path);
    return path;
}
