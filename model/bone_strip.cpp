#include "model/bone_strip.h"

#include <algorithm>

namespace {

Vec3 place(const Vec3& p, const StripPlacement* placement) {
    if (placement == nullptr) return p;
    const Vec3 q = vec3TransformCoord(vec3TransformCoord(p, placement->scale), placement->heading);
    return {q.x + placement->px, q.y + placement->py, q.z};
}

}  // namespace

void placeJoints(const std::vector<Vec3>& joints, const StripStyle& style, PlacedJoints& placed) {
    placed.joints.resize(joints.size());
    for (size_t b = 0; b < joints.size(); ++b) {
        const Vec3& p = style.withRoot && b == 0 ? style.base : joints[b];
        placed.joints[b] = place(p, style.placement);
    }
    placed.tail = place(style.base, style.placement);
}

size_t fillBoneStrip(const std::vector<Bone>& bones, const int32_t* chains,
                     const PlacedJoints& placed, const StripStyle& style, int32_t bone,
                     LineVertex* strip) {
    const size_t boneCount = bones.size();
    const size_t written = std::min(style.written, style.vertices);
    size_t n = 0;
    Vec3 t = placed.tail;
    if (bone >= 0 && static_cast<size_t>(bone) < boneCount && placed.joints.size() >= boneCount) {
        const size_t limit =
            chains != nullptr
                ? std::min<size_t>(static_cast<size_t>(std::max(chains[bone], 0)), written)
                : written;
        for (int32_t at = bone; n < limit;) {
            const Vec3& p = placed.joints[static_cast<size_t>(at)];
            strip[n++] = {p.x, p.y, p.z, style.lineColor};
            const int32_t parent = bones[static_cast<size_t>(at)].parent;
            if (parent < 0 || static_cast<size_t>(parent) >= boneCount) break;
            at = parent;
        }
        if (style.rootTails) {
            // The root above the last joint copied (at most one step per bone,
            // so a cycle ends the walk).
            int32_t root = bone;
            for (size_t steps = 0; steps < boneCount; ++steps) {
                const int32_t parent = bones[static_cast<size_t>(root)].parent;
                if (parent < 0 || static_cast<size_t>(parent) >= boneCount) break;
                root = parent;
            }
            if (bones[static_cast<size_t>(root)].parent == -1)
                t = placed.joints[static_cast<size_t>(root)];
        }
    }
    if (style.tailKeepsColors) {
        for (size_t i = n; i < written; ++i) strip[i].x = t.x, strip[i].y = t.y, strip[i].z = t.z;
    } else {
        fillVertices(strip + n, strip + written, LineVertex{t.x, t.y, t.z, 0u});
    }
    fillVertices(strip + written, strip + style.vertices, LineVertex{});
    return n;
}
