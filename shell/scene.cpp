#include "shell/scene.h"

#include <cstdio>
#include <cstring>

#include "shell/load_report.h"
#include "shell/shell.h"

ShellState shell;

namespace {
bool sceneOpen = false;
}

void resetShell() {
    shell = ShellState{};
    sceneOpen = false;
}

HResult initDevice(Window* window) {
    Graphics& g = shell.graphics;
    g.d3d = direct3DCreate(SdkVersion);
    if (g.d3d == nullptr) {
        shell.startupError = "cannot create the Direct3D object";
        return E_FAIL_;
    }
    PresentParameters params;
    params.windowed = true;
    params.autoDepthStencil = shell.depthBuffer;
    params.presentationInterval = 0;
    if (failed(createDevice(g.d3d, window, params, &g.device)) || g.device == nullptr) {
        shell.startupError = "cannot create the graphics device";
        g.device = nullptr;
        releaseDevice();
        return E_FAIL_;
    }
    setRenderState(g.device, RenderState::CullMode, CullNone);
    setRenderState(g.device, RenderState::Lighting, 0);
    if (failed(createFont(g.device, -16, 0, 700, 0, false, "Arial", &g.font)) ||
        g.font == nullptr) {
        shell.startupError = "cannot create the overlay font (Arial, bold)";
        g.font = nullptr;
        releaseDevice();
        return E_FAIL_;
    }
    return S_OK_;
}

HResult createLineBuffer(const LineVertex* initial, uint32_t count) {
    Graphics& g = shell.graphics;
    if (g.device == nullptr || count > kLineBufferVertices) {
        shell.startupError = "cannot create the vertex buffer";
        return E_FAIL_;
    }
    if (failed(createVertexBuffer(g.device, kLineBufferBytes, 0, kLineFvf, &g.lineBuffer)) ||
        g.lineBuffer == nullptr) {
        shell.startupError = "cannot create the vertex buffer";
        g.lineBuffer = nullptr;
        return E_FAIL_;
    }
    const uint32_t bytes = count * static_cast<uint32_t>(sizeof(LineVertex));
    void* data = nullptr;
    if (failed(lockVertexBuffer(g.lineBuffer, 0, bytes, &data, 0)) || data == nullptr) {
        shell.startupError = "cannot fill the vertex buffer";
        release(g.lineBuffer);
        g.lineBuffer = nullptr;
        return E_FAIL_;
    }
    std::memcpy(data, initial, bytes);
    unlockVertexBuffer(g.lineBuffer);
    return S_OK_;
}

void releaseDevice() {
    Graphics& g = shell.graphics;
    // The font belongs to the device: it goes before the device does.
    if (g.lineBuffer) release(g.lineBuffer);
    if (g.meshBuffer) release(g.meshBuffer);
    if (g.font) release(g.font);
    if (g.device) release(g.device);
    if (g.d3d) release(g.d3d);
    g = Graphics{};
    sceneOpen = false;
}

HResult drawVertices(const LineVertex* vertices, uint32_t count, PrimitiveType type,
                     uint32_t primitiveCount) {
    Graphics& g = shell.graphics;
    if (g.device == nullptr || g.lineBuffer == nullptr || count > kLineBufferVertices) {
        return E_FAIL_;
    }
    uint64_t read = 0;
    switch (type) {
        case PrimitiveType::PointList:
            read = primitiveCount;
            break;
        case PrimitiveType::LineList:
            read = uint64_t{primitiveCount} * 2;
            break;
        case PrimitiveType::LineStrip:
            read = primitiveCount == 0 ? 0 : primitiveCount + 1ull;
            break;
        case PrimitiveType::TriangleList:
            read = uint64_t{primitiveCount} * 3;
            break;
    }
    if (read > count) return E_FAIL_;
    const uint32_t bytes = count * static_cast<uint32_t>(sizeof(LineVertex));
    void* data = nullptr;
    const HResult hr = lockVertexBuffer(g.lineBuffer, 0, bytes, &data, 0);
    if (failed(hr) || data == nullptr) return failed(hr) ? hr : E_FAIL_;
    std::memcpy(data, vertices, bytes);
    unlockVertexBuffer(g.lineBuffer);
    setStreamSource(g.device, 0, g.lineBuffer, 0, sizeof(LineVertex));
    setFvf(g.device, kLineFvf);
    drawPrimitive(g.device, type, 0, primitiveCount);
    return S_OK_;
}

bool beginFrame(uint32_t argb) {
    Graphics& g = shell.graphics;
    if (g.device == nullptr) return false;
    clear(g.device, shell.depthBuffer ? ClearTarget | ClearZBuffer : ClearTarget, argb, 1.0f, 0);
    sceneOpen = !failed(beginScene(g.device));
    return sceneOpen;
}

static float viewAspect() {
    Rect client;
    if (shell.window == nullptr || !getClientRect(shell.window, client)) return 1.0f;
    const int w = client.right - client.left, h = client.bottom - client.top;
    if (w <= 0 || h <= 0) return 1.0f;  // minimised
    // In double: the designed size gives exactly 1.
    return static_cast<float>((static_cast<double>(w) / h) /
                              (static_cast<double>(kDesignClientWidth) / kDesignClientHeight));
}

void setupTransforms() {
    Graphics& g = shell.graphics;
    if (g.device == nullptr) return;
    setTransform(g.device, TransformState::Projection,
                 matrixPerspectiveFovLH(kFieldOfView, viewAspect(), kNearPlane, kFarPlane));
    setTransform(g.device, TransformState::View,
                 matrixLookAtLH(shell.camera.eye, shell.camera.target, shell.camera.up));
}

void drawHelpLines(const char* const* lines, int count) {
    if (shell.graphics.font == nullptr || lines == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const Rect r{10, 50 + 30 * i, 0, 0};
        drawText(shell.graphics.font, lines[i], -1, r, DtNoClip, 0xFFFFFFFFu);
    }
}

void drawLoadProblem() {
    if (shell.graphics.font == nullptr || shell.loadProblem.empty()) return;
    const std::vector<std::string> lines = wrapText(shell.loadProblem, kLoadProblemLineChars);
    for (size_t i = 0; i < lines.size(); ++i) {
        const Rect r{10, 50 + kLoadProblemLineHeight * static_cast<int32_t>(i), 0, 0};
        drawText(shell.graphics.font, lines[i].c_str(), -1, r, DtNoClip, 0xFFFFFFFFu);
    }
}

void drawFpsText(int32_t fps) {
    if (shell.graphics.font == nullptr) return;
    char text[32];
    std::snprintf(text, sizeof text, "%d FPS", static_cast<int>(fps));
    drawText(shell.graphics.font, text, -1, Rect{10, 10, 0, 0}, DtNoClip, 0xFFFFFFFFu);
}

void endFrame() {
    if (sceneOpen && shell.graphics.device != nullptr) endScene(shell.graphics.device);
    sceneOpen = false;
}

void presentFrame() {
    if (shell.graphics.device != nullptr) present(shell.graphics.device);
}
