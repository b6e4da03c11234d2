// Shared state of the SDL2 + OpenGL backend (platform, graphics, text). Not for
// programs: they see only shell/services.h.
#pragma once

#include <SDL2/SDL.h>

#include <memory>
#include <string>
#include <vector>

#include "shell/harness/run_harness.h"
#include "shell/message_queue.h"
#include "shell/services.h"

struct Window {
    SDL_Window* sdl = nullptr;
    WindowProc proc = nullptr;
    bool alive = false;
    Rect outer;  // headless: the outer rectangle (it never moves)
    Device* device = nullptr;
    uint32_t buttons = 0;   // MK_ flags of the buttons held, from the messages posted
    unsigned long xid = 0;  // X11: the window's id (0 elsewhere)
    bool shown = false;     // showWindow was called (a real window)
    // X11 on a scaled desktop: SDL's window pixels per pixel of the program's
    // (1 elsewhere: Wayland scales for SDL). Every coordinate the program sees
    // is divided by it; relative motion keeps the remainder in motionRest.
    double scale = 1.0;
    double motionRestX = 0.0, motionRestY = 0.0;
};

struct BackendState {
    bool configured = false;
    RunOptions options;
    RunHarness harness;
    VirtualCursor cursor;
    MessageQueue queue;
    // Every window ever created: a handle stays valid (and dead) after its
    // window is destroyed, so late calls with it are harmless.
    std::vector<std::unique_ptr<Window>> windows;
    std::vector<SDL_Window*> parkedWindows;  // headless windows closed by the program
    bool videoUp = false;
    // A real window while the program confines the cursor: SDL's relative mouse
    // mode hides and holds the pointer, and `cursor` is the cursor the program
    // sees, moved by the mouse's motion and by setCursorPos.
    bool relativeCursor = false;
    // Under Xwayland, while relativeCursor: the motion comes from x11_motion (with
    // its fractions), and SDL's truncated relative motion is ignored.
    bool xwaylandMotion = false;
};

BackendState& backendState();
bool runHeadless();
// The live window the cursor and scripted input belong to (the newest), or nullptr.
Window* activeWindow();

// Graphics side, called by the platform when a window goes away: the capture
// of the last presented frame (once), then freeing the device's GL objects,
// which leaves the device lost (every later call on it does nothing).
void writeFinalCapture(Device* device);
void detachDevice(Device* device);
// Platform side, called by present after each presented frame.
void framePresented();

// Client-area origin of a window in screen pixels.
void clientOrigin(Window* window, int& x, int& y);
