// Checks the Win32 + Direct3D 9 backend through the service interface, the way a
// program uses it, in one scripted headless run: the window procedure receives
// the messages of window creation, scripted events arrive before the frame they
// are due at, with the button flags a real mouse gives; the virtual tick count
// wraps; the headless cursor echoes its moves as a real window would see them;
// the frame limit closes the window; captures hold what was drawn.
//
// Windows program; needs a display for Direct3D (run under Wine and Xvfb):
//   DISPLAY=:N WINEPREFIX=... WINEDEBUG=-all wine backend_check.exe OUTPUT_DIR
#include "shell/run_options.h"
#include "shell/services.h"
#include "tests/win32_d3d9/check.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kMkLButton = 0x0001;
constexpr uint32_t kNcCreate = 0x0081;
constexpr uint32_t kCreate = 0x0001;
constexpr uint32_t kTickStart = 4294967000u;  // wraps during the run
constexpr int kFrames = 5;
constexpr uint32_t kLeftColour = 0xFFFF0000;
// Frame k (1-based) is cleared to a colour of its own, so captures tell frames apart.
uint32_t clearColour(int frame) {
    return 0xFF000000u | static_cast<uint32_t>(frame * 40) << 8 | 0x20u;
}

struct Seen {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    int framesDrawn;  // frames drawn before it arrived
};

struct {
    Direct3D* d3d = nullptr;
    Device* device = nullptr;
    Font* font = nullptr;
    VertexBuffer* buffer = nullptr;
    int framesDrawn = 0;
    std::vector<Seen> seen;
    Rect rectAtPress;
    int cursorCountAtPress = 0;
    bool created = false;  // creation messages reached our procedure
} run;

void releaseAll() {
    release(run.font);
    release(run.buffer);
    release(run.device);
    release(run.d3d);
    run.font = nullptr;
    run.buffer = nullptr;
    run.device = nullptr;
    run.d3d = nullptr;
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kNcCreate || message == kCreate) run.created = true;
    switch (message) {
        case msg::KeyDown:
        case msg::MouseMove:
        case msg::LButtonUp:
        case msg::Close:
            run.seen.push_back({message, wParam, lParam, run.framesDrawn});
            break;
        case msg::LButtonDown: {
            run.seen.push_back({message, wParam, lParam, run.framesDrawn});
            getWindowRect(window, run.rectAtPress);
            run.cursorCountAtPress = showCursor(false);
            // Echoed at the client point (242, 219) of a 500 x 500 window at (100, 100).
            setCursorPos(run.rectAtPress.left + 250, run.rectAtPress.top + 250);
            // Off the window: no echo.
            setCursorPos(0, 0);
            // Confined: pulled to the corner of the rectangle, client (2, 9).
            const Rect clip{110, 140, 590, 590};
            clipCursor(&clip);
            setCursorPos(50, 50);
            clipCursor(nullptr);
            break;
        }
        case msg::Destroy:
            run.seen.push_back({message, wParam, lParam, run.framesDrawn});
            releaseAll();
            postQuitMessage(0);
            return 0;
        default:
            break;
    }
    return defWindowProc(window, message, wParam, lParam);
}

void drawLeftHalf() {
    // Clip-space quad over the left half of the surface (view and projection are
    // the identity, the world transform is never set).
    const LineVertex quad[6] = {{-1, -1, 0.5f, kLeftColour}, {-1, 1, 0.5f, kLeftColour},
                                {0, 1, 0.5f, kLeftColour},   {-1, -1, 0.5f, kLeftColour},
                                {0, 1, 0.5f, kLeftColour},   {0, -1, 0.5f, kLeftColour}};
    void* data = nullptr;
    if (failed(lockVertexBuffer(run.buffer, 0, sizeof quad, &data, 0))) {
        CHECK(!"lock");
        return;
    }
    std::memcpy(data, quad, sizeof quad);
    unlockVertexBuffer(run.buffer);
    setStreamSource(run.device, 0, run.buffer, 0, sizeof(LineVertex));
    setFvf(run.device, FvfXyz | FvfDiffuse);
    drawPrimitive(run.device, PrimitiveType::TriangleList, 0, 2);
}

void drawFrame() {
    ++run.framesDrawn;
    clear(run.device, ClearTarget, clearColour(run.framesDrawn), 1.0f, 0);
    if (!failed(beginScene(run.device))) {
        setTransform(run.device, TransformState::Projection, matrixIdentity());
        setTransform(run.device, TransformState::View, matrixIdentity());
        drawLeftHalf();
        // A bold block of text on the right half, where only the clear colour is.
        drawText(run.font, "MMMM", -1, Rect{300, 10, 0, 0}, DtNoClip, 0xFFFFFFFF);
        endScene(run.device);
    }
    present(run.device);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
    }
};

bool load(const std::string& path, Picture& out) {
    int channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &out.width, &out.height, &channels, 3);
    if (data == nullptr) return false;
    out.rgb.assign(data, data + static_cast<size_t>(out.width) * out.height * 3);
    stbi_image_free(data);
    return true;
}

