// The SDL2 side of the GL device (shell/gl): an OpenGL 3.3 core context on the
// window, the frames' targets, present, captures and the fonts fontconfig finds.
//
// Frames are drawn into a framebuffer of the back-buffer size (the client size
// at device creation) and blitted to the window on present, stretched if the
// window was resized since, as a windowed Direct3D device does.

#include <cstdio>

#include "shell/gl/gl_device.h"
#include "shell/sdl_gl/font_raster.h"
#include "shell/sdl_gl/internal.h"

struct DeviceContext {
    SDL_GLContext gl = nullptr;
    // Two colour targets drawn in turn: the one not being drawn holds the frame
    // presented last, intact for a capture when the run ends.
    GLuint framebuffers[2] = {0, 0};
    GLuint colourBuffers[2] = {0, 0};
    GLuint depthBuffers[2] = {0, 0};  // only with a depth buffer
    int drawTarget = 0;
    int64_t framesPresented = 0;
    bool finalCaptureDone = false;
};

namespace {

constexpr uint32_t kPresentIntervalImmediate = 0x80000000u;

// Writes one capture of a target; a failure is said on stderr and counted for
// the run's end.
void writeCapture(Device* device, int target, const std::string& path) {
    DeviceContext& c = *device->context;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[target]);
    if (!writeFramePng(device, path)) ++backendState().harness.capturesFailed;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[c.drawTarget]);
}

bool createTargets(Device* device, std::string& error) {
    DeviceContext& c = *device->context;
    glGenFramebuffers(2, c.framebuffers);
    glGenRenderbuffers(2, c.colourBuffers);
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, c.colourBuffers[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, device->width, device->height);
        glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  c.colourBuffers[i]);
        if (device->depthBuffer) {
            if (c.depthBuffers[i] == 0) glGenRenderbuffers(1, &c.depthBuffers[i]);
            glBindRenderbuffer(GL_RENDERBUFFER, c.depthBuffers[i]);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, device->width,
                                  device->height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                      c.depthBuffers[i]);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "the back buffer cannot be created";
            return false;
        }
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, c.framebuffers[0]);
    return true;
}

bool setUpDevice(Device* device, const PresentParameters& params, std::string& error) {
    if (epoxy_gl_version() < 33) {
        error = "OpenGL 3.3 is not available (the context offers " +
                std::to_string(epoxy_gl_version() / 10) + "." +
                std::to_string(epoxy_gl_version() % 10) + ")";
        return false;
    }
    SDL_GetWindowSize(device->window->sdl, &device->width, &device->height);
    if (!createTargets(device, error) || !setUpGlDevice(device, error)) return false;
    // Headless nobody waits for a display; in a window the default interval is
    // the display's refresh, as Direct3D's default presentation interval. A
    // display without vsync (Xvfb) presents unsynchronised, which is no fault.
    const bool vsync = !runHeadless() && params.presentationInterval != kPresentIntervalImmediate;
    SDL_GL_SetSwapInterval(vsync ? 1 : 0);
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
        int drawableWidth = 0, drawableHeight = 0;
        SDL_GL_GetDrawableSize(device->window->sdl, &drawableWidth, &drawableHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, c.framebuffers[target]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        const bool sameSize = drawableWidth == device->width && drawableHeight == device->height;
        glBlitFramebuffer(0, 0, device->width, device->height, 0, 0, drawableWidth, drawableHeight,
                          GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(device->window->sdl);
    }
    c.drawTarget = 1 - target;
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
    if (!rasteriseFont(faceName, height, width, weight, italic, atlas, error)) {
        std::fprintf(stderr, "createFont: %s\n", error.c_str());
        return E_FAIL_;
    }
    return addFont(device, std::move(atlas), out);
}
