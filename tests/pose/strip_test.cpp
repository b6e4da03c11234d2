// Bone strips: contents, interpolation, safety on odd models, and the frame
// memo of buildBoneStrip against the chain-by-chain evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "model/pose.h"
#include "skeletons.h"

namespace {

using StripBuilder = void (*)(const Model&, const ClipClock&, int32_t, const StripArrays&,
                              ChainScratch&);
const StripBuilder kBuilders[] = {buildBoneStrip, buildBoneStripReference};

struct Arrays {
    std::vector<LineVertex> strip, current, next;
    explicit Arrays(size_t stripSize = 69, size_t frameSize = 69)
        : strip(stripSize, kJunk), current(frameSize, kJunk), next(frameSize, kJunk) {}
    static constexpr LineVertex kJunk{3, 3, 3, 0x12345678};
    StripArrays view() {
        return {strip.data(), strip.size(), current.data(), next.data(), current.size()};
    }
    bool operator==(const Arrays& o) const {
        auto same = [](const std::vector<LineVertex>& a, const std::vector<LineVertex>& b) {
            return a.size() == b.size() &&
                   (a.empty() ||
                    std::memcmp(a.data(), b.data(), a.size() * sizeof(LineVertex)) == 0);
        };
        return same(strip, o.strip) && same(current, o.current) && same(next, o.next);
    }
};

size_t whiteCount(const Arrays& a) {
    size_t n = 0;
    while (n < a.strip.size() && a.strip[n].color == 0xFFFFFFFFu) ++n;
    for (size_t i = n; i < a.strip.size(); ++i) {
        const LineVertex& v = a.strip[i];
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

TEST(Strip, RunsFromTheJointUpToTheRootsChild) {
    const Model m = skeleton(
        {-1, 0, 1, 0},
        {{{50, 50, 50, 0, 0, 0}, {0, 0, 2, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}});
    for (StripBuilder build : kBuilders) {
        ChainScratch scratch;
        Arrays a;
        build(m, stillClock(), 2, a.view(), scratch);
        ASSERT_EQ(whiteCount(a), 2u);
        EXPECT_EQ(a.strip[0].y, 1);
        EXPECT_EQ(a.strip[0].z, 2);
        EXPECT_EQ(a.strip[1].y, 0);
        EXPECT_EQ(a.strip[1].z, 2);

        Arrays root;
        build(m, stillClock(), 0, root.view(), scratch);
        EXPECT_EQ(whiteCount(root), 0u);
    }
}

TEST(Strip, InterpolationBlendsPositionsNotRotations) {
    // The child swings from +X to -X with the root's half turn; halfway its
    // blended joint sits at the root (the bone shrinks to nothing).
    const Model m = skeleton(
        {-1, 0, 1}, {{{0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}},
                     {{0, 0, 0, 0, 0, 3.14159265f}, {2, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}}});
    for (StripBuilder build : kBuilders) {
        ChainScratch scratch;
        ClipClock clock;
        clock.currentFrame = 0;
        clock.nextFrame = 1;
        clock.elapsedMs = 75;  // t = 0.25
        Arrays a;
        build(m, clock, 2, a.view(), scratch);
        ASSERT_EQ(whiteCount(a), 2u);
        EXPECT_NEAR(a.current[0].x, 2, 1e-5f);
        EXPECT_NEAR(a.next[0].x, -2, 1e-5f);
        EXPECT_EQ(a.current[2].x, 0);  // arrays zeroed past the chain
        EXPECT_NEAR(a.strip[0].x, 1, 1e-5f);
        EXPECT_NEAR(a.strip[0].z, 1, 1e-5f);
        EXPECT_NEAR(a.strip[1].x, 1, 1e-5f);

        clock.elapsedMs = 150;
        build(m, clock, 1, a.view(), scratch);
        EXPECT_NEAR(a.strip[0].x, 0, 1e-5f);
        EXPECT_NEAR(a.strip[0].y, 0, 1e-5f);
    }
}

TEST(Strip, IndicesBeyondASwitchedClipShowItsLastFrame) {
    Model m = line(3);
    m.frames.resize(3, m.frames[0]);
    m.frames[2][2].x = 5;
    for (bool interpolate : {false, true}) {
        for (StripBuilder build : kBuilders) {
            ChainScratch scratch;
            ClipClock beyond = stillClock(7, 8), last = stillClock(2, 2);
            beyond.interpolate = last.interpolate = interpolate;
            beyond.elapsedMs = last.elapsedMs = 100;
            Arrays a, b;
            build(m, beyond, 2, a.view(), scratch);
            build(m, last, 2, b.view(), scratch);
            EXPECT_TRUE(a == b);
            EXPECT_EQ(a.strip[0].x, 6);
        }
    }
}

TEST(Strip, OddModelsGiveEmptyStrips) {
    Model shortNext = line(4);
    shortNext.frames.push_back(Frame(2, shortNext.frames[0][0]));
    struct Case {
        const char* what;
        Model model;
        int32_t bone, current, next;
    } cases[] = {
        {"empty model", Model{}, 0, 0, 0},
        {"bones without frames", skeleton({-1, 0}, {}), 1, 0, 0},
        {"next frame lacks keys", shortNext, 3, 0, 1},
        {"current frame lacks keys", shortNext, 3, 1, 0},
        {"cycle", skeleton({-1, 2, 1}, {Frame(3)}), 1, 0, 0},
        {"bone out of range", line(2), 2, 0, 0},
    };
    for (const Case& c : cases) {
        for (StripBuilder build : kBuilders) {
            ChainScratch scratch;
            ClipClock clock;
            clock.currentFrame = c.current;
            clock.nextFrame = c.next;
            Arrays a;
            build(c.model, clock, c.bone, a.view(), scratch);
            EXPECT_EQ(whiteCount(a), 0u) << c.what;
            StripArrays none{nullptr, 69, nullptr, nullptr, 69};
            build(c.model, clock, c.bone, none, scratch);
        }
    }
}

TEST(Strip, LongChainsAreCutToTheArrays) {
    const Model m = line(81);  // 80 links
    for (StripBuilder build : kBuilders) {
        ChainScratch scratch;
        Arrays still(69, 69);
        build(m, stillClock(), 80, still.view(), scratch);
        EXPECT_EQ(whiteCount(still), 69u);
        EXPECT_EQ(still.strip[68].x, 12);

        Arrays blended(101, 69);  // a wider strip, but the frame arrays hold 69
        ClipClock clock;
        build(m, clock, 80, blended.view(), scratch);
        EXPECT_EQ(whiteCount(blended), 69u);
        EXPECT_EQ(blended.strip[0].x, 80);
    }
}

// Random skeletons, some broken, with bones in any order.
Model randomModel(std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<float> angle(-3.2f, 3.2f), length(-20.0f, 20.0f);
    const int32_t bones = 1 + pick(rng) % 70;
    Model m;
    m.bones.resize(static_cast<size_t>(bones));
    std::vector<int32_t> order(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin() + 1, order.end(), rng);
    for (int32_t i = 0; i < bones; ++i) {
        const int32_t self = order[static_cast<size_t>(i)];
        int32_t parent = -1;
        if (i > 0 && pick(rng) >= 5) parent = order[static_cast<size_t>(pick(rng) % i)];
        m.bones[static_cast<size_t>(self)].parent = parent;
    }
    if (pick(rng) < 15) m.bones[static_cast<size_t>(pick(rng) % bones)].parent = bones + 3;
    if (pick(rng) < 15) {  // a cycle between two bones
        const int32_t a = pick(rng) % bones, b = pick(rng) % bones;
        m.bones[static_cast<size_t>(a)].parent = b;
        m.bones[static_cast<size_t>(b)].parent = a;
    }
    const int frames = 1 + pick(rng) % 4;
    for (int f = 0; f < frames; ++f) {
        Frame keys(static_cast<size_t>(bones));
        for (BoneKey& k : keys) {
            k = {length(rng), length(rng), length(rng), angle(rng), angle(rng), angle(rng)};
            if (pick(rng) < 5) k.x = -0.0f, k.ry = -0.0f;
        }
        if (pick(rng) < 10) keys.resize(static_cast<size_t>(pick(rng) % bones));
        m.frames.push_back(keys);
    }
    return m;
}

// A clock somewhere in (or past) a clip of `frames` frames, interpolating or not.
ClipClock randomClock(std::mt19937& rng, int32_t frames) {
    std::uniform_int_distribution<int> pick(0, 99);
    ClipClock clock;
    clock.interpolate = pick(rng) < 70;
    clock.currentFrame = pick(rng) % (frames + 2);
    clock.nextFrame = pick(rng) < 80 ? (clock.currentFrame + 1) % frames : pick(rng) % 6;
    clock.framePeriodMs = 1 + pick(rng) * 3;
    clock.elapsedMs = std::uniform_real_distribution<double>(0, clock.framePeriodMs)(rng);
    return clock;
}

TEST(StripMemo, BitIdenticalToChainByChain) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> pick(0, 99);
    const size_t sizes[][2] = {{69, 69}, {101, 69}, {5, 3}, {0, 0}};
    ChainScratch fastScratch, referenceScratch;  // shared across models, as in a program
    for (int round = 0; round < 300; ++round) {
        const Model m = randomModel(rng);
        const auto& size = sizes[pick(rng) % 4];
        const int32_t frames = static_cast<int32_t>(m.frames.size());
        for (int clockStep = 0; clockStep < 3; ++clockStep) {
            const ClipClock clock = randomClock(rng, frames);
            for (int32_t b = -1; b <= static_cast<int32_t>(m.bones.size()); ++b) {
                Arrays fast(size[0], size[1]), reference(size[0], size[1]);
                buildBoneStrip(m, clock, b, fast.view(), fastScratch);
                buildBoneStripReference(m, clock, b, reference.view(), referenceScratch);
                ASSERT_TRUE(fast == reference) << "round " << round << " bone " << b;
            }
        }
    }
}

// The strip after the count a prepared build returns is all zeros; the count
// covers exactly the chain's vertices.
void expectChainCount(const Arrays& a, size_t count, const std::string& where) {
    ASSERT_LE(count, a.strip.size()) << where;
    for (size_t i = 0; i < a.strip.size(); ++i) {
        const LineVertex& v = a.strip[i];
        if (i < count)
            EXPECT_EQ(v.color, 0xFFFFFFFFu) << where << " vertex " << i;
        else
            EXPECT_TRUE(v.x == 0 && v.y == 0 && v.z == 0 && v.color == 0 && !std::signbit(v.x) &&
                        !std::signbit(v.y) && !std::signbit(v.z))
                << where << " vertex " << i;
    }
}

// Every bone of a frame from one prepared frame, against chain by chain; the
// memo is shared with the per-bone path, as a program might.
TEST(PreparedStrips, BitIdenticalToChainByChain) {
    std::mt19937 rng(20251209);
    std::uniform_int_distribution<int> pick(0, 99);
    const size_t sizes[][2] = {{69, 69}, {101, 69}, {5, 3}, {0, 0}};
    ChainScratch fastScratch, referenceScratch;
    for (int round = 0; round < 300; ++round) {
        const Model m = randomModel(rng);
        const auto& size = sizes[pick(rng) % 4];
        const int32_t frames = static_cast<int32_t>(m.frames.size());
        for (int clockStep = 0; clockStep < 4; ++clockStep) {
            const ClipClock clock = randomClock(rng, frames);
            if (pick(rng) < 30) {  // the per-bone path moves the memo on first
                Arrays a(size[0], size[1]);
                buildBoneStrip(m, clock, pick(rng) % static_cast<int32_t>(m.bones.size()), a.view(),
                               fastScratch);
            }
            // As in a drawn frame, one preparation builds every strip into the
            // same arrays, which start as junk; a second one does the same for
            // a caller that fills part of the strip itself.
            PreparedStrips prepared = prepareBoneStrips(m, clock, fastScratch);
            PreparedStrips preparedForFiller = prepared;
            Arrays fast(size[0], size[1]), filled(size[0], size[1]);
            for (int32_t b = -1; b <= static_cast<int32_t>(m.bones.size()); ++b) {
                Arrays reference(size[0], size[1]);
                const size_t count = buildPreparedBoneStrip(prepared, b, fast.view(), fastScratch);
                buildBoneStripReference(m, clock, b, reference.view(), referenceScratch);
                const std::string where =
                    "round " + std::to_string(round) + " bone " + std::to_string(b);
                ASSERT_TRUE(fast == reference) << where;
                expectChainCount(fast, count, where);

                // A caller that fills the strip up to some vertex itself: the
                // vertices before it and after the chain are zero or left as
                // they were, everything else as before.
                const std::vector<LineVertex> before = filled.strip;
                const size_t fills = static_cast<size_t>(pick(rng)) % (size[0] + 3);
                ASSERT_EQ(
                    buildPreparedBoneStrip(preparedForFiller, b, filled.view(), fastScratch, fills),
                    count);
                for (size_t i = count; i < std::min(fills, filled.strip.size()); ++i) {
                    const LineVertex& v = filled.strip[i];
                    EXPECT_TRUE(std::memcmp(&v, &before[i], sizeof v) == 0 ||
                                std::memcmp(&v, &reference.strip[i], sizeof v) == 0)
                        << where << " vertex " << i;
                    filled.strip[i] = reference.strip[i];
                }
                ASSERT_TRUE(filled == reference) << where << " filling to " << fills;
            }
        }
    }
}

TEST(PreparedStrips, FollowAModelChangedInPlaceBetweenFrames) {
    Model m = line(5);
    m.frames.push_back(m.frames[0]);
    ChainScratch scratch;
    ClipClock clock;
    clock.nextFrame = 1;
    clock.elapsedMs = 30;
    auto expectCurrent = [&](const char* what) {
        PreparedStrips prepared = prepareBoneStrips(m, clock, scratch);
        Arrays fast;  // one frame's arrays
        for (int32_t b = 0; b < static_cast<int32_t>(m.bones.size()); ++b) {
            Arrays reference;
            ChainScratch fresh;
            buildPreparedBoneStrip(prepared, b, fast.view(), scratch);
            buildBoneStripReference(m, clock, b, reference.view(), fresh);
            EXPECT_TRUE(fast == reference) << what << ", bone " << b;
        }
    };
    expectCurrent("first");
    m.frames[1][0].rz = -0.0f;  // the root's key: on every chain, the same value, other bits
    expectCurrent("root key bits changed");
    m.frames[0][3].y = 4;
    expectCurrent("key changed");
    m.bones[4].parent = 2;
    expectCurrent("parent changed");
    m.bones.push_back(Bone{{}, 4});
    expectCurrent("bone added without keys");
    for (Frame& f : m.frames) f.push_back({0, 0, 1, 0, 0, 0});
    expectCurrent("keys added");
    m.frames[0].push_back({9, 9, 9, 0, 0, 0});
    expectCurrent("a key beyond the bones");
    m = line(7, 2.0f);  // another clip loaded into the same object
    m.frames.push_back(m.frames[0]);
    expectCurrent("reloaded");
    clock.currentFrame = 1;
    clock.nextFrame = 0;
    expectCurrent("clock stepped");
    clock.interpolate = false;
    expectCurrent("interpolation off");
}

TEST(StripMemo, DepthLimitAsChainByChain) {
    Model m = line(kMaxChainLinks + 2);
    m.frames.push_back(m.frames[0]);
    ClipClock clock;
    clock.nextFrame = 1;
    ChainScratch fastScratch, referenceScratch;
    for (int32_t b = kMaxChainLinks - 1; b <= kMaxChainLinks + 1; ++b) {
        Arrays fast, reference;
        buildBoneStrip(m, clock, b, fast.view(), fastScratch);
        buildBoneStripReference(m, clock, b, reference.view(), referenceScratch);
        EXPECT_TRUE(fast == reference) << b;
        EXPECT_EQ(whiteCount(fast), b <= kMaxChainLinks ? 69u : 0u);
    }
}

TEST(StripMemo, FollowsAModelChangedInPlace) {
    Model m = line(5);
    m.frames.push_back(m.frames[0]);
    ChainScratch scratch;
    ClipClock clock;
    clock.nextFrame = 1;
    clock.elapsedMs = 30;
    auto expectCurrent = [&](const char* what) {
        for (int32_t b = 0; b < static_cast<int32_t>(m.bones.size()); ++b) {
            Arrays fast, reference;
            ChainScratch fresh;
            buildBoneStrip(m, clock, b, fast.view(), scratch);
            buildBoneStripReference(m, clock, b, reference.view(), fresh);
            EXPECT_TRUE(fast == reference) << what << ", bone " << b;
        }
    };
    expectCurrent("first");
    m.frames[1][2].rz = -0.0f;  // the same value, other bits
    m.frames[0][3].y = 4;
    expectCurrent("key changed");
    m.bones[4].parent = 2;
    expectCurrent("parent changed");
    m.bones.push_back(Bone{{}, 4});
    expectCurrent("bone added without keys");
    for (Frame& f : m.frames) f.push_back({0, 0, 1, 0, 0, 0});
    expectCurrent("keys added");
    m = line(7, 2.0f);  // another clip loaded into the same object
    m.frames.push_back(m.frames[0]);
    expectCurrent("reloaded");
    clock.interpolate = false;
    expectCurrent("interpolation off");
}

}  // namespace