void checkPicture(const std::string& path, int frame) {
    Picture p;
    if (!load(path, p)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        ++failures;
        return;
    }
    CHECK(p.width == 484 && p.height == 461);
    if (p.width != 484 || p.height != 461) return;
    CHECK(p.at(100, 230) == kLeftColour);
    CHECK(p.at(400, 230) == clearColour(frame));
    CHECK(p.at(400, 450) == clearColour(frame));
    int white = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 300; x < 400; ++x) {
            const uint32_t c = p.at(x, y);
            white += (c & 0xFF) > 200 && (c >> 8 & 0xFF) > 200 && (c >> 16 & 0xFF) > 200;
        }
    CHECK(white > 50);  // the text was drawn
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string scripted = dir + "/backend_check_frame3.png";
    const std::string last = dir + "/backend_check_last.png";
    std::remove(scripted.c_str());
    std::remove(last.c_str());

    RunOptions options;
    options.headless = true;
    options.tickStart = kTickStart;
    options.stepMs = 16;
    options.frames = kFrames;
    options.captureFile = last;
    std::string error;
    const std::string script =
        "0 key A\n"
        "16 mousemove 30 40\n"
        "17 lbuttondown 10 20\n"  // due at 32: before frame 3
        "32 capture " +
        scripted +
        "\n"
        "48 lbuttonup 10 20\n";
    if (!parseScript(script, options.script, error)) {
        std::fprintf(stderr, "script: %s\n", error.c_str());
        return 1;
    }
    configureRun(options);

    const char* title = "backend check";
    CHECK(registerWindowClass(title, windowProc));
    Window* window = createWindow(title, title, 100, 100, 500, 500);
    CHECK(window != nullptr);
    CHECK(run.created);
    run.d3d = direct3DCreate(SdkVersion);
    CHECK(run.d3d != nullptr);
    if (run.d3d == nullptr ||
        failed(createDevice(run.d3d, window, PresentParameters{}, &run.device))) {
        std::fprintf(stderr, "no Direct3D device (is DISPLAY set?)\n");
        return 1;
    }
    setRenderState(run.device, RenderState::CullMode, CullNone);
    setRenderState(run.device, RenderState::Lighting, 0);
    createFont(run.device, -16, 0, 700, 0, false, "Arial", &run.font);
    CHECK(!failed(createVertexBuffer(run.device, 1760, 0, FvfXyz | FvfDiffuse, &run.buffer)));
    showWindow(window);
    updateWindow(window);

    std::vector<uint32_t> ticks;
    Message m;
    int iterations = 0;
    for (; iterations < 100000; ++iterations) {
        if (peekMessage(m)) {
            if (m.message == msg::Quit) break;
            translateMessage(m);
            dispatchMessage(m);
            continue;
        }
        if (run.device == nullptr) continue;
        ticks.push_back(getTickCount());
        drawFrame();
    }
    unregisterWindowClass(title);
    CHECK(iterations < 100000);  // the frame limit ended the run

    // The clock: virtual, wrapping, one step per presented frame.
    CHECK(run.framesDrawn == kFrames);
    CHECK(ticks.size() == static_cast<size_t>(kFrames));
    for (size_t i = 0; i < ticks.size(); ++i) CHECK(ticks[i] == kTickStart + 16u * i);

    // What the window procedure saw, in order, and before which frame.
    std::vector<Seen> expected = {
        {msg::KeyDown, 'A', 0, 0},
        {msg::MouseMove, 0, 30 | 40 << 16, 1},
        {msg::LButtonDown, kMkLButton, 10 | 20 << 16, 2},
        {msg::MouseMove, kMkLButton, 242 | 219 << 16, 2},  // echo of the re-centring
        {msg::MouseMove, kMkLButton, 2 | 9 << 16, 2},      // echo of the confined move
        {msg::LButtonUp, 0, 10 | 20 << 16, 3},
        {msg::Close, 0, 0, kFrames},
        {msg::Destroy, 0, 0, kFrames},
    };
    CHECK(run.seen.size() == expected.size());
    for (size_t i = 0; i < run.seen.size() && i < expected.size(); ++i) {
        const Seen &s = run.seen[i], &e = expected[i];
        if (s.message != e.message || s.wParam != e.wParam || s.lParam != e.lParam ||
            s.framesDrawn != e.framesDrawn) {
            std::fprintf(stderr,
                         "message %zu: got 0x%x (%llx, %llx) after %d frames, expected 0x%x (%llx, "
                         "%llx) after %d\n",
                         i, s.message, static_cast<unsigned long long>(s.wParam),
                         static_cast<unsigned long long>(s.lParam), s.framesDrawn, e.message,
                         static_cast<unsigned long long>(e.wParam),
                         static_cast<unsigned long long>(e.lParam), e.framesDrawn);
            ++failures;
        }
    }
    CHECK(run.rectAtPress.left == 100 && run.rectAtPress.top == 100 &&
          run.rectAtPress.right == 600 && run.rectAtPress.bottom == 600);
    CHECK(run.cursorCountAtPress == -1);

    // Captures: the scripted one holds frame 3, the final one the last frame.
    checkPicture(scripted, 3);
    checkPicture(last, kFrames);

    if (failures == 0) std::printf("backend_check: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
