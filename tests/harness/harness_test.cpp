// The backend-independent run harness: which scripted events are due when, the
// frame limit, mouse position packing, the virtual cursor and PNG writing.
#include <gtest/gtest.h>

#include <cstdio>

#include "shell/harness/png_writer.h"
#include "shell/harness/run_harness.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

ScriptEvent at(uint32_t ms, ScriptEvent::Kind kind = ScriptEvent::Kind::Message) {
    ScriptEvent e;
    e.kind = kind;
    e.atMs = ms;
    e.message = 0x100;
    e.wParam = ms;  // identifies the event
    if (kind == ScriptEvent::Kind::Capture) e.file = "f" + std::to_string(ms);
    return e;
}

std::vector<uintptr_t> take(RunHarness& h, uint32_t now) {
    std::vector<ScriptEvent> due;
    harnessTakeDueEvents(h, now, due);
    std::vector<uintptr_t> ids;
    for (const ScriptEvent& e : due) ids.push_back(e.wParam);
    return ids;
}

TEST(DueEvents, ComeInFileOrderCountedFromTheFirstPoll) {
    RunOptions options;
    options.script = {at(0), at(10), at(10), at(5), at(30)};  // 5 after 10: waits for it
    RunHarness h;
    harnessConfigure(h, options);
    EXPECT_EQ(take(h, 500), (std::vector<uintptr_t>{0}));  // origin 500
    EXPECT_TRUE(take(h, 509).empty());
    EXPECT_EQ(take(h, 510), (std::vector<uintptr_t>{10, 10, 5}));
    EXPECT_TRUE(take(h, 529).empty());
    EXPECT_EQ(take(h, 10000), (std::vector<uintptr_t>{30}));
    EXPECT_TRUE(take(h, 20000).empty());
}

TEST(DueEvents, SurviveTheWrapOfTheTickCount) {
    RunOptions options;
    options.script = {at(100), at(400)};
    RunHarness h;
    harnessConfigure(h, options);
    EXPECT_TRUE(take(h, 4294967000u).empty());
    EXPECT_EQ(take(h, 4294967100u), (std::vector<uintptr_t>{100}));
    EXPECT_TRUE(take(h, 50).empty());  // wrapped: 346 ms after the origin
    EXPECT_EQ(take(h, 104), (std::vector<uintptr_t>{400}));
}

TEST(DueEvents, CapturesWaitForTheNextFrameInsteadOfBeingPosted) {
    RunOptions options;
    options.script = {at(0, ScriptEvent::Kind::Capture), at(0), at(16, ScriptEvent::Kind::Close)};
    RunHarness h;
    harnessConfigure(h, options);
    EXPECT_EQ(take(h, 0), (std::vector<uintptr_t>{0}));
    EXPECT_EQ(h.pendingCaptures, (std::vector<std::string>{"f0"}));
    std::vector<ScriptEvent> due;
    harnessTakeDueEvents(h, 16, due);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].kind, ScriptEvent::Kind::Close);
}

TEST(FrameLimit, DefaultsAndTheVirtualClock) {
    RunOptions options;
    RunHarness h;
    harnessConfigure(h, options);
    EXPECT_EQ(h.frameLimit, -1);  // unlimited in a window
    options.headless = true;
    harnessConfigure(h, options);
    EXPECT_EQ(h.frameLimit, 600);
    options.frames = 2;
    options.tickStart = 4294967290u;
    options.stepMs = 10;
    harnessConfigure(h, options);
    EXPECT_FALSE(harnessFramePresented(h));
    EXPECT_EQ(h.virtualTick, 4u);  // wrapped
    EXPECT_TRUE(harnessFramePresented(h));
    EXPECT_FALSE(harnessFramePresented(h));  // reported once
    options.headless = false;
    harnessConfigure(h, options);
    harnessFramePresented(h);
    EXPECT_EQ(h.virtualTick, 4294967290u);  // real time in a window
}

TEST(MousePosition, PacksLikeWin32AndUnpacksSigned) {
    EXPECT_EQ(packMousePosition(242, 219), intptr_t{242 | (219 << 16)});
    const intptr_t negative = packMousePosition(-3, -40);
    EXPECT_EQ(negative, intptr_t{0xFFD8FFFD});
    EXPECT_EQ(mouseX(negative), -3);
    EXPECT_EQ(mouseY(negative), -40);
    EXPECT_EQ(mouseX(packMousePosition(70000, 0)), 70000 - 65536);
}

TEST(VirtualCursor, CounterAndConfinement) {
    VirtualCursor c;
    EXPECT_EQ(virtualCursorShow(c, false), -1);
    EXPECT_EQ(virtualCursorShow(c, false), -2);
    EXPECT_EQ(virtualCursorShow(c, true), -1);
    virtualCursorMove(c, 5, 5);
    const Rect r{100, 200, 300, 400};
    virtualCursorClip(c, &r);
    EXPECT_EQ(c.x, 100);  // pulled inside at once
    EXPECT_EQ(c.y, 200);
    virtualCursorMove(c, 1000, 1000);
    EXPECT_EQ(c.x, 299);  // right and bottom are outside
    EXPECT_EQ(c.y, 399);
    const Rect empty{50, 60, 50, 10};
    virtualCursorClip(c, &empty);
    virtualCursorMove(c, 0, 0);
    EXPECT_EQ(c.x, 50);
    EXPECT_EQ(c.y, 60);
    virtualCursorClip(c, nullptr);
    virtualCursorMove(c, -7, 9000);
    EXPECT_EQ(c.x, -7);
    EXPECT_EQ(c.y, 9000);
}

TEST(PngWriter, WritesRgbThatReadsBackAndRejectsBadInput) {
    const int w = 3, h = 2, row = 16;  // padded rows
    std::vector<uint8_t> rgba(static_cast<size_t>(row) * h, 0xEE);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgba[static_cast<size_t>(y * row + x * 4)];
            p[0] = static_cast<uint8_t>(10 * x);
            p[1] = static_cast<uint8_t>(100 + y);
            p[2] = 200;
            p[3] = 7;
        }
    }
    const std::string path = ::testing::TempDir() + "harness_png_test.png";
    std::string error;
    ASSERT_TRUE(writePngRgb(path, w, h, rgba.data(), row, error)) << error;
    int rw = 0, rh = 0, channels = 0;
    unsigned char* back = stbi_load(path.c_str(), &rw, &rh, &channels, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(channels, 3);
    EXPECT_EQ(back[(1 * w + 2) * 3 + 0], 20);
    EXPECT_EQ(back[(1 * w + 2) * 3 + 1], 101);
    EXPECT_EQ(back[(1 * w + 2) * 3 + 2], 200);
    stbi_image_free(back);

    EXPECT_FALSE(writePngRgb(path, 0, 2, rgba.data(), row, error));
    EXPECT_FALSE(writePngRgb(path, 5, 2, rgba.data(), 16, error));  // rows too short
    EXPECT_FALSE(writePngRgb("/nonexistent-dir/x.png", w, h, rgba.data(), row, error));
    EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
}

}  // namespace
