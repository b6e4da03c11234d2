// Pose evaluation on arbitrary models: parents, key counts, key bits, clock state
// and the figure's form all come from the input. Nothing may read out of bounds
// or hang, and every strip of a frame evaluated at once must have the bits of
// the chain-by-chain figure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/bone_strip.h"
#include "model/pose.h"
#include "tests/support/chain_reference.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    uint32_t word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
        return w;
    }
    float real() {
        const uint32_t bits = word();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
};

uint32_t fuzzTick;
uint32_t readTick() {
    return fuzzTick;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    Model m;
    const size_t bones = in.byte() % 80;
    m.bones.resize(bones);
    for (Bone& b : m.bones) b.parent = static_cast<int32_t>(in.byte()) - 2;  // -2 .. 253
    const size_t frames = in.byte() % 5;
    for (size_t f = 0; f < frames; ++f) {
        Frame keys(in.byte() % 82);
        for (BoneKey& k : keys)
            if (in.byte() & 1)
                k = {in.real(), in.real(), in.real(), in.real(), in.real(), in.real()};
        m.frames.push_back(keys);
    }

    ClipClock clock;
    clock.currentFrame = static_cast<int32_t>(in.word());
    clock.nextFrame = static_cast<int32_t>(in.word());
    clock.framePeriodMs = static_cast<int32_t>(in.word());
    clock.interpolate = in.byte() & 1;
    fuzzTick = in.word();
    advanceClip(clock, m, readTick);
    fuzzTick += in.word();
    advanceClip(clock, m, readTick);
    if (in.byte() & 1) clock.elapsedMs = static_cast<double>(in.word());

    // A clip figure: every bone's strip against the chain-by-chain one.
    const uint32_t stripSize = in.byte() % 102, frameSize = in.byte() % 70;
    ClipPose pose;
    poseClip(m, clock, frameSize, pose);
    const StripStyle style{.vertices = stripSize, .written = stripSize, .lineColor = 0xFFFFFFFFu};
    PlacedJoints placed;
    placeJoints(pose.joints, style, placed);
    std::vector<LineVertex> strip(stripSize);
    const auto same = [](const std::vector<LineVertex>& x, const std::vector<LineVertex>& y) {
        return x.size() == y.size() &&
               (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(LineVertex)) == 0);
    };
    for (int32_t bone = -1; bone <= static_cast<int32_t>(bones); ++bone) {
        fillBoneStrip(m.bones, pose.chains.data(), placed, style, bone, strip.data());
        if (!same(strip, reference::clipStrip(m, clock, bone, stripSize, frameSize))) std::abort();
    }

    // The reaching figure from frame 0 taken as a position set, placed or in
    // world space, its strip array kept from bone to bone.
    if (m.frames.empty()) return 0;
    const bool world = in.byte() & 1;
    StripPlacement placement;
    placement.heading = matrixRotationZ(in.real());
    placement.px = in.real();
    placement.py = in.real();
    std::vector<Vec3> joints;
    for (const BoneKey& k : m.frames[0]) joints.push_back({k.x, k.y, k.z});
    const StripStyle reach{.vertices = 101,
                           .written = 100,
                           .lineColor = 0xFF000000u,
                           .withRoot = true,
                           .base = world ? Vec3{placement.px, placement.py, 0.0f} : Vec3{},
                           .tailKeepsColors = world,
                           .placement = world ? nullptr : &placement};
    placeJoints(joints, reach, placed);
    std::vector<LineVertex> a(101), b(101);
    for (int32_t bone = -1; bone <= static_cast<int32_t>(bones); ++bone) {
        fillBoneStrip(m.bones, nullptr, placed, reach, bone, a.data());
        reference::reachStrip(m.bones, m, world, bone, placement, b.data());
        if (std::memcmp(a.data(), b.data(), 101 * sizeof(LineVertex)) != 0) std::abort();
    }
    return 0;
}
