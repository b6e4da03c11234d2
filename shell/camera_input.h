// Mouse input and the orbit camera shared by the programs.
//
// While a mouse button is held the cursor is hidden, confined to the window and
// pulled back to a fixed point of the window at most once every 20 ms; the move
// that this re-centring causes is recognised and ignored, so the jump back never
// turns the camera. A left drag orbits the eye about the world Z axis, a right
// drag zooms it towards or away from the target.
#pragma once

#include <cstdint>
#include <vector>

#include "common/math.h"
#include "model/model.h"
#include "shell/services.h"

// The eye looks at `target` with `up` as the vertical; input moves only `eye`.
struct OrbitCamera {
    Vec3 eye;
    Vec3 target;
    Vec3 up{0.0f, 0.0f, 1.0f};
};

// Drag state: free -> orbiting (left button) or zooming (right button) -> free.
struct MouseLook {
    bool firstMove = true;                // no mouse move seen yet
    bool cursorFree = true;               // no drag in progress: the cursor is not confined
    bool zoomDrag = false;                // the right button is held
    bool skipNextMove = false;            // the next move is the echo of a re-centring
    uint32_t lastRecentreMs = 0;          // tick of the last re-centring (set at the first move)
    float curX = 0.0f, curY = 0.0f;       // client pixels of the current move
    double prevX = 250.0, prevY = 250.0;  // client pixels of the last applied move
    Rect windowRect;                      // window's screen rectangle at the last press
};

// The camera that shows the first frame of `model` whole, as the programs draw
// it (every root at the origin, or with `rootsInPlace` where evaluateFrame puts
// it): the eye looks at the centre of the joints' bounding sphere from where the
// sphere fills kFittedHeight of the view's height, kept between the near and
// far planes, from the horizontal side (-X, -Y, +X or +Y, Z up) on which the
// joints spread widest across the picture; a side must be wider by
// kFittedSideMargin to beat one tried before it, so a figure as wide one way
// as the other is seen from -X. With no joint apart from the origin, the eye
// is kFittedDefaultDistance from the origin on the -X side.
// `alsoShow`: further points framed with the joints (a mesh's corners).
OrbitCamera fitCamera(const Model& model, bool rootsInPlace = false,
                      const std::vector<Vec3>& alsoShow = {});
constexpr double kFittedSideMargin = 1.01;
constexpr float kFittedHeight = 2.0f / 3.0f;
constexpr float kFittedDefaultDistance = 100.0f;

// Minimum ms between two re-centrings of the cursor during a drag.
constexpr uint32_t kRecentreIntervalMs = 20;
// The re-centring point, relative to the window's top-left corner (screen pixels).
constexpr int kRecentreOffset = 250;

// Moves the eye along the unit direction towards the target by d * kZoomStep units
// (d in mouse pixels, positive when the mouse moved up). A step that would put the
// eye on the target (closer than kMinEyeDistance) is not taken, so the view stays
// defined; the eye may otherwise pass through the target.
void zoomCamera(OrbitCamera& camera, double d);
constexpr float kMinEyeDistance = 1e-3f;
constexpr double kZoomStep = 0.2;  // units per mouse pixel

// Turns the eye about the world Z axis (pivot: the origin) by -dx * kOrbitStep
// radians; dy is not used. dx = prevX - curX in mouse pixels.
void orbitCamera(OrbitCamera& camera, double dx, double dy);
constexpr double kOrbitStep = 1.0 / 300.0;  // radians per mouse pixel

// Button messages (left/right down/up) of a dragging program. The caller still
// passes the message on to defWindowProc.
void mouseButton(MouseLook& look, Window* window, uint32_t message);

// A mouse-move message: re-centres the cursor, skips its echo and applies the
// drag to the camera (zoom while the right button is held, orbit during a left
// drag, nothing when no drag runs).
void mouseMove(MouseLook& look, OrbitCamera& camera, intptr_t lParam);

// Confines the cursor to the window (inset by 10 left/right/bottom and 50 at the
// top) during a drag, frees it otherwise. Called once per frame.
void confineCursor(const MouseLook& look);
