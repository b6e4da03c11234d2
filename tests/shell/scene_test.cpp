#include "shell/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "shell/recording/recording.h"
#include "shell/shell.h"
#include "shell/skeleton_draw.h"
#include "shell/trace.h"
#include "tests/support/chain_reference.h"

namespace {

using recording::Call;
using recording::CallKind;

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        resetShell();
        registerWindowClass("test",
                            [](Window*, uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; });
        window = createWindow("test", "test", 100, 100, 500, 500);
        recording::clearCalls();
    }
    void TearDown() override { releaseDevice(); }
    void ready() {
        ASSERT_EQ(initDevice(window), S_OK_);
        LineVertex initial[69] = {};
        ASSERT_EQ(createLineBuffer(initial, 69), S_OK_);
        recording::clearCalls();
    }
    Window* window = nullptr;
};

TEST_F(SceneTest, DeviceIsCreatedWithTheFixedConfiguration) {
    ASSERT_EQ(initDevice(window), S_OK_);
    const auto& calls = recording::calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].kind, CallKind::CreateDirect3D);
    EXPECT_EQ(calls[0].a, 31u);
    EXPECT_EQ(calls[1].kind, CallKind::CreateDevice);
    EXPECT_EQ(calls[1].a, 1u);  // windowed
    EXPECT_EQ(calls[1].b, 0u);  // no depth buffer
    EXPECT_EQ(calls[1].c, 0u);  // default interval
    EXPECT_EQ(calls[2].kind, CallKind::SetRenderState);
    EXPECT_EQ(calls[2].a, static_cast<uint32_t>(RenderState::CullMode));
    EXPECT_EQ(calls[2].b, CullNone);
    EXPECT_EQ(calls[3].a, static_cast<uint32_t>(RenderState::Lighting));
    EXPECT_EQ(calls[3].b, 0u);
    EXPECT_EQ(calls[4].kind, CallKind::CreateFont);
    EXPECT_EQ(calls[4].text, "Arial");
    EXPECT_EQ(static_cast<int>(calls[4].a), -16);
    EXPECT_EQ(calls[4].b, 700u);
    EXPECT_EQ(calls[4].c, 0u);  // width 0, mip levels 0, not italic

    LineVertex initial[3] = {{1, 2, 3, 0xFFFFFFFF}, {}, {}};
    ASSERT_EQ(createLineBuffer(initial, 3), S_OK_);
    const auto buffers = recording::callsOf(CallKind::CreateVertexBuffer);
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0].a, 1760u);
    EXPECT_EQ(buffers[0].b, 0u);
    EXPECT_EQ(buffers[0].c, FvfXyz | FvfDiffuse);
    const auto locks = recording::callsOf(CallKind::Lock);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0].a, 0u);
    EXPECT_EQ(locks[0].b, 48u);
    EXPECT_EQ(recording::countOf(CallKind::Unlock), 1u);
    EXPECT_EQ(recording::liveObjects(), 4);

    releaseDevice();
    EXPECT_EQ(recording::liveObjects(), 0);
    releaseDevice();  // a second release (Escape, then the window's destruction) is harmless
    EXPECT_EQ(recording::countOf(CallKind::ReleaseDevice), 1u);
}

