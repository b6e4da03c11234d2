// A backend of shell/services.h for tests: it draws nothing and keeps a record
// of every call a program makes, with a copy of the vertices each draw call
// reads, so tests can check what a frame would show without a GPU.
//
// Time is virtual: getTickCount() returns `controls().tick`, which advances by
// `controls().stepMs` after each present. Messages are queued in order; a test
// posts its own with postTestMessage() or schedules them for a later frame with
// scheduleMessage(). Every creation and the vertex buffer lock can be made to
// fail. Single-threaded, like the programs; reset() starts a fresh run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/math.h"
#include "shell/run_options.h"
#include "shell/services.h"
#include "shell/window_frame.h"

namespace recording {

enum class CallKind {
    RegisterClass,
    UnregisterClass,
    CreateWindow,
    ShowWindow,
    UpdateWindow,
    PostQuit,
    ClipCursor,
    SetCursorPos,
    ShowCursor,
    GetWindowRect,
    CreateDirect3D,
    CreateDevice,
    SetRenderState,
    CreateVertexBuffer,
    Lock,
    Unlock,
    SetTransform,
    SetStreamSource,
    SetFvf,
    DrawPrimitive,
    Clear,
    BeginScene,
    EndScene,
    Present,
    CreateFont,
    DrawText,
    ReleaseFont,
    ReleaseVertexBuffer,
    ReleaseDevice,
    ReleaseDirect3D,
};

// One recorded call. Only the fields that belong to the call's kind are set.
struct Call {
    CallKind kind = CallKind::Present;
    HResult result = S_OK_;
    // Generic integer arguments, in the order of the service's parameters
    // (for example Lock: offset, bytes, flags; DrawPrimitive: type, start, count;
    // Clear: flags, argb, stencil; SetStreamSource: stream, offset, stride).
    uint32_t a = 0, b = 0, c = 0;
    float z = 0.0f;                    // Clear: depth
    Matrix4 matrix;                    // SetTransform
    bool hasRect = false;              // ClipCursor: false when the cursor is freed
    Rect rect;                         // ClipCursor, DrawText
    int x = 0, y = 0;                  // SetCursorPos
    std::string text;                  // DrawText, CreateFont: face, class names
    std::vector<LineVertex> vertices;  // DrawPrimitive: the vertices it reads
    bool readPastBuffer = false;       // DrawPrimitive: reads beyond the buffer's end
    bool withoutBuffer = false;        // DrawPrimitive: no stream source was set
};

struct Controls {
    uint32_t tick = 1000000;  // what getTickCount() returns
    uint32_t stepMs = 16;     // added to `tick` after each present
    bool keepCalls = true;    // false: calls are made but not kept (benchmarks)
    // Failures to simulate.
    bool failRegisterClass = false;
    bool failCreateWindow = false;
    bool failDirect3D = false;
    bool failDevice = false;
    bool failFont = false;
    bool failVertexBuffer = false;
    bool failBeginScene = false;
    int64_t failLockNumber = -1;  // the lock with this 0-based number fails (-1: none)
    bool failAllLocks = false;
    // Outer window rectangle reported by getWindowRect and used to turn
    // setCursorPos screen coordinates into the client coordinates of the echo.
    Rect windowRect = {100, 100, 600, 600};
    int clientOffsetX = kFrameLeft, clientOffsetY = kFrameTop;
    // After this many presents a close is posted, as a window close button would
    // (-1: never). configureRun sets it from --frames.
    int64_t closeAfterPresents = -1;
};

void reset();
Controls& controls();
const std::vector<Call>& calls();
void clearCalls();
// Queues a message for the program's window (or a thread message without one).
void postTestMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
// Queues a message once `presents` presents have happened.
void scheduleMessage(uint64_t presents, uint32_t message, uintptr_t wParam = 0,
                     intptr_t lParam = 0);
uint64_t presentCount();
// Objects created and not yet released.
int liveObjects();
// The cursor display counter (ShowCursor), starting at 0.
int cursorCount();
// The options handed over by configureRun.
const RunOptions& configuredOptions();
// Client-coordinate lParam of a mouse message.
inline intptr_t mouseParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFFu) |
                                 ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

// Convenience filters over calls().
std::vector<Call> callsOf(CallKind kind);
size_t countOf(CallKind kind);
// The calls of drawn frame `n` (1-based): from its cursor call to its present.
std::vector<Call> callsOfFrame(int n);
// The calls of one kind among `calls`.
std::vector<Call> callsOf(const std::vector<Call>& calls, CallKind kind);

}  // namespace recording
