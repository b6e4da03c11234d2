// A window that another X client destroys (xdotool windowclose, a window
// manager's kill) must end the program as its close button does. Xlib's default
// error handler would instead end the process with status 1 at the first
// request on the dead window, which the GL driver makes at the next present.
// So errors about a watched window, and its DestroyNotify, are taken as the
// news that the window is gone; the platform then destroys it through its
// window procedure, as Win32 would. Everything here is a no-op without X11.
// (A file of its own: Xlib's names clash with the service interface's.)
#pragma once

#include <SDL2/SDL.h>

// Starts watching `window`; returns its X window id, 0 when not under X11.
unsigned long x11WatchWindow(SDL_Window* window);
// Takes SDL's system events that report a destroyed window.
void x11HandleEvent(const SDL_Event& e);
// True once the watched window `xid` is known to be gone.
bool x11WindowLost(unsigned long xid);

// Another client may destroy the window at any moment, also between the last
// look at the queue and the present. The GL driver then asks the server for the
// size of a window that no longer exists; the software renderer takes whatever
// the failed reply left in its variables as the size of its back buffer and
// faults. So the blit into the window is fenced: x11HoldWindow grabs the server
// (no other client's request is carried out meanwhile) and checks that `xid`
// still exists; when it does not, the window is recorded as lost and the grab is
// released at once. x11ReleaseWindow ends a hold that succeeded. Keep the hold
// short: every other client waits while it lasts. True (and no grab) when `xid`
// is 0 (not under X11).
bool x11HoldWindow(unsigned long xid);
void x11ReleaseWindow(unsigned long xid);
