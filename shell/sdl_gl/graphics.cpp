// The SDL2 side of the GL device (shell/gl): an OpenGL 3.3 core context on the
// window, the frames' targets, present, captures and the fonts fontconfig finds.
//
// Frames are drawn into a framebuffer of the back-buffer size and blitted to the
// window on present. In a window the back buffer follows the window's drawable
// size (device pixels: a scaled desktop's window draws at its full resolution),
// so a resized window is drawn at its own size, sharp; the programs' projection
// keeps the proportions (shell/scene.h). Headless it stays the client size.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "shell/gl/gl_device.h"
#include "shell/sdl_gl/font_raster.h"
#include "shell/sdl_gl/internal.h"
#include "shell/sdl_gl/x11_window.h"

struct DeviceContext {
    SDL_GLContext gl = nullptr;
    // Two colour targets drawn in turn: the one not being drawn holds the frame
    // presented last, intact for a capture when the run ends.
    GLuint framebuffers[2] = {0, 0};
    GLuint colourBuffers[2] = {0, 0};
    int targetWidth[2] = {0, 0}, targetHeight[2] = {0, 0};
    GLuint depthBuffers[2] = {0, 0};  // only with a depth buffer
    int drawTarget = 0;
    int64_t framesPresented = 0;
    bool finalCaptureDone = false;
    // A real window's pace: one frame per refresh of its display at most.
    uint64_t refreshPeriodNs = 0;
    uint64_t lastPresentNs = 0;  // when the previous present returned; 0: none yet
};

namespace {

constexpr uint32_t kPresentIntervalImmediate = 0x80000000u;

// Writes one capture of a target; a failure is said on stderr and counted for
// the run's end.
void writeCapture(Device* device, int target, const std::string& path) {
    DeviceContext& c = *device->context;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[target]);
    const int width = device->width, height = device->height;
    device->width = c.targetWidth[target];  // the size it was drawn at
    device->height = c.targetHeight[target];
    if (!writeFramePng(device, path)) ++backendState().harness.capturesFailed;
    device->width = width;
    device->height = height;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[c.drawTarget]);
}

