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

bool nudgeTarget(ReachScene& scene, uint32_t virtualKey) {
    float* coordinate = nullptr;
    float step = targetStep;
    switch (virtualKey) {
        case keyUp:
            coordinate = &scene.reachTarget.x;
            break;
        case keyDown:
            coordinate = &scene.reachTarget.x, step = -targetStep;
            break;
        case keyRight:
            coordinate = &scene.reachTarget.y;
            break;
        case keyLeft:
            coordinate = &scene.reachTarget.y, step = -targetStep;
            break;
        case keyPageUp:
            coordinate = &scene.reachTarget.z;
            break;
        case keyPageDown:
            coordinate = &scene.reachTarget.z, step = -targetStep;
            break;
        default:
            return false;
    }
    if (scene.reachActive) return true;
    *coordinate += step;
    if (coordinate == &scene.reachTarget.z) {
        if (scene.reachTarget.z >= targetHeightLimit) scene.reachTarget.z = targetHeightLimit;
        if (scene.reachTarget.z <= -targetHeightLimit) scene.reachTarget.z = -targetHeightLimit;
    }
    return true;
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
    if (!scene.reachFinished) return ReachSource::Reach;
    blendStep(scene, sets, nowMs);
    return ReachSource::Blend;
}

ReachSource chooseFrameReachSource(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs,
                                   FrameReachSource& frame) {
    if (frame.blended && frame.tickMs == nowMs && scene.reachDone && scene.reachFinished)
        return ReachSource::Blend;
    const ReachSource source = chooseReachSource(scene, sets, nowMs);
    frame.blended = source == ReachSource::Blend && scene.reachFinished;
    frame.tickMs = nowMs;
    return source;
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

namespace {

bool sameVertexBits(const LineVertex& a, const LineVertex& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Where writing `wanted` from `from` on may stop so that every entry up to
// reachStripWritten holds it, when the entries from `heldFrom` on hold `held`.
size_t tailWriteEnd(const LineVertex& wanted, const LineVertex& held, size_t heldFrom,
                    size_t from) {
    return sameVertexBits(wanted, held) ? std::max(heldFrom, from) : reachStripWritten;
}

}  // namespace

size_t buildReachStrip(LineVertex* strip, const Model& hierarchy, const Model& source,
                       ReachSource kind, int32_t bone, const PathState& path, StripMemo* memo) {
    const Point2 ground = path.groundPosition;
    const bool worldSpace = kind != ReachSource::Work;
    // The place of bone 0 and of every entry after the chain.
    const Vec3 base = worldSpace ? Vec3{ground.x, ground.y, 0.0f} : Vec3{};

    const int32_t n = static_cast<int32_t>(hierarchy.bones.size());
    size_t written = 0;
    int32_t chainBones[reachStripWritten];
    if (bone >= 0 && bone < n && jointCount(source) >= static_cast<size_t>(n)) {
        int32_t b = bone;
        while (written < reachStripWritten) {
            const Vec3 p = b == 0 ? base : jointPosition(source, b);
            chainBones[written] = b;
            strip[written++] = {p.x, p.y, p.z, skeletonLineColor};
            const int32_t parent = hierarchy.bones[static_cast<size_t>(b)].parent;
            if (parent < 0 || parent >= n) break;  // a root, or a broken link
            b = parent;
        }
    }

    if (worldSpace) {
        // The entries after the chain get the ground place and keep their colours.
        size_t end = reachStripWritten;
        if (memo != nullptr && memo->coloursOwed) {
            // Their colours are the green owed: whole vertices.
            const LineVertex at{base.x, base.y, base.z, skeletonJointColor};
            end = tailWriteEnd(at, memo->tail, memo->tailFrom, written);
            fillVertices(strip + written, strip + end, at);
            memo->tail = at;
            memo->tailFrom = written;
            memo->chainEnd = written;
            memo->coloursOwed = false;
            return written;
        }
        if (memo != nullptr) {
            LineVertex at = memo->tail;
            at.x = base.x, at.y = base.y, at.z = base.z;
            if (sameVertexBits(at, memo->tail)) {
                // Only the entries of a longer chain before are not there yet.
                end = std::max(memo->tailFrom, written);
                memo->tailFrom = end;
            } else {
                memo->tail = at;
                memo->tailFrom = reachStripWritten;
            }
            memo->chainEnd = written;
        }
        for (size_t k = written; k < end; ++k) {
            strip[k].x = base.x;
            strip[k].y = base.y;
            strip[k].z = base.z;
        }
        return written;
    }

    const auto place = [&path, ground](const Vec3& v) {
        const Vec3 p =
            vec3TransformCoord(vec3TransformCoord(v, path.characterScale), path.headingMatrix);
        return Vec3{p.x + ground.x, p.y + ground.y, p.z};
    };
    if (memo != nullptr && memo->known.size() < static_cast<size_t>(n)) {
        memo->from.resize(static_cast<size_t>(n));
        memo->to.resize(static_cast<size_t>(n));
        memo->known.resize(static_cast<size_t>(n), 0);
    }
    for (size_t k = 0; k < written; ++k) {
        const Vec3 in{strip[k].x, strip[k].y, strip[k].z};
        Vec3 out;
        const size_t b = static_cast<size_t>(chainBones[k]);
        if (memo == nullptr) {
            out = place(in);
        } else if (memo->known[b] && std::memcmp(&in, &memo->from[b], sizeof in) == 0) {
            out = memo->to[b];
        } else {
            out = place(in);
            memo->from[b] = in;
            memo->to[b] = out;
            memo->known[b] = 1;
        }
        strip[k] = {out.x, out.y, out.z, skeletonLineColor};
    }
    // Every entry after the chain is the origin, placed once per memo, uncoloured.
    if (written < reachStripWritten) {
        Vec3 origin;
        size_t end = reachStripWritten;
        if (memo == nullptr) {
            origin = place(Vec3{});
        } else {
            if (!memo->originKnown) memo->origin = place(Vec3{});
            memo->originKnown = true;
            origin = memo->origin;
            const LineVertex tail{origin.x, origin.y, origin.z, 0};
            end = tailWriteEnd(tail, memo->tail, memo->tailFrom, written);
            memo->tail = tail;
            memo->tailFrom = written;
        }
        fillVertices(strip + written, strip + end, LineVertex{origin.x, origin.y, origin.z, 0});
    } else if (memo != nullptr) {
        memo->tailFrom = reachStripWritten;
    }
    if (memo != nullptr) {
        memo->chainEnd = written;
        memo->coloursOwed = false;  // every colour of the strip written anew
    }
    strip[reachStripWritten] = LineVertex{};
    return written;
}

void colourJointPoints(LineVertex* strip) {
    for (size_t k = 0; k < reachStripWritten; ++k) strip[k].color = skeletonJointColor;
}

void colourJointPoints(const LineVertex* strip, LineVertex* dots, StripMemo& memo) {
    // The chain, and entries the tail before did not cover, vertex by vertex.
    const size_t chain = std::min(memo.chainEnd, reachStripWritten);
    const LineVertex tail{memo.tail.x, memo.tail.y, memo.tail.z, skeletonJointColor};
    const size_t end = tailWriteEnd(tail, memo.dotsTail, memo.dotsTailFrom, chain);
    for (size_t k = 0; k < chain; ++k)
        dots[k] = {strip[k].x, strip[k].y, strip[k].z, skeletonJointColor};
    // From the chain's end on the strip holds the tail's point.
    fillVertices(dots + chain, dots + end, tail);
    dots[reachStripWritten] = strip[reachStripWritten];
    memo.dotsTail = tail;
    memo.dotsTailFrom = chain;
    memo.coloursOwed = true;
}

void finishJointColours(LineVertex* strip, StripMemo& memo) {
    if (!memo.coloursOwed) return;
    colourJointPoints(strip);
    memo.tail.color = skeletonJointColor;
    memo.tailFrom = std::min(memo.tailFrom, memo.chainEnd);
    memo.coloursOwed = false;
}

uint32_t reachStripSegments(const Model& hierarchy) {
    return static_cast<uint32_t>(std::min<size_t>(hierarchy.bones.size(), reachStripMaxSegments));
}

void spinTargetMarker(ReachScene& scene) {
    const Matrix4 spin = matrixRotationZ(markerSpin);
    for (LineVertex& v : scene.targetMarker) {
        const Vec3 p = vec3TransformCoord({v.x, v.y, v.z}, spin);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
    }
}

void buildTargetMarker(const ReachScene& scene, LineVertex out[3]) {
    for (int i = 0; i < 3; ++i) {
        const LineVertex& m = scene.targetMarker[i];
        out[i] = {m.x + scene.reachTarget.x, m.y + scene.reachTarget.y, m.z + scene.reachTarget.z,
                  m.color};
    }
}
