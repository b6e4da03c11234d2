// The contract between the programs and a backend: every operation a backend
// provides is declared here, and nothing else reaches the platform.
//
// The operations mirror the Win32 and Direct3D 9 / D3DX 9 subsets the programs
// were designed against (same message codes, virtual-key codes, primitive types,
// vertex format bits and result codes), so that program code reads the same on
// every backend. Backends are chosen at link time:
//   shell/sdl_gl      SDL2 window + OpenGL 3.3 core; headless through EGL
//   shell/win32_d3d9  the real Win32 + Direct3D 9 + D3DX 9
//   shell/web         a page's canvas + WebGL 2 (emscripten)
//   shell/recording   keeps every draw call for tests; needs no GPU
// A backend defines every function below (the link fails on one left out) and
// includes this header where it defines them, so a definition that strays
// from its declaration does not compile (-Wmissing-declarations). Shared parts
// a new backend can reuse: shell/harness (virtual clock, scripted events,
// frame limit, PNG writing, virtual cursor), shell/message_queue.h (a queue
// with Win32's order where the platform has none), shell/window_frame.h (the
// outer-to-client frame), shell/gl (the graphics half on OpenGL).
//
// All objects are opaque and owned by the backend; release() frees them.
// Single-threaded: call everything from the program's one thread.
#pragma once

#include <cstdint>

#include "common/math.h"

struct RunOptions;  // shell/run_options.h

// ---- Result codes (COM style: negative is failure) ----
using HResult = int32_t;
constexpr HResult S_OK_ = 0;
constexpr HResult E_FAIL_ = static_cast<HResult>(0x80004005u);
inline bool failed(HResult hr) {
    return hr < 0;
}

// ---- Window messages and virtual keys (Win32 values) ----
namespace msg {
constexpr uint32_t Destroy = 0x0002;
constexpr uint32_t Close = 0x0010;
constexpr uint32_t Quit = 0x0012;
constexpr uint32_t KeyDown = 0x0100;
constexpr uint32_t MouseMove = 0x0200;
constexpr uint32_t LButtonDown = 0x0201;
constexpr uint32_t LButtonUp = 0x0202;
constexpr uint32_t RButtonDown = 0x0204;
constexpr uint32_t RButtonUp = 0x0205;
}  // namespace msg

namespace vk {
constexpr uint32_t Return = 0x0D;
constexpr uint32_t Escape = 0x1B;
constexpr uint32_t Space = 0x20;
constexpr uint32_t Prior = 0x21;  // Page Up
constexpr uint32_t Next = 0x22;   // Page Down
constexpr uint32_t Home = 0x24;
constexpr uint32_t Left = 0x25;
constexpr uint32_t Up = 0x26;
constexpr uint32_t Right = 0x27;
constexpr uint32_t Down = 0x28;
constexpr uint32_t Add = 0x6B;       // keypad +
constexpr uint32_t Subtract = 0x6D;  // keypad -
constexpr uint32_t F1 = 0x70;
// Letters and digits are their upper-case ASCII codes ('A' = 0x41, '0' = 0x30).
}  // namespace vk

struct Window;  // opaque
using WindowProc = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

