#include "shell/skeleton_draw.h"

#include <algorithm>
#include <cmath>

#include "shell/scene.h"

namespace {

bool isFinite(const Vec3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

bool allFinite(const LineVertex* v, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!isFinite({v[i].x, v[i].y, v[i].z})) return false;
    return true;
}

}  // namespace

HResult drawSkeleton(const std::vector<Bone>& bones, const std::vector<Vec3>& joints,
                     const int32_t* chains, const StripStyle& style, LineVertex* strip,
                     PlacedJoints& placed, size_t* stripsFilled) {
    placeJoints(joints, style, placed);
    // Strips copy placed joints: with all of them finite, so is every strip.
    const bool checkStrips = !isFinite(placed.tail) ||
                             !std::all_of(placed.joints.begin(), placed.joints.end(), isFinite);
    // Draws unless a vertex the draw reads is not finite (then nothing, S_OK_).
    const auto draw = [&](PrimitiveType type, uint32_t primitives, uint32_t read) {
        if (primitives == 0) return S_OK_;
        if (checkStrips && !allFinite(strip, std::min(read, style.vertices))) return S_OK_;
        return drawVertices(strip, style.vertices, type, primitives);
    };
    for (size_t b = 0; b < bones.size(); ++b) {
        fillBoneStrip(bones, chains, placed, style, static_cast<int32_t>(b), strip);
        if (stripsFilled != nullptr) *stripsFilled = b + 1;
        HResult hr = draw(PrimitiveType::LineStrip, style.segments, style.segments + 1);
        if (failed(hr)) return hr;
        if (!style.jointDots) continue;
        for (uint32_t i = 0; i < style.written; ++i) strip[i].color = style.jointColor;
        hr = draw(PrimitiveType::PointList, style.written, style.written);
        if (failed(hr)) return hr;
    }
    return S_OK_;
}
