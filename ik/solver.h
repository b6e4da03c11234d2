// The reaching limb: joint position sets and the cyclic-coordinate-descent solver
// that bends one chain of the skeleton so that its tip comes to a target point.
//
// The solver works on joint positions only. A joint position set is frame 0 of a
// Model whose BoneKey x, y, z hold the position of each bone's joint (indexed by
// bone); the rotation fields are carried along untouched and never read. Each step
// of a pass takes one joint of the chain and turns that joint's whole subtree
// rigidly about the joint's position, so that the direction from the joint to the
// effector swings toward the direction from the joint to the target, by at most
// 45 degrees. Bone lengths are therefore never changed by a solve.
//
// Robustness (the hierarchy is the `bones` of a Model as the reader produced it):
//  - every walk up the parent links is bounded by the bone count and stops at a
//    parent index outside [-1, bone count), so a cyclic or broken hierarchy never
//    hangs and never indexes outside the bones;
//  - a root (parent -1) is never turned: a pass that arrives at a root ends there;
//  - solveReach bends the limb only when the chain is usable (reachChainUsable):
//    the effector exists, its parent links end at a root, and every chain root of
//    the passes is a proper ancestor of it. Otherwise it skips the passes and holds the unbent pose
//    at the placed position, so a model without the expected limb still walks and stands;
//  - every set must hold at least one entry per bone in frame 0 (jointSetsUsable);
//    operations on sets that do not simply do nothing.
//
// Numbers: positions and turn angles are stored as 32-bit floats; the distance
// check, the dot product and the arc cosine are evaluated in double precision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"

// The bone whose joint is brought to the target (tip of the character's right hand).
constexpr int32_t effectorBone = 59;
// Chain roots of the eight passes of one solve, in order. A pass turns the
// ancestors of the effector strictly below its chain root, from the effector's
// parent upward; neither the effector nor the chain root is turned.
constexpr int32_t reachPasses[8] = {20, 20, 20, 20, 19, 19, 17, 17};
// A pass stops as soon as the effector lies closer than this to the target.
constexpr double reachTolerance = 0.5;
// Largest turn of one joint in one visit (pi/4, compared in double precision) and
// the single-precision angle a clamped turn uses.
constexpr double maxJointTurn = 0.7853981633974483;
constexpr float clampedJointTurn = 0.7853982f;

// The limb and passes one solve uses. The character's chain is the default; tests
// and other skeletons may pass their own.
struct ReachChain {
    int32_t effector = effectorBone;
    const int32_t* passes = reachPasses;
    size_t passCount = 8;
};

// The four joint position sets of the reaching character (frame 0 of each Model):
//   workPositions   the set the solver turns: model space from start-up and after
//                   each restore, world space from a solve until the next restore;
//   restPositions   model-space rest pose, taken once at start-up;
//   reachPositions  the solved pose (world space), written by each solve;
//   blendPositions  the pose shown while the solved pose blends in (world space).
struct JointPositionSets {
    Model workPositions;
    Model restPositions;
    Model reachPositions;
    Model blendPositions;
};

// Number of entries of a set (the keys of frame 0; 0 without frames).
inline size_t jointCount(const Model& set) {
    return set.frames.empty() ? 0 : set.frames[0].size();
}
// Entry `bone` of a set; the caller guarantees 0 <= bone < jointCount(set).
// Inline: the blend and the solver read every entry.
inline Vec3 jointPosition(const Model& set, int32_t bone) {
    const BoneKey& k = set.frames[0][static_cast<size_t>(bone)];
    return {k.x, k.y, k.z};
}
inline void setJointPosition(Model& set, int32_t bone, const Vec3& position) {
    BoneKey& k = set.frames[0][static_cast<size_t>(bone)];
    k.x = position.x;
    k.y = position.y;
    k.z = position.z;
}

// True when every set holds at least one entry per bone of `hierarchy`.
bool jointSetsUsable(const Model& hierarchy, const JointPositionSets& sets);

// Copies x, y, z of the first min(jointCount(from), jointCount(to)) entries.
void copyJointPositions(const Model& from, Model& to);

// Fills workPositions with the model-space joint positions of frame 0 of
// `poseModel` (every joint whose chain is sound; bone 0, should it hang below
// another bone, at the origin; roots and broken bones keep their value as read),
// then copies them into restPositions. Does nothing to sets that lack entries.
void initRestPositions(const Model& poseModel, JointPositionSets& sets);

// Copies the rest pose back into workPositions (the unbent pose in model space).
void restoreWorkPositions(JointPositionSets& sets);

// Places every entry of a set in the world: transformed as a point by `heading`,
// then moved by `ground` in x and y (z unchanged).
void placeInWorld(Model& set, const Matrix4& heading, Point2 ground);

// True when `ancestor` lies on the parent chain of `bone` (a bone is not its own
// descendant). False for indices outside the bones, and when the walk meets a
// parent index outside [-1, bone count) or has taken bone-count steps (a cycle).
bool isDescendant(const Model& hierarchy, int32_t bone, int32_t ancestor);

// isDescendant(hierarchy, i, ancestor) for every bone i at once, as below[i] (1 or
// 0), each parent link followed about once rather than once per bone below it.
// All 0 when `ancestor` is not a bone.
void markDescendants(const Model& hierarchy, int32_t ancestor, std::vector<uint8_t>& below);

// The turn of one CCD visit at a joint: the axis and angle that swing the direction
// joint->effector toward joint->target. Returns false (no turn) when either
// direction has zero length or the two directions are parallel. When they are
// exactly opposite the axis is taken perpendicular to the effector direction and
// to the world z axis (to the world x axis when the effector direction is
// vertical), so the limb still swings round by the clamped turn. The angle is
// acos of the dot product of the unit directions (clamped to [-1, 1] first), in
// double precision, limited to clampedJointTurn when above maxJointTurn.
bool ccdJointTurn(const Vec3& joint, const Vec3& effector, const Vec3& target, Vec3& axis,
                  float& angle);

// One CCD pass: visits the joints from `startJoint` up the parent links and turns
// each joint's subtree in workPositions (bones in index order), ending at
// `chainRoot`, at a root, at an index outside the bones or once the effector is
// within reachTolerance of `target` (checked before each visit). The effector
// itself is never turned. Does nothing when workPositions lacks entries.
void ccdPass(const Model& hierarchy, Model& workPositions, const Vec3& target, int32_t startJoint,
             int32_t chainRoot, int32_t effector = effectorBone);

// True when the chain's effector is a bone of `hierarchy` whose parent links end at
// a root, and every chain root of its passes is a proper ancestor of the effector.
bool reachChainUsable(const Model& hierarchy, const ReachChain& chain = ReachChain{});

// One solve at the character's final place (`heading`, `ground`):
//  1. workPositions placed in the world;
//  2. the passes of `chain` (only when reachChainUsable);
//  3. the result copied into reachPositions;
//  4. workPositions restored from restPositions and placed again, so that it
//     holds the unbent pose at the same place: the start of the blend.
// Returns true when the limb was bent, false when the passes were skipped because
// the chain is not usable (reachPositions then holds the unbent placed pose), and
// false without writing anything when the sets lack entries.
bool solveReach(const Model& hierarchy, JointPositionSets& sets, const Vec3& target,
                const Matrix4& heading, Point2 ground, const ReachChain& chain = ReachChain{});
