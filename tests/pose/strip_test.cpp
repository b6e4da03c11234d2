// Bone strips of whole frames: contents, interpolation, the reaching figure's
// form, and safety on odd models.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/bone_strip.h"
#include "model/pose.h"
#include "skeletons.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Every bone's strip of one frame of a clip figure, as a program fills them.
std::vector<std::vector<LineVertex>> clipStrips(const Model& m, const ClipClock& clock,
                                                uint32_t stripSize = 69, uint32_t blend = 69) {
    ClipPose pose;
    poseClip(m, clock, blend, pose);
    const StripStyle style{.vertices = stripSize, .written = stripSize, .lineColor = kWhite};
    PlacedJoints placed;
    placeJoints(pose.joints, style, placed);
    std::vector<std::vector<LineVertex>> strips;
    for (int32_t b = 0; b < static_cast<int32_t>(m.bones.size()); ++b) {
        strips.emplace_back(stripSize, LineVertex{3, 3, 3, 0x12345678});
        fillBoneStrip(m.bones, pose.chains.data(), placed, style, b, strips.back().data());
    }
    return strips;
}

// The chain's length: white entries first, every entry after it zero.
size_t chainOf(const std::vector<LineVertex>& strip) {
    size_t n = 0;
    while (n < strip.size() && strip[n].color == kWhite) ++n;
    for (size_t i = n; i < strip.size(); ++i) {
        const LineVertex& v = strip[i];
        EXPECT_TRUE(v.x == 0 && v.y == 0 && v.z == 0 && v.color == 0) << "vertex " << i;
    }
    return n;
}

ClipClock stillClock(int32_t current = 0, int32_t next = 0) {
    ClipClock c;
    c.interpolate = false;
    c.currentFrame = current;
    c.nextFrame = next;
    return c;
}

