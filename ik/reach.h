// The reaching scene: a target the user moves, a timed walk toward it, one solve at
// arrival, and the blend from the unbent to the solved pose.
//
// Plain state and plain operations, so the whole sequence runs without a window:
// the program owns one ReachScene next to its PathState, the pose model and the
// joint position sets, and hands them in. Nothing here draws; the strip and marker
// builders fill vertex arrays that the program uploads and draws.
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
constexpr float targetStep = 2.0f;          // target movement per key press
constexpr float targetHeightLimit = 30.0f;  // bound of the target's z, both signs
constexpr float markerSpin = 0.09f;         // marker turn about z per drawn frame, radians
constexpr float standOffDistance = 20.0f;   // the walk ends this far short of the target
constexpr float reachPathHeight = -40.0f;   // z of the drawn path

// The strip array of one bone: 101 vertices, of which at most the first 100 are
// written; a strip is drawn with at most reachStripMaxSegments segments so that it
// never reaches the unwritten last vertex.
constexpr size_t reachStripSize = 101;
constexpr size_t reachStripWritten = 100;
constexpr uint32_t reachStripMaxSegments = 99;
constexpr uint32_t skeletonLineColor = 0xFF000000u;   // opaque black
constexpr uint32_t skeletonJointColor = 0xFF00FF00u;  // opaque green

// Virtual-key codes of the target keys (Win32 values).
constexpr uint32_t keyPageUp = 0x21;
constexpr uint32_t keyPageDown = 0x22;
constexpr uint32_t keyLeft = 0x25;
constexpr uint32_t keyUp = 0x26;
constexpr uint32_t keyRight = 0x27;
constexpr uint32_t keyDown = 0x28;

struct ReachScene {
    Vec3 reachTarget{0.0f, -50.0f, 20.0f};  // world space; z within [-30, 30]
    bool reachActive = false;               // a walk is under way
    bool reachDone = false;                 // the last walk arrived and a solved pose exists
    bool reachFinished = false;             // the blend toward the solved pose is under way
    double reachStartMs = 0.0;              // tick at which the current walk began
    double reachFraction = 0.0;             // walk fraction handed to the motion step
    bool reachStepped = false;              // the motion step ran in the last updateReach
    double reachEndMs = 0.0;                // tick at which the last walk arrived
    // Marker points relative to the target (red, green, blue): a triangle 4 wide
    // and 4 high in the vertical x-z plane, spun about z by spinTargetMarker.
    LineVertex targetMarker[3] = {{-2.0f, 0.0f, -2.0f, 0xFFFF0000u},
                                  {2.0f, 0.0f, -2.0f, 0xFF00FF00u},
                                  {0.0f, 0.0f, 2.0f, 0xFF0000FFu}};
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

// Moves the target for one of the six target keys (arrows: x and y by targetStep,
// unbounded; Page Up / Page Down: z by targetStep, limited to +-targetHeightLimit).
// Ignored while a walk is under way. Returns true when `virtualKey` is a target
// key (whether or not it moved the target).
bool nudgeTarget(ReachScene& scene, uint32_t virtualKey);

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

// The set a bone's strip is drawn from, chosen from the reach state; while
// blending this runs blendStep first (so it may end the blend and still return
// Blend for this bone).
ReachSource chooseReachSource(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs);
const Model& reachSourceSet(const JointPositionSets& sets, ReachSource source);

// chooseReachSource for the bones of one drawn frame, in drawing order. A blend
// this frame already evaluated at the same tick is not evaluated again: it would
// write the same bits (it reads only the work and reach sets) and choose the
// same set. Start a new one for each frame.
struct FrameReachSource {
    bool blended = false;  // the last choice evaluated the blend, which goes on
    uint32_t tickMs = 0;   // at this tick
};
ReachSource chooseFrameReachSource(ReachScene& scene, JointPositionSets& sets, uint32_t nowMs,
                                   FrameReachSource& frame);

// What the strips of one drawn frame share, so that each strip does only the
// work in which it differs from the one before. Start a new memo for each frame
// and change the strip only through calls given the memo while it is in use.
//  - Model-space joints placed, by bone. A bone's strip repeats its parent's
//    chain, so each joint is placed once per frame rather than once per strip it
//    appears in. An entry is reused only when the joint's unplaced position has
//    the same bits as when it was placed, so it gives the bits of its own
//    placement. The path's scale, heading and ground position must not change
//    while a memo is in use.
//  - The tails of the strip and of its joint dots: the entries after a chain all
//    hold one point (the ground place or the placed origin) in one colour, so
//    most of them already hold what the next strip needs.
//  - Whether the strip's joint colours are still owed: with a memo the joint
//    dots are coloured in a second array, and the strip takes their colours only
//    when the next build reads them or finishJointColours is called.
struct StripMemo {
    std::vector<Vec3> from;      // unplaced position of each placed joint
    std::vector<Vec3> to;        // its placed position
    std::vector<uint8_t> known;  // 1 once the joint has been placed
    Vec3 origin;                 // the placed origin (the entries after a chain)
    bool originKnown = false;
    // Entries [tailFrom, reachStripWritten) of the strip equal `tail` in all
    // their bytes, and entries [chainEnd, reachStripWritten) hold its x, y, z.
    size_t tailFrom = reachStripWritten;
    size_t chainEnd = reachStripWritten;
    LineVertex tail;
    // The same for the dots array.
    size_t dotsTailFrom = reachStripWritten;
    LineVertex dotsTail;
    bool coloursOwed = false;  // the strip's first reachStripWritten entries are owed green
};

// Fills `strip` (reachStripSize vertices) for `bone`: the joint of the bone, then
// each ancestor's joint up to and including the root, black, at most
// reachStripWritten entries; bone 0 always at the character's ground place. The
// entries after the chain hold the ground place (px, py, 0) so the rest of the
// strip has zero length. A world-space source is used as it is (the colours of
// the entries after the chain are left); a model-space source is placed like the
// character: scaled by characterScale, turned by headingMatrix, moved by
// groundPosition. Returns the number of chain entries written; 0, with every
// position at the ground place, when the bone or the set's entries are missing or
// a parent index is outside the bones. With a memo, the strip gets the same bits
// with less work.
size_t buildReachStrip(LineVertex* strip, const Model& hierarchy, const Model& source,
                       ReachSource kind, int32_t bone, const PathState& path,
                       StripMemo* memo = nullptr);

// Colours the first reachStripWritten entries green: the joint dots of a strip.
void colourJointPoints(LineVertex* strip);
// The same through a memo: `dots` (reachStripSize vertices) gets the coloured
// strip, and the strip owes the colours until the next build through the memo
// or finishJointColours.
void colourJointPoints(const LineVertex* strip, LineVertex* dots, StripMemo& memo);
// Gives the strip the colours it owes, leaving it as colourJointPoints(strip)
// would have.
void finishJointColours(LineVertex* strip, StripMemo& memo);

// Segments of each bone's line strip: the bone count, at most reachStripMaxSegments
// (larger skeletons are clipped so no strip reads an unwritten vertex).
uint32_t reachStripSegments(const Model& hierarchy);

// Turns the marker points about the world z axis by markerSpin, in place.
void spinTargetMarker(ReachScene& scene);
// The marker triangle at the target: each point plus reachTarget, with its colour.
void buildTargetMarker(const ReachScene& scene, LineVertex out[3]);
