// ikreach on the recording backend: start-up, the drawn frame, the keys, the walk
// and the reach with our character, and characters that lack the limb or the file.
#include "apps/ikreach/ikreach.h"

#include <gtest/gtest.h>

#include <unistd.h>
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

double distance(const LineVertex& v, const Vec3& p) {
    return std::sqrt((double(v.x) - p.x) * (double(v.x) - p.x) +
                     (double(v.y) - p.y) * (double(v.y) - p.y) +
                     (double(v.z) - p.z) * (double(v.z) - p.z));
}

class IkreachRun : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        resetIkreach();
        old = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("ikreach_test_" + std::to_string(getpid()) + "_" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(std::filesystem::path(IKREACH_DATA_DIR) / "barney.smd",
                                   dir / "barney.smd",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void TearDown() override {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
        resetIkreach();
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"ikreach", "--data", dir.string()});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        const int status = runProgram(kIkreachProgram, static_cast<int>(argv.size()), argv.data());
        err = testing::internal::GetCapturedStderr();
        std::filesystem::current_path(old);
        return status;
    }
    // The draw calls of drawn frame `n` (1-based).
    static std::vector<Call> draws(int n) {
        std::vector<Call> out;
        int seen = 0;
        for (const Call& c : recording::calls()) {
            if (c.kind == CallKind::ClipCursor) ++seen;
            if (seen == n && c.kind == CallKind::DrawPrimitive) out.push_back(c);
            if (seen > n) break;
        }
        return out;
    }
    static void key(uint64_t afterPresents, uint32_t code) {
        recording::scheduleMessage(afterPresents, msg::KeyDown, code);
    }
    std::filesystem::path old, dir;
    std::string err;
};

TEST_F(IkreachRun, StartsUpAndDrawsSkeletonPathAndMarker) {
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    EXPECT_EQ(err, "");
    const auto& calls = recording::calls();
    EXPECT_EQ(calls[0].text, "VX330_3: Inverse Kinematics");
    const auto buffers = recording::callsOf(CallKind::CreateVertexBuffer);
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0].a, 1760u);
    EXPECT_EQ(recording::callsOf(CallKind::Lock)[0].b, 1616u);
    EXPECT_EQ(recording::callsOf(CallKind::Clear)[0].b, 0xFF787878u);
    const auto views = recording::callsOf(CallKind::SetTransform);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].matrix.m[3][2], 200.0f) << "eye at (-200, 0, 0) looking along +x";

    const size_t bones = ikreach.poseModel.bones.size();
    ASSERT_GE(bones, 60u);
    const auto d = draws(1);
    ASSERT_EQ(d.size(), 2 * bones + 2);
    for (size_t i = 0; i < bones; ++i) {
        const Call& strip = d[2 * i];
        const Call& dots = d[2 * i + 1];
        EXPECT_EQ(strip.a, uint32_t(PrimitiveType::LineStrip));
        EXPECT_EQ(strip.c, bones);
        EXPECT_FALSE(strip.readPastBuffer);
        EXPECT_EQ(dots.a, uint32_t(PrimitiveType::PointList));
        EXPECT_EQ(dots.c, 100u);
        for (const LineVertex& v : dots.vertices) EXPECT_EQ(v.color, 0xFF00FF00u);
    }
    // The hand tip's strip: black, from the tip up to the root on the ground place.
    const auto& hand = d[2 * 59].vertices;
    EXPECT_EQ(hand[0].color, 0xFF000000u);
    EXPECT_LT(hand[0].z, 0.0f) << "the arm hangs down in the bind pose";
    int chain = 0;
    while (chain < 100 && hand[chain].color == 0xFF000000u) ++chain;
    EXPECT_GE(chain, 6);
    EXPECT_EQ(hand[chain - 1].x, 0.0f);
    EXPECT_EQ(hand[chain - 1].z, 0.0f);
    EXPECT_EQ(hand[chain].z, 0.0f) << "after the root: zero length";

    // The path: a white line of 100 segments at z -40 from (0, 0) toward (0, -30).
    const Call& path = d[2 * bones];
    EXPECT_EQ(path.a, uint32_t(PrimitiveType::LineStrip));
    EXPECT_EQ(path.c, 100u);
    ASSERT_EQ(path.vertices.size(), 101u);
    for (const LineVertex& v : path.vertices) {
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
        EXPECT_EQ(v.z, -40.0f);
    }
    EXPECT_EQ(path.vertices[0].y, 0.0f);
    EXPECT_NEAR(path.vertices[100].y, -30.0f, 1e-3f);

    // The marker: one triangle at the target, already turned once by 0.09 rad.
    const Call& marker = d[2 * bones + 1];
    EXPECT_EQ(marker.a, uint32_t(PrimitiveType::TriangleList));
    EXPECT_EQ(marker.c, 1u);
    ASSERT_EQ(marker.vertices.size(), 3u);
    EXPECT_EQ(marker.vertices[0].color, 0xFFFF0000u);
    EXPECT_EQ(marker.vertices[1].color, 0xFF00FF00u);
    EXPECT_EQ(marker.vertices[2].color, 0xFF0000FFu);
    EXPECT_NEAR(marker.vertices[0].x, -2 * std::cos(0.09), 1e-5);
    EXPECT_NEAR(marker.vertices[0].y, -50 - 2 * std::sin(0.09), 1e-5);
    EXPECT_EQ(marker.vertices[2].z, 22.0f);

    const auto texts = recording::callsOf(CallKind::DrawText);
    ASSERT_EQ(texts.size(), 1u) << "no help text";
    EXPECT_EQ(texts[0].text, "0 FPS");
}

