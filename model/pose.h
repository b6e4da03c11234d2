// Clip playback and pose evaluation: the clip clock and the forward kinematics
// that turn one frame's Euler angles and offsets into root-relative joint
// positions, one bone chain at a time.
//
// A bone's chain runs from the bone up through its parents to its root. Its
// links are the non-root bones on it; their world-space offsets, summed from a
// joint upwards, give that joint's position relative to the root joint, which
// sits at the origin (the root's own translation is never used; only its
// rotation acts, through every descendant).
//
// Every operation here is safe on any Model, however it was loaded. A chain is
// evaluated only when it is sound in the frame asked for:
//   - the bone and the frame index lie in range;
//   - every bone on the chain, the root included, has a key in that frame;
//   - every parent link is -1 or a bone index, and the walk reaches a root
//     within kMaxChainLinks links (so a cycle is never followed).
// A chain that is not sound is broken: it yields nothing (no offsets, an empty
// strip, identity as world rotation). A sound chain longer than an output array
// is cut to that array: its first entries, from the bone upwards, are written
// with their true root-relative positions, the rest are left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"
#include "model/model.h"

// The millisecond tick counter the clock reads (the platform's, or a test's).
using TickSource = uint32_t (*)();

// Longest chain that is evaluated, in links. Deeper chains are treated as
// broken: no drawn strip holds more than 101 joints, and the bound keeps the
// work of one evaluation small whatever a file contains.
inline constexpr int32_t kMaxChainLinks = 256;

// Entries of the bone index copy through which chainPositionsToSet stores a
// chain into a joint position set; chain joints beyond it are not stored (each
// joint is stored anyway by the evaluation of its own chain).
inline constexpr size_t kChainBoneCopy = 100;

struct ClipClock {
    bool started = false;      // false until the first advanceClip call
    uint32_t lastStepMs = 0;   // tick at which currentFrame became current
    double elapsedMs = 0.0;    // ms since lastStepMs, as last computed by advanceClip
    int32_t currentFrame = 0;  // index into the played model's frames
    int32_t nextFrame = 0;     // the frame after currentFrame, with wrap-around
    int32_t framePeriodMs = 300;
    bool interpolate = true;
};

// Steps the clock by at most one frame per call. The first call only records
// the tick. A call then computes elapsedMs = tick - lastStepMs as an unsigned
// 32-bit difference (wrap-around of the counter is harmless) and, when it is
// more than framePeriodMs (equality does not advance), moves currentFrame on by
// one and nextFrame to the frame after it, both wrapping to 0 past the played
// model's last frame (a negative index also wraps to 0), then zeroes elapsedMs
// and reads the tick again for lastStepMs. A model without frames keeps both
// indices at 0. The indices may lie beyond a model that replaced the played one
// (a clip switch keeps them); evaluation clamps them (evaluationFrame) and the
// next step wraps them to 0.
void advanceClip(ClipClock& clock, const Model& played, TickSource tickCount);

// The frame that a clock index shows in `model`: the index clamped to
// [0, last frame]; -1 when the model has no frames.
int32_t evaluationFrame(const Model& model, int32_t frameIndex);

// Interpolation factor elapsedMs / framePeriodMs, in double precision and not
// clamped (right after advanceClip it lies in [0, 1]); 0 when framePeriodMs is
// not positive.
double interpolationFactor(const ClipClock& clock);

// One frame of one model evaluated for every bone at once: the memo behind the
// fast strip path. It keeps a copy of the parents and keys it was computed from
// and is checked against the model on every use, so a model changed in place is
// noticed and re-evaluated; results are bit-identical to the chain operations.
struct FramePose {
    int32_t frame = -1;            // evaluated frame index, -1 when empty
    size_t boneCount = 0;          // the model's bone count at evaluation
    std::vector<int32_t> parents;  // copy of every bone's parent
    std::vector<BoneKey> keys;     // copy of the frame's keys (as many as it held)
    std::vector<int32_t> links;    // links of each bone's chain; -1 when broken
    std::vector<Matrix4> world;    // boneWorldRotation of each bone with a sound chain
    std::vector<Vec3> positions;   // root-relative joint position (origin for a root)
};

// Scratch lists of one chain evaluation (program-wide, reused every call), and
// the memo of the two frames the strips were last built from.
struct ChainScratch {
    std::vector<Vec3> offsets;   // world-space offsets from the bone up to the root's child
    std::vector<int32_t> bones;  // the bone of each offset (filled when recordBones)
    bool recordBones = false;
    FramePose poses[2];  // used by buildBoneStrip only
    void clear() {
        offsets.clear();
        bones.clear();
    }
};

