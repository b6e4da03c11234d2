#include "shell/recording/recording.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

struct Window {
    std::string className;
};
struct Direct3D {};
struct Device {};
struct VertexBuffer {
    std::vector<uint8_t> data;
    bool locked = false;
};
struct Font {};

namespace recording {
namespace {

struct Scheduled {
    uint64_t presents;
    Message message;
};

struct State {
    Controls controls;
    std::vector<Call> calls;
    std::deque<Message> queue;
    std::vector<Scheduled> scheduled;
    std::map<std::string, WindowProc> classes;
    std::vector<std::unique_ptr<Window>> windows;
    Window* mainWindow = nullptr;
    bool quitPosted = false;
    int quitCode = 0;
    uint64_t presents = 0;
    uint64_t locks = 0;
    int live = 0;
    int cursor = 0;
    VertexBuffer* stream = nullptr;
    uint32_t streamOffset = 0;
    uint32_t streamStride = 0;
    RunOptions options;
};

State instance;
inline State& state() {
    return instance;
}

// Calls not kept (benchmarks) are written into one scratch call: the fields
// a service sets are overwritten each time, and its vertices are only filled
// for kept calls.
Call unkeptCall;

[[gnu::noinline]] Call& keepCall(CallKind kind) {
    Call& c = state().calls.emplace_back();
    c.kind = kind;
    return c;
}

inline Call& record(CallKind kind) {
    if (state().controls.keepCalls) return keepCall(kind);
    unkeptCall.kind = kind;
    unkeptCall.result = S_OK_;
    return unkeptCall;
}

void deliverScheduled() {
    State& s = state();
    for (auto it = s.scheduled.begin(); it != s.scheduled.end();) {
        if (it->presents <= s.presents) {
            s.queue.push_back(it->message);
            it = s.scheduled.erase(it);
        } else {
            ++it;
        }
    }
}

uint32_t verticesRead(PrimitiveType type, uint32_t count) {
    switch (type) {
        case PrimitiveType::PointList:
            return count;
        case PrimitiveType::LineList:
            return count * 2;
        case PrimitiveType::LineStrip:
            return count == 0 ? 0 : count + 1;
        case PrimitiveType::TriangleList:
            return count * 3;
    }
    return 0;
}

}  // namespace

void reset() {
    State& s = state();
    s = State{};
}

Controls& controls() {
    return state().controls;
}
const std::vector<Call>& calls() {
    return state().calls;
}
void clearCalls() {
    state().calls.clear();
}

void postTestMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    state().queue.push_back(Message{state().mainWindow, message, wParam, lParam});
}

void scheduleMessage(uint64_t presents, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    state().scheduled.push_back(Scheduled{presents, Message{nullptr, message, wParam, lParam}});
}

uint64_t presentCount() {
    return state().presents;
}
int liveObjects() {
    return state().live;
}
int cursorCount() {
    return state().cursor;
}
const RunOptions& configuredOptions() {
    return state().options;
}

std::vector<Call> callsOf(CallKind kind) {
    return callsOf(state().calls, kind);
}

std::vector<Call> callsOf(const std::vector<Call>& calls, CallKind kind) {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.kind == kind) out.push_back(c);
    }
    return out;
}

std::vector<Call> callsOfFrame(int n) {
    std::vector<Call> out;
    int seen = 0;
    bool in = false;
    for (const Call& c : state().calls) {
        if (c.kind == CallKind::ClipCursor && !in && ++seen == n) in = true;
        if (in) out.push_back(c);
        if (in && c.kind == CallKind::Present) break;
    }
    return out;
}

size_t countOf(CallKind kind) {
    return static_cast<size_t>(std::count_if(state().calls.begin(), state().calls.end(),
                                             [&](const Call& c) { return c.kind == kind; }));
}

}  // namespace recording

using recording::CallKind;
using recording::record;
using recording::state;

void configureRun(const RunOptions& options) {
    state().options = options;
    state().controls.tick = options.tickStart;
    state().controls.stepMs = options.stepMs;
    state().controls.closeAfterPresents = options.frames;
}

bool finishRun() {
    return true;  // nothing is captured
}

bool registerWindowClass(const char* className, WindowProc proc) {
    auto& c = record(CallKind::RegisterClass);
    c.text = className;
    if (state().controls.failRegisterClass || proc == nullptr) {
        c.result = E_FAIL_;
        return false;
    }
    state().classes[className] = proc;
    return true;
}

void unregisterWindowClass(const char* className) {
    record(CallKind::UnregisterClass).text = className;
    state().classes.erase(className);
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    auto& c = record(CallKind::CreateWindow);
    c.text = title;
    c.rect = Rect{x, y, x + width, y + height};
    if (state().controls.failCreateWindow || state().classes.count(className) == 0) {
        c.result = E_FAIL_;
        return nullptr;
    }
    state().windows.push_back(std::make_unique<Window>());
    state().windows.back()->className = className;
    state().mainWindow = state().windows.back().get();
    // Messages a test queued before the window existed belong to it.
    for (Message& m : state().queue) {
        if (m.window == nullptr && m.message != msg::Quit) m.window = state().mainWindow;
    }
    return state().mainWindow;
}

