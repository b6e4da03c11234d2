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
#include "shell/program_loop.h"
#include "shell/services.h"
#include "shell/trace.h"

constexpr const char* kIkreachTitle = "VX330_3: Inverse Kinematics";
constexpr const char* kIkreachCharacterFile = "barney.smd";
constexpr uint32_t kIkreachBackground = 0xFF787878;  // grey 120
constexpr Vec3 kIkreachEye{-200.0f, 0.0f, 0.0f};

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
};

extern IkreachState ikreach;

// The program's steps for the shell's start-up, loop and frame. Its scene:
// scale and heading, the five loads of the character (a character file that
// cannot be read is reported on stderr and the program goes on without a
// character), the marker, the rest positions, the first path, lineBuffer, the
// camera, the target and the ground position; each frame runs the reach step
// and draws the skeleton, the walk's path and the spinning target marker.
extern const ProgramSteps kIkreachProgram;

// Back to the state at process start (and the shell's), for tests.
void resetIkreach();
