// Unattended runs headless: scripted input arrives as the messages a real
// window would get, at the right frame; the frame limit and the close event end
// the run as the close button does; captures hold the right frames; the
// headless cursor echoes moves. Also the translation of SDL input events.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "shell/harness/run_harness.h"
#include "shell/sdl_gl/internal.h"
#include "shell/sdl_gl/sdl_gl.h"
#include "tests/sdl_gl/probe.h"

namespace {

RunOptions headless(int64_t frames = -1) {
    RunOptions options;
    options.headless = true;
    options.frames = frames;
    return options;
}

ScriptEvent keyAt(uint32_t ms, uint32_t key) {
    ScriptEvent e;
    e.atMs = ms;
    e.message = msg::KeyDown;
    e.wParam = key;
    return e;
}

ScriptEvent mouseAt(uint32_t ms, uint32_t message, int x, int y) {
    ScriptEvent e;
    e.atMs = ms;
    e.message = message;
    e.lParam = packMousePosition(x, y);
    return e;
}

ScriptEvent closeAt(uint32_t ms) {
    ScriptEvent e;
    e.kind = ScriptEvent::Kind::Close;
    e.atMs = ms;
    return e;
}

ScriptEvent captureAt(uint32_t ms, const std::string& file) {
    ScriptEvent e;
    e.kind = ScriptEvent::Kind::Capture;
    e.atMs = ms;
    e.file = file;
    return e;
}

std::vector<ReceivedMessage> only(const Probe& p, uint32_t message) {
    std::vector<ReceivedMessage> out;
    for (const ReceivedMessage& m : p.messages) {
        if (m.message == message) out.push_back(m);
    }
    return out;
}

// Each frame is cleared to a colour that names it (frame n: red n).
void clearToFrameNumber(Probe& p) {
    clear(p.device, ClearTarget, 0xFF000000u | (static_cast<uint32_t>(p.framesPresented + 1) << 16),
          1.0f, 0);
}

TEST(ScriptedRun, EventsArriveBeforeTheFirstFrameAtOrPastTheirTime) {
    RunOptions options = headless();
    options.stepMs = 16;
    options.script = {keyAt(0, vk::F1), keyAt(40, 'A'), keyAt(48, 'W'),
                      mouseAt(100, msg::MouseMove, 300, 200), closeAt(160)};
    Probe p;
    ASSERT_TRUE(runProbe(options, p));
    const auto keys = only(p, msg::KeyDown);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].wParam, vk::F1);
    EXPECT_EQ(keys[0].framesBefore, 0);  // due at the first frame's tick
    EXPECT_EQ(keys[0].tick, 1000000u);
    EXPECT_EQ(keys[1].wParam, 'A');
    EXPECT_EQ(keys[1].framesBefore, 3);  // ticks +0, +16, +32 drawn; +48 >= +40
    EXPECT_EQ(keys[2].framesBefore, 3);  // due at exactly +48: same poll, file order
    const auto moves = only(p, msg::MouseMove);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].framesBefore, 7);  // +112 is the first tick >= +100
    EXPECT_EQ(mouseX(moves[0].lParam), 300);
    EXPECT_EQ(mouseY(moves[0].lParam), 200);
    // The close event: Close, passed to defWindowProc, destroys the window.
    const auto closes = only(p, msg::Close);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].framesBefore, 10);
    EXPECT_TRUE(p.destroyed);
    EXPECT_TRUE(p.quitSeen);
    EXPECT_EQ(p.framesPresented, 10);
    EXPECT_EQ(p.messages.back().message, msg::Destroy);
}

TEST(ScriptedRun, TimesCountAcrossTheWrapOfTheTickCount) {
    RunOptions options = headless();
    options.tickStart = 4294967000u;  // wraps after 296 ms
    options.stepMs = 16;
    options.script = {keyAt(400, 'R'), closeAt(416)};
    Probe p;
    ASSERT_TRUE(runProbe(options, p));
    const auto keys = only(p, msg::KeyDown);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].framesBefore, 25);
    EXPECT_EQ(keys[0].tick, 4294967000u + 400u);  // wrapped: 104
    EXPECT_EQ(p.framesPresented, 26);
}

TEST(ScriptedRun, FrameLimitClosesTheWindowAfterTheLastFrame) {
    Probe p;
    ASSERT_TRUE(runProbe(headless(5), p));
    EXPECT_EQ(p.framesPresented, 5);
    const auto destroys = only(p, msg::Destroy);
    ASSERT_EQ(destroys.size(), 1u);
    EXPECT_EQ(destroys[0].framesBefore, 5);
    EXPECT_EQ(only(p, msg::Close).size(), 1u);

    Probe byDefault;
    ASSERT_TRUE(runProbe(headless(), byDefault));
    EXPECT_EQ(byDefault.framesPresented, 600);  // headless default
}