TEST(ClipStrip, RunsFromTheJointUpToTheRootsChild) {
    const Model m = skeleton(
        {-1, 0, 1, 0},
        {{{50, 50, 50, 0, 0, 0}, {0, 0, 2, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}});
    const auto strips = clipStrips(m, stillClock());
    ASSERT_EQ(chainOf(strips[2]), 2u);
    EXPECT_EQ(strips[2][0].y, 1);
    EXPECT_EQ(strips[2][0].z, 2);
    EXPECT_EQ(strips[2][1].y, 0);
    EXPECT_EQ(strips[2][1].z, 2);
    EXPECT_EQ(chainOf(strips[0]), 0u);  // a root's strip is all zeros
    EXPECT_EQ(chainOf(strips[3]), 1u);
}

TEST(ClipStrip, InterpolationBlendsPositionsNotRotations) {
    // The child swings from +X to -X with the root's half turn; halfway its
    // blended joint sits at the root (the bone shrinks to nothing).
    const Model m = skeleton(
        {-1, 0, 1}, {{{0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}},
                     {{0, 0, 0, 0, 0, 3.14159265f}, {2, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}}});
    ClipClock clock;
    clock.currentFrame = 0;
    clock.nextFrame = 1;
    clock.elapsedMs = 75;  // t = 0.25
    auto strips = clipStrips(m, clock);
    ASSERT_EQ(chainOf(strips[2]), 2u);
    EXPECT_NEAR(strips[2][0].x, 1, 1e-5f);
    EXPECT_NEAR(strips[2][0].z, 1, 1e-5f);
    EXPECT_NEAR(strips[2][1].x, 1, 1e-5f);

    clock.elapsedMs = 150;
    strips = clipStrips(m, clock);
    EXPECT_NEAR(strips[1][0].x, 0, 1e-5f);
    EXPECT_NEAR(strips[1][0].y, 0, 1e-5f);
}

TEST(ClipStrip, IndicesBeyondASwitchedClipShowItsLastFrame) {
    Model m = line(3);
    m.frames.resize(3, m.frames[0]);
    m.frames[2][2].x = 5;
    for (bool interpolate : {false, true}) {
        ClipClock beyond = stillClock(7, 8), last = stillClock(2, 2);
        beyond.interpolate = last.interpolate = interpolate;
        beyond.elapsedMs = last.elapsedMs = 100;
        const auto a = clipStrips(m, beyond);
        EXPECT_EQ(std::memcmp(a[2].data(), clipStrips(m, last)[2].data(), 69 * sizeof(LineVertex)),
                  0);
        EXPECT_EQ(a[2][0].x, 6);
    }
}

TEST(ClipStrip, OddModelsGiveEmptyStrips) {
    Model shortNext = line(4);
    shortNext.frames.push_back(Frame(2, shortNext.frames[0][0]));
    struct Case {
        const char* what;
        Model model;
        int32_t bone, current, next;
    } cases[] = {
        {"bones without frames", skeleton({-1, 0}, {}), 1, 0, 0},
        {"next frame lacks keys", shortNext, 3, 0, 1},
        {"current frame lacks keys", shortNext, 3, 1, 0},
        {"cycle", skeleton({-1, 2, 1}, {Frame(3)}), 1, 0, 0},
    };
    for (const Case& c : cases) {
        ClipClock clock;
        clock.currentFrame = c.current;
        clock.nextFrame = c.next;
        EXPECT_EQ(chainOf(clipStrips(c.model, clock)[static_cast<size_t>(c.bone)]), 0u) << c.what;
    }
    EXPECT_TRUE(clipStrips(Model{}, ClipClock{}).empty());
}

TEST(ClipStrip, LongChainsAreCutToTheArrays) {
    const Model m = line(81);  // 80 links
    const auto still = clipStrips(m, stillClock());
    EXPECT_EQ(chainOf(still[80]), 69u);
    EXPECT_EQ(still[80][68].x, 12);
    // A wider strip, but with interpolation the chain holds as many joints as
    // the interpolation arrays.
    const auto blended = clipStrips(m, ClipClock{}, 101, 69);
    EXPECT_EQ(chainOf(blended[80]), 69u);
    EXPECT_EQ(blended[80][0].x, 80);
}

TEST(ReachStrip, ChainsRunToTheRootAndTheTailTakesTheBase) {
    // 0 root; 1, 2 a chain; 3 a second root; 4 hangs from a bone that does not exist.
    const Model m = skeleton({-1, 0, 1, -1, 9}, {});
    const std::vector<Vec3> joints = {{9, 9, 9}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {1, 1, 1}};
    StripPlacement moved;
    moved.px = 10, moved.py = 20;
    const StripStyle world{.vertices = 101,
                           .written = 100,
                           .lineColor = 0xFF000000u,
                           .withRoot = true,
                           .base = {10, 20, 0},
                           .tailKeepsColors = true};
    StripStyle model = world;
    model.base = {};
    model.tailKeepsColors = false;
    model.placement = &moved;
    for (const StripStyle* style : {&world, static_cast<const StripStyle*>(&model)}) {
        PlacedJoints placed;
        placeJoints(joints, *style, placed);
        std::vector<LineVertex> strip(101, LineVertex{-1, -1, -1, 0xFF00FF00u});
        ASSERT_EQ(fillBoneStrip(m.bones, nullptr, placed, *style, 2, strip.data()), 3u);
        const float dx = style == &world ? 0.0f : 10.0f, dy = style == &world ? 0.0f : 20.0f;
        EXPECT_EQ(strip[0].x, 4 + dx);
        EXPECT_EQ(strip[1].y, 2 + dy);
        EXPECT_EQ(strip[2].x, 10.0f) << "bone 0 at the base, not its entry";
        EXPECT_EQ(strip[2].y, 20.0f);
        EXPECT_EQ(strip[2].color, 0xFF000000u);
        EXPECT_EQ(strip[99].x, 10.0f);
        EXPECT_EQ(strip[99].z, 0.0f);
        EXPECT_EQ(strip[50].color, style == &world ? 0xFF00FF00u : 0u);
        EXPECT_EQ(strip[100].x, 0.0f) << "never written";
        // Another root's own entry; a broken link ends the chain after its bone.
        EXPECT_EQ(fillBoneStrip(m.bones, nullptr, placed, *style, 3, strip.data()), 1u);
        EXPECT_EQ(strip[0].x, 7 + dx);
        EXPECT_EQ(fillBoneStrip(m.bones, nullptr, placed, *style, 4, strip.data()), 1u);
        EXPECT_EQ(fillBoneStrip(m.bones, nullptr, placed, *style, 5, strip.data()), 0u);
    }
    // A cycle is cut at the written entries.
    const Model cyclic = skeleton({-1, 2, 1}, {});
    PlacedJoints placed;
    placeJoints({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, world, placed);
    std::vector<LineVertex> strip(101);
    EXPECT_EQ(fillBoneStrip(cyclic.bones, nullptr, placed, world, 2, strip.data()), 100u);
    EXPECT_EQ(strip[99].x, 1.0f);
}

}  // namespace
