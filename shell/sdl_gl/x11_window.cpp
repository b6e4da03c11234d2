#include "shell/sdl_gl/x11_window.h"

#if defined(ARTIC_WITH_X11)

#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<unsigned long> watched;
Display* display = nullptr;  // SDL's connection, which the GL driver also uses
std::vector<unsigned long> lost;
int (*previousHandler)(Display*, XErrorEvent*) = nullptr;
bool handlerInstalled = false;

bool isWatched(unsigned long xid) {
    return std::find(watched.begin(), watched.end(), xid) != watched.end();
}

int onXError(Display* display, XErrorEvent* error) {
    if (isWatched(error->resourceid)) {
        if (!x11WindowLost(error->resourceid)) lost.push_back(error->resourceid);
        return 0;
    }
    // Once a window is gone, the driver's requests on its buffers fail too.
    if (!lost.empty()) return 0;
    return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

}  // namespace

unsigned long x11WatchWindow(SDL_Window* window) {
    SDL_SysWMinfo info{};
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    const unsigned long xid = info.info.x11.window;
    watched.push_back(xid);
    display = info.info.x11.display;
    if (!handlerInstalled) {
        previousHandler = XSetErrorHandler(onXError);
        handlerInstalled = true;
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
    return xid;
}

void x11HandleEvent(const SDL_Event& e) {
    if (e.type != SDL_SYSWMEVENT || e.syswm.msg->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (x.type == DestroyNotify && isWatched(x.xdestroywindow.window) &&
        !x11WindowLost(x.xdestroywindow.window))
        lost.push_back(x.xdestroywindow.window);
}

bool x11WindowLost(unsigned long xid) {
    return xid != 0 && std::find(lost.begin(), lost.end(), xid) != lost.end();
}

bool x11HoldWindow(unsigned long xid) {
    if (xid == 0 || display == nullptr) return true;
    if (x11WindowLost(xid)) return false;
    XGrabServer(display);
    // The reply comes after the grab has taken effect: a destroy by another
    // client was either carried out before (the query fails, and the error
    // handler records the loss) or waits until the grab ends.
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, xid, &attributes) == 0 || x11WindowLost(xid)) {
        if (!x11WindowLost(xid)) lost.push_back(xid);
        XUngrabServer(display);
        XFlush(display);
        return false;
    }
    return true;
}

void x11ReleaseWindow(unsigned long xid) {
    if (xid == 0 || display == nullptr) return;
    XUngrabServer(display);
    XFlush(display);
}

#else

unsigned long x11WatchWindow(SDL_Window*) {
    return 0;
}
void x11HandleEvent(const SDL_Event&) {}
bool x11WindowLost(unsigned long) {
    return false;
}
bool x11HoldWindow(unsigned long) {
    return true;
}
void x11ReleaseWindow(unsigned long) {}

#endif
