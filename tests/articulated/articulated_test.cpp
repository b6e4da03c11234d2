// articulated on the recording backend: start-up, frames, keys and shut-down as
// the program really runs them, with tiny hand-made clips.
#include "apps/articulated/articulated.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/recording/recording.h"
#include "shell/shell.h"

namespace {

using recording::Call;
using recording::CallKind;

// One key line: bone offset and rotation.
struct Key {
    float x, y, z, rx, ry, rz;
};

std::string smd(const std::vector<int>& parents, const std::vector<std::vector<Key>>& frames) {
    std::string s = "version 1\nnodes\n";
    for (size_t i = 0; i < parents.size(); ++i) {
        s += std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(parents[i]) +
             "\n";
    }
    s += "end\nskeleton\n";
    for (size_t f = 0; f < frames.size(); ++f) {
        s += "time " + std::to_string(f) + "\n";
        for (size_t i = 0; i < frames[f].size(); ++i) {
            const Key& k = frames[f][i];
            char line[200];
            std::snprintf(line, sizeof line, "%zu %f %f %f %f %f %f\n", i, k.x, k.y, k.z, k.rx,
                          k.ry, k.rz);
            s += line;
        }
    }
    return s + "end\n";
}

// root 0; 1 child of 0 at +10 x; 2 child of 1 at +5 z; 3 child of 0 at +4 y.
const std::vector<int> kParents = {-1, 0, 1, 0};
const std::vector<Key> kPoseA = {
    {7, 7, 7, 0, 0, 0}, {10, 0, 0, 0, 0, 0}, {0, 0, 5, 0, 0, 0}, {0, 4, 0, 0, 0, 0}};
const std::vector<Key> kPoseB = {
    {7, 7, 7, 0, 0, 0}, {20, 0, 0, 0, 0, 0}, {0, 0, 15, 0, 0, 0}, {0, 8, 0, 0, 0, 0}};

class ArticulatedRun : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        resetArticulated();
        old = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("articulated_test_" + std::to_string(getpid()) + "_" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        write("walk.smd", smd(kParents, {kPoseA, kPoseB}));
        write("run.smd", smd(kParents, {kPoseB, kPoseA, kPoseB}));
        write("barney.smd", smd(kParents, {kPoseB}));
    }
    void TearDown() override {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
        resetArticulated();
    }
    void write(const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    // Runs the program with the recording backend; returns its exit status.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"articulated", "--data", dir.string()});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        const int status =
            runProgram(kArticulatedProgram, static_cast<int>(argv.size()), argv.data());
        err = testing::internal::GetCapturedStderr();
        std::filesystem::current_path(old);
        return status;
    }
    std::vector<Call> frame(int n) { return recording::callsOfFrame(n); }
    static std::vector<Call> only(const std::vector<Call>& calls, CallKind kind) {
        return recording::callsOf(calls, kind);
    }
    std::filesystem::path old, dir;
    std::string err;
};

TEST_F(ArticulatedRun, StartsUpDrawsAndShutsDownInOrder) {
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    EXPECT_EQ(err, "");
    std::vector<CallKind> kinds;
    for (const Call& c : recording::calls()) kinds.push_back(c.kind);
    const std::vector<CallKind> startup = {CallKind::RegisterClass,  CallKind::CreateWindow,
                                           CallKind::CreateDirect3D, CallKind::CreateDevice,
                                           CallKind::SetRenderState, CallKind::SetRenderState,
                                           CallKind::CreateFont,     CallKind::CreateVertexBuffer,
                                           CallKind::Lock,           CallKind::Unlock,
                                           CallKind::ShowWindow,     CallKind::UpdateWindow,
                                           CallKind::ClipCursor,     CallKind::Clear,
                                           CallKind::BeginScene,     CallKind::SetTransform,
                                           CallKind::SetTransform};
    ASSERT_GE(kinds.size(), startup.size());
    EXPECT_TRUE(std::equal(startup.begin(), startup.end(), kinds.begin()));
    const auto& calls = recording::calls();
    EXPECT_EQ(calls[0].text, "VX330_1: Articulated Model");
    EXPECT_EQ(calls[1].text, "VX330_1: Articulated Model");
    EXPECT_EQ(calls[1].rect.left, 100);
    EXPECT_EQ(calls[1].rect.top, 100);
    EXPECT_EQ(calls[1].rect.right, 600);
    EXPECT_EQ(calls[1].rect.bottom, 600);
    EXPECT_EQ(calls[8].a, 0u);
    EXPECT_EQ(calls[8].b, 1104u);  // the strip array, once, at start-up
    EXPECT_EQ(calls[13].b, 0xFF7D7D7Du);

    // The end: the close destroys the window, which releases everything and quits.
    const size_t n = kinds.size();
    ASSERT_GE(n, 7u);
    EXPECT_EQ(kinds[n - 6], CallKind::ReleaseVertexBuffer);
    EXPECT_EQ(kinds[n - 5], CallKind::ReleaseFont);
    EXPECT_EQ(kinds[n - 4], CallKind::ReleaseDevice);
    EXPECT_EQ(kinds[n - 3], CallKind::ReleaseDirect3D);
    EXPECT_EQ(kinds[n - 2], CallKind::PostQuit);
    EXPECT_EQ(kinds[n - 1], CallKind::UnregisterClass);
    EXPECT_EQ(recording::liveObjects(), 0);
    EXPECT_EQ(recording::presentCount(), 1u);
}

