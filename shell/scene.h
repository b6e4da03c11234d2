// The Direct3D device and the pieces of a frame: clear, transforms, the shared
// vertex buffer `lineBuffer`, the help lines and the frame-rate text.
//
// A program's renderFrame is built from these in this order:
//   if (beginFrame(background)) { setupTransforms(); <scene>; drawFpsText(); }
//   endFrame(); presentFrame();
// where <scene> is the help lines or the character, then what the program draws
// on top. A failed draw (lock of lineBuffer) abandons the rest of the scene,
// frame-rate text included, but the scene is still ended and presented so the
// next frame can begin.
#pragma once

#include <cstdint>

#include "common/math.h"
#include "shell/services.h"

// lineBuffer holds 110 vertices of 16 bytes; every array drawn must fit in it.
constexpr uint32_t kLineBufferBytes = 1760;
constexpr uint32_t kLineBufferVertices = kLineBufferBytes / sizeof(LineVertex);
constexpr uint32_t kLineFvf = FvfXyz | FvfDiffuse;

// Creates the Direct3D object, the device (windowed, default interval, a depth
// buffer only when shell.depthBuffer is set), turns culling and lighting off and creates the
// overlay font
// ("Arial", height -16, bold). Returns S_OK_, or E_FAIL_ with shell.startupError
// set and nothing left created.
HResult initDevice(Window* window);

// Creates lineBuffer and fills it once with `initial` (count vertices, at most
// kLineBufferVertices) by lock, copy, unlock. E_FAIL_ with shell.startupError set
// when the buffer cannot be created or locked (the buffer is then released).
HResult createLineBuffer(const LineVertex* initial, uint32_t count);

// Releases lineBuffer, the font, the device and the Direct3D object, each only if
// it exists; safe to call more than once.
void releaseDevice();

// Draws `primitiveCount` primitives of `type` from vertex 0 of `vertices`: locks
// lineBuffer from offset 0 for the whole array (count vertices), copies it in,
// unlocks, sets stream 0 (stride 16) and the XYZ | DIFFUSE format, and draws.
// Returns the lock's failure (nothing drawn) or S_OK_. Refuses (E_FAIL_) an array
// larger than lineBuffer or a draw that would read past the array.
HResult drawVertices(const LineVertex* vertices, uint32_t count, PrimitiveType type,
                     uint32_t primitiveCount);

// Clears the target to `argb` (and the depth buffer to 1 where there is one)
// and begins the scene; false when the scene could
// not begin (nothing may be drawn then) or no device exists.
bool beginFrame(uint32_t argb);
// The projection every program uses (radians; view-space units).
constexpr float kFieldOfView = 0.7853982f, kNearPlane = 1.0f, kFarPlane = 1000.0f;
// The client size the picture was designed for (a 500 x 500 window's client
// area): there the projection's aspect is exactly 1.
constexpr int kDesignClientWidth = 484, kDesignClientHeight = 461;
// Projection (vertical field of view kFieldOfView, kNearPlane, kFarPlane) with the
// aspect of the window's client area relative to the designed one, so that a
// resized window keeps the picture's proportions and a wider one sees more at
// the sides; aspect 1 when the size is unknown. Then the view from shell.camera.
void setupTransforms();
// Help lines, white, at x 10 and y 50, 80, 110, ... (30 apart).
void drawHelpLines(const char* const* lines, int count);
// shell.loadProblem, when there is one, wrapped to the window in white lines
// from (10, 50), kLoadProblemLineHeight apart.
void drawLoadProblem();
constexpr int kLoadProblemLineHeight = 20;
// Characters per line: the widest glyphs of the overlay font (bold, 16) are
// about 10 pixels wide, and the client area is 484 wide.
constexpr size_t kLoadProblemLineChars = 44;
// "<fps> FPS" at (10, 10), white.
void drawFpsText(int32_t fps);
// Ends the scene if one began.
void endFrame();
void presentFrame();
