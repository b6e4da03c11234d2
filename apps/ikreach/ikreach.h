// ikreach: the character stands in the pose of its model file; the user moves a
// spinning target with the arrow and page keys, Enter walks the character toward
// it for two seconds, and at arrival the right arm is bent toward the target and
// the solved pose blends in over one second. The camera is fixed; there is no
// help text. The program's code lives in this library so tests can run it on the
// recording backend; the executable only adds main().
#pragma once

#include <cstdint>

#include "common/math.h"
#include "ik/reach.h"
#include "ik/solver.h"
#include "model/model.h"
#include "model/pose.h"
#include "path/path.h"
#include "shell/run_options.h"
#include "shell/services.h"
#include "shell/trace.h"

constexpr const char* kIkreachTitle = "VX330_3: Inverse Kinematics";
constexpr const char* kIkreachCharacterFile = "barney.smd";
constexpr uint32_t kIkreachBackground = 0xFF787878;  // grey 120
constexpr Vec3 kIkreachEye{-200.0f, 0.0f, 0.0f};
constexpr int kIkreachWindowLeft = 100, kIkreachWindowTop = 100;
constexpr int kIkreachWindowWidth = 500, kIkreachWindowHeight = 500;

struct IkreachState {
    Model poseModel;                   // the hierarchy and the bind pose (frame 0)
    JointPositionSets sets;            // work, rest, reach and blend positions
    PathState path;                    // the walk toward the target and the character's place
    ReachScene scene;                  // target, walk and blend state, marker
    LineVertex strip[reachStripSize];  // one bone's strip, uploaded per bone
    LineVertex dots[reachStripSize];   // the same strip coloured for its joint dots
    ChainScratch scratch;
    // The drawn world position of the effector in the last frame (trace).
    Vec3 drawnEffector;
    bool effectorDrawn = false;
    uint64_t framesDrawn = 0;
    TraceLine traceLine;
    RunOptions options;
};

extern IkreachState ikreach;

// Back to the state at process start (and the shell's), for tests.
void resetIkreach();

// Scale and heading, the five loads of the character, the marker, the rest
// positions, the first path, lineBuffer, the camera, the target and the ground
// position. A character file that cannot be read is reported on stderr and the
// program goes on without a character. E_FAIL_ when lineBuffer cannot be created
// or filled.
HResult initScene();

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// One frame: confine the cursor, count it, run the reach step, draw and present,
// and write its trace line when a trace is open.
void ikreachFrame();
// Draws the frame (clear, transforms and marker spin, skeleton, path, marker, frame
// rate) without presenting it.
void drawIkreachScene();
void renderFrame();

// Start-up, the polling loop and shut-down. Returns 0 when the window was closed
// or Escape pressed, 1 when start-up failed (the reason is printed on stderr).
int ikreachWinMain();
// The whole program: options, --data, the backend's run configuration, then
// ikreachWinMain. Returns the process exit status.
int ikreachMain(int argc, char** argv);
