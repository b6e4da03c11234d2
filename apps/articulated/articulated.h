// articulated: plays the character's walking and running clips and shows its
// standing pose as a stick figure, with tempo, interpolation, help and an orbit
// camera. The program's code lives in this library so tests can run it on the
// recording backend; the executable only adds main().
#pragma once

#include <cstdint>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"
#include "shell/run_options.h"
#include "shell/services.h"
#include "shell/trace.h"

constexpr const char* kArticulatedTitle = "VX330_1: Articulated Model";
constexpr uint32_t kArticulatedBackground = 0xFF7D7D7D;  // grey 125
constexpr int32_t kArticulatedFramePeriodMs = 300;
// Strip and interpolation arrays: 69 vertices, so at most 68 segments per strip.
constexpr uint32_t kArticulatedStripVertices = 69;
constexpr int kWindowLeft = 100, kWindowTop = 100, kWindowWidth = 500, kWindowHeight = 500;
constexpr Vec3 kArticulatedEye{-100.0f, 0.0f, 0.0f};

struct ArticulatedState {
    Model currentClip;  // the played clip: walk.smd at start-up, then R/W/S
    ClipClock clock;
    LineVertex strip[kArticulatedStripVertices];
    LineVertex currentPositions[kArticulatedStripVertices];
    LineVertex nextPositions[kArticulatedStripVertices];
    ChainScratch scratch;
    uint64_t framesDrawn = 0;
    TraceLine traceLine;
    RunOptions options;
};

extern ArticulatedState articulated;

// Back to the state at process start (and the shell's), for tests.
void resetArticulated();

// Loads walk.smd, creates lineBuffer and fills it once, places the camera.
// E_FAIL_ when the buffer cannot be created or filled.
HResult initScene();

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// One frame: confine the cursor, count it, advance the clip, draw and present,
// and write its trace line when a trace is open.
void articulatedFrame();
// Draws the frame (clear, transforms, help or skeleton, frame rate) and presents.
void renderFrame();
// renderFrame without the present.
void drawArticulatedScene();

// Start-up, the polling loop and shut-down. Returns 0 when the window was closed
// or Escape pressed, 1 when start-up failed (the reason is printed on stderr).
int articulatedWinMain();

// The whole program: options, --data, the backend's run configuration, then
// articulatedWinMain. Returns the process exit status.
int articulatedMain(int argc, char** argv);