TEST_F(SceneTest, AFailedStartUpStepLeavesNothingBehindAndSaysWhy) {
    const struct {
        bool recording::Controls::*fail;
        const char* reason;
    } cases[] = {
        {&recording::Controls::failDirect3D, "Direct3D"},
        {&recording::Controls::failDevice, "device"},
        {&recording::Controls::failFont, "font"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        recording::controls() = recording::Controls{};
        recording::controls().*c.fail = true;
        shell.startupError.clear();
        EXPECT_EQ(initDevice(window), E_FAIL_);
        EXPECT_NE(shell.startupError.find(c.reason), std::string::npos) << shell.startupError;
        EXPECT_EQ(recording::liveObjects(), 0);
        EXPECT_EQ(shell.graphics.d3d, nullptr);
    }
    recording::controls() = recording::Controls{};
    ASSERT_EQ(initDevice(window), S_OK_);
    LineVertex v[69] = {};
    recording::controls().failVertexBuffer = true;
    EXPECT_EQ(createLineBuffer(v, 69), E_FAIL_);
    recording::controls().failVertexBuffer = false;
    recording::controls().failAllLocks = true;
    EXPECT_EQ(createLineBuffer(v, 69), E_FAIL_);
    EXPECT_EQ(shell.graphics.lineBuffer, nullptr);
    EXPECT_EQ(recording::liveObjects(), 3);  // the failed buffer was released
}

TEST_F(SceneTest, DrawVerticesUploadsTheWholeArrayThenDraws) {
    ready();
    LineVertex v[101] = {};
    v[0] = {1, 2, 3, 0xFF00FF00};
    v[100] = {9, 9, 9, 0xFFFFFFFF};
    ASSERT_EQ(drawVertices(v, 101, PrimitiveType::PointList, 101), S_OK_);
    const auto& calls = recording::calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].kind, CallKind::Lock);
    EXPECT_EQ(calls[0].a, 0u);
    EXPECT_EQ(calls[0].b, 1616u);
    EXPECT_EQ(calls[0].c, 0u);
    EXPECT_EQ(calls[1].kind, CallKind::Unlock);
    EXPECT_EQ(calls[2].kind, CallKind::SetStreamSource);
    EXPECT_EQ(calls[2].a, 0u);
    EXPECT_EQ(calls[2].b, 0u);
    EXPECT_EQ(calls[2].c, 16u);
    EXPECT_EQ(calls[3].kind, CallKind::SetFvf);
    EXPECT_EQ(calls[3].a, FvfXyz | FvfDiffuse);
    EXPECT_EQ(calls[4].kind, CallKind::DrawPrimitive);
    EXPECT_EQ(calls[4].a, static_cast<uint32_t>(PrimitiveType::PointList));
    EXPECT_EQ(calls[4].b, 0u);
    EXPECT_EQ(calls[4].c, 101u);
    ASSERT_EQ(calls[4].vertices.size(), 101u);
    EXPECT_EQ(calls[4].vertices[0].color, 0xFF00FF00u);
    EXPECT_EQ(calls[4].vertices[100].x, 9.0f);
}

TEST_F(SceneTest, DrawVerticesRefusesWhatWouldOverrunAndReportsAFailedLock) {
    ready();
    LineVertex v[111] = {};
    EXPECT_EQ(drawVertices(v, 111, PrimitiveType::PointList, 1), E_FAIL_);   // > 1760 bytes
    EXPECT_EQ(drawVertices(v, 3, PrimitiveType::LineStrip, 3), E_FAIL_);     // reads 4 of 3
    EXPECT_EQ(drawVertices(v, 3, PrimitiveType::TriangleList, 2), E_FAIL_);  // reads 6 of 3
    EXPECT_EQ(recording::countOf(CallKind::Lock), 0u);
    recording::controls().failAllLocks = true;
    EXPECT_TRUE(failed(drawVertices(v, 3, PrimitiveType::TriangleList, 1)));
    EXPECT_EQ(recording::countOf(CallKind::DrawPrimitive), 0u);
}

