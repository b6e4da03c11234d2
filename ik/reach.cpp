#include "ik/reach.h"

#include <algorithm>
#include <cstring>

namespace {

// Milliseconds from `sinceMs` (a tick held as a double) to `nowMs`, as the unsigned
// 32-bit difference of the two ticks.
double elapsedMs(uint32_t nowMs, double sinceMs) {
    return static_cast<double>(static_cast<uint32_t>(nowMs - static_cast<uint32_t>(sinceMs)));
}

}  // namespace

void planReachPath(PathState& path, const Vec3& target) {
    const Point2 a = path.groundPosition;
    Vec3 direction{};
    const Vec3 away{a.x - target.x, a.y - target.y, 0.0f};
    Point2 p = a;  // standing on the target's x, y: no walk
    if (lengthVec3(away) != 0.0f) {
        normalizeVec3(direction, away);
        p = {target.x + standOffDistance * direction.x, target.y + standOffDistance * direction.y};
    }
    path.controlPoints.assign({a, p, p});
}

void nudgeTarget(ReachScene& scene, TargetAxis axis, bool positive) {
    if (scene.reachActive) return;
    Vec3& t = scene.reachTarget;
    const float step = positive ? targetStep : -targetStep;
    switch (axis) {
        case TargetAxis::X:
            t.x += step;
            break;
        case TargetAxis::Y:
            t.y += step;
            break;
        case TargetAxis::Z:
            t.z = std::clamp(t.z + step, -targetHeightLimit, targetHeightLimit);
            break;
    }
}

void startReach(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs) {
    restoreWorkPositions(sets);
    scene.reachStartMs = static_cast<double>(nowMs);
    scene.reachActive = true;
    scene.reachDone = false;
}

void updateReach(ReachScene& scene, PathState& path, const Model& poseModel,
                 JointPositionSets& sets, TickSource tickCount) {
    scene.reachStepped = false;
    if (!scene.reachActive) {
        planReachPath(path, scene.reachTarget);
        const bool samePlan =
            scene.planSampled && path.controlPoints.size() == 3 &&
            std::memcmp(path.controlPoints.data(), scene.sampledPlan, sizeof scene.sampledPlan) ==
                0 &&
            std::memcmp(&path.pathHeight, &scene.sampledHeight, sizeof(float)) == 0;
        if (!samePlan) {
            samplePath(path);
            buildArcTable(path);
            std::copy(path.controlPoints.begin(), path.controlPoints.end(), scene.sampledPlan);
            scene.sampledHeight = path.pathHeight;
            scene.planSampled = true;
        }
        return;
    }
    const double walkedMs = elapsedMs(tickCount(), scene.reachStartMs);
    if (walkedMs > reachDurationMs) {
        scene.reachFraction = arrivalFraction;
        scene.reachDone = true;
    } else {
        scene.reachFraction = walkedMs / reachDurationMs;
    }
    stepAlongPath(path, scene.reachFraction);
    scene.reachStepped = true;
    if (!scene.reachDone) return;

    solveReach(poseModel, sets, scene.reachTarget, path.headingMatrix, path.groundPosition);
    // The blend starts from the unbent pose at the final place; holding it here
    // means the blend never shows stale positions, even when its first evaluation
    // comes only after the whole blend time.
    copyJointPositions(sets.workPositions, sets.blendPositions);
    scene.reachActive = false;
    scene.reachFinished = true;
    scene.reachEndMs = static_cast<double>(tickCount());
}

void blendStep(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs) {
    const float t = static_cast<float>(elapsedMs(nowMs, scene.reachEndMs) / blendDurationMs);
    if (t >= 1.0f) {
        scene.reachFinished = false;
        return;
    }
    const size_t n = std::min({jointCount(sets.workPositions), jointCount(sets.reachPositions),
                               jointCount(sets.blendPositions)});
    for (size_t i = 0; i < n; ++i) {
        const int32_t b = static_cast<int32_t>(i);
        const Vec3 w = jointPosition(sets.workPositions, b);
        const Vec3 r = jointPosition(sets.reachPositions, b);
        setJointPosition(sets.blendPositions, b,
                         {w.x + (r.x - w.x) * t, w.y + (r.y - w.y) * t, w.z + (r.z - w.z) * t});
    }
}

ReachSource chooseReachSource(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs) {
    if (!scene.reachDone) return ReachSource::Work;
    if (scene.reachFinished) blendStep(scene, sets, nowMs);
    return scene.reachFinished ? ReachSource::Blend : ReachSource::Reach;
}

const Model& reachSourceSet(const JointPositionSets& sets, ReachSource source) {
    switch (source) {
        case ReachSource::Blend:
            return sets.blendPositions;
        case ReachSource::Reach:
            return sets.reachPositions;
        case ReachSource::Work:
            break;
    }
    return sets.workPositions;
}