TEST(ScriptedRun, VirtualClockAdvancesByTheStepAfterEachPresent) {
    RunOptions options = headless(4);
    options.tickStart = 5000;
    options.stepMs = 7;
    Probe p;
    std::vector<uint32_t> ticks;
    p.drawFrame = [&](Probe&) { ticks.push_back(getTickCount()); };
    ASSERT_TRUE(runProbe(options, p));
    EXPECT_EQ(ticks, (std::vector<uint32_t>{5000, 5007, 5014, 5021}));
}

TEST(ScriptedRun, CapturesHoldTheNextFrameAndTheLastFrame) {
    const std::string third = ::testing::TempDir() + "sdl_gl_third.png";
    const std::string last = ::testing::TempDir() + "sdl_gl_last.png";
    std::remove(third.c_str());
    std::remove(last.c_str());
    RunOptions options = headless(5);
    options.captureFile = last;
    options.script = {captureAt(32, third)};  // due before the frame at +32: the third
    Probe p;
    p.drawFrame = clearToFrameNumber;
    ASSERT_TRUE(runProbe(options, p));
    Image image;
    ASSERT_TRUE(loadPng(third, image));
    EXPECT_EQ(image.at(0, 0), 0x030000u);
    EXPECT_EQ(image.at(483, 460), 0x030000u);
    ASSERT_TRUE(loadPng(last, image));
    EXPECT_EQ(image.at(240, 230), 0x050000u);
}

TEST(ScriptedRun, EscapeStyleShutDownStillWritesTheLastFrame) {
    // The program releases the device itself and quits (as on Escape), the
    // window is never destroyed: the capture is written when the device goes.
    const std::string last = ::testing::TempDir() + "sdl_gl_escape.png";
    std::remove(last.c_str());
    RunOptions options = headless();
    options.captureFile = last;
    options.script = {keyAt(48, vk::Escape)};
    Probe p;
    p.drawFrame = clearToFrameNumber;
    p.onMessage = [](Probe& probe, const ReceivedMessage& m) {
        if (m.message != msg::KeyDown || m.wParam != vk::Escape) return;
        release(probe.buffer);
        probe.buffer = nullptr;
        release(probe.device);
        probe.device = nullptr;
        postQuitMessage(0);
    };
    ASSERT_TRUE(runProbe(options, p));
    EXPECT_EQ(p.framesPresented, 3);
    Image image;
    ASSERT_TRUE(loadPng(last, image));
    EXPECT_EQ(image.at(10, 10), 0x030000u);
}

TEST(ScriptedRun, UnwritableCaptureIsReportedAndTheRunGoesOn) {
    RunOptions options = headless(3);
    options.captureFile = "/nonexistent-dir/x.png";
    Probe p;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(runProbe(options, p));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.framesPresented, 3);
    EXPECT_NE(err.find("/nonexistent-dir/x.png"), std::string::npos) << err;
}

