// The reaching scene: a target the user moves, a timed walk toward it, one solve at
// arrival, and the blend from the unbent to the solved pose.
//
// Plain state and plain operations, so the whole sequence runs without a window:
// the program owns one ReachScene next to its PathState, the pose model and the
// joint position sets, and hands them in. Nothing here draws or knows keys.
//
// States (reachActive, reachDone, reachFinished) and the pose drawn in each:
//   idle      false  false  false  workPositions (rest pose), placed by the path
//   walking   true   false  any    the same, moving along the frozen path
//   blending  false  true   true   blendPositions
//   holding   false  true   false  reachPositions
// Enter (startReach) leads from any state to walking. A walk ends on the first
// frame more than reachDurationMs after its start; that frame places the character
// with arrivalFraction, solves, and starts the blend, which ends on the first
// evaluation at least blendDurationMs after arrival.
//
// Time: tick counts are the platform's unsigned 32-bit milliseconds. They are kept
// as doubles holding the unsigned value, and every elapsed time is the unsigned
// 32-bit difference, so a tick counter that wraps around during a walk or a blend
// does not stall them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"
#include "ik/solver.h"
#include "model/model.h"
#include "model/pose.h"
#include "path/path.h"

constexpr double reachDurationMs = 2000.0;  // length of the walk
constexpr double arrivalFraction = 0.85;    // walk fraction of the final placement
constexpr double blendDurationMs = 1000.0;  // length of the blend
constexpr float targetStep = 2.0f;          // target movement per nudge
constexpr float targetHeightLimit = 30.0f;  // bound of the target's z, both signs
constexpr float standOffDistance = 20.0f;   // the walk ends this far short of the target
constexpr float reachPathHeight = -40.0f;   // z of the drawn path

// The axes along which the target moves (world space).
enum class TargetAxis { X, Y, Z };

struct ReachScene {
    Vec3 reachTarget{0.0f, -50.0f, 20.0f};  // world space; z within [-30, 30]
    bool reachActive = false;               // a walk is under way
    bool reachDone = false;                 // the last walk arrived and a solved pose exists
    bool reachFinished = false;             // the blend toward the solved pose is under way
    double reachStartMs = 0.0;              // tick at which the current walk began
    double reachFraction = 0.0;             // walk fraction handed to the motion step
    bool reachStepped = false;              // the motion step ran in the last updateReach
    double reachEndMs = 0.0;                // tick at which the last walk arrived
    // The plan (control points and path height) that updateReach last sampled the
    // path from, while not walking: a plan with the same bits is not sampled again,
    // which would give the same samples and table. Nothing else may change the
    // path's samples, table or drawable copy in between.
    bool planSampled = false;
    Point2 sampledPlan[3] = {};
    float sampledHeight = 0.0f;
};

// Control points [A, P, P] of the straight walk from the character's ground
// position A toward the target: P lies standOffDistance short of the target's
// x, y on the line toward A. When A is exactly on the target's x, y there is no
// such line; P is then A itself, so the walk stays where the character stands
// and the limb reaches from there.
void planReachPath(PathState& path, const Vec3& target);

// Moves the target by targetStep along `axis`, towards + when `positive`: x and y
// unbounded, z limited to +-targetHeightLimit. Ignored while a walk is under way.
void nudgeTarget(ReachScene& scene, TargetAxis axis, bool positive);

// Enter: restores the unbent pose into workPositions and (re)starts the walk at
// `nowMs`. reachFinished is left as it is.
void startReach(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs);

// Once per frame, before drawing. While walking: reads the tick, steps along the
// frozen path with the walk fraction (elapsed / reachDurationMs; a frame exactly
// at reachDurationMs still walks with 1.0), and on the first frame past it places
// the character with arrivalFraction, solves, ends the walk and starts the blend
// at a tick read anew. The blend starts from the unbent pose at the final place.
// While not walking: re-plans the path toward the target and rebuilds its
// arc-length table, so the drawn path follows the target (when the plan has the
// bits of the one last sampled here, the samples and the table are kept).
void updateReach(ReachScene& scene, PathState& path, const Model& poseModel,
                 JointPositionSets& sets, TickSource tickCount);

// One blend evaluation at `nowMs`: t = elapsed / blendDurationMs as a float. At
// t >= 1 the blend ends (reachFinished cleared) and blendPositions keep their last
// values; otherwise each blendPositions entry := w + (r - w) * t, with w and r
// the entries of workPositions and reachPositions.
void blendStep(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs);

enum class ReachSource {
    Blend,  // blendPositions, world space
    Reach,  // reachPositions, world space
    Work,   // workPositions, model space (placed by the path when drawn)
};

// The set a frame's skeleton is drawn from, chosen from the reach state; while
// blending this runs blendStep first, and a blend it ends shows the solved pose.
ReachSource chooseReachSource(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs);
const Model& reachSourceSet(const JointPositionSets& sets, ReachSource source);