TEST_F(ArticulatedRun, EachBoneIsOneStripWithOneSegmentPerBone) {
    write("walk.smd", smd(kParents, {kPoseA}));
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    const auto f = frame(1);
    const auto draws = only(f, CallKind::DrawPrimitive);
    const auto locks = only(f, CallKind::Lock);
    ASSERT_EQ(draws.size(), 4u);
    ASSERT_EQ(locks.size(), 4u);
    for (const Call& d : draws) {
        EXPECT_EQ(d.a, static_cast<uint32_t>(PrimitiveType::LineStrip));
        EXPECT_EQ(d.b, 0u);
        EXPECT_EQ(d.c, 4u);  // the bone count, not the chain length
        EXPECT_EQ(d.vertices.size(), 5u);
        EXPECT_FALSE(d.readPastBuffer);
    }
    for (const Call& l : locks) {
        EXPECT_EQ(l.a, 0u);
        EXPECT_EQ(l.b, 1104u);
    }
    // Bone 0 (the root): all zeros. The root's translation (7,7,7) never shows.
    for (const LineVertex& v : draws[0].vertices) {
        EXPECT_EQ(v.x, 0.0f);
        EXPECT_EQ(v.color, 0u);
    }
    // Bone 2: its joint, its parent's, then the root at the origin in the zero colour,
    // so the last real segment fades from white to transparent black.
    const auto& s = draws[2].vertices;
    EXPECT_FLOAT_EQ(s[0].x, 10.0f);
    EXPECT_FLOAT_EQ(s[0].z, 5.0f);
    EXPECT_EQ(s[0].color, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(s[1].x, 10.0f);
    EXPECT_FLOAT_EQ(s[1].z, 0.0f);
    EXPECT_EQ(s[1].color, 0xFFFFFFFFu);
    EXPECT_EQ(s[2].x, 0.0f);
    EXPECT_EQ(s[2].color, 0u);
    EXPECT_EQ(s[4].color, 0u);
    // Bone 3: one joint, then zeros.
    EXPECT_FLOAT_EQ(draws[3].vertices[0].y, 4.0f);
    EXPECT_EQ(draws[3].vertices[1].color, 0u);
    // The overlay comes after the skeleton.
    const auto texts = only(f, CallKind::DrawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "0 FPS");
}

TEST_F(ArticulatedRun, InterpolationBlendsJointPositionsAndKeyATurnsItOff) {
    // 150 ms per frame: the clock starts at frame 1, steps to clip frame 1 at frame 4
    // (450 ms > 300 ms), and frame 5 lies halfway from clip frame 1 back to frame 0.
    ASSERT_EQ(run({"--frames", "5", "--step", "150"}), 0) << err;
    auto s = only(frame(5), CallKind::DrawPrimitive)[2].vertices;
    EXPECT_FLOAT_EQ(s[0].x, 15.0f);  // halfway between (20,0,15) and (10,0,5)
    EXPECT_FLOAT_EQ(s[0].z, 10.0f);
    EXPECT_FLOAT_EQ(s[1].x, 15.0f);
    EXPECT_FLOAT_EQ(s[1].z, 0.0f);

    recording::reset();
    resetArticulated();
    recording::scheduleMessage(1, msg::KeyDown, 'A');
    ASSERT_EQ(run({"--frames", "5", "--step", "150"}), 0) << err;
    s = only(frame(5), CallKind::DrawPrimitive)[2].vertices;
    EXPECT_FLOAT_EQ(s[0].x, 20.0f);  // clip frame 1 as it stands
    EXPECT_FLOAT_EQ(s[0].z, 15.0f);
}

TEST_F(ArticulatedRun, WithHelpShownOnlyTheHelpAndTheFrameRateAreDrawn) {
    recording::postTestMessage(msg::KeyDown, vk::F1);
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    const auto f = frame(1);
    EXPECT_TRUE(only(f, CallKind::DrawPrimitive).empty());
    EXPECT_TRUE(only(f, CallKind::Lock).empty());
    const auto texts = only(f, CallKind::DrawText);
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[0].text, "F1: Toggle Help");
    EXPECT_EQ(texts[8].text, "0 FPS");
    EXPECT_EQ(only(f, CallKind::Clear)[0].b, 0xFF7D7D7Du);
}

