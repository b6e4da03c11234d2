#include "shell/skeleton_draw.h"

#include <algorithm>
#include <cmath>

#include "shell/scene.h"

uint32_t maxStripSegments(const SkeletonStrips& strips) {
    const size_t usable = strips.placement != nullptr
                              ? std::min<size_t>(strips.placedVertices, strips.arrays.stripCapacity)
                              : strips.arrays.stripCapacity;
    return usable == 0 ? 0 : static_cast<uint32_t>(usable - 1);
}

void placeStrip(LineVertex* strip, uint32_t count, const StripPlacement& placement) {
    for (uint32_t i = 0; i < count; ++i) {
        Vec3 p{strip[i].x, strip[i].y, strip[i].z};
        p = vec3TransformCoord(p, placement.scale);
        p = vec3TransformCoord(p, placement.heading);
        strip[i].x = p.x + placement.px;
        strip[i].y = p.y + placement.py;
        strip[i].z = p.z;
    }
}

HResult drawStrip(const LineVertex* strip, uint32_t uploadCount, uint32_t segments) {
    if (segments == 0) return S_OK_;
    const uint32_t read = std::min(segments + 1, uploadCount);
    for (uint32_t i = 0; i < read; ++i) {
        if (!std::isfinite(strip[i].x) || !std::isfinite(strip[i].y) ||
            !std::isfinite(strip[i].z)) {
            return S_OK_;
        }
    }
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