TEST_F(SceneTest, FramePiecesClearSetTheTransformsAndWriteTheOverlay) {
    ready();
    shell.camera = OrbitCamera{{-100, 0, 0}, {0, 0, 0}, {0, 0, 1}};
    ASSERT_TRUE(beginFrame(0xFF7D7D7D));
    setupTransforms();
    const char* texts[] = {"F1: Toggle Help",
                           "A: Toggle Linear Interpolation",
                           "W: Walking Animation",
                           "S: Standing Animation",
                           "R: Running Animation",
                           "+/-: Increase/Decrease Tempo (Keypad +/-)",
                           "Hold L Mouse Button: Rotate Left/Right",
                           "Hold R Mouse Button: Zoom Forward/Back",
                           "0 FPS"};
    drawHelpLines(texts, 8);
    drawFpsText(0);
    endFrame();
    presentFrame();
    const auto& calls = recording::calls();
    ASSERT_EQ(calls.size(), 2u + 2u + 8u + 1u + 2u);
    EXPECT_EQ(calls[0].kind, CallKind::Clear);
    EXPECT_EQ(calls[0].a, ClearTarget);
    EXPECT_EQ(calls[0].b, 0xFF7D7D7Du);
    EXPECT_EQ(calls[0].z, 1.0f);
    EXPECT_EQ(calls[1].kind, CallKind::BeginScene);
    EXPECT_EQ(calls[2].a, static_cast<uint32_t>(TransformState::Projection));
    const Matrix4 proj = matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f);
    EXPECT_EQ(std::memcmp(&calls[2].matrix, &proj, sizeof proj), 0);
    EXPECT_EQ(calls[3].a, static_cast<uint32_t>(TransformState::View));
    const Matrix4 view = matrixLookAtLH({-100, 0, 0}, {0, 0, 0}, {0, 0, 1});
    EXPECT_EQ(std::memcmp(&calls[3].matrix, &view, sizeof view), 0);
    const int ys[] = {50, 80, 110, 140, 170, 200, 230, 260, 10};
    for (int i = 0; i < 9; ++i) {
        const Call& t = calls[4 + i];
        ASSERT_EQ(t.kind, CallKind::DrawText);
        EXPECT_EQ(t.text, texts[i]);
        EXPECT_EQ(t.rect.left, 10);
        EXPECT_EQ(t.rect.top, ys[i]);
        EXPECT_EQ(t.rect.right, 0);
        EXPECT_EQ(t.rect.bottom, 0);
        EXPECT_EQ(t.a, DtNoClip);
        EXPECT_EQ(t.b, 0xFFFFFFFFu);
    }
    EXPECT_EQ(calls[13].kind, CallKind::EndScene);
    EXPECT_EQ(calls[14].kind, CallKind::Present);
    drawFpsText(57);
    EXPECT_EQ(recording::calls().back().text, "57 FPS");
}

TEST_F(SceneTest, AFailedBeginSceneDrawsNothingAndEndsNoScene) {
    ready();
    recording::controls().failBeginScene = true;
    EXPECT_FALSE(beginFrame(0xFF000000));
    endFrame();
    presentFrame();
    EXPECT_EQ(recording::countOf(CallKind::EndScene), 0u);
    EXPECT_EQ(recording::countOf(CallKind::Present), 1u);
}

TEST_F(SceneTest, NothingIsDrawnAfterTheDeviceIsReleased) {
    ready();
    releaseDevice();
    recording::clearCalls();
    EXPECT_FALSE(beginFrame(0xFF000000));
    setupTransforms();
    const char* const line = "F1: Toggle Help";
    drawHelpLines(&line, 1);
    drawFpsText(1);
    endFrame();
    presentFrame();
    LineVertex v[2] = {};
    EXPECT_TRUE(failed(drawVertices(v, 2, PrimitiveType::LineStrip, 1)));
    EXPECT_TRUE(recording::calls().empty());
}

TEST(StripPlacement, ScalesTurnsAndMovesTheJointsOnce) {
    StripPlacement p;
    p.scale = matrixScaling(0.3f, 0.3f, 0.3f);
    p.heading = matrixRotationZ(1.5707964f);
    p.px = 60.0f;
    p.py = -50.0f;
    const StripStyle style{.placement = &p};
    PlacedJoints placed;
    placeJoints({{10, 0, 20}, {0, 0, 0}}, style, placed);
    EXPECT_NEAR(placed.joints[0].x, 60.0f, 1e-5);
    EXPECT_NEAR(placed.joints[0].y, -47.0f, 1e-5);
    EXPECT_NEAR(placed.joints[0].z, 6.0f, 1e-5);
    EXPECT_NEAR(placed.joints[1].x, 60.0f, 1e-6);
    EXPECT_NEAR(placed.joints[1].y, -50.0f, 1e-6);
    EXPECT_NEAR(placed.tail.x, 60.0f, 1e-6);
    EXPECT_NEAR(placed.tail.y, -50.0f, 1e-6);
}

