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

bool sameBits(const LineVertex& a, const LineVertex& b) {
    return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
           std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
           std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

}  // namespace

void placeStrip(LineVertex* strip, uint32_t count, const StripPlacement& placement) {
    // A bone's strip is its short chain followed by a long run of origins, so a
    // point equal bit for bit to the one before takes that one's result instead
    // of two more transforms (the same operations would give the same bits).
    LineVertex lastIn{}, lastOut{};
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0 && sameBits(strip[i], lastIn)) {
            strip[i].x = lastOut.x;
            strip[i].y = lastOut.y;
            strip[i].z = lastOut.z;
            continue;
        }
        lastIn = strip[i];
        Vec3 p{strip[i].x, strip[i].y, strip[i].z};
        p = vec3TransformCoord(p, placement.scale);
        p = vec3TransformCoord(p, placement.heading);
        strip[i].x = p.x + placement.px;
        strip[i].y = p.y + placement.py;
        strip[i].z = p.z;
        lastOut = strip[i];
    }
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

HResult drawStrip(const LineVertex* strip, uint32_t uploadCount, uint32_t segments) {
    if (segments == 0) return S_OK_;
    if (!allFinite(strip, std::min(segments + 1, uploadCount))) return S_OK_;
    return drawVertices(strip, uploadCount, PrimitiveType::LineStrip, segments);
}

HResult drawClipSkeleton(const Model& played, const ClipClock& clock,
                         const SkeletonStrips& strips) {
    if (strips.scratch == nullptr || strips.arrays.strip == nullptr) return S_OK_;
    const size_t boneCount = played.bones.size();
    const uint32_t segments =
        static_cast<uint32_t>(std::min<size_t>(boneCount, maxStripSegments(strips)));
    const uint32_t upload = static_cast<uint32_t>(strips.arrays.stripCapacity);
    for (size_t b = 0; b < boneCount; ++b) {
        buildBoneStrip(played, clock, static_cast<int32_t>(b), strips.arrays, *strips.scratch);
        if (strips.placement != nullptr) {
            placeStrip(strips.arrays.strip, std::min<uint32_t>(strips.placedVertices, upload),
                       *strips.placement);
        }
        const HResult hr = drawStrip(strips.arrays.strip, upload, segments);
        if (failed(hr)) return hr;
    }
    return S_OK_;
}