void showWindow(Window*) {
    record(CallKind::ShowWindow);
}
void updateWindow(Window*) {
    record(CallKind::UpdateWindow);
}

bool peekMessage(Message& out) {
    auto& s = state();
    if (!s.queue.empty()) {
        out = s.queue.front();
        s.queue.pop_front();
        if (out.window == nullptr && out.message != msg::Quit) out.window = s.mainWindow;
        return true;
    }
    if (s.quitPosted) {
        s.quitPosted = false;
        out = Message{nullptr, msg::Quit, static_cast<uintptr_t>(s.quitCode), 0};
        return true;
    }
    return false;
}

bool isIconic(Window*) {
    return false;
}

void waitMessage() {}

void translateMessage(const Message&) {}

intptr_t dispatchMessage(const Message& m) {
    if (m.window == nullptr) return 0;
    auto it = state().classes.find(m.window->className);
    if (it == state().classes.end()) return 0;
    return it->second(m.window, m.message, m.wParam, m.lParam);
}

intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t) {
    // A close destroys the window, which sends it the destroy message at once.
    if (message == msg::Close && window != nullptr) {
        auto it = state().classes.find(window->className);
        if (it != state().classes.end()) it->second(window, msg::Destroy, 0, 0);
    }
    return 0;
}

void postQuitMessage(int exitCode) {
    record(CallKind::PostQuit).a = static_cast<uint32_t>(exitCode);
    state().quitPosted = true;
    state().quitCode = exitCode;
}

void clipCursor(const Rect* screenRect) {
    auto& c = record(CallKind::ClipCursor);
    c.hasRect = screenRect != nullptr;
    if (screenRect) c.rect = *screenRect;
}

void setCursorPos(int screenX, int screenY) {
    auto& c = record(CallKind::SetCursorPos);
    c.x = screenX;
    c.y = screenY;
    // The cursor jump reaches the window as a mouse move, as on a real desktop.
    const auto& k = state().controls;
    const int cx = screenX - k.windowRect.left - k.clientOffsetX;
    const int cy = screenY - k.windowRect.top - k.clientOffsetY;
    if (state().mainWindow != nullptr && cx >= 0 && cy >= 0) {
        recording::postTestMessage(msg::MouseMove, 0, recording::mouseParam(cx, cy));
    }
}

int showCursor(bool show) {
    state().cursor += show ? 1 : -1;
    auto& c = record(CallKind::ShowCursor);
    c.a = show ? 1 : 0;
    return state().cursor;
}

bool getWindowRect(Window* window, Rect& out) {
    record(CallKind::GetWindowRect);
    if (window == nullptr) return false;
    out = state().controls.windowRect;
    return true;
}

bool getClientRect(Window* window, Rect& out) {
    if (window == nullptr) return false;
    const Rect& r = state().controls.windowRect;  // a Win32 frame around it
    out = Rect{0, 0, r.right - r.left - kFrameExtraWidth, r.bottom - r.top - kFrameExtraHeight};
    return true;
}

uint32_t getTickCount() {
    return state().controls.tick;
}

Direct3D* direct3DCreate(uint32_t sdkVersion) {
    auto& c = record(CallKind::CreateDirect3D);
    c.a = sdkVersion;
    if (state().controls.failDirect3D) {
        c.result = E_FAIL_;
        return nullptr;
    }
    ++state().live;
    return new Direct3D;
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out) {
    auto& c = record(CallKind::CreateDevice);
    c.a = params.windowed ? 1 : 0;
    c.b = params.autoDepthStencil ? 1 : 0;
    c.c = params.presentationInterval;
    if (state().controls.failDevice || d3d == nullptr || focusWindow == nullptr || !out) {
        c.result = E_FAIL_;
        return E_FAIL_;
    }
    ++state().live;
    *out = new Device;
    return S_OK_;
}

void setRenderState(Device*, RenderState rs, uint32_t value) {
    auto& c = record(CallKind::SetRenderState);
    c.a = static_cast<uint32_t>(rs);
    c.b = value;
}

HResult createVertexBuffer(Device* device, uint32_t bytes, uint32_t usage, uint32_t fvf,
                           VertexBuffer** out) {
    auto& c = record(CallKind::CreateVertexBuffer);
    c.a = bytes;
    c.b = usage;
    c.c = fvf;
    if (state().controls.failVertexBuffer || device == nullptr || bytes == 0 || !out) {
        c.result = E_FAIL_;
        return E_FAIL_;
    }
    ++state().live;
    *out = new VertexBuffer;
    (*out)->data.assign(bytes, 0);
    return S_OK_;
}