// Rotation-only world matrix of `bone` in `frame`: RotX·RotY·RotZ of the bone's
// key times its parent's world rotation (identity above a root). Identity when
// the bone's chain is broken in that frame.
Matrix4 boneWorldRotation(const Model& model, int32_t bone, int32_t frame);

// Appends the world-space offsets of `bone` and its ancestors up to the root's
// child (the root contributes nothing), each the link's key translation
// transformed by its parent's world rotation; with scratch.recordBones also the
// bone of each offset. Appends nothing for a root or a broken chain.
void collectChain(const Model& model, int32_t bone, int32_t frame, ChainScratch& scratch);

// Writes x, y, z of out[0 .. n-1], n = min(offsets in the scratch, capacity):
// out[i] = offset i, then offsets i+1 .. (all offsets - 1) added in order, so a
// cut chain still gets true positions. Entries from n on and the colours are not
// touched. Returns n.
size_t chainPositions(const ChainScratch& scratch, LineVertex* out, size_t capacity);

// The joint-position-set form: chainPositions, then for each i < n with a
// recorded bone (at most kChainBoneCopy of them) stores out[i] as that bone's
// position in frame 0 of `positions` (x, y, z of its key; rotations untouched).
// Bone 0 is the root's place and gets the origin. Entries outside frame 0 are
// skipped. Needs scratch.recordBones. Returns n.
size_t chainPositionsToSet(const ChainScratch& scratch, LineVertex* out, size_t capacity,
                           Model& positions);

// The program's strip arrays: the strip uploaded for one bone (69 vertices in
// articulated, 101 in pathmove) and the current-frame and next-frame arrays used
// by interpolation (69 in both). A null array counts as capacity 0.
struct StripArrays {
    LineVertex* strip;
    size_t stripCapacity;
    LineVertex* current;
    LineVertex* next;
    size_t frameCapacity;
};

// Fills the strip for bone `bone` of the played model: the whole strip is
// zeroed, then vertex 0 is the bone's joint, vertex 1 its parent's and so on up
// to the root's child, white (FFFFFFFF); the rest stays zero (origin, colour 0),
// so a root's strip is all zeros. Frames come from the clock through
// evaluationFrame. With clock.interpolate the current-frame and next-frame
// arrays are zeroed and filled with the two frames' chains, and the strip gets
// current·(1-t) + next·t in double precision, stored as floats
// (t = interpolationFactor); the strip is empty when either chain is broken.
// Chains are cut to the arrays' capacities.
//
// Reuses the frame memo in `scratch` (one full evaluation per new frame, then
// copies), with results bit-identical to buildBoneStripReference. The scratch
// lists are left in no particular state.
void buildBoneStrip(const Model& played, const ClipClock& clock, int32_t bone,
                    const StripArrays& arrays, ChainScratch& scratch);

// The same strip evaluated chain by chain with collectChain and chainPositions,
// every ancestor's world rotation recomputed for every chain.
void buildBoneStripReference(const Model& played, const ClipClock& clock, int32_t bone,
                             const StripArrays& arrays, ChainScratch& scratch);

// The frames of one drawn frame, for building every bone's strip in a row: the
// memo of each frame is checked against the whole model once (every parent and
// every key of the frame) instead of along each bone's chain. It points into the
// scratch's frame memos, so it holds only while the model, the clock and those
// memos stay as they were (buildBoneStrip may move the memos on; the prepared
// builds do not): make one per drawn frame and use it at once.
//
// It also knows which entries of the current- and next-frame arrays the last
// strip built through it left zero, so the next strip zeroes only what that
// one wrote: while one is in use, change those arrays only through it.
struct PreparedStrips {
    const Model* played = nullptr;
    const ClipClock* clock = nullptr;
    const FramePose* from = nullptr;  // current frame; null: every strip chain by chain
    const FramePose* to = nullptr;    // next frame (the current one without interpolation)
    // Entries [zeroFrom, zeroCapacity) of zeroCurrent and zeroNext are zero
    // (null arrays: nothing known).
    const LineVertex* zeroCurrent = nullptr;
    const LineVertex* zeroNext = nullptr;
    size_t zeroFrom = 0;
    size_t zeroCapacity = 0;
};

PreparedStrips prepareBoneStrips(const Model& played, const ClipClock& clock,
                                 ChainScratch& scratch);

// buildBoneStrip for a prepared frame, bit-identical to it. Returns the number of
// leading strip vertices that hold the chain; every strip vertex from there on
// is zero (origin, colour 0), except that a caller which overwrites the strip up
// to vertex `callerFills` itself may find those vertices zeroed or as they were.
size_t buildPreparedBoneStrip(PreparedStrips& prepared, int32_t bone, const StripArrays& arrays,
                              ChainScratch& scratch, size_t callerFills = 0);
