// Window, message queue, cursor and tick count on SDL2, shaped like their Win32
// counterparts: messages are posted to one queue (shell/message_queue.h) that
// peekMessage drains without waiting, a closed window is destroyed through
// defWindowProc, and the quit message comes after every other waiting message.
//
// Window geometry: programs give the outer size of a Win32 overlapped window.
// SDL sizes the client area, so the window is created with the client area that
// Win32 would give (outer - 16 x 39: a 500 x 500 window has 484 x 461) at the
// client position Win32 would use (outer + 8, 31). Screen rectangles handed back
// (getWindowRect) and taken (clipCursor, setCursorPos) use the same frame, so
// the program's arithmetic lands on the same client pixels as on Windows.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "shell/sdl_gl/internal.h"
#include "shell/sdl_gl/sdl_gl.h"
#include "shell/sdl_gl/x11_motion.h"
#include "shell/sdl_gl/x11_window.h"

namespace {

constexpr uintptr_t kMkLButton = 0x0001;
constexpr uintptr_t kMkRButton = 0x0002;
constexpr uintptr_t kMkShift = 0x0004;
constexpr uintptr_t kMkControl = 0x0008;
constexpr uintptr_t kMkMButton = 0x0010;
// A mouse motion by (x, y) in lParam, queued while the cursor is the program's
// own (see clipCursor); taken from the queue as the move where it lands.
constexpr uint32_t kRelativeMove = 0x8000;

std::map<std::string, WindowProc>& classes() {
    static std::map<std::string, WindowProc> registry;
    return registry;
}

bool isWindowAlive(const Window* window) {
    return window != nullptr && window->alive;
}

Window* windowFromSdl(uint32_t windowId) {
    SDL_Window* sdl = SDL_GetWindowFromID(windowId);
    for (const auto& w : backendState().windows) {
        if (w->alive && w->sdl == sdl) return w.get();
    }
    return nullptr;
}

// The program's cursor in `window`'s client pixels.
void clientPosition(Window* window, int& x, int& y) {
    int ox = 0, oy = 0;
    clientOrigin(window, ox, oy);
    x = backendState().cursor.x - ox;
    y = backendState().cursor.y - oy;
}

void post(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    backendState().queue.messages.push_back(Message{window, message, wParam, lParam});
}

// Brings up SDL's video subsystem once. Headless always uses the offscreen
// driver (EGL, no display needed). In a window SDL must find a real display:
// its fall-back to an offscreen or dummy driver would run with nothing shown.
bool startVideo(std::string& error) {
    BackendState& s = backendState();
    if (s.videoUp) return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // Ctrl+C ends the program as usual
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (runHeadless())
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
#if defined(__unix__) && !defined(__APPLE__)
    // In a Wayland session the window is a Wayland client: SDL 2.26 would pick X11
    // (Xwayland), whose relative motion drops the fraction of every delta, so slow
    // drags on a scaled desktop turn the camera by a fraction of their length.
    // X11 stays the fall-back. Outside a Wayland session only X11 can give a
    // window; letting SDL probe Wayland anyway makes libwayland print an
    // XDG_RUNTIME_DIR complaint nobody can act on. An SDL_VIDEODRIVER of the
    // user's is left to SDL.
    if (!runHeadless() && std::getenv("SDL_VIDEODRIVER") == nullptr) {
        if (std::getenv("WAYLAND_DISPLAY") != nullptr || std::getenv("WAYLAND_SOCKET") != nullptr) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland,x11");
        } else if (std::getenv("DISPLAY") == nullptr) {
            error = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
            return false;
        } else {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        }
    }
#endif
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!runHeadless() && driver != nullptr &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        error = "no display found (SDL fell back to its '" + std::string(driver) + "' driver)";
        return false;
    }
    s.videoUp = true;
    return true;
}

uintptr_t mouseKeyFlags(uint32_t sdlButtons) {
    uintptr_t flags = 0;
    if (sdlButtons & SDL_BUTTON_LMASK) flags |= kMkLButton;
    if (sdlButtons & SDL_BUTTON_RMASK) flags |= kMkRButton;
    if (sdlButtons & SDL_BUTTON_MMASK) flags |= kMkMButton;
    const SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_SHIFT) flags |= kMkShift;
    if (mod & KMOD_CTRL) flags |= kMkControl;
    return flags;
}

