// pathmove on the recording backend: the pass clock, the clip of each movement
// phase, the placed character and the drawn path, with tiny hand-made clips.
#include "apps/pathmove/pathmove.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "shell/recording/recording.h"
#include "shell/shell.h"
#include "tests/support/json_line.h"

namespace {

using recording::Call;
using recording::CallKind;

struct Key {
    float x, y, z;
};

// A clip of `frames` frames over `parents`, every frame with the offsets `keys`.
std::string smd(const std::vector<int>& parents, const std::vector<Key>& keys, int frames) {
    std::string s = "version 1\nnodes\n";
    for (size_t i = 0; i < parents.size(); ++i) {
        s += std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(parents[i]) +
             "\n";
    }
    s += "end\nskeleton\n";
    for (int f = 0; f < frames; ++f) {
        s += "time " + std::to_string(f) + "\n";
        for (size_t i = 0; i < keys.size(); ++i) {
            char line[160];
            std::snprintf(line, sizeof line, "%zu %f %f %f 0 0 0\n", i, keys[i].x, keys[i].y,
                          keys[i].z);
            s += line;
        }
    }
    return s + "end\n";
}

// root 0; 1 child of 0 at +10 x; 2 child of 1 at +5 z; 3 child of 0 at -4 y.
const std::vector<int> kParents = {-1, 0, 1, 0};
const std::vector<Key> kKeys = {{7, 7, 7}, {10, 0, 0}, {0, 0, 5}, {0, -4, 0}};
// The clips are told apart by their frame counts.
constexpr int kWalkFrames = 2, kRunFrames = 3, kStandFrames = 1;

class PathmoveRun : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        resetPathmove();
        old = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("pathmove_test_" + std::to_string(getpid()) + "_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        write("walk.smd", smd(kParents, kKeys, kWalkFrames));
        write("run.smd", smd(kParents, kKeys, kRunFrames));
        write("barney.smd", smd(kParents, kKeys, kStandFrames));
    }
    void TearDown() override {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
        resetPathmove();
    }
    void write(const char* name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    // Runs the program with a trace; returns its exit status.
    int run(std::vector<std::string> args) {
        const std::string trace = (dir / "trace.jsonl").string();
        args.insert(args.begin(), {"pathmove", "--data", dir.string(), "--trace", trace});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        const int status = runProgram(kPathmoveProgram, static_cast<int>(argv.size()), argv.data());
        err = testing::internal::GetCapturedStderr();
        std::filesystem::current_path(old);
        lines.clear();
        std::ifstream in(trace);
        for (std::string line; std::getline(in, line);) {
            JsonFields f;
            std::string error;
            EXPECT_TRUE(parseJsonLine(line, f, error)) << error << ": " << line;
            lines.push_back(f);
        }
        return status;
    }
    double num(size_t line, const std::string& key) const {
        const auto it = lines.at(line).find(key);
        EXPECT_TRUE(it != lines.at(line).end()) << key;
        return it == lines.at(line).end() ? NAN : it->second.number;
    }
    std::vector<Call> frame(int n) { return recording::callsOfFrame(n); }
    static std::vector<Call> only(const std::vector<Call>& calls, CallKind kind) {
        return recording::callsOf(calls, kind);
    }
    std::filesystem::path old, dir;
    std::string err;
    std::vector<JsonFields> lines;
};

TEST_F(PathmoveRun, StartsUpOnTheBlueSceneWithTheFigureAtThePathStart) {
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    EXPECT_EQ(err, "");
    const auto& calls = recording::calls();
    EXPECT_EQ(calls[0].text, "VX330_2: Path Movement");
    const auto locks = only(calls, CallKind::Lock);
    ASSERT_FALSE(locks.empty());
    EXPECT_EQ(locks[0].b, 1616u);  // the strip array, once, at start-up
    const auto f = frame(1);
    EXPECT_EQ(only(f, CallKind::Clear)[0].b, 0xFF0000FFu);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(num(0, "eye.0"), -300.0);
    EXPECT_EQ(num(0, "eye.1"), -300.0);
    EXPECT_EQ(num(0, "eye.2"), 100.0);
    EXPECT_EQ(num(0, "clip.periodMs"), 40.0);
    EXPECT_EQ(num(0, "clip.frames"), kWalkFrames);
    EXPECT_EQ(num(0, "path.fraction"), 0.0);
    EXPECT_EQ(num(0, "path.phase"), 0.0);
    EXPECT_EQ(num(0, "path.ground.0"), 60.0);
    EXPECT_EQ(num(0, "path.ground.1"), -50.0);
    EXPECT_NEAR(num(0, "path.heading"), 5.1160, 1e-4);
}

TEST_F(PathmoveRun, TheFigureIsScaledTurnedAndPlacedThenThePathIsDrawn) {
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    const auto f = frame(1);
    const auto draws = only(f, CallKind::DrawPrimitive);
    ASSERT_EQ(draws.size(), 4u + 2u);
    for (const Call& l : only(f, CallKind::Lock)) EXPECT_EQ(l.b, 1616u);

    const Matrix4 h = pathmove.path.headingMatrix;
    const auto placed = [&](Vec3 p) {
        p = vec3TransformCoord(vec3TransformCoord(p, matrixScaling(0.3f, 0.3f, 0.3f)), h);
        return Vec3{p.x + 60.0f, p.y - 50.0f, p.z};
    };
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(draws[b].a, static_cast<uint32_t>(PrimitiveType::LineStrip));
        EXPECT_EQ(draws[b].c, 4u);  // one segment per bone of the model
        EXPECT_FALSE(draws[b].readPastBuffer);
    }
    // Bone 2: its joint (10, 0, 5), its parent's (10, 0, 0), then the root's place.
    const auto& s = draws[2].vertices;
    const Vec3 joint = placed({10, 0, 5}), parent = placed({10, 0, 0});
    EXPECT_NEAR(s[0].x, joint.x, 1e-4);
    EXPECT_NEAR(s[0].y, joint.y, 1e-4);
    EXPECT_NEAR(s[0].z, 1.5f, 1e-5);
    EXPECT_NEAR(s[1].x, parent.x, 1e-4);
    EXPECT_NEAR(s[1].y, parent.y, 1e-4);
    EXPECT_EQ(s[2].x, 60.0f);
    EXPECT_EQ(s[2].y, -50.0f);
    EXPECT_EQ(s[2].color, 0u);
    // The figure faces its direction of travel: bone 3 points along -y in the model.
    const Vec3 front = placed({0, -4, 0});
    EXPECT_NEAR((front.x - 60.0f) / 1.2f, -0.9196, 1e-3);
    EXPECT_NEAR((front.y + 50.0f) / 1.2f, -0.3928, 1e-3);
    // Vertex 100 of the uploaded strip is never placed.
    EXPECT_EQ(pathmove.strip[100].x, 0.0f);
    EXPECT_EQ(pathmove.strip[100].y, 0.0f);
    EXPECT_EQ(pathmove.strip[99].x, 60.0f);

