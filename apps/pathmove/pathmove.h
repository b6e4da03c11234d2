// pathmove: the character, at three tenths of its size, travels a fixed Bézier
// curve of the ground plane in passes of seven seconds, easing in and out, facing
// its direction of travel and switching between the walking and running clips
// with the phases of its movement. Keys, mouse, help and the frame rate are those
// of articulated. The program's code lives in this library so tests can run it
// on the recording backend; the executable only adds main().
#pragma once

#include <cstdint>

#include "common/math.h"
#include "model/bone_strip.h"
#include "model/model.h"
#include "model/pose.h"
#include "path/path.h"
#include "shell/program_loop.h"
#include "shell/services.h"
#include "shell/trace.h"

constexpr const char* kPathmoveTitle = "VX330_2: Path Movement";
constexpr uint32_t kPathmoveBackground = 0xFF0000FF;  // blue
constexpr double kPathmoveFramePeriodMs = 40.0;
// The strip array and upload: 101 vertices (1616 bytes). Vertices 0 .. 99 are put
// in the world and vertex 100 is not, so a strip is drawn with at most 99
// segments: a clip with more than 99 bones is drawn clipped (every bone, each
// line cut to 99 segments), with a warning on stderr when it is loaded.
constexpr uint32_t kPathmoveStripVertices = 101;
constexpr uint32_t kPathmovePlacedVertices = 100;
// Joints of the interpolation arrays: with interpolation a strip's chain holds
// at most 69 joints.
constexpr uint32_t kPathmoveFrameVertices = 69;
constexpr Vec3 kPathmoveEye{-300.0f, -300.0f, 100.0f};

// The travelled curve: a single curve of degree 7 from (60, -50) to (-50, 50).
constexpr int kTravelControlPointCount = 8;
constexpr Point2 kTravelControlPoints[kTravelControlPointCount] = {
    {60.0f, -50.0f}, {-45.0f, -95.0f}, {-60.0f, -50.0f}, {-75.0f, -5.0f},
    {25.0f, -10.0f}, {30.0f, 40.0f},   {35.0f, 90.0f},   {-50.0f, 50.0f}};
constexpr float kPathHeight = -10.0f;     // z of the drawn path
constexpr float kCharacterScale = 0.3f;   // uniform, all three axes
constexpr double kPathPeriodMs = 7000.0;  // one pass along the path
constexpr uint32_t kPathLineColor = 0xFFFFFFFF;
constexpr uint32_t kPathDotColor = 0xFFFF0000;

struct PathmoveState {
    Model currentClip;  // walk.smd at start-up; then the phase's clip, or R/W/S
    ClipClock clock{.framePeriodMs = kPathmoveFramePeriodMs};
    LineVertex strip[kPathmoveStripVertices];
    ClipPose pose;        // the drawn frame's joints
    PlacedJoints placed;  // the same, placed in the world
    PathState path;
    StripPlacement placement;  // characterScale, headingMatrix and groundPosition
    // The current pass: its first tick and the fraction of it that has passed at
    // the last motion step (0 to 1). Ticks are compared as unsigned 32-bit
    // differences, so a pass runs on across the wrap-around of the tick count.
    uint32_t pathStartMs = 0;
    double pathFraction = 0.0;
};

extern PathmoveState pathmove;

// The program's steps for the shell's start-up, loop and frame. Its step starts
// a new pass when the current one has run out, moves the character to the
// pass's fraction (a phase change of the movement loads the phase's clip:
// "walk.smd", "run.smd", "walk.smd") and advances the clip clock; it draws the
// path over the character or the help text.
extern const ProgramSteps kPathmoveProgram;

// Back to the state at process start (and the shell's), for tests.
void resetPathmove();
