// Preloaded into a program in a real X window (LD_PRELOAD) to have another
// client destroy the window at the worst moment: right before the GL driver's
// N-th size query of a drawable (XGetGeometry; DESTROY_AT_QUERY=N), which is
// where a driver that trusts the reply goes wrong when the window is gone.
// The destroy is `xdotool windowclose`, a separate client. When the program
// holds the server at that moment, that client waits until the hold ends, as it
// would in life; otherwise the destroy is carried out before the query goes on.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace {

int grabDepth = 0;
int queries = 0;

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void destroyFromAnotherClient(Drawable drawable, bool wait) {
    const std::string id = std::to_string(drawable);
    char tool[] = "xdotool", verb[] = "windowclose";
    char* argv[] = {tool, verb, const_cast<char*>(id.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "destroy_shim: cannot start xdotool\n");
        return;
    }
    std::fprintf(stderr, "destroy_shim: window %s destroyed at query %d%s\n", id.c_str(), queries,
                 wait ? "" : " (waits for the server)");
    if (wait) waitpid(pid, nullptr, 0);
}

}  // namespace

extern "C" int XGrabServer(Display* display) {
    ++grabDepth;
    return next<int (*)(Display*)>("XGrabServer")(display);
}

extern "C" int XUngrabServer(Display* display) {
    --grabDepth;
    return next<int (*)(Display*)>("XUngrabServer")(display);
}

extern "C" Status XGetGeometry(Display* display, Drawable drawable, Window* root, int* x, int* y,
                               unsigned* width, unsigned* height, unsigned* border,
                               unsigned* depth) {
    const char* at = std::getenv("DESTROY_AT_QUERY");
    if (at != nullptr && ++queries == std::atoi(at))
        destroyFromAnotherClient(drawable, grabDepth == 0);
    using Query = Status (*)(Display*, Drawable, Window*, int*, int*, unsigned*, unsigned*,
                             unsigned*, unsigned*);
    return next<Query>("XGetGeometry")(display, drawable, root, x, y, width, height, border, depth);
}
