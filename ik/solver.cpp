#include "ik/solver.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t boneCount(const Model& hierarchy) {
    return static_cast<int32_t>(hierarchy.bones.size());
}

bool validBone(const Model& hierarchy, int32_t bone) {
    return bone >= 0 && bone < boneCount(hierarchy);
}

Vec3 subtract(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// Euclidean distance in double precision.
double distance(const Vec3& a, const Vec3& b) {
    const double dx = static_cast<double>(a.x) - b.x;
    const double dy = static_cast<double>(a.y) - b.y;
    const double dz = static_cast<double>(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

bool jointSetsUsable(const Model& hierarchy, const JointPositionSets& sets) {
    const size_t bones = hierarchy.bones.size();
    return jointCount(sets.workPositions) >= bones && jointCount(sets.restPositions) >= bones &&
           jointCount(sets.reachPositions) >= bones && jointCount(sets.blendPositions) >= bones;
}

void copyJointPositions(const Model& from, Model& to) {
    const size_t n = std::min(jointCount(from), jointCount(to));
    for (size_t i = 0; i < n; ++i) {
        const BoneKey& src = from.frames[0][i];
        BoneKey& dst = to.frames[0][i];
        dst.x = src.x;
        dst.y = src.y;
        dst.z = src.z;
    }
}

void restoreWorkPositions(JointPositionSets& sets) {
    copyJointPositions(sets.restPositions, sets.workPositions);
}

void placeInWorld(Model& set, const Matrix4& heading, Point2 ground) {
    const int32_t n = static_cast<int32_t>(jointCount(set));
    for (int32_t i = 0; i < n; ++i) {
        Vec3 p = vec3TransformCoord(jointPosition(set, i), heading);
        p.x += ground.x;
        p.y += ground.y;
        setJointPosition(set, i, p);
    }
}

bool isDescendant(const Model& hierarchy, int32_t bone, int32_t ancestor) {
    if (!validBone(hierarchy, bone) || !validBone(hierarchy, ancestor)) return false;
    int32_t b = hierarchy.bones[static_cast<size_t>(bone)].parent;
    // A forest has no chain longer than the bone count; more steps mean a cycle.
    for (int32_t steps = 0; steps < boneCount(hierarchy); ++steps) {
        if (!validBone(hierarchy, b)) return false;  // -1 (a root reached) or broken
        if (b == ancestor) return true;
        b = hierarchy.bones[static_cast<size_t>(b)].parent;
    }
    return false;
}

void markDescendants(const Model& hierarchy, int32_t ancestor, std::vector<uint8_t>& below) {
    // States while marking; every bone ends as kYes or kNo.
    constexpr uint8_t kNo = 0, kYes = 1, kUnknown = 2, kOnWalk = 3;
    const int32_t n = boneCount(hierarchy);
    below.assign(static_cast<size_t>(n), validBone(hierarchy, ancestor) ? kUnknown : kNo);
    const auto parentOf = [&hierarchy](int32_t b) {
        return hierarchy.bones[static_cast<size_t>(b)].parent;
    };
    for (int32_t start = 0; start < n; ++start) {
        if (below[static_cast<size_t>(start)] != kUnknown) continue;
        // Up from `start` to the ancestor (yes), a root or a broken link (no), a
        // bone already decided (its answer), or a bone of this walk: a cycle
        // that does not pass the ancestor (no). Every bone of the walk shares the
        // answer: a bone lies below the ancestor exactly when its parent is the
        // ancestor or lies below it.
        int32_t last = start;
        uint8_t answer = kNo;
        for (;;) {
            below[static_cast<size_t>(last)] = kOnWalk;
            const int32_t parent = parentOf(last);
            if (parent < 0 || parent >= n) break;
            if (parent == ancestor) {
                answer = kYes;
                break;
            }
            const uint8_t state = below[static_cast<size_t>(parent)];
            if (state == kYes || state == kNo) {
                answer = state;
                break;
            }
            if (state == kOnWalk) break;
            last = parent;
        }
        for (int32_t b = start;; b = parentOf(b)) {
            below[static_cast<size_t>(b)] = answer;
            if (b == last) break;
        }
    }
}

bool ccdJointTurn(const Vec3& joint, const Vec3& effector, const Vec3& target, Vec3& axis,
                  float& angle) {
    const Vec3 toEffector = subtract(effector, joint);
    const Vec3 toTarget = subtract(target, joint);
    // The effector or the target sits on the joint: no direction to swing.
    if (lengthVec3(toEffector) == 0.0f || lengthVec3(toTarget) == 0.0f) return false;
    Vec3 u{}, v{};
    normalizeVec3(u, toEffector);
    normalizeVec3(v, toTarget);

    // Rounding can push the dot product of two unit vectors just past +-1.
    double dot = static_cast<double>(u.x) * v.x + static_cast<double>(u.y) * v.y +
                 static_cast<double>(u.z) * v.z;
    dot = std::clamp(dot, -1.0, 1.0);
    const double theta = std::acos(dot);

    Vec3 a = crossVec3(u, v);
    if (lengthVec3(a) == 0.0f) {
        if (dot >= 0.0) return false;  // parallel: already pointing at the target
        // Opposite: any axis perpendicular to u turns u toward v; pick one that does
        // not depend on rounding noise.
        a = crossVec3(u, Vec3{0.0f, 0.0f, 1.0f});
        if (lengthVec3(a) == 0.0f) a = crossVec3(u, Vec3{1.0f, 0.0f, 0.0f});
    }
    normalizeVec3(axis, a);
    angle = theta > maxJointTurn ? clampedJointTurn : static_cast<float>(theta);
    return true;
}

void ccdPass(const Model& hierarchy, Model& workPositions, const Vec3& target, int32_t startJoint,
             int32_t chainRoot, int32_t effector) {
    const int32_t n = boneCount(hierarchy);
    if (static_cast<int32_t>(jointCount(workPositions)) < n || !validBone(hierarchy, effector))
        return;
    std::vector<uint8_t> below;  // the subtree of the joint turned
    int32_t joint = startJoint;
    // Each step moves one link up; n + 1 steps cover the longest chain of a forest.
    for (int32_t steps = 0; steps <= n; ++steps) {
        if (joint == chainRoot || !validBone(hierarchy, joint)) return;
        const int32_t parent = hierarchy.bones[static_cast<size_t>(joint)].parent;
        if (joint == effector) {
            joint = parent;
            continue;
        }
        if (parent == -1) return;  // roots stay where the character stands

        const Vec3 e = jointPosition(workPositions, effector);
        if (distance(target, e) < reachTolerance) return;

        const Vec3 j = jointPosition(workPositions, joint);
        Vec3 axis{};
        float angle = 0.0f;
        if (ccdJointTurn(j, e, target, axis, angle)) {
            const Matrix4 m = matrixMultiply(matrixMultiply(matrixTranslation(-j.x, -j.y, -j.z),
                                                            matrixRotationAxis(axis, angle)),
                                             matrixTranslation(j.x, j.y, j.z));
            markDescendants(hierarchy, joint, below);
            for (int32_t i = 0; i < n; ++i)
                if (below[static_cast<size_t>(i)])
                    setJointPosition(workPositions, i,
                                     vec3TransformCoord(jointPosition(workPositions, i), m));
        }
        joint = parent;
    }
}

bool reachChainUsable(const Model& hierarchy, const ReachChain& chain) {
    if (!validBone(hierarchy, chain.effector)) return false;
    // The effector's parent links must end at a root, not in a cycle.
    int32_t b = chain.effector;
    for (int32_t steps = 0; b != -1; ++steps) {
        if (!validBone(hierarchy, b) || steps == boneCount(hierarchy)) return false;
        b = hierarchy.bones[static_cast<size_t>(b)].parent;
    }
    for (size_t p = 0; p < chain.passCount; ++p)
        if (!isDescendant(hierarchy, chain.effector, chain.passes[p])) return false;
    return true;
}

bool solveReach(const Model& hierarchy, JointPositionSets& sets, const Vec3& target,
                const Matrix4& heading, Point2 ground, const ReachChain& chain) {
    if (!jointSetsUsable(hierarchy, sets)) return false;
    placeInWorld(sets.workPositions, heading, ground);
    const bool bend = reachChainUsable(hierarchy, chain);
    if (bend) {
        for (size_t p = 0; p < chain.passCount; ++p)
            ccdPass(hierarchy, sets.workPositions, target, chain.effector, chain.passes[p],
                    chain.effector);
    }
    copyJointPositions(sets.workPositions, sets.reachPositions);
    restoreWorkPositions(sets);
    placeInWorld(sets.workPositions, heading, ground);
    return bend;
}
