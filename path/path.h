// Movement of the character along a curve of the ground plane.
//
// A path is one Bézier curve over an ordered control polygon in the XY plane,
// sampled at a fixed parameter step into a polyline. The polyline's chord
// lengths form a table from curve parameter to distance travelled, which lets
// the motion step move the character by distance rather than by parameter. An
// ease-in, cruise, ease-out profile turns the elapsed fraction of a pass into
// the travelled fraction of the path, and the motion step turns that into the
// character's ground position and heading.
//
// Everything here is plain data and plain operations: one PathState per program,
// owned by the program and handed to each operation. Nothing is allocated after
// the first sampling of a path of the same size, nothing is reported, no file is
// read; a change of the movement phase is returned to the caller, which decides
// what to do with it (pathmove loads another clip).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"

// One row of the arc-length table: the curve parameter of a sample and the
// distance along the sampled path from the start to that sample (scene units).
struct ArcEntry {
    float u = 0.0f;
    float s = 0.0f;
};

// Capacity of the drawable copy of the samples.
constexpr size_t kPathVertexCapacity = 500;

// The phases of one movement; each phase change happens only from the phase
// before it, in the cycle Accelerating -> Cruising -> Decelerating -> Accelerating.
enum MovePhase : int32_t {
    kPhaseAccelerating = 0,
    kPhaseCruising = 1,
    kPhaseDecelerating = 2,
};

struct PathState {
    // The control polygon, set by the caller before samplePath. Any number of
    // points: one point is a curve that stays on it; none yields (0, 0).
    std::vector<Point2> controlPoints;
    // The curve at the sample parameters (101 after samplePath).
    std::vector<Point2> samplePoints;
    // One entry per sample, in sample order. samplePath writes u and zero s;
    // buildArcTable writes s. Invariants after both: entry 0 is (0, 0), u rises
    // strictly, s never falls.
    std::vector<ArcEntry> arcTable;
    // Total length of the sampled polyline (summed in double precision).
    double pathLength = 0.0;
    // Drawable copy of the samples at z = pathHeight. The first
    // pathVertexCount entries are filled; never written past the capacity.
    LineVertex pathVertices[kPathVertexCapacity] = {};
    size_t pathVertexCount = 0;
    float pathHeight = 0.0f;

    // Speed profile: the phase of the current movement, kept between calls.
    int32_t movePhase = kPhaseAccelerating;

    // Products of the motion step. The character is placed by p·S·H, then moved
    // by groundPosition in x and y.
    Point2 groundPosition{};
    Matrix4 headingMatrix = matrixIdentity();   // rotation about Z by `heading`
    float heading = 0.0f;                       // radians in [0, 2π], as last computed
    Matrix4 characterScale = matrixIdentity();  // uniform scaling, set once by the program
};

// ---- Curve ----

// The point of the Bézier curve over `controlPoints` at parameter u, by repeated
// linear interpolation of the control polygon (de Casteljau). Each interpolated
// coordinate is rounded to single precision before the next round uses it.
// u is normally in [0, 1]; other values extrapolate. An empty polygon gives (0, 0).
Point2 evalBezier(const std::vector<Point2>& controlPoints, float u);

// The single-precision parameter step of the sampling (0.009999999776482582).
constexpr float kSampleStep = 0.01f;

// Samples the curve of path.controlPoints from u = 0 in steps of kSampleStep,
// accumulated in single precision, while the unrounded running sum stays below
// 1.0: 101 samples, the last at u = 0.9999993. Replaces samplePoints and the
// arc-length table (u filled, s zero; run buildArcTable next), and fills the
// first samples of pathVertices (white, at pathHeight).
void samplePath(PathState& path);

// Sets the colour of the vertices that mark a sample with a dot: every filled
// vertex but the last (0 .. pathVertexCount-2; 0 .. 99 for 101 samples). The
// path is drawn as a strip of pathVertexCount-1 lines and, where dots are wanted,
// as a list of pathVertexCount-1 points from the same vertices.
void setPathDotColor(PathState& path, uint32_t argb);

// ---- Arc length ----

// Fills the s column of the arc-length table with the running sum of the chord
// lengths between consecutive samples (carried in double precision, each entry
// stored as float) and sets pathLength to the full sum. Expects samplePath to
// have run; entries beyond the sample count are ignored.
void buildArcTable(PathState& path);

// The curve parameter at distance D from the start, by a linear scan of the
// table from entry 0: the entry's u when its s equals D, otherwise linear
// interpolation inside the first interval whose end lies beyond D.
//   - D at or below 0 gives entry 0's parameter (0 after a build);
//   - D beyond the last entry (possible through rounding at the end of the path)
//     gives the last entry's parameter;
//   - an empty table gives 0.
float paramAtDistance(const PathState& path, double distance);

// ---- Speed ----

// Time fractions at which the speeding up ends and the slowing down begins, and
// the cruising speed in path lengths per movement duration, 2 / (1 - t1 + t2).
// Double precision.
constexpr double kEaseInEnd = 0.3;
constexpr double kEaseOutStart = 0.7;
constexpr double kCruiseSpeed = 1.4285714285714286;

struct EasedDistance {
    double distance = 0.0;      // travelled fraction of the path, 0 to 1
    bool phaseChanged = false;  // path.movePhase was changed by this call
};

// The travelled fraction of the path after the time fraction t (0 to 1) of the
// movement: constant acceleration up to kEaseInEnd, constant speed up to
// kEaseOutStart, constant deceleration to rest at 1. A boundary value belongs to
// the outer piece (t = 0.3 to the first, t = 0.7 to the third).
// Advances path.movePhase when t lies in the piece after the current phase's
// and reports it; a jump over a piece leaves the phase where it was.
EasedDistance distanceAtTime(PathState& path, double t);

// ---- Motion ----

// Parameter distance of the look-ahead point that gives the direction of travel.
constexpr double kLookAheadStep = 0.001;
// 2π as the heading arithmetic uses it.
constexpr double kTwoPi = 6.283185307179586;

// Places the character for the time fraction t of the movement: eased distance,
// parameter, curve point; the heading turns the model's facing (0, -1, 0) onto the
// direction towards a point kLookAheadStep further along the curve. Writes
// groundPosition, heading (in [0, 2π]; 2π for travel along -y, 3π/2 when the
// path does not move) and
// headingMatrix. Returns true when the movement phase changed (see
// distanceAtTime). Needs samplePath and buildArcTable first.
bool stepAlongPath(PathState& path, double t);

// The angle of a rotation about Z, read from the matrix (atan2 of the first row's
// second and first entries), in (0, 2π].
double headingOfMatrix(const Matrix4& h);