TEST_F(ArticulatedRun, AFailedLockAbandonsTheFrameButEndsTheScene) {
    recording::controls().failLockNumber = 2;  // start-up lock, bone 0, then bone 1 fails
    ASSERT_EQ(run({"--frames", "2"}), 0) << err;
    const auto f1 = frame(1);
    EXPECT_EQ(only(f1, CallKind::DrawPrimitive).size(), 1u);  // bone 0 only
    EXPECT_TRUE(only(f1, CallKind::DrawText).empty());        // nor the frame rate
    EXPECT_EQ(only(f1, CallKind::EndScene).size(), 1u);
    EXPECT_EQ(f1.back().kind, CallKind::Present);
    const auto f2 = frame(2);
    EXPECT_EQ(only(f2, CallKind::DrawPrimitive).size(), 4u);  // the next frame is whole
    EXPECT_EQ(only(f2, CallKind::DrawText).size(), 1u);
}

TEST_F(ArticulatedRun, EscapeEndsTheRunWithStatusZero) {
    recording::scheduleMessage(2, msg::KeyDown, vk::Escape);
    ASSERT_EQ(run({"--frames", "100"}), 0) << err;
    EXPECT_EQ(recording::presentCount(), 2u);
    EXPECT_EQ(recording::liveObjects(), 0);
    EXPECT_EQ(recording::countOf(CallKind::PostQuit), 1u);
}