    // The path: a white strip of 100 lines, then red dots on samples 0 .. 99.
    const Call& line = draws[4];
    const Call& dots = draws[5];
    EXPECT_EQ(line.a, static_cast<uint32_t>(PrimitiveType::LineStrip));
    EXPECT_EQ(line.c, 100u);
    ASSERT_EQ(line.vertices.size(), 101u);
    for (const LineVertex& v : line.vertices) {
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
        EXPECT_EQ(v.z, -10.0f);
    }
    EXPECT_EQ(line.vertices[0].x, 60.0f);
    EXPECT_NEAR(line.vertices[100].x, -50.0f, 1e-3);
    EXPECT_NEAR(line.vertices[100].y, 50.0f, 1e-3);
    EXPECT_EQ(dots.a, static_cast<uint32_t>(PrimitiveType::PointList));
    EXPECT_EQ(dots.c, 100u);
    ASSERT_GE(dots.vertices.size(), 100u);
    for (size_t k = 0; k < 100; ++k) EXPECT_EQ(dots.vertices[k].color, 0xFFFF0000u);
    // The frame rate comes last.
    const auto texts = only(f, CallKind::DrawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "0 FPS");
}

TEST_F(PathmoveRun, WithHelpShownThePathIsStillDrawnOverIt) {
    recording::postTestMessage(msg::KeyDown, vk::F1);
    ASSERT_EQ(run({"--frames", "1"}), 0) << err;
    const auto f = frame(1);
    const auto draws = only(f, CallKind::DrawPrimitive);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].c, 100u);
    EXPECT_EQ(draws[1].a, static_cast<uint32_t>(PrimitiveType::PointList));
    const auto texts = only(f, CallKind::DrawText);
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[0].text, "F1: Toggle Help");
    EXPECT_EQ(texts[8].text, "0 FPS");
}

