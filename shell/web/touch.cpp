// Touches on the canvas become the mouse messages of the same gestures, so the
// programs' own mouse look turns and zooms the camera:
//   one finger        a left-button drag (orbit), a tap a left click
//   two fingers       a right-button drag (zoom): the fingers' midpoint moving up,
//                     or the fingers spreading apart, count as the mouse moving up
//                     by as many canvas pixels
// A touch drag moves the cursor by the finger's movement in canvas pixels (the
// mouse's rate however the page scales the canvas), starting where the last drag
// left it, so the first move turns the camera by the movement alone. After a
// two-finger zoom the remaining finger does nothing until every finger is up.

#include <cmath>

#include "shell/web/web.h"

namespace {

constexpr uintptr_t kMkLButton = 0x0001, kMkRButton = 0x0002;
// Where the programs' mouse look starts measuring before any drag (client pixels).
constexpr int kFirstLookX = 250, kFirstLookY = 250;

enum class Gesture { None, Orbit, Zoom, Done };

struct {
    Gesture gesture = Gesture::None;
    double x = 0, y = 0;          // the gesture's point (CSS pixels) at the last event
    double restX = 0, restY = 0;  // canvas-pixel movement not yet applied to the cursor
} touch;

// The gesture's point of the fingers still down (CSS pixels of the canvas):
// one finger's place; for two, their midpoint raised by their distance.
int gesturePoint(const EmscriptenTouchEvent* e, int type, double& x, double& y) {
    int down = 0;
    double px[2] = {0, 0}, py[2] = {0, 0};
    const bool ending = type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL;
    for (int i = 0; i < e->numTouches; ++i) {
        const EmscriptenTouchPoint& t = e->touches[i];
        if (ending && t.isChanged) continue;  // lifted by this event
        if (down < 2) {
            px[down] = t.targetX;
            py[down] = t.targetY;
        }
        ++down;
    }
    if (down == 1) {
        x = px[0];
        y = py[0];
    } else if (down >= 2) {
        x = (px[0] + px[1]) / 2;
        y = (py[0] + py[1]) / 2 - std::hypot(px[1] - px[0], py[1] - py[0]);
    }
    return down;
}

intptr_t cursorLParam() {
    const WebState& s = webState();
    int ox = 0, oy = 0;
    clientOrigin(ox, oy);
    return packMousePosition(s.cursor.x - ox, s.cursor.y - oy);
}

void button(uint32_t message, uintptr_t flag, bool down) {
    WebState& s = webState();
    s.window.buttons = down ? s.window.buttons | flag : s.window.buttons & ~flag;
    postWindowMessage(message, s.window.buttons, cursorLParam());
}

// Moves the cursor by the gesture's movement since the last event.
void follow(double x, double y) {
    WebState& s = webState();
    double sx = 1, sy = 1;
    canvasScale(sx, sy);
    touch.restX += (x - touch.x) * sx;
    touch.restY += (y - touch.y) * sy;
    touch.x = x;
    touch.y = y;
    const long dx = std::lround(touch.restX), dy = std::lround(touch.restY);
    if (dx == 0 && dy == 0) return;
    touch.restX -= static_cast<double>(dx);
    touch.restY -= static_cast<double>(dy);
    virtualCursorMove(s.cursor, s.cursor.x + static_cast<int>(dx),
                      s.cursor.y + static_cast<int>(dy));
    postWindowMessage(msg::MouseMove, s.window.buttons, cursorLParam());
}

void begin(Gesture gesture, double x, double y) {
    WebState& s = webState();
    touch.gesture = gesture;
    touch.x = x;
    touch.y = y;
    touch.restX = touch.restY = 0;
    s.touchDrag = true;
    if (!s.dragCursorSet) {
        int ox = 0, oy = 0;
        clientOrigin(ox, oy);
        s.dragCursorX = ox + kFirstLookX;
        s.dragCursorY = oy + kFirstLookY;
    }
    virtualCursorMove(s.cursor, s.dragCursorX, s.dragCursorY);
    if (gesture == Gesture::Orbit)
        button(msg::LButtonDown, kMkLButton, true);
    else
        button(msg::RButtonDown, kMkRButton, true);
}

EM_BOOL onTouch(int type, const EmscriptenTouchEvent* e, void*) {
    WebState& s = webState();
    if (!s.window.alive) return EM_FALSE;
    if (type == EMSCRIPTEN_EVENT_TOUCHSTART) focusCanvas();
    double x = 0, y = 0;
    const int down = gesturePoint(e, type, x, y);
    switch (touch.gesture) {
        case Gesture::None:
            if (down == 1) begin(Gesture::Orbit, x, y);
            if (down >= 2) begin(Gesture::Zoom, x, y);
            break;
        case Gesture::Orbit:
            if (down == 1) {
                follow(x, y);
            } else {
                button(msg::LButtonUp, kMkLButton, false);
                if (down >= 2) {
                    begin(Gesture::Zoom, x, y);
                } else {
                    touch.gesture = Gesture::None;
                }
            }
            break;
        case Gesture::Zoom:
            if (down >= 2) {
                // A third finger, or one of three lifted, moves the point: start from it.
                if (type != EMSCRIPTEN_EVENT_TOUCHMOVE) {
                    touch.x = x;
                    touch.y = y;
                } else {
                    follow(x, y);
                }
            } else {
                button(msg::RButtonUp, kMkRButton, false);
                touch.gesture = down == 0 ? Gesture::None : Gesture::Done;
            }
            break;
        case Gesture::Done:
            if (down == 0) touch.gesture = Gesture::None;
            break;
    }
    return EM_TRUE;  // no scrolling, zooming or mouse events made up from the touches
}

}  // namespace

void listenTouch() {
    emscripten_set_touchstart_callback(kCanvas, nullptr, EM_FALSE, onTouch);
    emscripten_set_touchmove_callback(kCanvas, nullptr, EM_FALSE, onTouch);
    emscripten_set_touchend_callback(kCanvas, nullptr, EM_FALSE, onTouch);
    emscripten_set_touchcancel_callback(kCanvas, nullptr, EM_FALSE, onTouch);
}

void unlistenTouch() {
    emscripten_set_touchstart_callback(kCanvas, nullptr, EM_FALSE, nullptr);
    emscripten_set_touchmove_callback(kCanvas, nullptr, EM_FALSE, nullptr);
    emscripten_set_touchend_callback(kCanvas, nullptr, EM_FALSE, nullptr);
    emscripten_set_touchcancel_callback(kCanvas, nullptr, EM_FALSE, nullptr);
    touch.gesture = Gesture::None;
}
