// The process-wide state every program shares: the window, the Direct3D objects,
// the camera with its mouse look, the frame counter and the help switch. Each
// program is its own executable, so there is exactly one of these per process.
// Programs keep their own state (clip, clock, path, reach) in their own aggregate.
#pragma once

#include <string>
#include <vector>

#include "shell/camera_input.h"
#include "shell/frame_timing.h"
#include "shell/services.h"

// The Direct3D objects, created at start-up and released by releaseDevice().
struct Graphics {
    Direct3D* d3d = nullptr;
    Device* device = nullptr;
    Font* font = nullptr;
    VertexBuffer* lineBuffer = nullptr;  // the vertex buffer every figure, path and marker uses
    VertexBuffer* meshBuffer = nullptr;  // a mesh's triangles (shell/mesh_draw.h); null without one
};

struct ShellState {
    Window* window = nullptr;
    Graphics graphics;
    OrbitCamera camera;
    MouseLook mouse;
    FpsCounter fps;
    bool helpVisible = false;
    // The device gets a depth buffer, cleared every frame (set before initDevice
    // by a program that draws a mesh; off everywhere else).
    bool depthBuffer = false;
    std::string startupError;  // why the last start-up step failed (empty when none did)
    std::vector<std::string> printedReports;  // file load reports printed (shell/load_report.h)
    // Why the file shown cannot be shown (windowLoadProblem), drawn over the
    // frame while help is off; empty when it can.
    std::string loadProblem;
};

extern ShellState shell;

// Back to the state at process start (tests run several programs in one process).
// Does not release anything: call releaseDevice() first.
void resetShell();
