// Clip playback and pose evaluation: the clip clock and the forward kinematics
// that turn one frame's Euler angles and offsets into root-relative joint
// positions, one bone chain at a time.
//
// All operations are safe on any Model the reader produced: a frame or bone
// index out of range, a frame with too few keys or a broken parent chain makes
// the evaluation yield nothing (an empty chain) instead of reading out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"
#include "model/model.h"

// The millisecond tick counter the clock reads (the platform's, or a test's).
using TickSource = uint32_t (*)();

struct ClipClock {
    bool started = false;      // false until the first advanceClip call
    uint32_t lastStepMs = 0;   // tick at which currentFrame became current
    double elapsedMs = 0.0;    // ms since lastStepMs, as last computed by advanceClip
    int32_t currentFrame = 0;  // index into the played model's frames
    int32_t nextFrame = 0;     // the frame after currentFrame, with wrap-around
    int32_t framePeriodMs = 300;
    bool interpolate = true;
};

// Steps the clock by at most one frame when more than framePeriodMs have passed
// since lastStepMs (unsigned 32-bit tick differences, so wrap-around is harmless).
void advanceClip(ClipClock& clock, const Model& played, TickSource tickCount);

// Scratch lists of one chain evaluation (program-wide, reused every call).
struct ChainScratch {
    std::vector<Vec3> offsets;    // world-space offsets from the bone up to the root's child
    std::vector<int32_t> bones;   // the bone of each offset (filled when recordBones)
    bool recordBones = false;
    void clear() {
        offsets.clear();
        bones.clear();
    }
};

// Rotation-only world matrix of `bone` in `frame`: RotX·RotY·RotZ of the bone's key
// times its parent's world rotation. Identity when the indices are out of range.
Matrix4 boneWorldRotation(const Model& model, int32_t bone, int32_t frame);

// Appends the world-space offsets of `bone` and its ancestors (root excluded).
void collectChain(const Model& model, int32_t bone, int32_t frame, ChainScratch& scratch);

// Writes x, y, z of out[0 .. n-1] (n = offsets in the scratch, at most `capacity`):
// out[i] = offset i + all later offsets. Entries from n on are not touched.
void chainPositions(const ChainScratch& scratch, LineVertex* out, size_t capacity);

// The joint-position-set form: as chainPositions, then stores each chain joint's
// position into frame 0 of `positions` at that joint's bone index (bone 0 gets the
// origin). Needs scratch.recordBones.
void chainPositionsToSet(const ChainScratch& scratch, LineVertex* out, size_t capacity,
                         Model& positions);

// The program's strip arrays: the strip uploaded for one bone (69 vertices in
// articulated, 101 in pathmove) and the current-frame and next-frame arrays used
// by interpolation (69 in both).
struct StripArrays {
    LineVertex* strip;
    size_t stripCapacity;
    LineVertex* current;
    LineVertex* next;
    size_t frameCapacity;
};

// Fills the strip for bone `bone` of the played model: joint of the bone, then
// each ancestor's joint up to the root's child (white), zeros after. With
// clock.interpolate the current and next frame positions are blended by
// t = elapsedMs / framePeriodMs in double precision.
void buildBoneStrip(const Model& played, const ClipClock& clock, int32_t bone,
                    const StripArrays& arrays, ChainScratch& scratch);
