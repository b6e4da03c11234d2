// A tiny program for the backend tests: the same start-up, polling loop and
// shut-down as the real programs, with a drawing step and a window procedure
// that the test chooses and that records every message it receives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/run_options.h"
#include "shell/services.h"

struct ReceivedMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    int framesBefore = 0;  // frames presented when the message arrived
    uint32_t tick = 0;
};

struct Probe {
    Window* window = nullptr;
    Direct3D* d3d = nullptr;
    Device* device = nullptr;
    Font* font = nullptr;
    VertexBuffer* buffer = nullptr;
    int framesPresented = 0;
    bool quitSeen = false;
    bool destroyed = false;
    std::vector<ReceivedMessage> messages;
    // Called for each frame between begin and end of the scene.
    std::function<void(Probe&)> drawFrame;
    // Called for each message before the default handling (Destroy releases
    // everything and posts the quit message; other messages go to defWindowProc).
    std::function<void(Probe&, const ReceivedMessage&)> onMessage;
    int maxIterations = 100000;  // guards the test against a loop that never ends
};

// Starts up (window 500 x 500 at (100, 100), device, font "Arial" bold -16,
// a 1760-byte vertex buffer), runs the loop until the quit message and shuts
// down. Returns false when start-up fails or the loop does not end.
bool runProbe(const RunOptions& options, Probe& probe);

// Copies `vertices` into the probe's buffer and draws them.
void drawVertices(Probe& probe, PrimitiveType type, const LineVertex* vertices, uint32_t count,
                  uint32_t primitives);

// Screen position (Direct3D pixel coordinates: pixel centres on whole numbers,
// y down) of a world point under view · projection on a width x height target.
void projectToScreen(const Vec3& p, const Matrix4& viewProjection, int width, int height, double& x,
                     double& y);

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const;  // 0xRRGGBB; 0 outside
};
bool loadPng(const std::string& path, Image& out);