// SDL's window pixels to the program's (see Window::scale).
int unscale(const Window* w, int v) {
    return w->scale == 1.0 ? v : static_cast<int>(std::floor(v / w->scale));
}
// Relative motion in the program's pixels; the remainder is kept for the next.
void unscaleMotion(Window* w, int& dx, int& dy) {
    const double x = dx / w->scale + w->motionRestX, y = dy / w->scale + w->motionRestY;
    dx = static_cast<int>(std::trunc(x));
    dy = static_cast<int>(std::trunc(y));
    w->motionRestX = x - dx;
    w->motionRestY = y - dy;
}

// Posts the motion read from Xwayland since the last call, as SDL's relative
// motion would be.
void takeXwaylandMotion(Window* window) {
    BackendState& s = backendState();
    int dx = 0, dy = 0;
    if (window == nullptr || !s.relativeCursor || !s.xwaylandMotion || !xwaylandMotionTake(dx, dy))
        return;
    if (window->scale != 1.0) unscaleMotion(window, dx, dy);
    if (dx == 0 && dy == 0) return;
    post(window, kRelativeMove, mouseKeyFlags(SDL_GetMouseState(nullptr, nullptr)),
         packMousePosition(dx, dy));
}

void translateSdlEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN: {
            Window* w = windowFromSdl(e.key.windowID);
            const uint32_t key = sdlKeyToVirtualKey(e.key.keysym.scancode, e.key.keysym.sym);
            if (w == nullptr || key == 0) return;
            // lParam as Win32 fills it: repeat count 1, bit 30 set on auto-repeat.
            const intptr_t lParam = 1 | (e.key.repeat ? (intptr_t{1} << 30) : 0);
            post(w, msg::KeyDown, key, lParam);
            return;
        }
        case SDL_MOUSEMOTION: {
            Window* w = windowFromSdl(e.motion.windowID);
            if (w == nullptr) return;
            if (backendState().relativeCursor && backendState().xwaylandMotion) return;
            if (backendState().relativeCursor) {
                // Where it lands is known only when the move is taken (a
                // re-centring may come first).
                int dx = e.motion.xrel, dy = e.motion.yrel;
                if (w->scale != 1.0) unscaleMotion(w, dx, dy);
                if (dx != 0 || dy != 0)
                    post(w, kRelativeMove, mouseKeyFlags(e.motion.state),
                         packMousePosition(dx, dy));
                return;
            }
            post(w, msg::MouseMove, mouseKeyFlags(e.motion.state),
                 packMousePosition(unscale(w, e.motion.x), unscale(w, e.motion.y)));
            return;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            Window* w = windowFromSdl(e.button.windowID);
            if (w == nullptr) return;
            const bool down = e.type == SDL_MOUSEBUTTONDOWN;
            uint32_t message = 0;
            if (e.button.button == SDL_BUTTON_LEFT)
                message = down ? msg::LButtonDown : msg::LButtonUp;
            if (e.button.button == SDL_BUTTON_RIGHT)
                message = down ? msg::RButtonDown : msg::RButtonUp;
            if (message == 0) return;
            takeXwaylandMotion(w);  // the moves made before the press or release
            int x = unscale(w, e.button.x), y = unscale(w, e.button.y);
            if (backendState().relativeCursor) clientPosition(w, x, y);
            post(w, message, mouseKeyFlags(SDL_GetMouseState(nullptr, nullptr)),
                 packMousePosition(x, y));
            return;
        }
        case SDL_SYSWMEVENT:
            x11HandleEvent(e);
            return;
        case SDL_WINDOWEVENT: {
            Window* w = windowFromSdl(e.window.windowID);
            if (w != nullptr && e.window.event == SDL_WINDOWEVENT_CLOSE) post(w, msg::Close, 0, 0);
            return;
        }
        default:
            return;  // SDL_QUIT follows the close of the last window: handled above
    }
}