// The re-centring of a mouse drag: the cursor is moved to the window's
// top-left + 250 and the window gets the move to the matching client pixel.
TEST(HeadlessCursor, MovesAreEchoedAndConfinementAndHidingRecorded) {
    RunOptions options = headless();
    options.script = {mouseAt(0, msg::LButtonDown, 100, 100), mouseAt(16, msg::MouseMove, 120, 90),
                      mouseAt(32, msg::LButtonUp, 120, 90), closeAt(64)};
    Probe p;
    Rect windowRect;
    int hiddenCount = 99, shownCount = 99;
    bool clipped = false;
    VirtualCursor cursorAfterMove;
    p.onMessage = [&](Probe& probe, const ReceivedMessage& m) {
        if (m.message == msg::LButtonDown) {
            ASSERT_TRUE(getWindowRect(probe.window, windowRect));
            hiddenCount = showCursor(false);
            const Rect clip{windowRect.left + 10, windowRect.top + 50, windowRect.right - 10,
                            windowRect.bottom - 10};
            clipCursor(&clip);
            clipped = sdlGlCursor().confined;
        }
        if (m.message == msg::MouseMove && mouseX(m.lParam) == 120) {
            setCursorPos(windowRect.left + 250, windowRect.top + 250);
            cursorAfterMove = sdlGlCursor();
        }
        if (m.message == msg::LButtonUp) {
            shownCount = showCursor(true);
            clipCursor(nullptr);
        }
    };
    ASSERT_TRUE(runProbe(options, p));
    EXPECT_EQ(windowRect.left, 100);
    EXPECT_EQ(windowRect.top, 100);
    EXPECT_EQ(windowRect.right, 600);
    EXPECT_EQ(windowRect.bottom, 600);
    EXPECT_EQ(hiddenCount, -1);
    EXPECT_EQ(shownCount, 0);
    EXPECT_TRUE(clipped);
    EXPECT_FALSE(sdlGlCursor().confined);
    const auto moves = only(p, msg::MouseMove);
    ASSERT_EQ(moves.size(), 2u);
    // 250 - 8 and 250 - 31: the client pixel under the outer corner + 250.
    EXPECT_EQ(mouseX(moves[1].lParam), 242);
    EXPECT_EQ(mouseY(moves[1].lParam), 219);
    EXPECT_EQ(moves[1].wParam, 0x0001u);                      // left button still held
    EXPECT_EQ(moves[1].framesBefore, moves[0].framesBefore);  // before the next frame
    EXPECT_EQ(cursorAfterMove.x, 350);
    EXPECT_EQ(cursorAfterMove.y, 350);
    EXPECT_EQ(cursorAfterMove.moveCalls, 1u);
    // The scripted button release moved the cursor back to its client pixel.
    EXPECT_EQ(sdlGlCursor().x, 108 + 120);
    EXPECT_EQ(sdlGlCursor().y, 131 + 90);
}

TEST(HeadlessCursor, MovesStayInsideTheConfiningRectangle) {
    RunOptions options = headless(1);
    Probe p;
    p.drawFrame = [](Probe&) {
        const Rect clip{110, 150, 590, 590};
        clipCursor(&clip);
        setCursorPos(0, 1000);
    };
    ASSERT_TRUE(runProbe(options, p));
    EXPECT_EQ(sdlGlCursor().x, 110);
    EXPECT_EQ(sdlGlCursor().y, 589);
    const auto moves = only(p, msg::MouseMove);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(mouseX(moves[0].lParam), 110 - 108);
    EXPECT_EQ(mouseY(moves[0].lParam), 589 - 131);
}

TEST(KeyTranslation, KeypadAndMainKeyboardPlusMinusDiffer) {
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS), vk::Add);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_KP_MINUS, SDLK_KP_MINUS), vk::Subtract);
    for (auto [scancode, keycode] : {std::pair{SDL_SCANCODE_EQUALS, SDLK_EQUALS},
                                     {SDL_SCANCODE_EQUALS, SDLK_PLUS},
                                     {SDL_SCANCODE_MINUS, SDLK_MINUS}}) {
        const uint32_t key = sdlKeyToVirtualKey(scancode, keycode);
        EXPECT_NE(key, vk::Add);
        EXPECT_NE(key, vk::Subtract);
        EXPECT_NE(key, 0u);
    }
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), vk::Escape);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_RETURN, SDLK_RETURN), vk::Return);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_F1, SDLK_F1), vk::F1);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_PAGEUP, SDLK_PAGEUP), vk::Prior);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN), vk::Next);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_LEFT, SDLK_LEFT), vk::Left);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_UP, SDLK_UP), vk::Up);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_RIGHT, SDLK_RIGHT), vk::Right);
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_DOWN, SDLK_DOWN), vk::Down);
    // Letters by the layout's character (a French keyboard's A key gives 'A').
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_Q, SDLK_a), static_cast<uint32_t>('A'));
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_W, SDLK_w), static_cast<uint32_t>('W'));
    EXPECT_EQ(sdlKeyToVirtualKey(SDL_SCANCODE_7, SDLK_7), static_cast<uint32_t>('7'));
}

