// Clip playback and pose evaluation: the clip clock, and the forward kinematics
// that turn one frame's Euler angles and offsets into root-relative joint
// positions, every joint once per evaluated frame.
//
// A bone's chain runs from the bone up through its parents to its root. Its
// links are the non-root bones on it; their world-space offsets, summed from a
// joint upwards, give that joint's position relative to the root joint, which
// sits at the origin (the root's own translation is never used; only its
// rotation acts, through every descendant). A joint's position is its own
// offset, then each ancestor link's offset added in order upwards: the sum of
// the chain, in the order a chain-by-chain evaluation adds it.
//
// Every operation here is safe on any Model, however it was loaded. A joint is
// evaluated only when its chain is sound in the frame asked for:
//   - the frame index lies in range;
//   - every bone on the chain, the root included, has a key in that frame;
//   - every parent link is -1 or a bone index, and the walk reaches a root
//     within kMaxChainLinks links (so a cycle is never followed).
// A bone whose chain is not sound is broken: it has no position and its strip
// is empty.
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

struct ClipClock {
    bool started = false;          // false until the first advanceClip call
    uint32_t lastStepMs = 0;       // tick at which currentFrame became current
    double elapsedMs = 0.0;        // ms since lastStepMs, as last computed by advanceClip
    int32_t currentFrame = 0;      // index into the played model's frames
    int32_t nextFrame = 0;         // the frame after currentFrame, with wrap-around
    double framePeriodMs = 300.0;  // ms per key frame (1000 / rate); positive
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

// The viewer's clock: plays `played` at the clock's rate however the calls
// fall. The first call only records the tick. Each later call adds the ms since
// the last call (unsigned 32-bit difference) to elapsedMs, the time into
// currentFrame, unless `paused`; when that reaches framePeriodMs the clock moves
// on by as many whole frames as have passed (wrapping past the last frame) and
// keeps the rest, so a clip of N frames loops in N * framePeriodMs whatever the
// drawing rate. nextFrame is the frame after currentFrame. A model without
// frames keeps both indices at 0.
void playClip(ClipClock& clock, const Model& played, TickSource tickCount, bool paused);

// Shows frame `frame` (wrapped into the played model's frames) from its start:
// currentFrame, nextFrame after it, elapsedMs 0.
void showClipFrame(ClipClock& clock, const Model& played, int64_t frame);

// The frame that a clock index shows in `model`: the index clamped to
// [0, last frame]; -1 when the model has no frames.
int32_t evaluationFrame(const Model& model, int32_t frameIndex);

// Interpolation factor elapsedMs / framePeriodMs, in double precision and not
// clamped (right after advanceClip it lies in [0, 1]); 0 when framePeriodMs is
// not positive.
double interpolationFactor(const ClipClock& clock);

// One frame of a model, every bone evaluated once, parents before children.
// `world` and `offsets` are the evaluation's own lists, kept to reuse their
// storage from one frame to the next.
struct FramePose {
    std::vector<int32_t> links;   // links of each bone's chain (0 for a root); -1: broken
    std::vector<Vec3> positions;  // root-relative joint position; origin for a root or broken
    std::vector<Matrix4> world;   // each sound bone's rotation-only world matrix
    std::vector<Vec3> offsets;    // each sound link's world-space offset from its parent
};

// Evaluates `frame` of `model` into `pose`: a bone's world rotation is RotX·RotY·RotZ
// of its key times its parent's world rotation (identity above a root); its
// offset is its key translation turned by the parent's world rotation. A frame
// index out of range breaks every bone.
//
// With `rootsInPlace` (the viewer's files) every root keeps its place: the
// first sound root (lowest index) stays at the origin, every other root stands
// at its key translation minus the first root's, and each joint adds its
// root's position after the sum of its chain. Without it every root is at the
// origin (one character, one root).
void evaluateFrame(const Model& model, int32_t frame, FramePose& pose, bool rootsInPlace = false);

// The pose a clip clock shows, one entry per bone of the played model. Frames
// come from the clock through evaluationFrame. With clock.interpolate each joint
// is current·(1-t) + next·t in double precision, stored as float (t =
// interpolationFactor), and a bone broken in either frame is broken.
struct ClipPose {
    FramePose current, next;
    std::vector<Vec3> joints;  // drawn joint positions, root-relative
    // Joints on each bone's strip, from the bone up to the root's child: its
    // links (0 for a root or a broken bone), with interpolation at most the
    // `blendJoints` the program's interpolation arrays hold.
    std::vector<int32_t> chains;
};
// `rootsInPlace` as for evaluateFrame.
void poseClip(const Model& played, const ClipClock& clock, size_t blendJoints, ClipPose& pose,
              bool rootsInPlace = false);