struct Message {
    Window* window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;  // mouse messages: x in the low 16 bits, y in the next 16
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// ---- The run ----
// Hands the options to the backend; called once, before registerWindowClass.
// Unattended runs (headless, script, frame limit, captures) happen here on.
void configureRun(const RunOptions& options);
// The backend's end of the run, after the program has shut down: says on stderr
// what the options asked for and the run did not do (script events never
// reached, captures not written). False when a capture was not written.
bool finishRun();
// A backend whose host owns the loop (shell/web: the browser's animation
// frames) also defines runProgram (shell/program_loop.h) in place of the
// shell's; on Windows the backend defines attachParentConsole (below).
#if defined(_WIN32)
// Sends stdout and stderr to the console the program was started from, where
// they are not redirected already; nothing when there is no such console.
void attachParentConsole();
#endif

// ---- Platform (window, messages, cursor, time) ----
bool registerWindowClass(const char* className, WindowProc proc);
void unregisterWindowClass(const char* className);
// Outer position and size in screen pixels; the window starts hidden.
Window* createWindow(const char* className, const char* title, int x, int y, int width, int height);
void showWindow(Window* window);
void updateWindow(Window* window);
// Takes the next waiting message without waiting; false when none waits.
bool peekMessage(Message& out);
// True while `window` shows nothing: minimised, or hidden after it was shown.
// Never in headless runs, which draw every frame unseen.
bool isIconic(Window* window);
// Returns once a message waits (at once when one does): the thread sleeps
// meanwhile. A scripted event falling due counts as a message.
void waitMessage();
void translateMessage(const Message& m);
intptr_t dispatchMessage(const Message& m);
intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void postQuitMessage(int exitCode);
// Confines the cursor to a screen rectangle; nullptr frees it.
void clipCursor(const Rect* screenRect);
void setCursorPos(int screenX, int screenY);
// Increments (show) or decrements (hide) the display counter; returns the new count.
int showCursor(bool show);
bool getWindowRect(Window* window, Rect& out);
// The client area: left and top 0, right and bottom its width and height in the
// desktop's (logical) pixels. False for a window that is gone.
bool getClientRect(Window* window, Rect& out);
// Milliseconds; wraps around after 2^32.
uint32_t getTickCount();

// ---- Graphics (Direct3D 9 subset) ----
struct Direct3D;      // opaque
struct Device;        // opaque
struct VertexBuffer;  // opaque
struct Font;          // opaque

enum class PrimitiveType : uint32_t {
    PointList = 1,
    LineList = 2,
    LineStrip = 3,
    TriangleList = 4
};
enum class TransformState : uint32_t { View = 2, Projection = 3 };
// ZEnable acts only on a device made with a depth buffer (autoDepthStencil),
// where it starts on; depth passes when less than or equal to the stored one.
enum class RenderState : uint32_t { ZEnable = 7, CullMode = 22, Lighting = 137 };
constexpr uint32_t CullNone = 1;
constexpr uint32_t FvfXyz = 0x002;
constexpr uint32_t FvfDiffuse = 0x040;
constexpr uint32_t ClearTarget = 0x1;
constexpr uint32_t ClearZBuffer = 0x2;  // ignored without a depth buffer
// A vertex buffer refilled every frame: written only, its contents dropped at
// each lock with LockDiscard (the driver may hand out fresh memory meanwhile).
constexpr uint32_t UsageWriteOnly = 0x8;
constexpr uint32_t UsageDynamic = 0x200;
constexpr uint32_t LockDiscard = 0x2000;
constexpr uint32_t DtNoClip = 0x100;
constexpr uint32_t SdkVersion = 31;

// Presentation parameters; the programs pass windowed, discard, the display
// format, a client-sized single back buffer, default interval, and a depth
// buffer (24 bits where the platform has them) only when a mesh is drawn.
struct PresentParameters {
    bool windowed = true;
    bool autoDepthStencil = false;
    uint32_t presentationInterval = 0;  // 0: the default (vsync in a window)
};

Direct3D* direct3DCreate(uint32_t sdkVersion);  // nullptr on failure
// Default adapter, hardware device, software vertex processing.
HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out);
void setRenderState(Device* device, RenderState state, uint32_t value);
HResult createVertexBuffer(Device* device, uint32_t bytes, uint32_t usage, uint32_t fvf,
                           VertexBuffer** out);
HResult lockVertexBuffer(VertexBuffer* buffer, uint32_t offset, uint32_t bytes, void** data,
                         uint32_t flags);
HResult unlockVertexBuffer(VertexBuffer* buffer);
void setTransform(Device* device, TransformState state, const Matrix4& matrix);
void setStreamSource(Device* device, uint32_t stream, VertexBuffer* buffer, uint32_t offset,
                     uint32_t stride);
void setFvf(Device* device, uint32_t fvf);
void drawPrimitive(Device* device, PrimitiveType type, uint32_t startVertex,
                   uint32_t primitiveCount);
void clear(Device* device, uint32_t flags, uint32_t argb, float z, uint32_t stencil);
HResult beginScene(Device* device);
HResult endScene(Device* device);
HResult present(Device* device);

// Font: face name, character height (negative: height of the characters), weight.
HResult createFont(Device* device, int height, int width, int weight, int mipLevels, bool italic,
                   const char* faceName, Font** out);
// Draws `text` (length -1: NUL-terminated) with its top-left at (rect.left, rect.top).
int drawText(Font* font, const char* text, int length, const Rect& rect, uint32_t format,
             uint32_t argb);

// Each object is released once; nullptr is ignored.
void release(Font* font);
void release(VertexBuffer* buffer);
void release(Device* device);
void release(Direct3D* d3d);