// SDL input events queued for the window come out of peekMessage as Win32
// messages; the close button ends in Destroy through defWindowProc.
TEST(EventTranslation, SdlEventsBecomeWindowMessages) {
    RunOptions options = headless();
    Probe p;
    bool pushed = false;
    p.drawFrame = [&](Probe& probe) {
        if (pushed) return;
        pushed = true;
        const uint32_t id = SDL_GetWindowID(probe.window->sdl);
        auto key = [&](SDL_Scancode sc, SDL_Keycode sym, bool repeat) {
            SDL_Event e{};
            e.type = SDL_KEYDOWN;
            e.key.windowID = id;
            e.key.repeat = repeat ? 1 : 0;
            e.key.keysym.scancode = sc;
            e.key.keysym.sym = sym;
            SDL_PushEvent(&e);
        };
        key(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, false);
        key(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, true);
        key(SDL_SCANCODE_EQUALS, SDLK_EQUALS, false);
        key(SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, false);  // no code: not sent
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = id;
        e.motion.x = 321;
        e.motion.y = 123;
        SDL_PushEvent(&e);
        e = SDL_Event{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.windowID = id;
        e.button.button = SDL_BUTTON_RIGHT;
        e.button.x = 5;
        e.button.y = 6;
        SDL_PushEvent(&e);
        e = SDL_Event{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        SDL_PushEvent(&e);
    };
    ASSERT_TRUE(runProbe(options, p));
    std::vector<uint32_t> kinds;
    for (const auto& m : p.messages) kinds.push_back(m.message);
    EXPECT_EQ(kinds,
              (std::vector<uint32_t>{msg::KeyDown, msg::KeyDown, msg::KeyDown, msg::MouseMove,
                                     msg::RButtonDown, msg::Close, msg::Destroy}));
    ASSERT_GE(p.messages.size(), 5u);
    EXPECT_EQ(p.messages[0].wParam, vk::Add);
    EXPECT_EQ(p.messages[0].lParam & (intptr_t{1} << 30), 0);
    EXPECT_EQ(p.messages[1].wParam, vk::Add);
    EXPECT_NE(p.messages[1].lParam & (intptr_t{1} << 30), 0);  // auto-repeat
    EXPECT_NE(p.messages[2].wParam, vk::Add);
    EXPECT_EQ(mouseX(p.messages[3].lParam), 321);
    EXPECT_EQ(mouseY(p.messages[3].lParam), 123);
    EXPECT_EQ(mouseX(p.messages[4].lParam), 5);
    EXPECT_EQ(mouseY(p.messages[4].lParam), 6);
    EXPECT_EQ(p.framesPresented, 1);
}

TEST(Lifecycle, ObjectsSurviveTheirDeviceAndBadCallsFailCleanly) {
    RunOptions options = headless(1);
    Probe p;
    p.drawFrame = [](Probe& probe) {
        void* data = nullptr;
        EXPECT_TRUE(failed(lockVertexBuffer(probe.buffer, 1760, 16, &data, 0)));
        EXPECT_TRUE(failed(lockVertexBuffer(probe.buffer, 1700, 100, &data, 0)));
        EXPECT_EQ(data, nullptr);
        EXPECT_FALSE(failed(lockVertexBuffer(probe.buffer, 16, 0, &data, 0)));  // to the end
        EXPECT_TRUE(failed(lockVertexBuffer(probe.buffer, 0, 16, &data, 0)));   // already locked
        EXPECT_FALSE(failed(unlockVertexBuffer(probe.buffer)));
        EXPECT_TRUE(failed(beginScene(probe.device)));  // already in a scene
        // Drawing past the end of the buffer draws nothing and does not crash.
        testing::internal::CaptureStderr();
        setStreamSource(probe.device, 0, probe.buffer, 0, 16);
        setFvf(probe.device, FvfXyz | FvfDiffuse);
        drawPrimitive(probe.device, PrimitiveType::LineStrip, 100, 20);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("beyond the end"), std::string::npos);
    };
    Font* keptFont = nullptr;
    p.onMessage = [&](Probe& probe, const ReceivedMessage& m) {
        if (m.message == msg::Destroy) {  // keep the font past the device, as programs do
            keptFont = probe.font;
            probe.font = nullptr;
        }
    };
    ASSERT_TRUE(runProbe(options, p));
    EXPECT_EQ(drawText(keptFont, "late", -1, Rect{}, DtNoClip, 0xFFFFFFFF), 0);
    release(keptFont);
    release(static_cast<Font*>(nullptr));
}

TEST(StartUp, WithoutADisplayTheWindowFailsAndSuggestsHeadless) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
            RunOptions options;  // a window is asked for
            configureRun(options);
            registerWindowClass(
                "t", [](Window*, uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; });
            Window* w = createWindow("t", "t", 100, 100, 500, 500);
            Direct3D* d3d = direct3DCreate(SdkVersion);
            Device* device = nullptr;
            const bool deviceFailed = failed(createDevice(d3d, w, PresentParameters{}, &device));
            release(d3d);
            std::exit(w == nullptr && deviceFailed && device == nullptr ? 3 : 0);
        },
        ::testing::ExitedWithCode(3), "--headless");
}

}  // namespace