// Gives target `i` a colour buffer of width x height, cleared to black.
void sizeTarget(Device* device, int i, int width, int height) {
    DeviceContext& c = *device->context;
    glBindRenderbuffer(GL_RENDERBUFFER, c.colourBuffers[i]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffers[i]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              c.colourBuffers[i]);
    if (device->depthBuffer) {
        if (c.depthBuffers[i] == 0) glGenRenderbuffers(1, &c.depthBuffers[i]);
        glBindRenderbuffer(GL_RENDERBUFFER, c.depthBuffers[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  c.depthBuffers[i]);
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    c.targetWidth[i] = width;
    c.targetHeight[i] = height;
}

// Before drawing into the next target: the window's drawable size, when it has
// one (a minimised window keeps the last), becomes the back buffer's size.
void followDrawableSize(Device* device) {
    DeviceContext& c = *device->context;
    const int i = c.drawTarget;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(device->window->sdl, &width, &height);
    if (width > 0 && height > 0 && (width != c.targetWidth[i] || height != c.targetHeight[i]))
        sizeTarget(device, i, width, height);
    if (device->width != c.targetWidth[i] || device->height != c.targetHeight[i])
        setGlSurfaceSize(device, c.targetWidth[i], c.targetHeight[i]);
}

bool createTargets(Device* device, std::string& error) {
    DeviceContext& c = *device->context;
    glGenFramebuffers(2, c.framebuffers);
    glGenRenderbuffers(2, c.colourBuffers);
    for (int i = 0; i < 2; ++i) {
        sizeTarget(device, i, device->width, device->height);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "the back buffer cannot be created";
            return false;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffers[0]);
    return true;
}

// The display's refresh period; 60 Hz where the display does not say.
uint64_t refreshPeriodNs(SDL_Window* window) {
    SDL_DisplayMode mode{};
    const int hz = SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0
                       ? mode.refresh_rate
                       : 60;
    return 1000000000ull / static_cast<uint64_t>(hz);
}

uint64_t nowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Where the swap waited for the display, frames already come one refresh
// apart. Where it did not (no vsync: Xvfb, a software renderer, a driver that
// ignores the interval), the loop would draw thousands of frames a second that
// no display shows, spinning a core: then the rest of the refresh period is
// slept here. A swap that returns early by less than the slack is taken as
// synchronised (its return time jitters).
void paceFrame(DeviceContext& c) {
    constexpr uint64_t kSlackNs = 2000000;
    uint64_t now = nowNs();
    if (c.lastPresentNs != 0) {
        const uint64_t due = c.lastPresentNs + c.refreshPeriodNs;
        if (due > now + kSlackNs) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
            now = nowNs();
        }
    }
    c.lastPresentNs = now;
}

bool setUpDevice(Device* device, const PresentParameters& params, std::string& error) {
    if (epoxy_gl_version() < 33) {
        error = "OpenGL 3.3 is not available (the context offers " +
                std::to_string(epoxy_gl_version() / 10) + "." +
                std::to_string(epoxy_gl_version() % 10) + ")";
        return false;
    }
    if (runHeadless()) {
        SDL_GetWindowSize(device->window->sdl, &device->width, &device->height);
    } else {
        SDL_GL_GetDrawableSize(device->window->sdl, &device->width, &device->height);
        Rect client;
        if (getClientRect(device->window, client) && client.right > 0)
            device->textScale = std::max(1.0, static_cast<double>(device->width) / client.right);
    }
    if (!createTargets(device, error) || !setUpGlDevice(device, error)) return false;
    // Headless nobody waits for a display; in a window the default interval is
    // the display's refresh, as Direct3D's default presentation interval. A
    // display without vsync (Xvfb) presents unsynchronised, which is no fault.
    const bool vsync = !runHeadless() && params.presentationInterval != kPresentIntervalImmediate;
    SDL_GL_SetSwapInterval(vsync ? 1 : 0);
    device->context->refreshPeriodNs = vsync ? refreshPeriodNs(device->window->sdl) : 0;
    return true;
}

// The device's GL objects, its targets and its context (current).
void freeDevice(Device* device) {
    DeviceContext* c = device->context;
    freeGlObjects(device);
    glDeleteFramebuffers(2, c->framebuffers);
    glDeleteRenderbuffers(2, c->colourBuffers);
    glDeleteRenderbuffers(2, c->depthBuffers);
    SDL_GL_MakeCurrent(device->window->sdl, nullptr);
    SDL_GL_DeleteContext(c->gl);
    delete c;
    device->context = nullptr;
}

}  // namespace

