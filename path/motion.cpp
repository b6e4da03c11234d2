#include <cmath>

#include "path/path.h"

namespace {

// The direction the character faces in its own model space.
constexpr Vec3 kReferenceFacing{0.0f, -1.0f, 0.0f};

}  // namespace

bool stepAlongPath(PathState& path, double t) {
    const EasedDistance eased = distanceAtTime(path, t);
    const float u = paramAtDistance(path, eased.distance * path.pathLength);
    const Point2 p = evalBezier(path.controlPoints, u);
    double ahead = static_cast<double>(u) + kLookAheadStep;
    if (ahead > 1.0) ahead = 1.0;
    const Point2 q = evalBezier(path.controlPoints, static_cast<float>(ahead));

    // A zero direction (the look-ahead point on the position) stays zero, which
    // faces the character along -x.
    Vec3 direction{q.x - p.x, q.y - p.y, 0.0f};
    normalizeVec3(direction, direction);
    const Vec3 k = crossVec3(kReferenceFacing, direction);
    const double cosine = dotVec3(kReferenceFacing, direction);
    const double angle = k.z > 0.0f ? std::acos(cosine) : kTwoPi - std::acos(cosine);

    path.heading = static_cast<float>(angle);
    path.headingMatrix = matrixRotationZ(path.heading);
    path.groundPosition = p;
    return eased.phaseChanged;
}

double headingOfMatrix(const Matrix4& h) {
    const double angle = std::atan2(static_cast<double>(h.m[0][1]), static_cast<double>(h.m[0][0]));
    return angle > 0.0 ? angle : angle + kTwoPi;
}
