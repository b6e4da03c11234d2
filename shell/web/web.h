// Shared state of the web backend (platform and graphics). Not for programs:
// they see only shell/services.h.
#pragma once

#include <emscripten/html5.h>

#include <string>

#include "shell/harness/run_harness.h"
#include "shell/message_queue.h"
#include "shell/services.h"

// The CSS selector of the page's canvas: the program's one window.
constexpr const char* kCanvas = "#canvas";

struct Window {
    WindowProc proc = nullptr;
    bool alive = false;
    Rect outer;  // screen rectangle a Win32 window of the asked size would have
    Device* device = nullptr;
    uint32_t buttons = 0;  // MK_ flags of the buttons held, from the messages posted
};

struct WebState {
    RunOptions options;
    RunHarness harness;
    // The cursor as the program sees it, in screen pixels: it follows the
    // pointer while shown and moves by the pointer's movement while hidden (a
    // drag), so confining and re-centring it work as on Win32 whether or not
    // the page holds a pointer lock.
    VirtualCursor cursor;
    MessageQueue queue;
    std::string className;
    WindowProc classProc = nullptr;
    Window window;  // the canvas; one per page
    bool windowCreated = false;
    // The last button press came from a touch (shell/web/touch.cpp): hiding the
    // cursor then asks for no pointer lock, which would catch the next mouse
    // click instead.
    bool touchDrag = false;
    // Where the cursor was at the last move posted during a drag: where the
    // programs' mouse look measures the next drag from. A touch drag starts the
    // cursor there, so a finger landing anywhere turns the camera only by its
    // own movement. Before any drag: client (250, 250), the look's first point.
    int dragCursorX = 0, dragCursorY = 0;
    bool dragCursorSet = false;
};

WebState& webState();
// Posts a message to the window while it exists (dropped otherwise).
void postWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
// Canvas pixels per CSS pixel (the page scales the canvas to fit the screen).
void canvasScale(double& sx, double& sy);
// Gives the canvas the keyboard focus without scrolling the page.
void focusCanvas();
// Starts listening to the canvas's touches (touch.cpp); stopped with the window.
void listenTouch();
void unlistenTouch();
// Client-area origin of the window in screen pixels.
void clientOrigin(int& x, int& y);
// Called by present after each presented frame.
void framePresented();
// Graphics side, called when the window goes away: frees the GL objects and
// leaves the device lost (every later call on it does nothing).
void detachDevice(Device* device);
