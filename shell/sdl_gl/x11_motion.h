// Pointer motion with its fractions under Xwayland. On a scaled Wayland desktop
// (and for any mouse whose resolution is not the compositor's pixel) Xwayland's
// raw motion deltas are fractional; SDL 2.26 truncates each one, so a slow drag
// turned the camera by as little as a third of its length, or not at all. While
// the program holds the pointer, its motion is read here instead, from the raw
// events of a connection of our own, and handed on in whole pixels with the
// remainder kept for the next move. Plain X servers keep SDL's motion (their
// raw deltas are whole). Everything here is a no-op without X11.
// (A file of its own: Xlib's names clash with the service interface's.)
#pragma once

// Starts reading motion when the display is Xwayland; false elsewhere (SDL's
// relative motion is used then). Call when the pointer is taken.
bool xwaylandMotionBegin();
// Stops reading and drops any remainder. Call when the pointer is given back.
void xwaylandMotionEnd();
// The whole pixels moved since the last call (logical pixels, accelerated as the
// cursor would move); false when there are none.
bool xwaylandMotionTake(int& dx, int& dy);
// The desktop's scale for X11 windows: GDK_SCALE when set (a whole number), else
// the Xft.dpi resource / 96 (192 dpi gives 2), else 1. Always within [1, 4].
double x11DesktopScale();
