// articulated: plays the character's walking and running clips and shows its
// standing pose as a stick figure, with tempo, interpolation, help and an orbit
// camera. The program's code lives in this library so tests can run it on the
// recording backend; the executable only adds main().
#pragma once

#include <cstdint>

#include "apps/articulated/mesh_view.h"
#include "common/math.h"
#include "model/bone_strip.h"
#include "model/model.h"
#include "model/pose.h"
#include "shell/program_loop.h"
#include "shell/services.h"
#include "shell/trace.h"

constexpr const char* kArticulatedTitle = "VX330_1: Articulated Model";
constexpr uint32_t kArticulatedBackground = 0xFF7D7D7D;  // grey 125
constexpr double kArticulatedFramePeriodMs = 300.0;
// The strip array: 69 vertices, so at most 68 segments per strip; the
// interpolation arrays hold 69 joints too.
constexpr uint32_t kArticulatedStripVertices = 69;
constexpr Vec3 kArticulatedEye{-100.0f, 0.0f, 0.0f};

struct ArticulatedState {
    Model currentClip;  // the played clip: walk.smd at start-up, then R/W/S
    ClipClock clock{.framePeriodMs = kArticulatedFramePeriodMs};
    LineVertex strip[kArticulatedStripVertices];
    ClipPose pose;        // the drawn frame's joints
    PlacedJoints placed;  // the same, as the strips take them
    MeshView mesh;        // with files named: the reference, its mesh and animations
};

extern ArticulatedState articulated;

// The program's steps for the shell's start-up, loop and frame.
extern const ProgramSteps kArticulatedProgram;

// Back to the state at process start (and the shell's), for tests.
void resetArticulated();