TEST_F(PathmoveRun, PhasesSwitchTheClipOncePerPass) {
    // Frames every 100 ms: 2200 ms is the first past 0.3 (2100 ms is 0.3 itself),
    // 4900 ms the first at 0.7; 7000 ms ends the pass and 7100 ms starts the next.
    // The standing pose chosen by the user lasts until the next phase change.
    recording::scheduleMessage(3, msg::KeyDown, 'S');
    ASSERT_EQ(run({"--frames", "150", "--step", "100"}), 0) << err;
    ASSERT_EQ(lines.size(), 150u);
    std::vector<std::pair<int, double>> changes;  // (frame index, new phase)
    for (size_t i = 1; i < lines.size(); ++i) {
        if (num(i, "path.phase") != num(i - 1, "path.phase")) {
            changes.push_back({int(i), num(i, "path.phase")});
        }
    }
    const std::vector<std::pair<int, double>> expected = {
        {22, 1.0}, {49, 2.0}, {71, 0.0}, {71 + 22, 1.0}, {71 + 49, 2.0}, {142, 0.0}};
    EXPECT_EQ(changes, expected);
    EXPECT_EQ(num(21, "path.fraction"), 0.3);
    EXPECT_EQ(num(21, "path.phase"), 0.0);
    EXPECT_EQ(num(3, "clip.frames"), kStandFrames);
    EXPECT_EQ(num(21, "clip.frames"), kStandFrames);
    EXPECT_EQ(num(22, "clip.frames"), kRunFrames);
    EXPECT_EQ(num(48, "clip.frames"), kRunFrames);
    EXPECT_EQ(num(49, "clip.frames"), kWalkFrames);
    EXPECT_EQ(num(93, "clip.frames"), kRunFrames);
    EXPECT_EQ(num(70, "path.fraction"), 1.0);
    EXPECT_NEAR(num(70, "path.ground.0"), -50.0, 1e-3);
    EXPECT_NEAR(num(70, "path.ground.1"), 50.0, 1e-3);
    EXPECT_EQ(num(71, "path.fraction"), 0.0);
    EXPECT_EQ(num(71, "path.ground.0"), 60.0);
    EXPECT_NEAR(num(72, "path.fraction"), 100.0 / 7000.0, 1e-10);
    EXPECT_EQ(err, "");
}

TEST_F(PathmoveRun, EveryPassReadsTheWalkAgainAndReportsAMissingOneOnce) {
    std::filesystem::remove(dir / "walk.smd");
    // Frames every 1000 ms: start-up, the slowing down at 5000 ms and the new pass
    // at 8000 ms each read walk.smd, which is said once; run.smd is read at 3000 ms.
    ASSERT_EQ(run({"--frames", "9", "--step", "1000"}), 0) << err;
    size_t reports = 0;
    for (size_t at = err.find("walk.smd"); at != std::string::npos;
         at = err.find("walk.smd", at + 1)) {
        ++reports;
    }
    EXPECT_EQ(reports, 1u) << err;
    EXPECT_EQ(err.find("run.smd"), std::string::npos) << err;
    EXPECT_EQ(num(2, "clip.frames"), 0.0);  // nothing to play before the run
    EXPECT_EQ(num(3, "clip.frames"), kRunFrames);
    EXPECT_EQ(num(5, "clip.frames"), kRunFrames);  // a failed read keeps the clip
    EXPECT_EQ(num(7, "path.fraction"), 1.0);
    EXPECT_EQ(num(8, "path.fraction"), 0.0);
    EXPECT_EQ(num(8, "path.phase"), 0.0);
    EXPECT_GT(std::hypot(num(5, "path.ground.0") - num(3, "path.ground.0"),
                         num(5, "path.ground.1") - num(3, "path.ground.1")),
              50.0);  // the figure moves on
}

