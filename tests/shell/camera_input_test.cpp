#include "shell/camera_input.h"

#include <gtest/gtest.h>

#include <cmath>

#include "shell/frame_timing.h"
#include "shell/recording/recording.h"

namespace {

using recording::CallKind;
using recording::mouseParam;

TEST(ZoomCamera, MovesAlongTheUnitDirectionByAFifthUnitPerPixel) {
    OrbitCamera c{{-100.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    zoomCamera(c, 10.0);  // mouse moved up 10 pixels: 2 units closer
    EXPECT_FLOAT_EQ(c.eye.x, -98.0f);
    EXPECT_FLOAT_EQ(c.eye.y, 0.0f);
    zoomCamera(c, -40.0);  // down: away
    EXPECT_FLOAT_EQ(c.eye.x, -106.0f);

    OrbitCamera d{{3.0f, 4.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    zoomCamera(d, 5.0);  // one unit along (-0.6, -0.8, 0)
    EXPECT_NEAR(d.eye.x, 2.4f, 1e-6);
    EXPECT_NEAR(d.eye.y, 3.2f, 1e-6);
    EXPECT_EQ(d.target.x, 0.0f);  // target and up never move
    EXPECT_EQ(d.up.z, 1.0f);
}

TEST(ZoomCamera, PassesThroughTheTargetButNeverStopsOnIt) {
    OrbitCamera c{{-1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    zoomCamera(c, 5.0);  // would land exactly on the target: refused
    EXPECT_FLOAT_EQ(c.eye.x, -1.0f);
    zoomCamera(c, 10.0);  // two units: through to the other side
    EXPECT_FLOAT_EQ(c.eye.x, 1.0f);
    zoomCamera(c, 10.0);  // further "in" now comes back towards the target
    EXPECT_FLOAT_EQ(c.eye.x, -1.0f);

    OrbitCamera on{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    zoomCamera(on, 10.0);  // no direction: stays, stays finite
    EXPECT_EQ(on.eye.x, 0.0f);
    EXPECT_FALSE(std::isnan(on.eye.y));
}

TEST(OrbitCamera, TurnsTheEyeAboutZByMinusDxOver300) {
    OrbitCamera c{{-100.0f, 0.0f, 7.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    orbitCamera(c, -30.0, 55.0);  // mouse moved 30 px right; dy ignored
    const double theta = 30.0 / 300.0;
    EXPECT_NEAR(c.eye.x, -100.0 * std::cos(theta), 1e-4);
    EXPECT_NEAR(c.eye.y, -100.0 * std::sin(theta), 1e-4);
    EXPECT_FLOAT_EQ(c.eye.z, 7.0f);
    EXPECT_NEAR(std::hypot(c.eye.x, c.eye.y), 100.0, 1e-4);
}

TEST(OrbitCamera, AFullTurnOfAbout1885PixelsComesBack) {
    OrbitCamera c{{-100.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    const double fullTurn = 2.0 * 3.14159265358979 * 300.0;  // 1884.96 px
    for (int i = 0; i < 100; ++i) orbitCamera(c, fullTurn / 100.0, 0.0);
    EXPECT_NEAR(c.eye.x, -100.0f, 1e-2);
    EXPECT_NEAR(c.eye.y, 0.0f, 1e-2);
}

class MouseLookTest : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        recording::controls().tick = 5000;
        recording::controls().windowRect = Rect{100, 100, 600, 600};
    }
    void move(int x, int y) { mouseMove(look, camera, mouseParam(x, y)); }
    MouseLook look;
    OrbitCamera camera{{-100.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    Window* window = reinterpret_cast<Window*>(1);
};

TEST_F(MouseLookTest, DragStateMachine) {
    struct Step {
        uint32_t message;
        bool cursorFree, zoomDrag;
        int cursorCount;
    };
    // left down, right down (switch to zoom), left up (zoom goes on, cursor freed),
    // right up (free); then right up while left held ends the drag altogether.
    const Step steps[] = {
        {msg::LButtonDown, false, false, -1}, {msg::RButtonDown, false, true, -2},
        {msg::LButtonUp, true, true, -1},     {msg::RButtonUp, true, false, 0},
        {msg::LButtonDown, false, false, -1}, {msg::RButtonDown, false, true, -2},
        {msg::RButtonUp, true, false, -1},    {msg::LButtonUp, true, false, 0},
    };
    for (const Step& s : steps) {
        mouseButton(look, window, s.message);
        EXPECT_EQ(look.cursorFree, s.cursorFree) << s.message;
        EXPECT_EQ(look.zoomDrag, s.zoomDrag) << s.message;
        EXPECT_EQ(recording::cursorCount(), s.cursorCount) << s.message;
    }
    EXPECT_EQ(recording::countOf(CallKind::GetWindowRect), 4u);  // once per press
    EXPECT_EQ(look.windowRect.right, 600);
}

TEST_F(MouseLookTest, MovesWithoutAButtonChangeNothing) {
    move(10, 20);
    move(300, 400);
    EXPECT_FLOAT_EQ(camera.eye.x, -100.0f);
    EXPECT_EQ(look.prevX, 250.0);  // the remembered position is the last drag's
    EXPECT_EQ(look.prevY, 250.0);
    EXPECT_FALSE(look.firstMove);
    EXPECT_EQ(look.lastRecentreMs, 5000u);  // the first move starts the gate
    EXPECT_EQ(recording::countOf(CallKind::SetCursorPos), 0u);
}

TEST_F(MouseLookTest, RecentresAtMostEvery20MsAndSkipsTheEcho) {
    move(250, 250);  // first move at tick 5000
    mouseButton(look, window, msg::LButtonDown);

    recording::controls().tick = 5020;  // 20 ms: not more than 20, no re-centring
    move(240, 250);                     // orbit by dx = 10
    EXPECT_EQ(recording::countOf(CallKind::SetCursorPos), 0u);
    EXPECT_NEAR(std::atan2(camera.eye.y, camera.eye.x), std::atan2(0.0, -100.0) - 10.0 / 300.0,
                1e-5);
    EXPECT_EQ(look.prevX, 240.0);

    recording::controls().tick = 5041;  // 21 ms later: re-centre, still apply the move
    const float yBefore = camera.eye.y;
    move(230, 250);
    auto moves = recording::callsOf(CallKind::SetCursorPos);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 350);
    EXPECT_EQ(moves[0].y, 350);
    EXPECT_EQ(look.lastRecentreMs, 5041u);
    EXPECT_TRUE(look.skipNextMove);
    EXPECT_EQ(look.prevX, 240.0);  // not updated by the re-centring move
    EXPECT_NE(camera.eye.y, yBefore);

    const Vec3 eyeBefore = camera.eye;
    move(242, 219);  // the echo of the jump: skipped, but becomes the last position
    EXPECT_EQ(camera.eye.x, eyeBefore.x);
    EXPECT_EQ(camera.eye.y, eyeBefore.y);
    EXPECT_FALSE(look.skipNextMove);
    EXPECT_EQ(look.prevX, 242.0);
    EXPECT_EQ(look.prevY, 219.0);

    move(232, 219);  // within 20 ms of the re-centring: applied normally
    EXPECT_NE(camera.eye.y, eyeBefore.y);
    EXPECT_EQ(recording::countOf(CallKind::SetCursorPos), 1u);
}

TEST_F(MouseLookTest, RightDragZoomsByVerticalMotionOnly) {
    move(250, 250);
    mouseButton(look, window, msg::RButtonDown);
    recording::controls().tick = 5010;
    move(400, 240);  // 10 px up, 150 px right
    EXPECT_FLOAT_EQ(camera.eye.x, -98.0f);
    EXPECT_FLOAT_EQ(camera.eye.y, 0.0f);
    // Left up while zooming frees the cursor but the zoom goes on.
    mouseButton(look, window, msg::LButtonUp);
    move(400, 250);  // 10 px down
    EXPECT_FLOAT_EQ(camera.eye.x, -100.0f);
}

TEST_F(MouseLookTest, ADragStartingLateRecentresOnItsFirstMove) {
    move(10, 10);  // starts the gate at 5000
    recording::controls().tick = 9000;
    mouseButton(look, window, msg::LButtonDown);
    move(200, 200);
    EXPECT_EQ(recording::countOf(CallKind::SetCursorPos), 1u);
    // The first drag move is measured from the initial (250, 250).
    EXPECT_NEAR(std::atan2(camera.eye.y, camera.eye.x), std::atan2(0.0, -100.0) - 50.0 / 300.0,
                1e-5);
}

TEST_F(MouseLookTest, TheCursorIsConfinedOnlyDuringADrag) {
    confineCursor(look);
    mouseButton(look, window, msg::LButtonDown);
    confineCursor(look);
    mouseButton(look, window, msg::LButtonUp);
    confineCursor(look);
    const auto calls = recording::callsOf(CallKind::ClipCursor);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_FALSE(calls[0].hasRect);
    ASSERT_TRUE(calls[1].hasRect);
    EXPECT_EQ(calls[1].rect.left, 110);
    EXPECT_EQ(calls[1].rect.top, 150);
    EXPECT_EQ(calls[1].rect.right, 590);
    EXPECT_EQ(calls[1].rect.bottom, 590);
    EXPECT_FALSE(calls[2].hasRect);
}

TEST(FpsCounter, ShowsZeroForTheFirstSecondThenTheCount) {
    FpsCounter fps;
    uint32_t tick = 1000000;
    countFrame(fps, tick, tick);  // the first frame rolls the window over
    EXPECT_EQ(fps.shownFps, 0);
    EXPECT_EQ(fps.secondStartMs, tick);
    EXPECT_EQ(fps.framesThisSecond, 0);
    for (int i = 0; i < 62; ++i) {  // up to +992 ms
        tick += 16;
        countFrame(fps, tick, tick);
    }
    tick += 8;
    countFrame(fps, tick, tick);  // exactly +1000: not more than 1000
    EXPECT_EQ(fps.shownFps, 0);
    EXPECT_EQ(fps.framesThisSecond, 63);
    tick += 1;
    countFrame(fps, tick, tick + 2);  // +1001: rolls over, this frame not counted
    EXPECT_EQ(fps.shownFps, 63);
    EXPECT_EQ(fps.framesThisSecond, 0);
    EXPECT_EQ(fps.secondStartMs, tick + 2);  // a fresh tick starts the new window
}

TEST(FpsCounter, SurvivesTickWrapAround) {
    FpsCounter fps;
    countFrame(fps, 4294967000u, 4294967000u);
    uint32_t tick = 4294967000u;
    for (int i = 0; i < 10; ++i) {  // wraps past 2^32
        tick += 100;
        countFrame(fps, tick, tick);
    }
    tick += 2;
    countFrame(fps, tick, tick);
    EXPECT_EQ(fps.shownFps, 10);
}

}  // namespace
