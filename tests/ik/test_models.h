// Tiny hand-made skeletons and joint position sets for the reaching tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "common/math.h"
#include "ik/solver.h"
#include "model/model.h"

namespace iktest {

// A hierarchy with one bone per parent index.
inline Model hierarchy(std::initializer_list<int32_t> parents) {
    Model m;
    for (int32_t p : parents) {
        Bone b;
        b.parent = p;
        m.bones.push_back(b);
    }
    return m;
}

// A joint position set: frame 0 holding the given positions (rotations left 0.7 so
// that tests notice when they are touched).
inline Model positionSet(const std::vector<Vec3>& positions) {
    Model m;
    m.frames.emplace_back();
    for (const Vec3& p : positions) m.frames[0].push_back({p.x, p.y, p.z, 0.7f, 0.7f, 0.7f});
    return m;
}

inline std::vector<Vec3> positions(const Model& set) {
    std::vector<Vec3> out;
    for (size_t i = 0; i < jointCount(set); ++i) out.push_back(jointPosition(set, int32_t(i)));
    return out;
}

inline double dist(const Vec3& a, const Vec3& b) {
    const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

inline void expectSamePositions(const Model& expected, const Model& actual) {
    ASSERT_EQ(jointCount(expected), jointCount(actual));
    for (size_t i = 0; i < jointCount(expected); ++i) {
        const Vec3 e = jointPosition(expected, int32_t(i)), a = jointPosition(actual, int32_t(i));
        EXPECT_EQ(e.x, a.x) << "bone " << i;
        EXPECT_EQ(e.y, a.y) << "bone " << i;
        EXPECT_EQ(e.z, a.z) << "bone " << i;
    }
}

// A 60-bone skeleton with the character's reach chain: 0 (pelvis, root) -> 17
// (chest) -> 19 (clavicle) -> 20 (upper arm) -> 21 (forearm) -> 59 (hand tip); bone 1
// a leg below the pelvis, bone 22 a finger beside the hand, every other bone hangs
// off the chest. Positions are model space, the character facing -y.
struct Character {
    Model bones;
    std::vector<Vec3> rest;
};

inline Character character() {
    Character c;
    std::vector<int32_t> parents(60, 17);
    parents[0] = -1;
    parents[1] = 0;
    parents[17] = 0;
    parents[19] = 17;
    parents[20] = 19;
    parents[21] = 20;
    parents[22] = 21;
    parents[59] = 21;
    for (int32_t p : parents) {
        Bone b;
        b.parent = p;
        c.bones.bones.push_back(b);
    }
    c.rest.assign(60, Vec3{0.0f, 0.0f, 20.0f});  // everything else at the chest
    c.rest[0] = {0, 0, 0};
    c.rest[1] = {0, 0, -36};
    c.rest[17] = {0, 0, 20};
    c.rest[19] = {3, 0, 24};
    c.rest[20] = {8, 0, 24};
    c.rest[21] = {8, 0, 12};  // arm hangs down the side
    c.rest[22] = {8, -1, 2};
    c.rest[59] = {8, 0, 0};
    return c;
}

inline JointPositionSets setsFrom(const std::vector<Vec3>& rest) {
    JointPositionSets s;
    s.workPositions = positionSet(rest);
    s.restPositions = positionSet(rest);
    s.reachPositions = positionSet(std::vector<Vec3>(rest.size()));
    s.blendPositions = positionSet(std::vector<Vec3>(rest.size()));
    return s;
}

}  // namespace iktest
