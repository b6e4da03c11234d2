#include <algorithm>

#include "path/path.h"

namespace {

// A point of the construction's row. Unlike Point2 it has no default value, so a
// row on the stack is not cleared before the polygon is copied in (a sampling
// evaluates the curve a hundred times).
struct RowPoint {
    float x, y;
};

// One round of the construction: point i of the shorter row interpolates points
// i and i+1 of the old one, each coordinate computed and rounded in single
// precision.
void interpolateRow(RowPoint* row, size_t count, float u) {
    const float v = 1.0f - u;
    for (size_t i = 0; i + 1 < count; ++i) {
        const float x = v * row[i].x + u * row[i + 1].x;
        const float y = v * row[i].y + u * row[i + 1].y;
        row[i] = {x, y};
    }
}

}  // namespace

Point2 evalBezier(const std::vector<Point2>& controlPoints, float u) {
    const size_t n = controlPoints.size();
    if (n == 0) return {};
    // Small polygons (every program's) are evaluated in a stack row; larger ones in
    // a row of their own.
    constexpr size_t kStackRow = 16;
    RowPoint stackRow[kStackRow];
    std::vector<RowPoint> heapRow;
    RowPoint* row = stackRow;
    if (n > kStackRow) {
        heapRow.resize(n);
        row = heapRow.data();
    }
    for (size_t i = 0; i < n; ++i) row[i] = {controlPoints[i].x, controlPoints[i].y};
    for (size_t count = n; count > 1; --count) interpolateRow(row, count, u);
    return {row[0].x, row[0].y};
}

void samplePath(PathState& path) {
    path.samplePoints.clear();
    path.arcTable.clear();
    float u = 0.0f;
    for (;;) {
        path.samplePoints.push_back(evalBezier(path.controlPoints, u));
        path.arcTable.push_back({u, 0.0f});
        // The sum is tested before rounding: the single-precision running sum
        // drifts, and its 101st value is 0.9999993, not 1.
        const double sum = static_cast<double>(u) + static_cast<double>(kSampleStep);
        u = static_cast<float>(sum);
        if (!(sum < 1.0)) break;
    }
    path.pathVertexCount = std::min(path.samplePoints.size(), kPathVertexCapacity);
    for (size_t k = 0; k < path.pathVertexCount; ++k) {
        const Point2& p = path.samplePoints[k];
        path.pathVertices[k] = {p.x, p.y, path.pathHeight, 0xFFFFFFFFu};
    }
}

void setPathDotColor(PathState& path, uint32_t argb) {
    if (path.pathVertexCount == 0) return;
    for (size_t k = 0; k + 1 < path.pathVertexCount; ++k) path.pathVertices[k].color = argb;
}