TEST_F(ArticulatedRun, StartUpFailuresSayWhyAndExitNonZero) {
    const struct {
        bool recording::Controls::*fail;
        const char* reason;
        bool shown;
    } cases[] = {
        {&recording::Controls::failRegisterClass, "window class", false},
        {&recording::Controls::failCreateWindow, "--headless", false},
        {&recording::Controls::failDirect3D, "Direct3D", false},
        {&recording::Controls::failDevice, "device", false},
        {&recording::Controls::failFont, "font", false},
        {&recording::Controls::failVertexBuffer, "vertex buffer", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        recording::reset();
        resetArticulated();
        recording::controls().*c.fail = true;
        EXPECT_EQ(run({"--frames", "1"}), 1);
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(recording::liveObjects(), 0);
        EXPECT_EQ(recording::countOf(CallKind::ShowWindow), 0u);
        EXPECT_EQ(recording::presentCount(), 0u);
    }
    recording::reset();
    resetArticulated();
    recording::controls().failAllLocks = true;  // the first fill of lineBuffer fails
    EXPECT_EQ(run({"--frames", "1"}), 1);
    EXPECT_EQ(recording::liveObjects(), 0);
}

TEST_F(ArticulatedRun, AMissingClipIsReportedAndNothingButTheOverlayIsDrawn) {
    std::filesystem::remove(dir / "walk.smd");
    ASSERT_EQ(run({"--frames", "3"}), 0);
    EXPECT_NE(err.find("walk.smd"), std::string::npos) << err;
    EXPECT_EQ(err.find("walk.smd"), err.rfind("walk.smd")) << "once per load: " << err;
    EXPECT_EQ(recording::countOf(CallKind::DrawPrimitive), 0u);
    // Each frame: the reason (wrapped) and the frame rate.
    EXPECT_EQ(recording::countOf(CallKind::DrawText) % 3, 0u);
    EXPECT_GT(recording::countOf(CallKind::DrawText), 3u);
    std::string texts;
    for (const recording::Call& c : recording::calls())
        if (c.kind == CallKind::DrawText) texts += c.text + "|";
    EXPECT_NE(texts.find("walk.smd: error: cannot open"), std::string::npos) << texts;
}

TEST_F(ArticulatedRun, ModelsWithMoreBonesThanTheStripAreClippedNotOverrun) {
    // 80 bones in one chain: deeper than the 69-vertex strip.
    std::vector<int> parents;
    std::vector<Key> keys;
    for (int i = 0; i < 80; ++i) {
        parents.push_back(i - 1);
        keys.push_back(Key{0, 0, i == 0 ? 0.0f : 1.0f, 0, 0, 0});
    }
    write("walk.smd", smd(parents, {keys}));
    ASSERT_EQ(run({"--frames", "1"}), 0);
    EXPECT_NE(err.find("bone 79 \"b79\" lies 79 bones below"), std::string::npos) << err;
    const auto draws = only(frame(1), CallKind::DrawPrimitive);
    ASSERT_EQ(draws.size(), 80u);  // every bone still drawn
    for (const Call& d : draws) {
        EXPECT_EQ(d.c, 68u);
        EXPECT_FALSE(d.readPastBuffer);
    }
    // The deepest bone's strip starts at its true height and runs down 68 joints.
    const auto& s = draws[79].vertices;
    EXPECT_FLOAT_EQ(s[0].z, 79.0f);
    EXPECT_FLOAT_EQ(s[68].z, 11.0f);
}

TEST_F(ArticulatedRun, ClipKeysSwitchThePlayedModel) {
    recording::scheduleMessage(1, msg::KeyDown, 'R');
    recording::scheduleMessage(2, msg::KeyDown, 'S');
    recording::scheduleMessage(3, msg::KeyDown, vk::Add);
    recording::scheduleMessage(3, msg::KeyDown, vk::Subtract);
    recording::scheduleMessage(3, msg::KeyDown, vk::Subtract);
    const std::string trace = (dir / "t.jsonl").string();
    ASSERT_EQ(run({"--frames", "4", "--trace", trace}), 0) << err;
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("\"frame\":1,\"tick\":1000000,\"fps\":0,\"help\":false,"
                            "\"eye\":[-100,0,0],\"target\":[0,0,0],\"paused\":false,"
                            "\"clip\":{\"frames\":2,\"current\":0,"
                            "\"next\":0,\"periodMs\":300"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("\"frames\":3"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\"frames\":1,\"current\":0,\"next\":0"), std::string::npos);
    EXPECT_NE(lines[3].find("\"periodMs\":305"), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find("\"cpuUs\":"), std::string::npos);
}

TEST_F(ArticulatedRun, ALeftDragOrbitsTheEyeAndConfinesTheCursor) {
    recording::scheduleMessage(1, msg::LButtonDown, 0, recording::mouseParam(250, 250));
    recording::scheduleMessage(1, msg::MouseMove, 0, recording::mouseParam(250, 250));
    recording::scheduleMessage(2, msg::MouseMove, 0, recording::mouseParam(220, 250));
    recording::scheduleMessage(3, msg::LButtonUp, 0, recording::mouseParam(220, 250));
    ASSERT_EQ(run({"--frames", "4"}), 0) << err;
    // The first move starts the gate; the second comes 16 ms later and is applied:
    // dx = 250 - 220 = 30, turning the eye by -0.1 rad about Z.
    EXPECT_NEAR(shell.camera.eye.x, -100.0 * std::cos(0.1), 1e-3);
    EXPECT_NEAR(shell.camera.eye.y, 100.0 * std::sin(0.1), 1e-3);
    const auto f2 = only(frame(2), CallKind::ClipCursor);
    ASSERT_EQ(f2.size(), 1u);
    EXPECT_TRUE(f2[0].hasRect);
    EXPECT_EQ(f2[0].rect.top, 150);
    EXPECT_FALSE(only(frame(4), CallKind::ClipCursor)[0].hasRect);
    EXPECT_EQ(recording::cursorCount(), 0);
}

}  // namespace
