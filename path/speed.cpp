#include "path/path.h"

EasedDistance distanceAtTime(PathState& path, double t) {
    constexpr double t1 = kEaseInEnd, t2 = kEaseOutStart, v = kCruiseSpeed;
    EasedDistance out;
    int32_t entered = path.movePhase;
    if (t <= t1) {
        out.distance = v * t * t / (2.0 * t1);
        if (path.movePhase == kPhaseDecelerating) entered = kPhaseAccelerating;
    } else if (t < t2) {
        out.distance = v * (t - t1 / 2.0);
        if (path.movePhase == kPhaseAccelerating) entered = kPhaseCruising;
    } else {
        out.distance = v * (t - t2) * (2.0 - t - t2) / (2.0 * (1.0 - t2)) + v * (t2 - t1 / 2.0);
        if (path.movePhase == kPhaseCruising) entered = kPhaseDecelerating;
    }
    out.phaseChanged = entered != path.movePhase;
    path.movePhase = entered;
    return out;
}
