// Poses of the character: the standing bind pose and the walking and running
// cycles.
//
// A gait is built from smooth periodic curves of the gait phase (0 at the right
// foot's touchdown, 1 one full cycle later). The feet run on a treadmill: the
// planted foot slides backwards at the gait's speed, rolling over the heel after
// touchdown and over the ball before lift-off, and a two-bone solve per leg keeps
// it exactly on the ground line; the swinging foot follows a curve that leaves
// and meets the stance motion with matching speed. Pelvis, spine, head and arms
// follow joint-angle curves of the same phase, so every cycle closes on itself.
#pragma once

#include <array>
#include <vector>

#include "tools/makechar/rig_math.h"
#include "tools/makechar/skeleton.h"

namespace makechar {

// A key of the swinging ankle: where it is at a phase of the leg's cycle, as a
// distance along Y from the pelvis joint (negative is ahead) and a height above
// the ground.
struct SwingKey {
    double phase;
    double y;
    double height;
};

struct GaitParams {
    int frames = 0;  // one cycle; frame `frames` would equal frame 0
    double framesPerSecond = 25.0;
    double speed = 0.0;          // treadmill speed, units per second
    double duty = 0.6;           // part of the cycle a foot is on the ground
    double touchdownY = 0.0;     // heel at touchdown, along Y from the pelvis (negative ahead)
    double footHalfWidth = 3.6;  // sideways distance of each foot's line from the midline
    double toeOut = 0.0;         // each foot turned outwards, radians
    // The swinging ankle's downward speed when the foot lands, beyond the
    // planted foot's own (units per cycle): landing is an impact.
    double landingSink = 0.0;

    double pelvisHeight = 0.0;  // mean height of the pelvis joint above the ground
    double bob = 0.0;           // half of the pelvis' rise and fall (twice per cycle)
    double bobPeak = 0.0;       // phase of the highest pelvis after the right touchdown
    // When given, replaces the even rise and fall: the pelvis height above
    // `pelvisHeight` over one step (0 at a touchdown, 1 at the next one).
    PeriodicCurve pelvisLift;

    // Pelvis turns, radians: about Z (right hip forward at the right touchdown),
    // dropping of the side of the swinging leg, and a constant forward tilt.
    double pelvisYaw = 0.0;
    double pelvisList = 0.0;
    double pelvisTilt = 0.0;
    // Chest: turn against the pelvis about Z, forward lean (constant and its
    // rise and fall twice per cycle, largest at `leanPeak` after each touchdown).
    double chestYaw = 0.0;
    double lean = 0.0;
    double leanSwing = 0.0;
    double leanPeak = 0.0;
    double headPitch = 0.0;  // the head's nod from upright in the world, radians

    // Arms, radians. Shoulder swing forward of the bind pose: mean and half range,
    // the right arm furthest forward at phase 0.5 + armLag. Elbow bend beyond the
    // bind pose: mean, plus `elbowSwing` more with the arm forward. Collarbones
    // move forward with the arm by `clavicleSwing`; `armSpread` lifts the arms
    // sideways, `wristBend` bends the hands forward, `fingerCurl` closes them.
    double shoulderMean = 0.0;
    double shoulderSwing = 0.0;
    double armLag = 0.0;
    double elbowMean = 0.0;
    double elbowSwing = 0.0;
    double clavicleSwing = 0.0;
    double armSpread = 0.0;
    double wristBend = 0.0;
    double fingerCurl = 0.0;

    // The foot's pitch over the leg's cycle in degrees (toes up positive): up at
    // touchdown, flat in mid stance, heel up before lift-off.
    PeriodicCurve footPitch;
    // The swinging ankle between lift-off and touchdown, by leg phase in (duty, 1).
    std::vector<SwingKey> swing;
};

GaitParams walkParams();
GaitParams runParams();

// A whole pose: the root's translation as written to the file and every bone's
// world rotation (its turn away from the bind pose). Joint places follow from the
// bind offsets.
struct Pose {
    V3 rootTranslation;
    std::array<M3, BoneCount> world;
};

Pose bindPose();
// The pose at `phase` in [0, 1) of the gait.
Pose gaitPose(const GaitParams& gait, double phase);

// One line of a skeleton frame: the bone's offset from its parent (the root's
// translation for the root) and its rotation relative to the parent.
struct BoneKeyOut {
    V3 offset;
    Euler rotation;
};
std::array<BoneKeyOut, BoneCount> keysOf(const Pose& pose);

// Joint places of a pose relative to the pelvis joint, as the programs draw it
// (the root's translation left out).
std::array<V3, BoneCount> jointsOf(const Pose& pose);

}  // namespace makechar
