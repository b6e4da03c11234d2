// The browser side of the GL device (shell/gl): a WebGL 2 context on the page's
// canvas, drawn into directly; the browser shows the canvas when the animation
// frame ends. The context has no antialiasing or alpha, so a frame's pixels
// are the native ones, and a depth buffer only when the device asks for one. Text comes from the
// embedded glyph atlas (embedded_font.h).

#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include "shell/gl/gl_device.h"
#include "shell/web/embedded_font.h"
#include "shell/web/web.h"

struct DeviceContext {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE webgl = 0;
};

namespace {

// The frame just drawn, as a PNG in the page's file system, handed to the page
// (window.captures[name]: a data URL) for whoever drives it.
void publishCapture(Device* device, const std::string& path) {
    if (!writeFramePng(device, path)) {
        ++webState().harness.capturesFailed;
        return;
    }
    EM_ASM(
        {
            var path = UTF8ToString($0);
            var bytes = FS.readFile(path);
            var text = "";
            for (var i = 0; i < bytes.length; i += 8192)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
            window.captures = window.captures || {};
            window.captures[path.substring(path.lastIndexOf("/") + 1)] =
                "data:image/png;base64," + btoa(text);
            FS.unlink(path);
        },
        path.c_str());
}

// The device's GL objects and its context (current).
void freeDevice(Device* device) {
    freeGlObjects(device);
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(device->context->webgl);
    delete device->context;
    device->context = nullptr;
}

}  // namespace

bool useDevice(Device* device) {
    if (device == nullptr || device->lost) return false;
    if (emscripten_webgl_get_current_context() != device->context->webgl)
        emscripten_webgl_make_context_current(device->context->webgl);
    return true;
}

void detachDevice(Device* device) {
    if (device == nullptr || device->lost) return;
    useDevice(device);
    freeDevice(device);
    device->lost = true;
    device->window->device = nullptr;
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (d3d == nullptr || focusWindow == nullptr || !focusWindow->alive ||
        focusWindow->device != nullptr) {
        std::fprintf(stderr, "createDevice: no window to draw into, or it has a device\n");
        return E_FAIL_;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;  // an opaque window
    // A depth buffer only when the device is made with one; never a stencil.
    attributes.depth = params.autoDepthStencil ? EM_TRUE : EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;  // the native pixels, not smoothed ones
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) {
        std::fprintf(stderr, "createDevice: this browser offers no WebGL 2 context\n");
        return E_FAIL_;
    }
    auto* device = new Device;
    device->window = focusWindow;
    device->context = new DeviceContext{context};
    device->depthBuffer = params.autoDepthStencil;
    emscripten_webgl_make_context_current(context);
    emscripten_get_canvas_element_size(kCanvas, &device->width, &device->height);
    std::string error;
    if (!setUpGlDevice(device, error)) {
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
    RunHarness& harness = webState().harness;
    for (const std::string& path : harness.pendingCaptures) publishCapture(device, path);
    harness.pendingCaptures.clear();
    framePresented();
    return S_OK_;
}

HResult createFont(Device* device, int height, int width, int weight, int, bool italic,
                   const char* faceName, Font** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (!useDevice(device)) return E_FAIL_;
    // The page carries one font, rendered at build time: anything else is refused.
    if (faceName == nullptr || std::strcmp(faceName, kEmbeddedFontFace) != 0 ||
        height != kEmbeddedFontHeight || width != 0 || weight != kEmbeddedFontWeight || italic) {
        std::fprintf(stderr, "createFont: only %s, height %d, weight %d is embedded\n",
                     kEmbeddedFontFace, kEmbeddedFontHeight, kEmbeddedFontWeight);
        return E_FAIL_;
    }
    FontAtlas atlas;
    loadEmbeddedFont(atlas);
    return addFont(device, std::move(atlas), out);
}
