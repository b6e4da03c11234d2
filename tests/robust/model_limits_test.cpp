// Models at the edges of what the reader accepts: whatever numbers a file
// holds, the strips drawn from it stay finite.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/bone_strip.h"
#include "model/pose.h"
#include "model/smd.h"

namespace {

// A single chain of `bones` bones; each key's six numbers are taken in turn
// from `values`.
std::string chainFile(int bones, const std::vector<std::string>& values) {
    std::string text = "version 1\nnodes\n";
    for (int i = 0; i < bones; ++i)
        text +=
            std::to_string(i) + " \"b" + std::to_string(i) + "\" " + std::to_string(i - 1) + "\n";
    text += "end\nskeleton\n";
    size_t next = 0;
    for (int f = 0; f < 2; ++f) {
        text += "time " + std::to_string(f) + "\n";
        for (int i = 0; i < bones; ++i) {
            text += std::to_string(i);
            for (int v = 0; v < 6; ++v) text += " " + values[next++ % values.size()];
            text += "\n";
        }
    }
    return text + "end\n";
}

// Every strip of every bone, both frames, interpolation on and off, at the
// sizes of both programs: all drawn vertices finite.
void expectFiniteStrips(const Model& model, const char* what) {
    ClipPose pose;
    PlacedJoints placed;
    std::vector<LineVertex> strip(101);
    size_t drawn = 0;
    for (uint32_t capacity : {69u, 101u}) {
        for (bool interpolate : {false, true}) {
            ClipClock clock;
            clock.interpolate = interpolate;
            clock.framePeriodMs = 40;
            clock.elapsedMs = 13.0;
            clock.currentFrame = 1;
            clock.nextFrame = 0;
            poseClip(model, clock, 69, pose);
            const StripStyle style{.vertices = capacity, .written = capacity, .lineColor = 1};
            placeJoints(pose.joints, style, placed);
            for (size_t b = 0; b < model.bones.size(); ++b) {
                fillBoneStrip(model.bones, pose.chains.data(), placed, style,
                              static_cast<int32_t>(b), strip.data());
                for (size_t i = 0; i < capacity; ++i) {
                    const LineVertex& v = strip[i];
                    drawn += v.color != 0;
                    ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))
                        << what << ": bone " << b << " vertex " << i;
                }
            }
        }
    }
    EXPECT_GT(drawn, 0u) << what << ": the chains are drawn, not dropped";
}

TEST(ModelLimits, TheLargestAcceptedNumbersKeepEveryStripFinite) {
    // The longest chain evaluated (256 links), every offset at the largest
    // accepted magnitude and angles that swing it around.
    Model model;
    loadSmdFromMemory(model,
                      chainFile(kMaxChainLinks + 1, {"1e9", "-1e9", "1e9", "0.7", "1e9", "-2.3"}));
    ASSERT_EQ(model.bones.size(), static_cast<size_t>(kMaxChainLinks + 1));
    expectFiniteStrips(model, "offsets of 1e9");
}

TEST(ModelLimits, NumbersBeyondTheRangeDoNotReachTheStrips) {
    // Offsets that used to overflow a sum of two links to infinity, and a
    // rotation that then turned it into NaN.
    Model model;
    const SmdLoadResult r = loadSmdFromMemory(
        model, chainFile(70, {"3e38", "3e38", "-3e38", "1e38", "3.4e38", "1e10"}));
    EXPECT_EQ(r.status, SmdStatus::Repaired);
    expectFiniteStrips(model, "offsets of 3e38");
}

}  // namespace
