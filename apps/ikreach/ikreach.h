// ikreach: the character stands in the pose of its model file; the user moves a
// spinning target with the arrow and page keys, Enter walks the character toward
// it for two seconds, and at arrival the right arm is bent toward the target and
// the solved pose blends in over one second. The camera is fixed; there is no
// help text. The program's code lives in this library so tests can run it on the
// recording backend; the executable only adds main().
#pragma once

#include <cstdint>
#include <vector>

#include "common/math.h"
#include "ik/reach.h"
#include "ik/solver.h"
#include "model/bone_strip.h"
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
// The strip array and upload: 101 vertices, of which the first 100 are written, so
// a strip is drawn with at most 99 segments (a character with more bones is
// drawn clipped, with a note on stderr).
constexpr uint32_t kIkreachStripVertices = 101;
constexpr uint32_t kIkreachWrittenVertices = 100;
constexpr uint32_t kSkeletonLineColor = 0xFF000000u;   // opaque black
constexpr uint32_t kSkeletonJointColor = 0xFF00FF00u;  // opaque green
constexpr float kMarkerSpin = 0.09f;  // marker turn about z per drawn frame, radians

struct IkreachState {
    Model poseModel;         // the hierarchy and the bind pose (frame 0)
    JointPositionSets sets;  // work, rest, reach and blend positions
    PathState path;          // the walk toward the target and the character's place
    ReachScene scene;        // target, walk and blend state
    // Marker points relative to the target (red, green, blue): a triangle 4 wide
    // and 4 high in the vertical x-z plane, spun about z on every drawn frame.
    LineVertex targetMarker[3] = {{-2.0f, 0.0f, -2.0f, 0xFFFF0000u},
                                  {2.0f, 0.0f, -2.0f, 0xFF00FF00u},
                                  {0.0f, 0.0f, 2.0f, 0xFF0000FFu}};
    LineVertex strip[kIkreachStripVertices];  // one bone's strip, uploaded per bone
    std::vector<Vec3> joints;                 // the drawn set's positions
    PlacedJoints placed;                      // the same, placed in the world
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