uint32_t realTickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(backendState().options.tickStart) +
                                 SDL_GetTicks64());
}

}  // namespace

BackendState& backendState() {
    static BackendState state;
    return state;
}

bool runHeadless() {
    return backendState().options.headless;
}

Window* activeWindow() {
    auto& windows = backendState().windows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->alive) return it->get();
    }
    return nullptr;
}

void clientOrigin(Window* window, int& x, int& y) {
    if (window->sdl != nullptr && !runHeadless()) {
        SDL_GetWindowPosition(window->sdl, &x, &y);
        return;
    }
    x = window->outer.left + kFrameLeft;
    y = window->outer.top + kFrameTop;
}

void configureRun(const RunOptions& options) {
    BackendState& s = backendState();
    s.options = options;
    harnessConfigure(s.harness, options);
    queueStartRun(s.queue, s.harness);
    s.cursor = VirtualCursor{};
    s.configured = true;
}

bool finishRun() {
    return harnessFinish(backendState().harness);
}

void framePresented() {
    BackendState& s = backendState();
    queueFramePresented(s.queue, s.harness);
}

bool registerWindowClass(const char* className, WindowProc proc) {
    if (className == nullptr || proc == nullptr) return false;
    return classes().emplace(className, proc).second;
}

void unregisterWindowClass(const char* className) {
    if (className != nullptr) classes().erase(className);
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    if (className == nullptr) return nullptr;
    auto found = classes().find(className);
    if (found == classes().end()) {
        std::fprintf(stderr, "createWindow: no window class '%s' is registered\n", className);
        return nullptr;
    }
    std::string error;
    if (!startVideo(error)) {
        std::fprintf(stderr, "createWindow: cannot open a window: %s\n", error.c_str());
        return nullptr;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_FORWARD_COMPATIBLE_FLAG);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);

    const int clientWidth = width - kFrameExtraWidth > 0 ? width - kFrameExtraWidth : 1;
    const int clientHeight = height - kFrameExtraHeight > 0 ? height - kFrameExtraHeight : 1;
    // On a scaled X11 desktop the window opens at the scaled size (Wayland
    // scales SDL's windows itself; there SDL's pixels are the desktop's).
    double scale = 1.0;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!runHeadless() && driver != nullptr && std::strcmp(driver, "x11") == 0)
        scale = x11DesktopScale();
    SDL_Window* sdl = SDL_CreateWindow(
        title != nullptr ? title : "", x + kFrameLeft, y + kFrameTop,
        static_cast<int>(std::lround(clientWidth * scale)),
        static_cast<int>(std::lround(clientHeight * scale)),
        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (sdl == nullptr) {
        std::fprintf(stderr, "createWindow: %s\n", SDL_GetError());
        return nullptr;
    }
    backendState().windows.push_back(std::make_unique<Window>());
    Window* window = backendState().windows.back().get();
    window->sdl = sdl;
    window->scale = scale;
    window->proc = found->second;
    window->alive = true;
    window->outer =
        Rect{x, y, x + clientWidth + kFrameExtraWidth, y + clientHeight + kFrameExtraHeight};
    if (!runHeadless()) window->xid = x11WatchWindow(sdl);
    return window;
}

void showWindow(Window* window) {
    if (!isWindowAlive(window) || runHeadless()) return;
    SDL_ShowWindow(window->sdl);
    window->shown = true;
}

void updateWindow(Window* /*window*/) {
    // Win32 paints a pending update region here; frames are drawn by the loop.
}

namespace {
void destroyWindow(Window* window);
}

