// Checks the Win32 + Direct3D 9 backend's real window when it is resized, the
// way a program uses it: after a resize the next frame is drawn at the client
// area's size, its depth buffer has that size too and still works beyond the
// old size, the render states the program set hold after the device's reset,
// both kinds of vertex buffer (a plain one filled once per draw, a dynamic one
// locked with discard) draw, and the text is drawn. A minimised window keeps
// its back buffer; restored, it is the same size as before. A device that
// cannot be reset draws nothing, without fault, until it can.
//
// Windows program; needs a display (run under Wine and Xvfb):
//   DISPLAY=:N WINEPREFIX=... WINEDEBUG=-all wine resize_check.exe OUTPUT_DIR
#include "shell/run_options.h"
#include "shell/services.h"
#include "tests/win32_d3d9/check.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Direct3D 9 after windows.h.
#include <d3d9.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kNear = 0xFFFF0000;   // the right half, in front
constexpr uint32_t kFar = 0xFF0000FF;    // the whole surface, behind
constexpr uint32_t kClear = 0xFF204060;  // hidden everywhere by the far quad

struct {
    Direct3D* d3d = nullptr;
    Device* device = nullptr;
    Font* font = nullptr;
    VertexBuffer* plain = nullptr;
    VertexBuffer* dynamic = nullptr;
    bool quit = false;
} run;

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == msg::Destroy) {
        release(run.font);
        release(run.plain);
        release(run.dynamic);
        release(run.device);  // writes the final capture
        release(run.d3d);
        run = {};
        postQuitMessage(0);
        return 0;
    }
    return defWindowProc(window, message, wParam, lParam);
}

void pump() {
    Message m;
    while (peekMessage(m)) {
        if (m.message == msg::Quit) run.quit = true;
        translateMessage(m);
        dispatchMessage(m);
    }
}

// A clip-space quad from x0 to x1 (full height) at depth z.
void quad(VertexBuffer* buffer, uint32_t lockFlags, float x0, float x1, float z, uint32_t argb) {
    const LineVertex v[6] = {{x0, -1, z, argb}, {x0, 1, z, argb}, {x1, 1, z, argb},
                             {x0, -1, z, argb}, {x1, 1, z, argb}, {x1, -1, z, argb}};
    void* data = nullptr;
    if (failed(lockVertexBuffer(buffer, 0, sizeof v, &data, lockFlags)) || data == nullptr) {
        CHECK(!"lock");
        return;
    }
    std::memcpy(data, v, sizeof v);
    unlockVertexBuffer(buffer);
    setStreamSource(run.device, 0, buffer, 0, sizeof(LineVertex));
    setFvf(run.device, FvfXyz | FvfDiffuse);
    drawPrimitive(run.device, PrimitiveType::TriangleList, 0, 2);
}

// Draws and presents one frame; false when the device could not begin one.
bool drawFrame() {
    clear(run.device, ClearTarget | ClearZBuffer, kClear, 1.0f, 0);
    if (failed(beginScene(run.device))) {
        present(run.device);
        return false;
    }
    setTransform(run.device, TransformState::Projection, matrixIdentity());
    setTransform(run.device, TransformState::View, matrixIdentity());
    setRenderState(run.device, RenderState::ZEnable, 1);
    quad(run.plain, 0, 0.0f, 1.0f, 0.5f, kNear);
    quad(run.dynamic, LockDiscard, -1.0f, 1.0f, 0.7f, kFar);
    setRenderState(run.device, RenderState::ZEnable, 0);
    drawText(run.font, "MMMM", -1, Rect{10, 10, 0, 0}, DtNoClip, 0xFFFFFFFF);
    endScene(run.device);
    present(run.device);
    return true;
}

struct Size {
    UINT width = 0, height = 0;
};

Size clientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {static_cast<UINT>(r.right), static_cast<UINT>(r.bottom)};
}

// The back buffer and the depth buffer have the client area's size.
void checkTargets(HWND window, const char* when) {
    const Size client = clientSize(window);
    auto* device = reinterpret_cast<IDirect3DDevice9*>(run.device);
    D3DSURFACE_DESC back{}, depth{};
    IDirect3DSurface9* surface = nullptr;
    if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) {
        surface->GetDesc(&back);
        surface->Release();
    }
    if (SUCCEEDED(device->GetDepthStencilSurface(&surface))) {
        surface->GetDesc(&depth);
        surface->Release();
    }
    if (back.Width != client.width || back.Height != client.height || depth.Width != client.width ||
        depth.Height != client.height) {
        std::fprintf(stderr, "%s: client %ux%u, back buffer %ux%u, depth buffer %ux%u\n", when,
                     client.width, client.height, back.Width, back.Height, depth.Width,
                     depth.Height);
        ++failures;
    }
}

