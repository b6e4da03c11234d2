#include "tools/makechar/skeleton.h"

namespace makechar {
namespace {

// Right side of the body; the left side is its mirror image in x.
struct SideJoints {
    V3 thigh{3.6, 0.0, -1.5};  // hip joint
    V3 calf{3.6, 0.0, -18.5};  // knee
    V3 foot{3.6, 0.0, -35.3};  // ankle
    V3 toe{3.6, -5.6, -37.5};  // ball of the foot
    V3 toeTip{3.6, -8.6, -38.0};
    V3 heel{3.6, 1.8, -38.0};
    V3 clavicle{1.0, -0.8, 20.3};  // where the collarbone meets the breastbone
    V3 upperArm{7.6, 0.3, 20.6};   // shoulder
    V3 forearm{9.2, 0.8, 7.5};     // elbow, the arm hanging slightly away from the body
    V3 hand{9.0, -1.4, -3.0};      // wrist, the forearm a little forward
    // Fingers, relaxed: slightly curled towards the palm, which faces the thigh.
    V3 fingers[kFingerCount][kJointsPerFinger] = {
        {{8.6, -2.4, -3.9}, {8.3, -3.6, -5.6}, {8.0, -4.2, -7.2}},    // thumb
        {{8.7, -2.4, -6.3}, {8.4, -2.8, -8.3}, {8.0, -3.0, -10.0}},   // index
        {{8.8, -1.6, -6.6}, {8.5, -2.0, -8.8}, {8.1, -2.2, -10.6}},   // middle
        {{8.85, -0.8, -6.4}, {8.5, -1.1, -8.5}, {8.1, -1.2, -10.1}},  // ring
        {{8.9, -0.1, -6.0}, {8.6, -0.3, -7.7}, {8.3, -0.4, -9.1}},    // little
    };
    V3 handTip{8.1, -2.2, -10.6};  // the reach point: the tip of the middle finger
};

V3 mirror(V3 v) {
    return {-v.x, v.y, v.z};
}

std::array<BoneDef, BoneCount> build() {
    const SideJoints r;
    std::array<BoneDef, BoneCount> s{};
    auto set = [&](int i, const char* name, int parent, V3 joint) {
        s[size_t(i)] = {name, parent, joint};
    };

    set(Pelvis, "pelvis", -1, {0.0, 0.0, 0.0});
    set(ThighL, "thigh_l", Pelvis, mirror(r.thigh));
    set(CalfL, "calf_l", ThighL, mirror(r.calf));
    set(FootL, "foot_l", CalfL, mirror(r.foot));
    set(ToeL, "toe_l", FootL, mirror(r.toe));
    set(ToeTipL, "toe_tip_l", ToeL, mirror(r.toeTip));
    set(HeelL, "heel_l", FootL, mirror(r.heel));
    set(ThighR, "thigh_r", Pelvis, r.thigh);
    set(CalfR, "calf_r", ThighR, r.calf);
    set(FootR, "foot_r", CalfR, r.foot);
    set(ToeR, "toe_r", FootR, r.toe);
    set(ToeTipR, "toe_tip_r", ToeR, r.toeTip);
    set(HeelR, "heel_r", FootR, r.heel);
    set(Spine, "spine", Pelvis, {0.0, 0.2, 3.0});
    set(Spine1, "spine_1", Spine, {0.0, 0.5, 6.5});
    set(Spine2, "spine_2", Spine1, {0.0, 0.6, 10.0});
    set(Spine3, "spine_3", Spine2, {0.0, 0.4, 13.5});
    set(Chest, "chest", Spine3, {0.0, 0.0, 17.0});
    set(Neck, "neck", Chest, {0.0, 0.4, 21.5});
    set(ClavicleR, "clavicle_r", Chest, r.clavicle);
    set(UpperArmR, "upper_arm_r", ClavicleR, r.upperArm);
    set(ForearmR, "forearm_r", UpperArmR, r.forearm);
    set(HandR, "hand_r", ForearmR, r.hand);
    set(Head, "head", Neck, {0.0, 0.0, 26.5});
    set(HeadTop, "head_top", Head, {0.0, 0.3, 34.0});
    set(ClavicleL, "clavicle_l", Chest, mirror(r.clavicle));
    set(UpperArmL, "upper_arm_l", ClavicleL, mirror(r.upperArm));
    set(ForearmL, "forearm_l", UpperArmL, mirror(r.forearm));
    set(HandL, "hand_l", ForearmL, mirror(r.hand));

    static const char* const kNames[2][kFingerCount][kJointsPerFinger] = {
        {{"thumb_base_l", "thumb_mid_l", "thumb_tip_l"},
         {"index_base_l", "index_mid_l", "index_tip_l"},
         {"middle_base_l", "middle_mid_l", "middle_tip_l"},
         {"ring_base_l", "ring_mid_l", "ring_tip_l"},
         {"little_base_l", "little_mid_l", "little_tip_l"}},
        {{"thumb_base_r", "thumb_mid_r", "thumb_tip_r"},
         {"index_base_r", "index_mid_r", "index_tip_r"},
         {"middle_base_r", "middle_mid_r", "middle_tip_r"},
         {"ring_base_r", "ring_mid_r", "ring_tip_r"},
         {"little_base_r", "little_mid_r", "little_tip_r"}},
    };
    for (int side = 0; side < 2; ++side) {
        const int base = side == 0 ? FingersL : FingersR;
        const int hand = side == 0 ? HandL : HandR;
        for (int f = 0; f < kFingerCount; ++f)
            for (int j = 0; j < kJointsPerFinger; ++j) {
                const int bone = fingerBone(base, f) + j;
                const V3 p = side == 0 ? mirror(r.fingers[f][j]) : r.fingers[f][j];
                set(bone, kNames[side][f][j], j == 0 ? hand : bone - 1, p);
            }
    }
    set(HandTipR, "hand_tip_r", HandR, r.handTip);
    set(HandTipL, "hand_tip_l", HandL, mirror(r.handTip));
    return s;
}

}  // namespace

const std::array<BoneDef, BoneCount>& skeleton() {
    static const std::array<BoneDef, BoneCount> s = build();
    return s;
}

V3 bindOffset(int bone) {
    const BoneDef& b = skeleton()[size_t(bone)];
    if (b.parent < 0) return {};
    return b.joint - skeleton()[size_t(b.parent)].joint;
}

}  // namespace makechar