bool peekMessage(Message& out) {
    BackendState& s = backendState();
    // Scripted mouse input moves the cursor only headless: in a window the
    // pointer is the person's.
    ScriptTarget target;
    target.window = activeWindow();
    if (target.window != nullptr) {
        target.buttons = &target.window->buttons;
        if (runHeadless()) {
            target.cursor = &s.cursor;
            clientOrigin(target.window, target.originX, target.originY);
        }
    }
    std::vector<Message> due;
    runMessagesDue(s.queue, s.harness, getTickCount(), target, due);
    for (const Message& m : due) s.queue.messages.push_back(m);
    if (s.videoUp) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) translateSdlEvent(e);
        takeXwaylandMotion(activeWindow());
        // A window destroyed by another client goes as through DestroyWindow.
        for (const auto& w : s.windows)
            if (w->alive && x11WindowLost(w->xid)) destroyWindow(w.get());
    }
    while (queueTake(s.queue, out)) {
        if (out.message == kRelativeMove) {
            VirtualCursor& c = s.cursor;
            virtualCursorMove(c, c.x + mouseX(out.lParam), c.y + mouseY(out.lParam));
            int x = 0, y = 0;
            if (out.window != nullptr && out.window->alive) clientPosition(out.window, x, y);
            out.message = msg::MouseMove;
            out.lParam = packMousePosition(x, y);
        }
        // Messages for a window destroyed since they were posted are dropped.
        if (out.window == nullptr || out.window->alive) return true;
    }
    return false;
}

bool isIconic(Window* window) {
    if (!isWindowAlive(window) || !window->shown || runHeadless()) return false;
    return (SDL_GetWindowFlags(window->sdl) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
}

void waitMessage() {
    BackendState& s = backendState();
    if (queueWaiting(s.queue) || !s.videoUp) return;
    // A script still running wakes the loop when its next event may be due.
    const bool scripted = s.harness.nextEvent < s.harness.script.size();
    SDL_Event e;
    if (scripted ? SDL_WaitEventTimeout(&e, 10) : SDL_WaitEvent(&e)) translateSdlEvent(e);
}

void translateMessage(const Message& /*m*/) {
    // Character messages are not part of the service set; key-downs carry all.
}

intptr_t dispatchMessage(const Message& m) {
    if (!isWindowAlive(m.window) || m.window->proc == nullptr) return 0;
    return m.window->proc(m.window, m.message, m.wParam, m.lParam);
}

namespace {

// As DestroyWindow: the window procedure gets Destroy while the window still
// exists, then the window and whatever still draws into it go away.
void destroyWindow(Window* window) {
    if (!isWindowAlive(window)) return;
    if (window->device != nullptr) writeFinalCapture(window->device);
    window->proc(window, msg::Destroy, 0, 0);
    if (window->device != nullptr) detachDevice(window->device);
    window->alive = false;
    BackendState& s = backendState();
    if (s.relativeCursor) {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        s.relativeCursor = false;
        xwaylandMotionEnd();
        s.xwaylandMotion = false;
    }
    if (runHeadless()) {
        // An offscreen window is never seen, so it is only parked: destroying
        // its EGL surface makes Mesa lose an allocation, which leak checkers
        // then pin on the program.
        SDL_HideWindow(window->sdl);
        backendState().parkedWindows.push_back(window->sdl);
    } else {
        SDL_DestroyWindow(window->sdl);
    }
    window->sdl = nullptr;
}

}  // namespace

intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t /*wParam*/,
                       intptr_t /*lParam*/) {
    if (message == msg::Close) destroyWindow(window);
    return 0;
}

void postQuitMessage(int exitCode) {
    queuePostQuit(backendState().queue, exitCode);
}

// Win32 moves its cursor at once and then reports the move that lands as a
// message. Under X11 a warp is neither immediate nor made while SDL confines
// the pointer, so measuring a drag from the re-centring point would take moves
// from stale places. While the program confines the cursor, the real pointer is
// therefore held in SDL's relative mode and the program's cursor is moved by
// the mouse's motion, confined and re-centred here, exactly as in a headless
// run; when the cursor is freed the real pointer is put where it then is.
void clipCursor(const Rect* screenRect) {
    BackendState& s = backendState();
    Window* w = activeWindow();
    const bool real = !runHeadless() && w != nullptr;
    if (real && screenRect != nullptr && !s.relativeCursor) {
        int x = 0, y = 0, ox = 0, oy = 0;
        SDL_GetMouseState(&x, &y);
        clientOrigin(w, ox, oy);
        virtualCursorMove(s.cursor, ox + unscale(w, x), oy + unscale(w, y));
        w->motionRestX = w->motionRestY = 0.0;
        s.relativeCursor = SDL_SetRelativeMouseMode(SDL_TRUE) == 0;
        s.xwaylandMotion = s.relativeCursor && xwaylandMotionBegin();
    }
    virtualCursorClip(s.cursor, screenRect);
    if (real && screenRect == nullptr && s.relativeCursor) {
        int x = 0, y = 0;
        clientPosition(w, x, y);
        const int sx = static_cast<int>(std::lround(x * w->scale));
        const int sy = static_cast<int>(std::lround(y * w->scale));
        // In relative mode a warp only tells SDL where the pointer is; leaving
        // the mode, SDL puts it there before it shows the cursor again: the one
        // moment Xwayland lets a client move the pointer.
        SDL_WarpMouseInWindow(w->sdl, sx, sy);
        SDL_SetRelativeMouseMode(SDL_FALSE);
        s.relativeCursor = false;
        xwaylandMotionEnd();
        s.xwaylandMotion = false;
        SDL_WarpMouseInWindow(w->sdl, sx, sy);  // SDL skips its own when the window lost focus
    }
}

