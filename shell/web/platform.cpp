// Window, message queue, cursor and tick count in a web page, shaped like their
// Win32 counterparts. The window is the page's canvas (its client area, 484 x
// 461 for the programs' 500 x 500 window); the page's keyboard and mouse events
// become window messages on one queue (shell/message_queue.h) that peekMessage
// drains without waiting.
// Screen rectangles use the frame of a Win32 window at the asked position, as
// the headless Linux backend does, so the programs' cursor arithmetic lands on
// the same client pixels.

#include <emscripten.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/web/web.h"
#include "shell/window_frame.h"

namespace {

constexpr uintptr_t kMkLButton = 0x0001, kMkRButton = 0x0002;

void post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WebState& s = webState();
    if (!s.window.alive) return;
    if (message == msg::MouseMove && s.window.buttons != 0) {
        int ox = 0, oy = 0;
        clientOrigin(ox, oy);
        s.dragCursorX = ox + mouseX(lParam);
        s.dragCursorY = oy + mouseY(lParam);
        s.dragCursorSet = true;
    }
    s.queue.messages.push_back(Message{&s.window, message, wParam, lParam});
}

// Virtual-key code of a KeyboardEvent; 0 for keys the programs never see.
// Keys told apart by their place on the keyboard come from `code` (so the
// keypad's + and - are Add and Subtract whatever Num Lock says, and the main
// keyboard's + and - stay the OEM keys that do nothing); letters and digits
// follow the layout from `key`, as virtual keys do.
uint32_t virtualKey(const char* code, const char* key) {
    struct Named {
        const char* code;
        uint32_t vk;
    };
    static const Named table[] = {
        {"NumpadAdd", vk::Add},   {"NumpadSubtract", vk::Subtract},
        {"NumpadMultiply", 0x6A}, {"NumpadDivide", 0x6F},
        {"NumpadDecimal", 0x6E},  {"NumpadEnter", vk::Return},
        {"Enter", vk::Return},    {"Escape", vk::Escape},
        {"Backspace", 0x08},      {"Tab", 0x09},
        {"Space", 0x20},          {"PageUp", vk::Prior},
        {"PageDown", vk::Next},   {"End", 0x23},
        {"Home", 0x24},           {"ArrowLeft", vk::Left},
        {"ArrowUp", vk::Up},      {"ArrowRight", vk::Right},
        {"ArrowDown", vk::Down},  {"Insert", 0x2D},
        {"Delete", 0x2E},         {"ShiftLeft", 0x10},
        {"ShiftRight", 0x10},     {"ControlLeft", 0x11},
        {"ControlRight", 0x11},   {"AltLeft", 0x12},
        {"AltRight", 0x12},       {"Equal", 0xBB},
        {"Minus", 0xBD},          {"Comma", 0xBC},
        {"Period", 0xBE},
    };
    for (const Named& n : table)
        if (std::strcmp(code, n.code) == 0) return n.vk;
    if (std::strncmp(code, "Numpad", 6) == 0 && code[6] >= '0' && code[6] <= '9' && !code[7])
        return 0x60 + static_cast<uint32_t>(code[6] - '0');
    if (code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
        const int n = std::atoi(code + 1);
        if (n >= 1 && n <= 12) return vk::F1 + static_cast<uint32_t>(n - 1);
    }
    if (key[0] != '\0' && key[1] == '\0') {
        const char c = key[0];
        if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<uint32_t>(c);
    }
    if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && !code[4])
        return static_cast<uint32_t>(code[3]);
    if (std::strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9' && !code[6])
        return static_cast<uint32_t>(code[5]);
    return 0;
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* e, void*) {
    const uint32_t key = virtualKey(e->code, e->key);
    if (key == 0) return EM_FALSE;
    // lParam as Win32 fills it: repeat count 1, bit 30 set on auto-repeat.
    post(msg::KeyDown, key, 1 | (e->repeat ? (intptr_t{1} << 30) : 0));
    // The page does not scroll, and F1 opens no help, while the program has the
    // keys; the browser keeps its shortcuts, and Tab moves the focus on (the
    // keys then stay with the page).
    return !(e->ctrlKey || e->metaKey || e->altKey || key == 0x09);
}

// Set by the canvas's release handler, read by the document's (below).
bool releaseTakenByCanvas = false;

