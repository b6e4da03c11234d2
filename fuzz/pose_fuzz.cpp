// Pose evaluation on arbitrary models: parents, key counts, key bits and clock
// state all come from the input. Nothing may read out of bounds or hang, and the
// frame memo, per bone and prepared for a whole frame, must give exactly the
// chain-by-chain strips.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/pose.h"

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

    const size_t stripSize = in.byte() % 102, frameSize = in.byte() % 70;
    std::vector<LineVertex> a(stripSize), b(stripSize), ac(frameSize), an(frameSize), bc(frameSize),
        bn(frameSize);
    // The prepared frame's own arrays, kept from bone to bone as a drawn frame does.
    std::vector<LineVertex> p(stripSize), pc(frameSize), pn(frameSize);
    ChainScratch fast, reference, whole;
    reference.recordBones = true;
    PreparedStrips prepared = prepareBoneStrips(m, clock, whole);
    for (int32_t bone = -1; bone <= static_cast<int32_t>(bones); ++bone) {
        buildBoneStrip(m, clock, bone, {a.data(), stripSize, ac.data(), an.data(), frameSize},
                       fast);
        buildBoneStripReference(m, clock, bone,
                                {b.data(), stripSize, bc.data(), bn.data(), frameSize}, reference);
        const auto same = [](const std::vector<LineVertex>& x, const std::vector<LineVertex>& y) {
            return x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(LineVertex)) == 0;
        };
        if (!same(a, b) || !same(ac, bc) || !same(an, bn)) std::abort();
        // The prepared frame: the same bits, and zeros after the chain count.
        const size_t chain = buildPreparedBoneStrip(
            prepared, bone, {p.data(), stripSize, pc.data(), pn.data(), frameSize}, whole);
        if (chain > stripSize || !same(p, b) || !same(pc, bc) || !same(pn, bn)) std::abort();
        for (size_t i = chain; i < stripSize; ++i)
            if (p[i].x != 0 || p[i].y != 0 || p[i].z != 0 || p[i].color != 0) std::abort();

        Model set = m;
        reference.clear();
        collectChain(m, bone, 0, reference);
        chainPositionsToSet(reference, b.data(), stripSize, set);
        (void)boneWorldRotation(m, bone, static_cast<int32_t>(in.byte()) - 1);
    }
    return 0;
}