TEST_F(IkreachRun, EnterWalksReachesAndHoldsTheSolvedPose) {
    // Target up two steps (to (0, -50, 24)), Enter, keys during the walk ignored.
    key(2, vk::Prior);
    key(3, vk::Prior);
    key(5, vk::Return);
    key(10, vk::Up);
    key(11, vk::Next);
    ASSERT_EQ(run({"--frames", "260"}), 0) << err;
    const Vec3 target{0, -50, 24};
    EXPECT_EQ(ikreach.scene.reachTarget.x, target.x);
    EXPECT_EQ(ikreach.scene.reachTarget.z, target.z);
    EXPECT_FALSE(ikreach.scene.reachActive);
    EXPECT_TRUE(ikreach.scene.reachDone);
    EXPECT_FALSE(ikreach.scene.reachFinished);
    EXPECT_NEAR(ikreach.path.groundPosition.y, -28.39f, 0.01f);

    // The walk takes 2000 ms (126 frames of 16 ms), the blend 1000 ms more.
    const auto walking = draws(60)[2 * 59].vertices;
    EXPECT_LT(walking[0].y, -8.0f);
    EXPECT_GT(walking[0].y, -28.0f);
    const auto held = draws(260)[2 * 59].vertices;
    EXPECT_LT(distance(held[0], target), 3.0);
    const auto unbent = draws(125)[2 * 59].vertices;
    EXPECT_GT(distance(unbent[0], target), 30.0);
    // Mid-blend the hand lies between the unbent and the held places.
    const auto blending = draws(164)[2 * 59].vertices;
    EXPECT_LT(distance(blending[0], target), distance(unbent[0], target) - 5);
    EXPECT_GT(distance(blending[0], target), distance(held[0], target) + 5);
}

TEST_F(IkreachRun, MouseAndButtonsLeaveCameraAndCursorAlone) {
    recording::scheduleMessage(1, msg::RButtonDown, 0, recording::mouseParam(10, 10));
    recording::scheduleMessage(1, msg::MouseMove, 0, recording::mouseParam(300, 20));
    recording::scheduleMessage(2, msg::RButtonUp, 0, recording::mouseParam(300, 20));
    recording::scheduleMessage(2, msg::LButtonDown, 0, recording::mouseParam(300, 20));
    recording::scheduleMessage(3, msg::MouseMove, 0, recording::mouseParam(10, 400));
    ASSERT_EQ(run({"--frames", "5"}), 0) << err;
    EXPECT_EQ(shell.camera.eye.x, -200.0f);
    EXPECT_EQ(shell.camera.eye.y, 0.0f);
    EXPECT_EQ(recording::cursorCount(), 0);
    for (const Call& c : recording::callsOf(CallKind::ClipCursor)) EXPECT_FALSE(c.hasRect);
}

TEST_F(IkreachRun, EscapeReleasesEverythingAndAFailedLockEndsOnlyThatFrame) {
    // Lock 0 fills the buffer at start-up; lock 7 is bone 3's strip in frame 1.
    recording::controls().failLockNumber = 7;
    key(2, vk::Escape);
    ASSERT_EQ(run({}), 0) << err;
    EXPECT_EQ(draws(1).size(), 6u) << "the frame stops at the failed lock";
    EXPECT_EQ(draws(2).size(), 2 * ikreach.poseModel.bones.size() + 2);
    EXPECT_EQ(recording::presentCount(), 2u);
    EXPECT_EQ(recording::liveObjects(), 0);
    EXPECT_EQ(recording::countOf(CallKind::DrawText), 1u);
}

TEST_F(IkreachRun, ACharacterWithoutTheArmWalksButDoesNotBend) {
    std::ofstream(dir / "barney.smd") << "version 1\nnodes\n0 \"root\" -1\n1 \"a\" 0\n2 \"b\" 1\n"
                                         "end\nskeleton\ntime 0\n0 0 0 0 0 0 0\n1 0 0 10 0 0 0\n"
                                         "2 0 -5 0 0 0 0\nend\n";
    key(1, vk::Return);
    ASSERT_EQ(run({"--frames", "200"}), 0) << err;
    EXPECT_NE(err.find("does not bend"), std::string::npos) << err;
    EXPECT_TRUE(ikreach.scene.reachDone);
    const auto d = draws(200);
    ASSERT_EQ(d.size(), 3u * 2 + 2);
    // Held pose = the unbent pose at the final place.
    const auto& tip = d[4].vertices;
    EXPECT_NEAR(tip[0].x, 0.0f, 1e-4f);
    EXPECT_NEAR(tip[0].y, ikreach.path.groundPosition.y - 5.0f, 1e-4f);
    EXPECT_NEAR(tip[0].z, 10.0f, 1e-4f);
}

TEST_F(IkreachRun, AMissingCharacterFileIsReportedAndTheSceneRuns) {
    std::filesystem::remove(dir / "barney.smd");
    key(1, vk::Return);
    ASSERT_EQ(run({"--frames", "140"}), 0) << err;
    EXPECT_NE(err.find("barney.smd"), std::string::npos) << err;
    const auto d = draws(140);
    ASSERT_EQ(d.size(), 2u) << "path and marker only";
    EXPECT_EQ(d[1].a, uint32_t(PrimitiveType::TriangleList));
}

}  // namespace