// Moves the cursor with the pointer and posts the message at its client position.
EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void*) {
    WebState& s = webState();
    if (!s.window.alive) return EM_FALSE;
    double sx = 1, sy = 1;
    canvasScale(sx, sy);
    int ox = 0, oy = 0;
    clientOrigin(ox, oy);
    if (s.cursor.displayCount < 0) {
        // Hidden during a drag: only the movement counts (under a pointer lock
        // there is no position), and the cursor stays within its confinement.
        virtualCursorMove(s.cursor, s.cursor.x + static_cast<int>(std::lround(e->movementX * sx)),
                          s.cursor.y + static_cast<int>(std::lround(e->movementY * sy)));
    } else {
        s.cursor.x = ox + static_cast<int>(std::floor(e->targetX * sx));
        s.cursor.y = oy + static_cast<int>(std::floor(e->targetY * sy));
    }
    const intptr_t at = packMousePosition(s.cursor.x - ox, s.cursor.y - oy);
    uint32_t message = msg::MouseMove;
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN || type == EMSCRIPTEN_EVENT_MOUSEUP) {
        const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
        if (e->button == 0) {
            message = down ? msg::LButtonDown : msg::LButtonUp;
            s.window.buttons =
                down ? s.window.buttons | kMkLButton : s.window.buttons & ~kMkLButton;
        } else if (e->button == 2) {
            message = down ? msg::RButtonDown : msg::RButtonUp;
            s.window.buttons =
                down ? s.window.buttons | kMkRButton : s.window.buttons & ~kMkRButton;
        } else {
            return EM_FALSE;
        }
        if (down) {
            s.touchDrag = false;
            focusCanvas();
        }
        releaseTakenByCanvas = !down;
    }
    post(message, s.window.buttons, at);
    return message != msg::MouseMove;  // no text selection or menu from a press on the canvas
}

// A button released off the canvas (the pointer left it during a drag that the
// browser did not lock to the canvas) still ends the drag, as the confined
// cursor of a real window never lets it go unseen. It bubbles to the document
// after the canvas's own handler, which marks the releases it took.

EM_BOOL onMouseUpAnywhere(int, const EmscriptenMouseEvent* e, void*) {
    WebState& s = webState();
    const bool taken = releaseTakenByCanvas;
    releaseTakenByCanvas = false;
    const uintptr_t flag = e->button == 0 ? kMkLButton : e->button == 2 ? kMkRButton : 0;
    if (taken || !s.window.alive || (s.window.buttons & flag) == 0) return EM_FALSE;
    s.window.buttons &= ~flag;
    int ox = 0, oy = 0;
    clientOrigin(ox, oy);
    post(flag == kMkLButton ? msg::LButtonUp : msg::RButtonUp, s.window.buttons,
         packMousePosition(s.cursor.x - ox, s.cursor.y - oy));
    return EM_FALSE;
}

void listen() {
    emscripten_set_keydown_callback(kCanvas, nullptr, EM_TRUE, onKeyDown);
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseup_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mousemove_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                    onMouseUpAnywhere);
    listenTouch();
    // No context menu on a right drag.
    EM_ASM(document.querySelector(UTF8ToString($0))
               .addEventListener(
                   "contextmenu", function(e) { e.preventDefault(); }),
           kCanvas);
}

void unlisten() {
    emscripten_set_keydown_callback(kCanvas, nullptr, EM_TRUE, nullptr);
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, nullptr);
    emscripten_set_mouseup_callback(kCanvas, nullptr, EM_TRUE, nullptr);
    emscripten_set_mousemove_callback(kCanvas, nullptr, EM_TRUE, nullptr);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, nullptr);
    unlistenTouch();
}

// As DestroyWindow: the window procedure gets Destroy while the window still
// exists, then the window and whatever still draws into it go away.
void destroyWindow(Window* window) {
    if (window == nullptr || !window->alive) return;
    window->proc(window, msg::Destroy, 0, 0);
    if (window->device != nullptr) detachDevice(window->device);
    window->alive = false;
    unlisten();
    emscripten_exit_pointerlock();
}

}  // namespace

WebState& webState() {
    static WebState state;
    return state;
}

void postWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    post(message, wParam, lParam);
}

void canvasScale(double& sx, double& sy) {
    double cssW = 0, cssH = 0;
    int w = 0, h = 0;
    emscripten_get_element_css_size(kCanvas, &cssW, &cssH);
    emscripten_get_canvas_element_size(kCanvas, &w, &h);
    sx = cssW > 0 ? w / cssW : 1.0;
    sy = cssH > 0 ? h / cssH : 1.0;
}

void focusCanvas() {
    EM_ASM(document.querySelector(UTF8ToString($0)).focus({preventScroll : true}), kCanvas);
}

void clientOrigin(int& x, int& y) {
    const Window& w = webState().window;
    x = w.outer.left + kFrameLeft;
    y = w.outer.top + kFrameTop;
}

void configureRun(const RunOptions& options) {
    WebState& s = webState();
    s.options = options;
    harnessConfigure(s.harness, options);
    queueStartRun(s.queue, s.harness);
    s.cursor = VirtualCursor{};
}

bool finishRun() {
    return harnessFinish(webState().harness);
}

void framePresented() {
    WebState& s = webState();
    queueFramePresented(s.queue, s.harness);
}

bool registerWindowClass(const char* className, WindowProc proc) {
    WebState& s = webState();
    if (className == nullptr || proc == nullptr || s.classProc != nullptr) return false;
    s.className = className;
    s.classProc = proc;
    return true;
}

