#include "shell/skeleton_draw.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "shell/scene.h"

uint32_t maxStripSegments(const SkeletonStrips& strips) {
    const size_t usable = strips.placement != nullptr
                              ? std::min<size_t>(strips.placedVertices, strips.arrays.stripCapacity)
                              : strips.arrays.stripCapacity;
    return usable == 0 ? 0 : static_cast<uint32_t>(usable - 1);
}

namespace {

// x, y and z equal bit for bit (one 8-byte and one 4-byte comparison).
bool sameBits(const LineVertex& a, const LineVertex& b) {
    uint64_t axy, bxy;
    uint32_t az, bz;
    std::memcpy(&axy, &a.x, sizeof axy);
    std::memcpy(&bxy, &b.x, sizeof bxy);
    std::memcpy(&az, &a.z, sizeof az);
    std::memcpy(&bz, &b.z, sizeof bz);
    return ((axy ^ bxy) | (az ^ bz)) == 0;
}

// Placed points of one placement, found by the exact bits of the point before
// placing: the strips of a frame share their joints (a bone's strip is its own
// joint followed by its parent's strip), so each joint is placed once per frame
// rather than once per strip it appears in. A slot holds the last point hashed
// to it; a point found there gives the bits its own transforms would give.
struct PlacementMemo {
    static constexpr uint32_t kSlots = 256;
    // A vertex's bytes without an initialiser: a slot is read only once `used`
    // marks it written, and zeroing all of them (8 KB) cost more than a frame's
    // placements.
    struct Bits {
        uint32_t words[4];
    };
    Bits in[kSlots];
    Bits out[kSlots];
    bool used[kSlots] = {};
};

uint32_t slotOf(const LineVertex& v) {
    const uint32_t h = std::bit_cast<uint32_t>(v.x) * 0x9E3779B1u ^
                       std::bit_cast<uint32_t>(v.y) * 0x85EBCA77u ^
                       std::bit_cast<uint32_t>(v.z) * 0xC2B2AE3Du;
    return (h ^ (h >> 16)) % PlacementMemo::kSlots;
}

// The placed x, y, z of `v` (its colour is not used), through the memo.
LineVertex placedPoint(const LineVertex& v, const StripPlacement& placement, PlacementMemo& memo) {
    const uint32_t slot = slotOf(v);
    if (memo.used[slot] && sameBits(v, std::bit_cast<LineVertex>(memo.in[slot])))
        return std::bit_cast<LineVertex>(memo.out[slot]);
    Vec3 p{v.x, v.y, v.z};
    p = vec3TransformCoord(p, placement.scale);
    p = vec3TransformCoord(p, placement.heading);
    const LineVertex out{p.x + placement.px, p.y + placement.py, p.z, 0};
    memo.in[slot] = std::bit_cast<PlacementMemo::Bits>(v);
    memo.out[slot] = std::bit_cast<PlacementMemo::Bits>(out);
    memo.used[slot] = true;
    return out;
}

void placeStrip(LineVertex* strip, uint32_t count, const StripPlacement& placement,
                PlacementMemo& memo) {
    // After the chain comes a long run of origins: a point equal to the one
    // before takes its result without a look into the memo.
    LineVertex lastIn{}, lastOut{};
    for (uint32_t i = 0; i < count; ++i) {
        LineVertex& v = strip[i];
        if (i == 0 || !sameBits(v, lastIn)) {
            lastIn = v;
            lastOut = placedPoint(v, placement, memo);
        }
        v.x = lastOut.x;
        v.y = lastOut.y;
        v.z = lastOut.z;
    }
}

// placeStrip for a strip whose vertices from `chain` on are all zero (as
// buildPreparedBoneStrip leaves them, or would): the chain is placed vertex by
// vertex, the zero run gets the placed origin, written once per vertex.
void placeChainStrip(LineVertex* strip, uint32_t count, uint32_t chain,
                     const StripPlacement& placement, PlacementMemo& memo) {
    const uint32_t placedChain = std::min(chain, count);
    placeStrip(strip, placedChain, placement, memo);
    if (placedChain == count) return;
    fillVertices(strip + placedChain, strip + count, placedPoint(LineVertex{}, placement, memo));
}

}  // namespace

void placeStrip(LineVertex* strip, uint32_t count, const StripPlacement& placement) {
    PlacementMemo memo;
    placeStrip(strip, count, placement, memo);
}

namespace {
// True when x, y and z of every vertex are finite. A float is not finite exactly
// when its exponent bits are all ones; adding one unit of exponent then carries
// into the sign bit. The colour lane is masked out. Plain integer lanes let the
// compiler handle a whole vertex at once.
bool allFinite(const LineVertex* v, uint32_t count) {
    constexpr uint32_t kExponent = 0x7F800000u;
    constexpr uint32_t kMask[4] = {kExponent, kExponent, kExponent, 0u};
    uint32_t carry[4] = {0u, 0u, 0u, 0u};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t bits[4];
        std::memcpy(bits, &v[i], sizeof bits);
        for (int lane = 0; lane < 4; ++lane)
            carry[lane] |= (bits[lane] & kMask[lane]) + 0x00800000u;
    }
    return ((carry[0] | carry[1] | carry[2] | carry[3]) & 0x80000000u) == 0;
}
}  // namespace

HResult drawStrip(const LineVertex* strip, uint32_t uploadCount, uint32_t segments,
                  uint32_t runStart) {
    if (segments == 0) return S_OK_;
    uint32_t checked = std::min(segments + 1, uploadCount);
    if (runStart < checked) checked = runStart + 1;
    if (!allFinite(strip, checked)) return S_OK_;
    return drawVertices(strip, uploadCount, PrimitiveType::LineStrip, segments);
}

HResult drawClipSkeleton(const Model& played, const ClipClock& clock,
                         const SkeletonStrips& strips) {
    if (strips.scratch == nullptr || strips.arrays.strip == nullptr) return S_OK_;
    const size_t boneCount = played.bones.size();
    const uint32_t segments =
        static_cast<uint32_t>(std::min<size_t>(boneCount, maxStripSegments(strips)));
    const uint32_t upload = static_cast<uint32_t>(strips.arrays.stripCapacity);
    // The model and the clock stay as they are while this frame is drawn.
    PreparedStrips prepared = prepareBoneStrips(played, clock, *strips.scratch);
    PlacementMemo memo;  // for this frame's placement only
    const uint32_t placed =
        strips.placement != nullptr ? std::min<uint32_t>(strips.placedVertices, upload) : 0;
    for (size_t b = 0; b < boneCount; ++b) {
        // Vertices from `chain` on are zero, and after placement (of the first
        // `placed`, which the placement writes in full) equal vertex `chain`
        // wherever the strip is drawn.
        const uint32_t chain = static_cast<uint32_t>(buildPreparedBoneStrip(
            prepared, static_cast<int32_t>(b), strips.arrays, *strips.scratch, placed));
        if (strips.placement != nullptr)
            placeChainStrip(strips.arrays.strip, placed, chain, *strips.placement, memo);
        const HResult hr = drawStrip(strips.arrays.strip, upload, segments, chain);
        if (failed(hr)) return hr;
    }
    return S_OK_;
}
