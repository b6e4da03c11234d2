#include <algorithm>
#include <cmath>

#include "path/path.h"

void buildArcTable(PathState& path) {
    const size_t n = std::min(path.samplePoints.size(), path.arcTable.size());
    double running = 0.0;
    for (size_t k = 0; k < n; ++k) {
        if (k > 0) {
            const Point2& a = path.samplePoints[k - 1];
            const Point2& b = path.samplePoints[k];
            const double dx = static_cast<double>(b.x) - a.x;
            const double dy = static_cast<double>(b.y) - a.y;
            running += std::sqrt(dx * dx + dy * dy);
        }
        path.arcTable[k].s = static_cast<float>(running);
    }
    path.pathLength = running;
}

float paramAtDistance(const PathState& path, double distance) {
    const std::vector<ArcEntry>& table = path.arcTable;
    if (table.empty()) return 0.0f;
    for (size_t k = 0; k < table.size(); ++k) {
        const double s = table[k].s;
        if (s == distance) return table[k].u;
        if (s > distance) {
            // Only a distance below the first entry can stop at k = 0.
            if (k == 0) return table[0].u;
            const ArcEntry& lo = table[k - 1];
            const double fraction = (distance - lo.s) / (s - lo.s);
            return static_cast<float>(lo.u + fraction * (static_cast<double>(table[k].u) - lo.u));
        }
    }
    // Beyond the last entry (rounding at the very end of the path), or not a number.
    return table.back().u;
}