HResult lockVertexBuffer(VertexBuffer* buffer, uint32_t offset, uint32_t bytes, void** data,
                         uint32_t flags) {
    auto& c = record(CallKind::Lock);
    c.a = offset;
    c.b = bytes;
    c.c = flags;
    const uint64_t number = state().locks++;
    const auto& k = state().controls;
    const bool fail = k.failAllLocks ||
                      (k.failLockNumber >= 0 && static_cast<uint64_t>(k.failLockNumber) == number);
    const uint64_t size = buffer ? buffer->data.size() : 0;
    const uint64_t length = bytes == 0 ? size - std::min<uint64_t>(offset, size) : bytes;
    if (fail || buffer == nullptr || data == nullptr || buffer->locked ||
        uint64_t{offset} + length > size) {
        c.result = E_FAIL_;
        return E_FAIL_;
    }
    buffer->locked = true;
    *data = buffer->data.data() + offset;
    return S_OK_;
}

HResult unlockVertexBuffer(VertexBuffer* buffer) {
    auto& c = record(CallKind::Unlock);
    if (buffer == nullptr || !buffer->locked) {
        c.result = E_FAIL_;
        return E_FAIL_;
    }
    buffer->locked = false;
    return S_OK_;
}

void setTransform(Device*, TransformState ts, const Matrix4& matrix) {
    auto& c = record(CallKind::SetTransform);
    c.a = static_cast<uint32_t>(ts);
    c.matrix = matrix;
}

void setStreamSource(Device*, uint32_t stream, VertexBuffer* buffer, uint32_t offset,
                     uint32_t stride) {
    auto& c = record(CallKind::SetStreamSource);
    c.a = stream;
    c.b = offset;
    c.c = stride;
    if (stream == 0) {
        state().stream = buffer;
        state().streamOffset = offset;
        state().streamStride = stride;
    }
}

void setFvf(Device*, uint32_t fvf) {
    record(CallKind::SetFvf).a = fvf;
}

void drawPrimitive(Device*, PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
    auto& c = record(CallKind::DrawPrimitive);
    c.a = static_cast<uint32_t>(type);
    c.b = startVertex;
    c.c = primitiveCount;
    if (!state().controls.keepCalls) return;
    const VertexBuffer* vb = state().stream;
    const uint32_t stride = state().streamStride;
    if (vb == nullptr || stride < sizeof(LineVertex)) {
        c.withoutBuffer = true;
        return;
    }
    const uint64_t n = recording::verticesRead(type, primitiveCount);
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t at = state().streamOffset + (startVertex + i) * stride;
        if (at + sizeof(LineVertex) > vb->data.size()) {
            c.readPastBuffer = true;
            break;
        }
        LineVertex v;
        std::memcpy(&v, vb->data.data() + at, sizeof v);
        c.vertices.push_back(v);
    }
}

void clear(Device*, uint32_t flags, uint32_t argb, float z, uint32_t stencil) {
    auto& c = record(CallKind::Clear);
    c.a = flags;
    c.b = argb;
    c.c = stencil;
    c.z = z;
}

HResult beginScene(Device*) {
    auto& c = record(CallKind::BeginScene);
    if (state().controls.failBeginScene) c.result = E_FAIL_;
    return c.result;
}

HResult endScene(Device*) {
    return record(CallKind::EndScene).result;
}

HResult present(Device*) {
    record(CallKind::Present);
    auto& s = state();
    ++s.presents;
    s.controls.tick += s.controls.stepMs;
    recording::deliverScheduled();
    if (s.controls.closeAfterPresents >= 0 &&
        s.presents == static_cast<uint64_t>(s.controls.closeAfterPresents) &&
        s.mainWindow != nullptr) {
        s.queue.push_back(Message{s.mainWindow, msg::Close, 0, 0});
    }
    return S_OK_;
}

HResult createFont(Device* device, int height, int width, int weight, int mipLevels, bool italic,
                   const char* faceName, Font** out) {
    auto& c = record(CallKind::CreateFont);
    c.a = static_cast<uint32_t>(height);
    c.b = static_cast<uint32_t>(weight);
    c.c = static_cast<uint32_t>(width) | (static_cast<uint32_t>(mipLevels) << 8) |
          (italic ? 0x10000u : 0u);
    c.text = faceName ? faceName : "";
    if (state().controls.failFont || device == nullptr || !out) {
        c.result = E_FAIL_;
        return E_FAIL_;
    }
    ++state().live;
    *out = new Font;
    return S_OK_;
}

int drawText(Font* font, const char* text, int length, const Rect& rect, uint32_t format,
             uint32_t argb) {
    auto& c = record(CallKind::DrawText);
    if (font == nullptr || text == nullptr) return 0;
    c.text = length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    c.rect = rect;
    c.a = format;
    c.b = argb;
    return 16;
}

void release(Font* font) {
    if (!font) return;
    record(CallKind::ReleaseFont);
    --state().live;
    delete font;
}

void release(VertexBuffer* buffer) {
    if (!buffer) return;
    record(CallKind::ReleaseVertexBuffer);
    if (state().stream == buffer) state().stream = nullptr;
    --state().live;
    delete buffer;
}

void release(Device* device) {
    if (!device) return;
    record(CallKind::ReleaseDevice);
    --state().live;
    delete device;
}

void release(Direct3D* d3d) {
    if (!d3d) return;
    record(CallKind::ReleaseDirect3D);
    --state().live;
    delete d3d;
}