bool useDevice(Device* device) {
    if (device == nullptr || device->lost) return false;
    if (SDL_GL_GetCurrentContext() != device->context->gl) {
        SDL_GL_MakeCurrent(device->window->sdl, device->context->gl);
    }
    return true;
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (d3d == nullptr) {
        std::fprintf(stderr, "createDevice: no Direct3D object\n");
        return E_FAIL_;
    }
    if (focusWindow == nullptr || !focusWindow->alive || focusWindow->sdl == nullptr) {
        std::fprintf(stderr,
                     "createDevice: no window to draw into (run with --headless to draw "
                     "offscreen without a display)\n");
        return E_FAIL_;
    }
    if (focusWindow->device != nullptr) {
        std::fprintf(stderr, "createDevice: the window already has a device\n");
        return E_FAIL_;
    }
    SDL_GLContext context = SDL_GL_CreateContext(focusWindow->sdl);
    if (context == nullptr) {
        std::fprintf(stderr, "createDevice: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return E_FAIL_;
    }
    auto* device = new Device;
    device->window = focusWindow;
    device->context = new DeviceContext;
    device->context->gl = context;
    device->depthBuffer = params.autoDepthStencil;
    std::string error;
    if (!setUpDevice(device, params, error)) {
        std::fprintf(stderr, "createDevice: %s\n", error.c_str());
        freeDevice(device);
        delete device;
        return E_FAIL_;
    }
    focusWindow->device = device;
    *out = device;
    return S_OK_;
}

HResult present(Device* device) {
    if (!useDevice(device)) return E_FAIL_;
    BackendState& s = backendState();
    DeviceContext& c = *device->context;
    const int target = c.drawTarget;
    for (const std::string& path : s.harness.pendingCaptures) writeCapture(device, target, path);
    s.harness.pendingCaptures.clear();
    if (runHeadless()) {
        // Nothing shows an offscreen window: the frame stays in its target
        // (where captures read it). Waiting for the renderer here keeps its queue
        // bounded: with a flush alone the software renderer's memory grew by
        // kilobytes every frame, since nothing else ever waits for it.
        glFinish();
    } else {
        // The blit is where the driver looks the window up (its size): only
        // while the window is held, so it cannot vanish in between. A window
        // already gone gets nothing; the next poll destroys it. The swap comes
        // after the hold (it may wait for the display): if the window goes
        // meanwhile, the driver's copy into it fails harmlessly, with a back
        // buffer of the size it had.
        const unsigned long xid = device->window->xid;
        if (!x11HoldWindow(xid)) return E_FAIL_;
        int drawableWidth = 0, drawableHeight = 0;
        SDL_GL_GetDrawableSize(device->window->sdl, &drawableWidth, &drawableHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[target]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        const int width = c.targetWidth[target], height = c.targetHeight[target];
        const bool sameSize = drawableWidth == width && drawableHeight == height;
        glBlitFramebuffer(0, 0, width, height, 0, 0, drawableWidth, drawableHeight,
                          GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
        x11ReleaseWindow(xid);
        SDL_GL_SwapWindow(device->window->sdl);
        if (c.refreshPeriodNs != 0) paceFrame(c);
    }
    c.drawTarget = 1 - target;
    if (!runHeadless()) followDrawableSize(device);
    glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffers[c.drawTarget]);
    ++c.framesPresented;
    framePresented();
    return S_OK_;
}

void writeFinalCapture(Device* device) {
    BackendState& s = backendState();
    if (device == nullptr || s.harness.finalCapture.empty() || !useDevice(device)) return;
    DeviceContext& c = *device->context;
    if (c.finalCaptureDone) return;
    c.finalCaptureDone = true;
    s.harness.finalCaptureTried = true;
    if (c.framesPresented == 0) {
        std::fprintf(stderr, "capture: no frame was drawn, so '%s' was not written\n",
                     s.harness.finalCapture.c_str());
        ++s.harness.capturesFailed;
        return;
    }
    writeCapture(device, 1 - c.drawTarget, s.harness.finalCapture);
}

void detachDevice(Device* device) {
    if (device == nullptr || device->lost) return;
    writeFinalCapture(device);
    useDevice(device);
    freeDevice(device);
    device->lost = true;
    device->window->device = nullptr;
}

HResult createFont(Device* device, int height, int width, int weight, int /*mipLevels*/,
                   bool italic, const char* faceName, Font** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (!useDevice(device)) {
        std::fprintf(stderr, "createFont: no device\n");
        return E_FAIL_;
    }
    FontAtlas atlas;
    std::string error;
    const double k = device->textScale;  // the size on the screen: device pixels
    if (!rasteriseFont(faceName, static_cast<int>(std::lround(height * k)),
                       static_cast<int>(std::lround(width * k)), weight, italic, atlas, error)) {
        std::fprintf(stderr, "createFont: %s\n", error.c_str());
        return E_FAIL_;
    }
    return addFont(device, std::move(atlas), out);
}
