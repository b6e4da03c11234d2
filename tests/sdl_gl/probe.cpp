#include "tests/sdl_gl/probe.h"

#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

Probe* current = nullptr;
constexpr const char* kTitle = "Backend Probe";

void releaseAll(Probe& p) {
    release(p.buffer);
    p.buffer = nullptr;
    release(p.font);
    p.font = nullptr;
    release(p.device);
    p.device = nullptr;
    release(p.d3d);
    p.d3d = nullptr;
}

intptr_t probeProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Probe& p = *current;
    ReceivedMessage m{message, wParam, lParam, p.framesPresented, getTickCount()};
    p.messages.push_back(m);
    if (p.onMessage) p.onMessage(p, m);
    if (message == msg::Destroy) {
        p.destroyed = true;
        releaseAll(p);
        postQuitMessage(0);
        return 0;
    }
    return defWindowProc(window, message, wParam, lParam);
}

}  // namespace

bool runProbe(const RunOptions& options, Probe& probe) {
    current = &probe;
    configureRun(options);
    if (!registerWindowClass(kTitle, probeProc)) return false;
    probe.window = createWindow(kTitle, kTitle, 100, 100, 500, 500);
    bool ok = probe.window != nullptr;
    probe.d3d = ok ? direct3DCreate(SdkVersion) : nullptr;
    ok = ok && probe.d3d != nullptr;
    ok = ok && !failed(createDevice(probe.d3d, probe.window, PresentParameters{}, &probe.device));
    if (ok) {
        setRenderState(probe.device, RenderState::CullMode, CullNone);
        setRenderState(probe.device, RenderState::Lighting, 0);
    }
    ok = ok && !failed(createFont(probe.device, -16, 0, 700, 0, false, "Arial", &probe.font));
    ok = ok &&
         !failed(createVertexBuffer(probe.device, 1760, 0, FvfXyz | FvfDiffuse, &probe.buffer));
    if (!ok) {
        releaseAll(probe);
        unregisterWindowClass(kTitle);
        return false;
    }
    showWindow(probe.window);
    updateWindow(probe.window);
    Message m;
    int iterations = 0;
    while (!probe.quitSeen && iterations++ < probe.maxIterations) {
        if (peekMessage(m)) {
            if (m.message == msg::Quit) probe.quitSeen = true;
            translateMessage(m);
            dispatchMessage(m);
            continue;
        }
        if (probe.device == nullptr) continue;
        clear(probe.device, ClearTarget, 0xFF7D7D7D, 1.0f, 0);
        if (!failed(beginScene(probe.device))) {
            if (probe.drawFrame) probe.drawFrame(probe);
            endScene(probe.device);
        }
        present(probe.device);
        ++probe.framesPresented;
    }
    releaseAll(probe);
    unregisterWindowClass(kTitle);
    current = nullptr;
    return probe.quitSeen;
}

void drawVertices(Probe& probe, PrimitiveType type, const LineVertex* vertices, uint32_t count,
                  uint32_t primitives) {
    void* data = nullptr;
    const uint32_t bytes = count * sizeof(LineVertex);
    if (failed(lockVertexBuffer(probe.buffer, 0, bytes, &data, 0))) return;
    std::memcpy(data, vertices, bytes);
    unlockVertexBuffer(probe.buffer);
    setStreamSource(probe.device, 0, probe.buffer, 0, sizeof(LineVertex));
    setFvf(probe.device, FvfXyz | FvfDiffuse);
    drawPrimitive(probe.device, type, 0, primitives);
}

void projectToScreen(const Vec3& p, const Matrix4& viewProjection, int width, int height, double& x,
                     double& y) {
    const Vec3 ndc = vec3TransformCoord(p, viewProjection);
    x = (static_cast<double>(ndc.x) + 1.0) * width / 2.0;
    y = (1.0 - static_cast<double>(ndc.y)) * height / 2.0;
}

uint32_t Image::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (uint32_t{px[0]} << 16) | (uint32_t{px[1]} << 8) | px[2];
}

bool loadPng(const std::string& path, Image& out) {
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &out.width, &out.height, &channels, 3);
    if (data == nullptr) return false;
    out.rgb.assign(data, data + static_cast<size_t>(out.width) * out.height * 3);
    stbi_image_free(data);
    return true;
}