void unregisterWindowClass(const char* className) {
    WebState& s = webState();
    if (className != nullptr && s.className == className) {
        s.className.clear();
        s.classProc = nullptr;
    }
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    WebState& s = webState();
    if (className == nullptr || s.classProc == nullptr || s.className != className) {
        std::fprintf(stderr, "createWindow: no window class '%s' is registered\n",
                     className != nullptr ? className : "");
        return nullptr;
    }
    if (s.windowCreated) {
        std::fprintf(stderr, "createWindow: the page has one canvas, already in use\n");
        return nullptr;
    }
    const int clientWidth = width - kFrameExtraWidth > 0 ? width - kFrameExtraWidth : 1;
    const int clientHeight = height - kFrameExtraHeight > 0 ? height - kFrameExtraHeight : 1;
    if (emscripten_set_canvas_element_size(kCanvas, clientWidth, clientHeight) !=
        EMSCRIPTEN_RESULT_SUCCESS) {
        std::fprintf(stderr, "createWindow: the page has no canvas '%s'\n", kCanvas);
        return nullptr;
    }
    s.windowCreated = true;
    s.window = Window{};
    s.window.proc = s.classProc;
    s.window.alive = true;
    s.window.outer = Rect{x, y, x + width, y + height};
    if (title != nullptr) emscripten_set_window_title(title);
    listen();
    return &s.window;
}

void showWindow(Window* window) {
    if (window != nullptr && window->alive) focusCanvas();
}

void updateWindow(Window*) {
    // Win32 paints a pending update region here; frames are drawn by the loop.
}

bool peekMessage(Message& out) {
    WebState& s = webState();
    // The page has no pointer to move: scripted mouse input moves the cursor
    // the program sees, as a real one would.
    ScriptTarget target;
    if (s.window.alive) {
        target.window = &s.window;
        target.buttons = &s.window.buttons;
        target.cursor = &s.cursor;
        clientOrigin(target.originX, target.originY);
    }
    std::vector<Message> due;
    runMessagesDue(s.queue, s.harness, getTickCount(), target, due);
    for (const Message& m : due) post(m.message, m.wParam, m.lParam);
    while (queueTake(s.queue, out)) {
        // Messages for a window destroyed since they were posted are dropped.
        if (out.window == nullptr || out.window->alive) return true;
    }
    return false;
}

// A hidden page gets no animation frames from the browser: nothing to wait for.
bool isIconic(Window*) {
    return false;
}

void waitMessage() {}

void translateMessage(const Message&) {
    // Character messages are not part of the service set; key-downs carry all.
}

intptr_t dispatchMessage(const Message& m) {
    if (m.window == nullptr || !m.window->alive || m.window->proc == nullptr) return 0;
    return m.window->proc(m.window, m.message, m.wParam, m.lParam);
}

intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t) {
    if (message == msg::Close) destroyWindow(window);
    return 0;
}

void postQuitMessage(int exitCode) {
    queuePostQuit(webState().queue, exitCode);
}

void clipCursor(const Rect* screenRect) {
    virtualCursorClip(webState().cursor, screenRect);
}

void setCursorPos(int screenX, int screenY) {
    WebState& s = webState();
    virtualCursorMove(s.cursor, screenX, screenY);
    if (!s.window.alive) return;
    // No page can move the pointer; the cursor the program sees moves, and the
    // window gets the move a real one would send when it lands on the client area.
    int ox = 0, oy = 0;
    clientOrigin(ox, oy);
    const int cx = s.cursor.x - ox, cy = s.cursor.y - oy;
    const Rect& r = s.window.outer;
    if (cx >= 0 && cy >= 0 && cx < r.right - r.left - kFrameExtraWidth &&
        cy < r.bottom - r.top - kFrameExtraHeight)
        post(msg::MouseMove, s.window.buttons, packMousePosition(cx, cy));
}

int showCursor(bool show) {
    WebState& s = webState();
    const bool wasShown = s.cursor.displayCount >= 0;
    const int count = virtualCursorShow(s.cursor, show);
    const bool shown = count >= 0;
    if (s.window.alive && shown != wasShown) {
        // Hidden: the pointer is locked to the canvas (movement keeps coming at
        // the screen's edge); where a lock is refused, the pointer is only hidden.
        EM_ASM(document.querySelector(UTF8ToString($0)).style.cursor = $1 ? "" : "none", kCanvas,
               shown);
        if (shown)
            emscripten_exit_pointerlock();
        else if (!s.touchDrag)
            emscripten_request_pointerlock(kCanvas, EM_TRUE);
    }
    return count;
}

bool getWindowRect(Window* window, Rect& out) {
    if (window == nullptr || !window->alive) return false;
    out = window->outer;
    return true;
}

bool getClientRect(Window* window, Rect& out) {
    if (window == nullptr || !window->alive) return false;
    out = Rect{0, 0, window->outer.right - window->outer.left - kFrameExtraWidth,
               window->outer.bottom - window->outer.top - kFrameExtraHeight};
    return true;
}

uint32_t getTickCount() {
    WebState& s = webState();
    if (s.options.headless) return s.harness.virtualTick;
    // The page's monotonic clock, from the tick count the run starts at.
    return static_cast<uint32_t>(uint64_t{s.options.tickStart} +
                                 static_cast<uint64_t>(emscripten_get_now()));
}