void setCursorPos(int screenX, int screenY) {
    BackendState& s = backendState();
    virtualCursorMove(s.cursor, screenX, screenY);
    Window* w = activeWindow();
    if (w == nullptr) return;
    if (!runHeadless() && !s.relativeCursor) {
        int ox = 0, oy = 0;
        clientOrigin(w, ox, oy);
        SDL_WarpMouseInWindow(w->sdl, static_cast<int>(std::lround((screenX - ox) * w->scale)),
                              static_cast<int>(std::lround((screenY - oy) * w->scale)));  // echoed
        return;
    }
    // The move a real window would receive, if the cursor lands on it.
    int cx = 0, cy = 0, width = 0, height = 0;
    clientPosition(w, cx, cy);
    uintptr_t buttons = w->buttons;
    if (runHeadless()) {
        width = w->outer.right - w->outer.left - kFrameExtraWidth;
        height = w->outer.bottom - w->outer.top - kFrameExtraHeight;
    } else {
        SDL_GetWindowSize(w->sdl, &width, &height);
        width = unscale(w, width);
        height = unscale(w, height);
        buttons = mouseKeyFlags(SDL_GetMouseState(nullptr, nullptr));
    }
    if (cx < 0 || cy < 0 || cx >= width || cy >= height) return;
    // A real window's echo reports the cursor right after the move, before any
    // motion that follows it.
    const Message echo{w, msg::MouseMove, buttons, packMousePosition(cx, cy)};
    if (runHeadless())
        s.queue.messages.push_back(echo);
    else
        s.queue.messages.push_front(echo);
}

int showCursor(bool show) {
    BackendState& s = backendState();
    const bool wasShown = s.cursor.displayCount >= 0;
    const int count = virtualCursorShow(s.cursor, show);
    const bool shown = count >= 0;
    if (!runHeadless() && s.videoUp && shown != wasShown) {
        SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
    }
    return count;
}

bool getWindowRect(Window* window, Rect& out) {
    if (!isWindowAlive(window)) return false;
    if (runHeadless()) {
        out = window->outer;
        return true;
    }
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    SDL_GetWindowSize(window->sdl, &w, &h);
    w = unscale(window, w);
    h = unscale(window, h);
    out = Rect{x - kFrameLeft, y - kFrameTop, x - kFrameLeft + w + kFrameExtraWidth,
               y - kFrameTop + h + kFrameExtraHeight};
    return true;
}

bool getClientRect(Window* window, Rect& out) {
    if (!isWindowAlive(window)) return false;
    int w = window->outer.right - window->outer.left - kFrameExtraWidth;
    int h = window->outer.bottom - window->outer.top - kFrameExtraHeight;
    if (!runHeadless()) {
        SDL_GetWindowSize(window->sdl, &w, &h);
        w = unscale(window, w);
        h = unscale(window, h);
    }
    out = Rect{0, 0, w, h};
    return true;
}

uint32_t getTickCount() {
    if (runHeadless()) return backendState().harness.virtualTick;
    return realTickCount();
}

const VirtualCursor& sdlGlCursor() {
    return backendState().cursor;
}