// A random skeleton, some of it broken, with offsets that overflow or are not
// numbers at all in places.
Model randomSkeleton(std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<float> angle(-3.2f, 3.2f), length(-20.0f, 20.0f);
    const float odd[3] = {std::numeric_limits<float>::max(),  // sums of two overflow
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
    Model m;
    const int32_t bones = 1 + pick(rng) % 2 * 60 + pick(rng) % 60;
    m.bones.resize(static_cast<size_t>(bones));
    std::vector<int32_t> order(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) order[static_cast<size_t>(i)] = i;
    if (pick(rng) < 50) std::shuffle(order.begin() + 1, order.end(), rng);
    for (int32_t i = 1; i < bones; ++i)
        m.bones[static_cast<size_t>(order[static_cast<size_t>(i)])].parent =
            pick(rng) < 95 ? order[static_cast<size_t>(i - 1 - pick(rng) % i / 2)] : -1;
    if (pick(rng) < 15) m.bones[static_cast<size_t>(pick(rng) % bones)].parent = bones + 1;
    if (pick(rng) < 15) {  // a cycle between two bones
        const int32_t a = pick(rng) % bones, b = pick(rng) % bones;
        m.bones[static_cast<size_t>(a)].parent = b;
        m.bones[static_cast<size_t>(b)].parent = a;
    }
    for (int f = 0; f < 3; ++f) {
        Frame keys(static_cast<size_t>(bones));
        for (BoneKey& k : keys) {
            k = {length(rng), length(rng), length(rng), angle(rng), angle(rng), angle(rng)};
            if (pick(rng) < 5) k.x = -0.0f, k.ry = -0.0f;
        }
        for (int i = 0; i < 3; ++i)
            if (pick(rng) < 10) keys[static_cast<size_t>(pick(rng) % bones)].x = odd[i];
        if (pick(rng) < 10) keys.resize(static_cast<size_t>(pick(rng) % bones));
        m.frames.push_back(keys);
    }
    return m;
}

// Whole frames of the three programs' figures against the figure evaluated chain
// by chain (tests/support/chain_reference.h), drawn as the design draws it: every
// strip built in its own arrays, each vertex placed on its own, drawn unless a
// vertex it reads is not finite, and the reaching figure's joint dots coloured
// in the strip. Every draw call must carry the same vertices, bit for bit.
// Skeletons with more bones than a strip draws make the draws read every
// written vertex, tails included.
TEST_F(SceneTest, SkeletonFramesGiveTheBitsOfTheChainByChainFigure) {
    ready();
    std::mt19937 rng(91);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<float> coordinate(-20.0f, 20.0f);
    const auto finite = [](const LineVertex* v, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y) || !std::isfinite(v[i].z))
                return false;
        return true;
    };
    for (int round = 0; round < 160; ++round) {
        const Model m = randomSkeleton(rng);
        const uint32_t bones = static_cast<uint32_t>(m.bones.size());
        ClipClock clock;
        clock.interpolate = pick(rng) < 70;
        clock.currentFrame = pick(rng) % 4;  // 3 is past the clip
        clock.nextFrame = pick(rng) % 3;
        clock.elapsedMs = pick(rng) * 3.0;
        StripPlacement placement;
        placement.scale = matrixScaling(0.3f, 0.3f, 0.3f);
        placement.heading = matrixRotationZ(coordinate(rng));
        placement.px = coordinate(rng);
        placement.py = coordinate(rng);
        // 0: articulated, 1: pathmove, 2: ikreach in model space, 3: in world space.
        const int figure = pick(rng) % 4;
        const bool reach = figure >= 2, world = figure == 3;
        StripStyle style{.vertices = figure == 0 ? 69u : 101u,
                         .written = figure == 0 ? 69u : 100u,
                         .lineColor = reach ? 0xFF000000u : 0xFFFFFFFFu};
        style.segments = std::min(bones, style.written - 1);
        if (figure == 1 || figure == 2) style.placement = &placement;
        if (reach) {
            style.withRoot = style.jointDots = true;
            style.jointColor = 0xFF00FF00u;
            style.tailKeepsColors = world;
            if (world) style.base = {placement.px, placement.py, 0.0f};
        }
        // The reaching figure's set: the offsets of frame 0 taken as positions.
        Model set = m;
        set.frames.resize(1);
        std::vector<Vec3> joints;
        for (const BoneKey& k : set.frames[0]) joints.push_back({k.x, k.y, k.z});
        ClipPose pose;
        if (!reach) poseClip(m, clock, 69, pose);

        // The strip arrays as a program keeps them: the reaching figure's after a
        // frame (its dots coloured), the clip figures' zero.
        std::vector<LineVertex> strip(style.vertices), plain(style.vertices);
        if (reach)
            for (uint32_t i = 0; i < 100; ++i) strip[i].color = plain[i].color = 0xFF00FF00u;
        recording::clearCalls();
        PlacedJoints placed;
        ASSERT_EQ(drawSkeleton(m.bones, reach ? joints : pose.joints,
                               reach ? nullptr : pose.chains.data(), style, strip.data(), placed),
                  S_OK_);
        const std::vector<Call> fast = recording::callsOf(CallKind::DrawPrimitive);

        recording::clearCalls();
        for (uint32_t b = 0; b < bones; ++b) {
            if (reach) {
                reference::reachStrip(m.bones, set, world, static_cast<int32_t>(b), placement,
                                      plain.data());
            } else {
                plain = reference::clipStrip(m, clock, static_cast<int32_t>(b), style.vertices, 69,
                                             style.placement, style.written);
            }
            if (finite(plain.data(), style.segments + 1)) {
                ASSERT_EQ(drawVertices(plain.data(), style.vertices, PrimitiveType::LineStrip,
                                       style.segments),
                          S_OK_);
            }
            if (!reach) continue;
            for (uint32_t i = 0; i < 100; ++i) plain[i].color = 0xFF00FF00u;
            if (finite(plain.data(), 100)) {
                ASSERT_EQ(drawVertices(plain.data(), 101, PrimitiveType::PointList, 100), S_OK_);
            }
        }
        const std::vector<Call> expected = recording::callsOf(CallKind::DrawPrimitive);

        ASSERT_EQ(fast.size(), expected.size()) << "round " << round;
        for (size_t i = 0; i < fast.size(); ++i) {
            ASSERT_EQ(fast[i].a, expected[i].a);
            ASSERT_EQ(fast[i].c, expected[i].c);
            ASSERT_EQ(fast[i].vertices.size(), expected[i].vertices.size());
            ASSERT_EQ(std::memcmp(fast[i].vertices.data(), expected[i].vertices.data(),
                                  fast[i].vertices.size() * sizeof(LineVertex)),
                      0)
                << "round " << round << " figure " << figure << " draw " << i;
        }
    }
}

