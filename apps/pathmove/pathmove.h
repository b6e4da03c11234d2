// pathmove: the character, at three tenths of its size, travels a fixed Bézier
// curve of the ground plane in passes of seven seconds, easing in and out, facing
// its direction of travel and switching between the walking and running clips
// with the phases of its movement. Keys, mouse, help and the frame rate are those
// of articulated. The program's code lives in this library so tests can run it
// on the recording backend; the executable only adds main().
#pragma once

#include <cstdint>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"
#include "path/path.h"
#include "shell/run_options.h"
#include "shell/services.h"
#include "shell/skeleton_draw.h"
#include "shell/trace.h"

constexpr const char* kPathmoveTitle = "VX330_2: Path Movement";
constexpr uint32_t kPathmoveBackground = 0xFF0000FF;  // blue
constexpr int32_t kPathmoveFramePeriodMs = 40;
// The strip array and upload: 101 vertices (1616 bytes). Vertices 0 .. 99 are put
// in the world and vertex 100 is not, so a strip is drawn with at most 99
// segments: a clip with more than 99 bones is drawn clipped (every bone, each
// line cut to 99 segments), with a warning on stderr when it is loaded.
constexpr uint32_t kPathmoveStripVertices = 101;
constexpr uint32_t kPathmovePlacedVertices = 100;
// Joint positions of the current and next clip frame (interpolation).
constexpr uint32_t kPathmoveFrameVertices = 69;
constexpr int kPathmoveWindowLeft = 100, kPathmoveWindowTop = 100;
constexpr int kPathmoveWindowWidth = 500, kPathmoveWindowHeight = 500;
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
    LineVertex currentPositions[kPathmoveFrameVertices];
    LineVertex nextPositions[kPathmoveFrameVertices];
    ChainScratch scratch;
    PathState path;
    StripPlacement placement;  // characterScale, headingMatrix and groundPosition
    // The current pass: its first tick and the fraction of it that has passed at
    // the last motion step (0 to 1). Ticks are compared as unsigned 32-bit
    // differences, so a pass runs on across the wrap-around of the tick count.
    uint32_t pathStartMs = 0;
    double pathFraction = 0.0;
    uint64_t framesDrawn = 0;
    TraceLine traceLine;
    RunOptions options;
};

extern PathmoveState pathmove;

// Back to the state at process start (and the shell's), for tests.
void resetPathmove();

// Scale, walk.smd, the path with its arc-length table, lineBuffer (created and
// filled once with the strip array) and the camera. E_FAIL_ when the buffer
// cannot be created or filled.
HResult initScene();

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The program step: starts a new pass when the current one has run out, then
// moves the character to the pass's fraction; a phase change of the movement
// loads the phase's clip ("walk.smd", "run.smd", "walk.smd").
void stepPathPass();

// The white line through the samples, then a red dot on every sample but the
// last. Returns a failed lock of lineBuffer (nothing more may be drawn then).
HResult drawPath();

// One frame: confine the cursor, count it, path step, advance the clip, draw and
// present, and write its trace line when a trace is open.
void pathmoveFrame();
// Draws the frame (clear, transforms, help or character, path, frame rate).
void drawPathmoveScene();
void renderFrame();

// Start-up, the polling loop and shut-down. Returns 0 when the window was closed
// or Escape pressed, 1 when start-up failed (the reason is printed on stderr).
int pathmoveWinMain();

// The whole program: options, --data, the backend's run configuration, then
// pathmoveWinMain. Returns the process exit status.
int pathmoveMain(int argc, char** argv);
