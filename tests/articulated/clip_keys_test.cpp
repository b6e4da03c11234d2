#include "apps/clip_keys.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "shell/recording/recording.h"
#include "shell/scene.h"
#include "shell/shell.h"

namespace {

using recording::CallKind;

// A two-bone clip with `frames` frames; bone 1 sits `reach` units along X.
std::string clipText(int frames, float reach) {
    std::string s = "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\nskeleton\n";
    for (int f = 0; f < frames; ++f) {
        s += "time " + std::to_string(f) + "\n0 0 0 0 0 0 0\n1 " + std::to_string(reach) +
             " 0 0 0 0 0\n";
    }
    return s + "end\n";
}

class ClipKeys : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        resetShell();
        old = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("clip_keys_test_" + std::to_string(getpid()) + "_" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        std::ofstream("walk.smd") << clipText(5, 1.0f);
        std::ofstream("run.smd") << clipText(3, 2.0f);
        std::ofstream("barney.smd") << clipText(1, 3.0f);
        playback.clip = &clip;
        playback.clock = &clock;
        playback.maxDrawnBones = 68;
    }
    void TearDown() override {
        releaseDevice();
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
    void key(uint32_t code) {
        EXPECT_EQ(clipProgramMessage(playback, nullptr, msg::KeyDown, code, 0), 0);
    }
    std::filesystem::path old, dir;
    Model clip;
    ClipClock clock;
    ClipPlayback playback;
};

TEST_F(ClipKeys, KeypadTempoKeysStepByFiveWithAFloorOfOne) {
    const struct {
        double before;
        uint32_t key;
        double after;
    } cases[] = {
        {300, vk::Add, 295},
        {300, vk::Subtract, 305},
        {6, vk::Add, 1},
        {5, vk::Add, 1},
        {3, vk::Add, 1},
        {1, vk::Add, 1},
        {1, vk::Subtract, 6},
        {1000000, vk::Subtract, 1000005},
        {INT32_MAX - 2.0, vk::Subtract, INT32_MAX + 3.0},  // no wrap at the 32-bit limit
        {1000.0 / 30, vk::Add, 1000.0 / 30 - 5},           // a file's rate keeps its steps
        {300, 0xBB, 300},                                  // main keyboard +: nothing
        {300, 0xBD, 300},                                  // main keyboard -: nothing
        {300, 'Q', 300},
    };
    for (const auto& c : cases) {
        clock.framePeriodMs = c.before;
        key(c.key);
        EXPECT_EQ(clock.framePeriodMs, c.after) << c.before << " key " << c.key;
    }
}

TEST_F(ClipKeys, TogglesFlipOnEveryPress) {
    EXPECT_TRUE(clock.interpolate);
    key('A');
    EXPECT_FALSE(clock.interpolate);
    key('A');
    EXPECT_TRUE(clock.interpolate);
    EXPECT_FALSE(shell.helpVisible);
    key(vk::F1);
    EXPECT_TRUE(shell.helpVisible);
    key(vk::F1);
    EXPECT_FALSE(shell.helpVisible);
    key('a');  // lower-case codes are not virtual keys
    EXPECT_TRUE(clock.interpolate);
}

TEST_F(ClipKeys, ClipKeysReplaceTheClipAndOnlySZeroesTheFrames) {
    loadClip(playback, "walk.smd");
    ASSERT_EQ(clip.frames.size(), 5u);
    clock.currentFrame = 4;
    clock.nextFrame = 0;
    key('W');
    EXPECT_EQ(clock.currentFrame, 4);  // kept while it lies inside the clip
    key('R');
    EXPECT_EQ(clip.frames.size(), 3u);
    EXPECT_EQ(clip.frames[0][1].x, 2.0f);
    EXPECT_EQ(clock.currentFrame, 0);  // past the new clip's end: wrapped at once
    EXPECT_EQ(clock.nextFrame, 1);
    key('W');
    EXPECT_EQ(clip.frames.size(), 5u);
    EXPECT_EQ(clock.currentFrame, 0);
    key('S');
    EXPECT_EQ(clip.frames.size(), 1u);
    EXPECT_EQ(clip.frames[0][1].x, 3.0f);
    EXPECT_EQ(clock.currentFrame, 0);
    EXPECT_EQ(clock.nextFrame, 0);
}

TEST_F(ClipKeys, AMissingClipKeepsThePlayedOneAndSaysSoOnce) {
    loadClip(playback, "walk.smd");
    std::filesystem::remove("run.smd");
    testing::internal::CaptureStderr();
    key('R');
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(clip.frames.size(), 5u);
    EXPECT_NE(err.find("run.smd"), std::string::npos) << err;
    EXPECT_EQ(err.find("run.smd"), err.rfind("run.smd")) << "reported once: " << err;

    std::ofstream("run.smd") << "version 2\n";
    testing::internal::CaptureStderr();
    key('R');
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_TRUE(clip.bones.empty());  // the reader empties the model on a wrong first line

    testing::internal::CaptureStderr();
    key('W');  // a clean load prints nothing
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ClipKeys, EscapeAndDestroyReleaseTheDeviceAndQuit) {
    for (uint32_t message : {msg::KeyDown, msg::Destroy}) {
        recording::reset();
        ASSERT_TRUE(registerWindowClass(
            "t", [](Window*, uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; }));
        Window* w = createWindow("t", "t", 0, 0, 10, 10);
        ASSERT_EQ(initDevice(w), S_OK_);
        EXPECT_EQ(clipProgramMessage(playback, w, message, vk::Escape, 0), 0);
        EXPECT_EQ(recording::liveObjects(), 0);
        const auto quits = recording::callsOf(CallKind::PostQuit);
        ASSERT_EQ(quits.size(), 1u);
        EXPECT_EQ(quits[0].a, 0u);
        EXPECT_EQ(shell.graphics.device, nullptr);
    }
}

}  // namespace