TEST_F(PathmoveRun, AnOverrunPassRestartsAtTheCurrentTime) {
    // Frames 3000 ms apart: the frame at 9000 ms finds the pass run out and starts
    // the next one there, at fraction 0, without carrying the overshoot.
    ASSERT_EQ(run({"--frames", "6", "--step", "3000"}), 0) << err;
    const double expected[] = {0.0, 3.0 / 7, 6.0 / 7, 0.0, 3.0 / 7, 6.0 / 7};
    const double phases[] = {0, 1, 2, 0, 1, 2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(num(i, "path.fraction"), expected[i], 1e-8) << i;
        EXPECT_EQ(num(i, "path.phase"), phases[i]) << i;
    }
    EXPECT_EQ(num(4, "clip.frames"), kRunFrames);
}

TEST_F(PathmoveRun, FramesThatSkipTheCruiseKeepTheWalk) {
    // Frames 5000 ms apart jump from the first piece into the third: no phase
    // change, so the run is never loaded and the walk never read again.
    std::filesystem::remove(dir / "run.smd");
    ASSERT_EQ(run({"--frames", "4", "--step", "5000"}), 0) << err;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(num(i, "path.phase"), 0.0) << i;
        EXPECT_EQ(num(i, "clip.frames"), kWalkFrames) << i;
    }
    EXPECT_NEAR(num(1, "path.fraction"), 5.0 / 7, 1e-8);
    EXPECT_EQ(num(2, "path.fraction"), 0.0);
    EXPECT_EQ(err, "");
}

TEST_F(PathmoveRun, PassesRunOnAcrossTheWrapOfTheTickCount) {
    ASSERT_EQ(run({"--frames", "5", "--step", "1000", "--tick-start", "4294967000"}), 0) << err;
    for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(num(i, "path.fraction"), i / 7.0, 1e-8) << i;
    EXPECT_EQ(num(4, "path.phase"), 1.0);
}

TEST_F(PathmoveRun, ModelsWithMoreBonesThanThePlacedStripAreClipped) {
    // 120 bones in one chain, 1 unit apart along z.
    std::vector<int> parents;
    std::vector<Key> keys;
    for (int i = 0; i < 120; ++i) {
        parents.push_back(i - 1);
        keys.push_back({0, 0, i == 0 ? 0.0f : 1.0f});
    }
    write("walk.smd", smd(parents, keys, 1));
    recording::postTestMessage(msg::KeyDown, 'A');  // no interpolation: the full strip
    ASSERT_EQ(run({"--frames", "1"}), 0);
    EXPECT_NE(err.find("bone 119 \"b119\" lies 119 bones below"), std::string::npos) << err;
    const auto draws = only(frame(1), CallKind::DrawPrimitive);
    ASSERT_EQ(draws.size(), 120u + 2u);
    for (size_t b = 0; b < 120; ++b) {
        EXPECT_EQ(draws[b].c, 99u);
        EXPECT_FALSE(draws[b].readPastBuffer);
        // Every vertex the strip reads was put in the world: none at the origin.
        for (size_t i = 0; i < 100; ++i) ASSERT_EQ(draws[b].vertices[i].x, 60.0f) << b << " " << i;
    }
    const auto& deepest = draws[119].vertices;
    EXPECT_NEAR(deepest[0].z, 119 * 0.3f, 1e-3);
    EXPECT_NEAR(deepest[99].z, 20 * 0.3f, 1e-3);
}

TEST_F(PathmoveRun, AFailedLockInThePathEndsTheFrameButNotTheRun) {
    // Start-up lock, four bones, then the path's line fails.
    recording::controls().failLockNumber = 5;
    ASSERT_EQ(run({"--frames", "2"}), 0) << err;
    const auto f1 = frame(1);
    EXPECT_EQ(only(f1, CallKind::DrawPrimitive).size(), 4u);
    EXPECT_TRUE(only(f1, CallKind::DrawText).empty());
    EXPECT_EQ(only(f1, CallKind::EndScene).size(), 1u);
    EXPECT_EQ(only(frame(2), CallKind::DrawPrimitive).size(), 6u);
}

}  // namespace