TEST(Trace, WritesOneJsonObjectWithRoundTrippingNumbers) {
    TraceLine line;
    traceBeginFrame(line, 1, 4294967000u, 0, false, Vec3{-100.0f, 0.1f, 0.0f},
                    Vec3{0.0f, 0.0f, 2.5f}, true);
    Model m;
    m.frames.resize(31);
    ClipClock clock;
    clock.nextFrame = 1;
    clock.elapsedMs = 16.0;
    traceClip(line, m, clock);
    traceBeginObject(line, "path");
    traceNull(line, "fraction");
    const double ground[2] = {60.0, std::numeric_limits<double>::infinity()};
    traceArray(line, "ground", ground, 2);
    traceEndObject(line);
    traceEndFrame(line, 8.5);
    EXPECT_EQ(line.text,
              "{\"frame\":1,\"tick\":4294967000,\"fps\":0,\"help\":false,"
              "\"eye\":[-100,0.100000001,0],\"target\":[0,0,2.5],\"paused\":true,"
              "\"clip\":{\"frames\":31,\"current\":0,\"next\":1,\"periodMs\":300,"
              "\"interpolate\":true,\"elapsedMs\":16},"
              "\"path\":{\"fraction\":null,\"ground\":[60,null]},\"cpuUs\":8.5}\n");
}

}  // namespace
