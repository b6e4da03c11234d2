// The backend-independent half of unattended runs: the virtual clock, the
// queue of scripted events that fall due, the frame limit and the cursor that a
// headless run keeps instead of a real one. Plain data plus operations; every
// backend drives it from the same three places (the tick count, the message poll
// and present), so scripted runs behave the same on every backend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/run_options.h"
#include "shell/services.h"

struct RunHarness {
    bool headless = false;
    uint32_t stepMs = 16;
    uint32_t virtualTick = 1000000;  // headless: the tick count the program reads
    int64_t frameLimit = -1;         // frames after which the window closes; -1: none
    // Headless with a script and no --frames: the run closes after the first
    // frame presented once every event has been handed out.
    bool endWithScript = false;
    int64_t framesPresented = 0;
    // Script times count from the tick of the first message poll, which the first
    // frame follows at once (headless: exactly the first frame's tick).
    bool originSet = false;
    uint32_t originTick = 0;
    std::vector<ScriptEvent> script;           // in file order
    size_t nextEvent = 0;                      // first event not yet handed out
    int64_t scriptDoneAtFrame = -1;            // framesPresented when the last was handed out
    std::string finalCapture;                  // PNG of the last presented frame; empty: none
    std::vector<std::string> pendingCaptures;  // PNGs of the next presented frame
    // What the backend reports of its captures (it says why one failed on stderr).
    bool finalCaptureTried = false;  // written, or its failure counted below
    int capturesFailed = 0;
};

// Takes over the options: --frames, else headless 600 frames (or, with a
// script, until one frame after its last event), unlimited in a window; the
// virtual clock starts at tickStart.
void harnessConfigure(RunHarness& harness, const RunOptions& options);

// Moves every scripted event due at `now` (now - origin >= atMs, as unsigned
// 32-bit ticks, so a wrap of the tick count changes nothing) into `due`, in file
// order (the script parser refuses times out of order). The first call fixes the
// origin at `now`. Capture events are not returned: they join pendingCaptures.
void harnessTakeDueEvents(RunHarness& harness, uint32_t now, std::vector<ScriptEvent>& due);

// Records one presented frame: counts it and, headless, advances the virtual
// clock by stepMs. Returns true when this frame is the last one the frame limit
// allows (the window is then to be closed as by its close button).
bool harnessFramePresented(RunHarness& harness);

// The end of the run: says on stderr what was asked and not done (script events
// never reached, captures never written). False when a capture asked for was not
// written, so the run must not end as a success.
bool harnessFinish(const RunHarness& harness);

// Client-area mouse message lParam: x in the low 16 bits, y in the next 16
// (negative coordinates keep their two's complement low bits, as Win32 packs them).
intptr_t packMousePosition(int x, int y);
int mouseX(intptr_t lParam);  // sign-extended low 16 bits
int mouseY(intptr_t lParam);  // sign-extended bits 16..31

// The cursor of a run without a real one: what the program asked of it, so
// tests can check it and mouse moves can be echoed as a real window would.
struct VirtualCursor {
    int x = 0, y = 0;  // screen position
    bool confined = false;
    Rect clip;             // screen rectangle while confined (right and bottom exclusive)
    int displayCount = 0;  // shown while >= 0
    uint32_t confineCalls = 0, moveCalls = 0;
};

// Confines the cursor to `screenRect` (nullptr frees it) and pulls it inside.
// An empty or inverted rectangle confines to its top-left pixel, like Win32.
void virtualCursorClip(VirtualCursor& cursor, const Rect* screenRect);
// Moves the cursor, clamped into the confining rectangle when there is one.
void virtualCursorMove(VirtualCursor& cursor, int screenX, int screenY);
// Win32's display counter: +1 to show, -1 to hide; returns the new count.
int virtualCursorShow(VirtualCursor& cursor, bool show);
