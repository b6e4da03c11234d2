#include "shell/skeleton_draw.h"

#include <algorithm>
#include <cmath>

#include "shell/scene.h"

namespace {

bool allFinite(const LineVertex* v, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y) || !std::isfinite(v[i].z))
            return false;
    return true;
}

// Draws `primitives` of `type` from the strip unless a vertex they read is not
// finite (then nothing, S_OK_).
HResult drawFinite(const LineVertex* strip, const StripStyle& style, PrimitiveType type,
                   uint32_t primitives, uint32_t read) {
    if (primitives == 0 || !allFinite(strip, std::min(read, style.vertices))) return S_OK_;
    return drawVertices(strip, style.vertices, type, primitives);
}

}  // namespace

HResult drawSkeleton(const std::vector<Bone>& bones, const std::vector<Vec3>& joints,
                     const int32_t* chains, const StripStyle& style, LineVertex* strip,
                     PlacedJoints& placed, size_t* stripsFilled) {
    placeJoints(joints, style, placed);
    for (size_t b = 0; b < bones.size(); ++b) {
        fillBoneStrip(bones, chains, placed, style, static_cast<int32_t>(b), strip);
        if (stripsFilled != nullptr) *stripsFilled = b + 1;
        HResult hr =
            drawFinite(strip, style, PrimitiveType::LineStrip, style.segments, style.segments + 1);
        if (failed(hr)) return hr;
        if (!style.jointDots) continue;
        for (uint32_t i = 0; i < style.written; ++i) strip[i].color = style.jointColor;
        hr = drawFinite(strip, style, PrimitiveType::PointList, style.written, style.written);
        if (failed(hr)) return hr;
    }
    return S_OK_;
}
