// The character's skeleton: 61 bones, their names, parents and bind-pose joint
// places.
//
// Model space: Z up, the character faces -Y, its right side is +X; one unit is
// about 2.5 cm of a 1.8 m person (72 units tall). The pelvis joint sits at the
// origin, the soles at z = -38. In the bind pose every bone's rotation is zero,
// so a bone's offset is simply its joint minus its parent's joint, and a bone's
// world rotation in any pose is its turn away from the bind pose.
//
// Parents always come before their children. Indices that other parts rely on:
// bone 0 is the pelvis and the only root; bone 59 is the tip of the right hand,
// whose chain climbs through the right hand, forearm, upper arm (20), clavicle
// (19) and chest (17).
#pragma once

#include <array>
#include <cstddef>

#include "tools/makechar/rig_math.h"

namespace makechar {

enum BoneId : int {
    Pelvis = 0,
    ThighL,
    CalfL,
    FootL,
    ToeL,
    ToeTipL,
    HeelL,
    ThighR,
    CalfR,
    FootR,
    ToeR,
    ToeTipR,
    HeelR,
    Spine,
    Spine1,
    Spine2,
    Spine3,
    Chest,
    Neck,
    ClavicleR,
    UpperArmR,
    ForearmR,
    HandR,
    Head,
    HeadTop,
    ClavicleL,
    UpperArmL,
    ForearmL,
    HandL,
    // Fingers of the left hand (29..43), then of the right (44..58): thumb, index,
    // middle, ring, little; each a base joint, a middle joint and a tip.
    FingersL = 29,
    FingersR = 44,
    HandTipR = 59,
    HandTipL = 60,
    BoneCount = 61,
};

constexpr int kFingerCount = 5;
constexpr int kJointsPerFinger = 3;
// The first bone of finger `finger` (0 thumb .. 4 little) of the hand whose
// finger block starts at `fingersBase`.
constexpr int fingerBone(int fingersBase, int finger) {
    return fingersBase + finger * kJointsPerFinger;
}

struct BoneDef {
    const char* name;
    int parent;  // -1 for the root
    V3 joint;    // bind-pose joint place in model space
};

// The whole skeleton in index order.
const std::array<BoneDef, BoneCount>& skeleton();

// Bind-pose offset of a bone from its parent's joint ((0,0,0) for the root).
V3 bindOffset(int bone);

// Height of the soles below the pelvis joint in the bind pose (the ground line).
constexpr double kBindGround = -38.0;

}  // namespace makechar
