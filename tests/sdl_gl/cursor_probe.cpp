// Says whether the X cursor that the pointer shows now is drawn or blank (a
// hidden SDL cursor is a fully transparent image): prints "shown" or "hidden".
// Exits 1 when the display or the XFixes extension is not there.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
    Display* display = XOpenDisplay(nullptr);
    int event = 0, error = 0;
    if (display == nullptr || !XFixesQueryExtension(display, &event, &error)) {
        std::fprintf(stderr, "cursor_probe: no display with XFixes\n");
        return 1;
    }
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    bool drawn = false;
    for (int i = 0; image != nullptr && i < image->width * image->height; ++i)
        drawn = drawn || (image->pixels[i] >> 24) != 0;  // any pixel with alpha
    std::printf("%s\n", drawn ? "shown" : "hidden");
    if (image != nullptr) XFree(image);
    XCloseDisplay(display);
    return 0;
}
