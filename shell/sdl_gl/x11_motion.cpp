#include "shell/sdl_gl/x11_motion.h"

#if defined(ARTIC_WITH_XI)

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct {
    Display* display = nullptr;  // our own connection; stays open for the run
    bool probed = false, xwayland = false;
    int xiOpcode = 0;
    bool reading = false;
    double dx = 0.0, dy = 0.0;  // motion not yet handed on (fractions)
} motion;

bool probe() {
    if (motion.probed) return motion.xwayland;
    motion.probed = true;
    motion.display = XOpenDisplay(nullptr);
    if (motion.display == nullptr) return false;
    int event = 0, error = 0, major = 2, minor = 2;
    if (XQueryExtension(motion.display, "XInputExtension", &motion.xiOpcode, &event, &error) &&
        XIQueryVersion(motion.display, &major, &minor) == Success) {
        // Xwayland names its input devices "xwayland-pointer:…" and so on (its
        // XWAYLAND extension is newer than Debian 12's server).
        int count = 0;
        XIDeviceInfo* devices = XIQueryDevice(motion.display, XIAllDevices, &count);
        for (int i = 0; i < count; ++i)
            if (devices[i].name != nullptr && std::strncmp(devices[i].name, "xwayland-", 9) == 0)
                motion.xwayland = true;
        if (devices != nullptr) XIFreeDeviceInfo(devices);
    }
    if (!motion.xwayland) {
        XCloseDisplay(motion.display);
        motion.display = nullptr;
    }
    return motion.xwayland;
}

void select(bool raw) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (raw) XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(motion.display, DefaultRootWindow(motion.display), &mask, 1);
    XFlush(motion.display);
}

// Adds every raw motion that has arrived.
void drain() {
    if (!motion.reading) return;
    XSync(motion.display, False);  // everything the server made so far is here
    while (XPending(motion.display) > 0) {
        XEvent e;
        XNextEvent(motion.display, &e);
        XGenericEventCookie& cookie = e.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != motion.xiOpcode ||
            !XGetEventData(motion.display, &cookie))
            continue;
        if (cookie.evtype == XI_RawMotion) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
            const double* value = raw->valuators.values;  // accelerated, as the cursor moves
            for (int axis = 0; axis < 2 && axis < raw->valuators.mask_len * 8; ++axis) {
                if (!XIMaskIsSet(raw->valuators.mask, axis)) continue;
                const double v = *value++;
                if (!std::isfinite(v)) continue;
                (axis == 0 ? motion.dx : motion.dy) += v;
            }
        }
        XFreeEventData(motion.display, &cookie);
    }
}

}  // namespace

bool xwaylandMotionBegin() {
    if (!probe()) return false;
    if (!motion.reading) select(true);
    motion.reading = true;
    drain();  // what came before the pointer was taken is not the drag's
    motion.dx = motion.dy = 0.0;
    return true;
}

void xwaylandMotionEnd() {
    if (!motion.reading) return;
    select(false);
    motion.reading = false;
    motion.dx = motion.dy = 0.0;
}

bool xwaylandMotionTake(int& dx, int& dy) {
    drain();
    const double wholeX = std::trunc(motion.dx), wholeY = std::trunc(motion.dy);
    motion.dx -= wholeX;
    motion.dy -= wholeY;
    dx = static_cast<int>(wholeX);
    dy = static_cast<int>(wholeY);
    return dx != 0 || dy != 0;
}

double x11DesktopScale() {
    double scale = 1.0;
    if (const char* gdk = std::getenv("GDK_SCALE")) {
        scale = std::atof(gdk);
    } else if (Display* display = XOpenDisplay(nullptr)) {
        // The resource string as xrdb loaded it: lines "name:\tvalue".
        if (const char* resources = XResourceManagerString(display)) {
            const char* at = std::strstr(resources, "Xft.dpi:");
            if (at != nullptr) scale = std::atof(at + 8) / 96.0;
        }
        XCloseDisplay(display);
    }
    if (!std::isfinite(scale) || scale < 1.0) return 1.0;
    return scale > 4.0 ? 4.0 : scale;
}

#else

bool xwaylandMotionBegin() {
    return false;
}
void xwaylandMotionEnd() {}
bool xwaylandMotionTake(int&, int&) {
    return false;
}
double x11DesktopScale() {
    return 1.0;
}

#endif