void checkPicture(const std::string& path, Size size, UINT oldWidth) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (data == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        ++failures;
        return;
    }
    const auto at = [&](int x, int y) {
        const stbi_uc* p = data + (static_cast<size_t>(y) * width + x) * 3;
        return 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
    };
    CHECK(width == static_cast<int>(size.width) && height == static_cast<int>(size.height));
    if (width == static_cast<int>(size.width) && height == static_cast<int>(size.height)) {
        CHECK(at(width / 4, height / 2) == kFar);
        // Beyond the width the device was made with: depth still hides the far quad.
        const int beyond = static_cast<int>(oldWidth) + (width - static_cast<int>(oldWidth)) / 2;
        CHECK(beyond > width / 2 && at(beyond, height / 2) == kNear);
        CHECK(at(width * 3 / 4, height - 2) == kNear);
        int white = 0;
        for (int y = 10; y < 40; ++y)
            for (int x = 10; x < 110; ++x) {
                const uint32_t c = at(x, y);
                white += (c & 0xFF) > 200 && (c >> 8 & 0xFF) > 200 && (c >> 16 & 0xFF) > 200;
            }
        CHECK(white > 50);  // the text was drawn
    }
    stbi_image_free(data);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string last = dir + "/resize_check_last.png";
    std::remove(last.c_str());
    RunOptions options;  // a real window
    options.captureFile = last;
    configureRun(options);

    const char* title = "resize check";
    CHECK(registerWindowClass(title, windowProc));
    Window* window = createWindow(title, title, 0, 0, 500, 500);
    const HWND hwnd = reinterpret_cast<HWND>(window);
    run.d3d = direct3DCreate(SdkVersion);
    PresentParameters params;
    params.autoDepthStencil = true;
    if (window == nullptr || run.d3d == nullptr ||
        failed(createDevice(run.d3d, window, params, &run.device))) {
        std::fprintf(stderr, "no window or Direct3D device (is DISPLAY set?)\n");
        return 1;
    }
    // Lighting on (the device's default) would draw the unlit vertices black.
    setRenderState(run.device, RenderState::CullMode, CullNone);
    setRenderState(run.device, RenderState::Lighting, 0);
    createFont(run.device, -16, 0, 700, 0, false, "Arial", &run.font);
    CHECK(!failed(createVertexBuffer(run.device, 1760, 0, FvfXyz | FvfDiffuse, &run.plain)));
    CHECK(!failed(createVertexBuffer(run.device, 1760, UsageDynamic | UsageWriteOnly,
                                     FvfXyz | FvfDiffuse, &run.dynamic)));
    showWindow(window);
    updateWindow(window);
    pump();
    CHECK(drawFrame());
    const Size first = clientSize(hwnd);
    checkTargets(hwnd, "at the start");

    // Wider and lower, then taller: each drawn at its own size.
    SetWindowPos(hwnd, nullptr, 0, 0, 900, 400, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    CHECK(drawFrame());
    checkTargets(hwnd, "900 x 400");
    SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    CHECK(drawFrame());
    checkTargets(hwnd, "800 x 600");
    const Size resized = clientSize(hwnd);
    CHECK(resized.width > first.width && resized.height > first.height);

    // A default-pool object the backend does not know of makes the reset fail
    // (Direct3D refuses it while one is held): the frames draw nothing, until it
    // is gone and the reset is tried again.
    std::fprintf(stderr, "(a reset refused on purpose)\n");
    IDirect3DVertexBuffer9* held = nullptr;
    CHECK(SUCCEEDED(reinterpret_cast<IDirect3DDevice9*>(run.device)
                        ->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &held, nullptr)));
    SetWindowPos(hwnd, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    CHECK(!drawFrame());
    CHECK(!drawFrame());
    if (held != nullptr) held->Release();
    CHECK(drawFrame());
    checkTargets(hwnd, "700 x 500");
    SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    CHECK(drawFrame());

    // Minimised the programs draw nothing; a frame drawn anyway keeps the back
    // buffer. Restored, the window has its size again.
    ShowWindow(hwnd, SW_MINIMIZE);
    pump();
    drawFrame();
    ShowWindow(hwnd, SW_RESTORE);
    pump();
    CHECK(drawFrame());
    checkTargets(hwnd, "restored");
    const Size restored = clientSize(hwnd);

    DestroyWindow(hwnd);
    for (int i = 0; i < 1000 && !run.quit; ++i) pump();
    unregisterWindowClass(title);
    CHECK(run.quit);
    checkPicture(last, restored, first.width);

    if (failures == 0) std::printf("resize_check: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
