// The stick figure evaluated chain by chain, step by step as the figure is
// defined: every bone's chain collects its offsets with every ancestor's world
// rotation recomputed, positions are summed per chain, and each strip is built
// in its own zeroed arrays. It is the reference that the per-frame evaluation
// (model/pose.h, model/bone_strip.h) must equal bit for bit; tests and fuzz
// targets compare the two. Slow on purpose: O(depth^2) matrix products per chain.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/bone_strip.h"
#include "model/model.h"
#include "model/pose.h"

namespace reference {

// Links of `bone`'s chain in `frame` (0 for a root), -1 when broken: the bone and
// the frame out of range, a key missing on the chain, a parent that is not -1 or
// a bone, or more than kMaxChainLinks links.
inline int32_t chainLinks(const Model& model, int32_t bone, int32_t frame) {
    if (frame < 0 || static_cast<size_t>(frame) >= model.frames.size()) return -1;
    const Frame& keys = model.frames[static_cast<size_t>(frame)];
    int32_t links = 0;
    for (int32_t at = bone;; ++links) {
        if (at < 0 || static_cast<size_t>(at) >= model.bones.size()) return -1;
        if (static_cast<size_t>(at) >= keys.size()) return -1;
        const int32_t parent = model.bones[static_cast<size_t>(at)].parent;
        if (parent == -1) return links;
        if (links == kMaxChainLinks) return -1;
        at = parent;
    }
}

// RotX·RotY·RotZ of the bone's key times its parent's world rotation (identity
// above a root), recomputed all the way up; identity for a broken chain.
inline Matrix4 boneWorldRotation(const Model& model, int32_t bone, int32_t frame) {
    if (chainLinks(model, bone, frame) < 0) return matrixIdentity();
    const int32_t parent = model.bones[static_cast<size_t>(bone)].parent;
    const Matrix4 p = parent == -1 ? matrixIdentity() : boneWorldRotation(model, parent, frame);
    const BoneKey& k = model.frames[static_cast<size_t>(frame)][static_cast<size_t>(bone)];
    return matrixMultiply(
        matrixMultiply(matrixMultiply(matrixRotationX(k.rx), matrixRotationY(k.ry)),
                       matrixRotationZ(k.rz)),
        p);
}

// World-space offsets of the bone and its ancestors up to the root's child, and
// the bone of each; nothing for a root or a broken chain.
struct Chain {
    std::vector<Vec3> offsets;
    std::vector<int32_t> bones;
};
inline Chain collectChain(const Model& model, int32_t bone, int32_t frame) {
    Chain chain;
    if (chainLinks(model, bone, frame) <= 0) return chain;
    for (int32_t at = bone; model.bones[static_cast<size_t>(at)].parent != -1;
         at = model.bones[static_cast<size_t>(at)].parent) {
        const int32_t parent = model.bones[static_cast<size_t>(at)].parent;
        const BoneKey& k = model.frames[static_cast<size_t>(frame)][static_cast<size_t>(at)];
        chain.offsets.push_back(
            vec3TransformCoord({k.x, k.y, k.z}, boneWorldRotation(model, parent, frame)));
        chain.bones.push_back(at);
    }
    return chain;
}

// out[i] = offset i, then offsets i+1 .. last added in order, for the first
// min(offsets, capacity) entries (a cut chain keeps true positions). Returns n.
inline size_t chainPositions(const Chain& chain, LineVertex* out, size_t capacity) {
    const size_t total = chain.offsets.size();
    const size_t n = std::min(total, capacity);
    for (size_t i = 0; i < n; ++i) {
        Vec3 p = chain.offsets[i];
        for (size_t k = i + 1; k < total; ++k)
            p = {p.x + chain.offsets[k].x, p.y + chain.offsets[k].y, p.z + chain.offsets[k].z};
        out[i].x = p.x, out[i].y = p.y, out[i].z = p.z;
    }
    return n;
}

inline Vec3 place(const Vec3& p, const StripPlacement& placement) {
    const Vec3 q = vec3TransformCoord(vec3TransformCoord(p, placement.scale), placement.heading);
    return {q.x + placement.px, q.y + placement.py, q.z};
}

// A clip figure's strip of `bone` in the program's arrays: the strip (`stripSize`),
// and the current-frame and next-frame arrays (`frameSize`) used by interpolation,
// each zeroed and filled chain by chain; then, with a placement, the first
// `placedSize` strip vertices placed.
inline std::vector<LineVertex> clipStrip(const Model& model, const ClipClock& clock, int32_t bone,
                                         size_t stripSize, size_t frameSize,
                                         const StripPlacement* placement = nullptr,
                                         size_t placedSize = 0) {
    std::vector<LineVertex> strip(stripSize), current(frameSize), next(frameSize);
    const int32_t from = evaluationFrame(model, clock.currentFrame);
    size_t n = 0;
    if (clock.interpolate) {
        const double t = interpolationFactor(clock);
        const Chain a = collectChain(model, bone, from);
        chainPositions(a, current.data(), frameSize);
        const Chain b = collectChain(model, bone, evaluationFrame(model, clock.nextFrame));
        const size_t written = chainPositions(b, next.data(), frameSize);
        // A chain broken in one frame only is not drawn.
        n = a.offsets.empty() ? 0 : std::min(written, stripSize);
        const auto blend = [t](float c, float x) {
            return static_cast<float>(static_cast<double>(c) * (1.0 - t) +
                                      static_cast<double>(x) * t);
        };
        for (size_t i = 0; i < n; ++i)
            strip[i] = {blend(current[i].x, next[i].x), blend(current[i].y, next[i].y),
                        blend(current[i].z, next[i].z), 0xFFFFFFFFu};
    } else {
        n = chainPositions(collectChain(model, bone, from), strip.data(), stripSize);
        for (size_t i = 0; i < n; ++i) strip[i].color = 0xFFFFFFFFu;
    }
    if (placement != nullptr) {
        for (size_t i = 0; i < std::min(placedSize, stripSize); ++i) {
            const Vec3 p = place({strip[i].x, strip[i].y, strip[i].z}, *placement);
            strip[i].x = p.x, strip[i].y = p.y, strip[i].z = p.z;
        }
    }
    return strip;
}

// The reaching figure's strip of `bone` in `strip` (101 vertices, kept from
// strip to strip as the program keeps it) from frame 0 of `set`: a world-space
// set sets the first 100 positions to the ground place (colours stay) and writes
// the chain with bone 0 at the ground place; a model-space set clears the whole
// array, writes the chain with bone 0 at the origin and places the first 100
// entries. The chain runs from the bone to its root inclusive, stopping after a
// bone whose parent is -1 or not a bone, or after 100 entries, in black.
inline void reachStrip(const std::vector<Bone>& bones, const Model& set, bool worldSpace,
                       int32_t bone, const StripPlacement& placement, LineVertex* strip) {
    const Vec3 ground{placement.px, placement.py, 0.0f};
    if (worldSpace) {
        for (int i = 0; i < 100; ++i) strip[i].x = ground.x, strip[i].y = ground.y, strip[i].z = 0;
    } else {
        std::fill(strip, strip + 101, LineVertex{});
    }
    const int32_t n = static_cast<int32_t>(bones.size());
    int written = 0;
    if (bone >= 0 && bone < n && !set.frames.empty() &&
        set.frames[0].size() >= static_cast<size_t>(n)) {
        for (int32_t b = bone; written < 100;) {
            const BoneKey& k = set.frames[0][static_cast<size_t>(b)];
            const Vec3 p = b == 0 ? (worldSpace ? ground : Vec3{}) : Vec3{k.x, k.y, k.z};
            strip[written++] = {p.x, p.y, p.z, 0xFF000000u};
            const int32_t parent = bones[static_cast<size_t>(b)].parent;
            if (parent < 0 || parent >= n) break;
            b = parent;
        }
    }
    if (!worldSpace) {
        for (int i = 0; i < 100; ++i) {
            const Vec3 p = place({strip[i].x, strip[i].y, strip[i].z}, placement);
            strip[i].x = p.x, strip[i].y = p.y, strip[i].z = p.z;
        }
    }
}

// The rest pose as the reach start-up stores it: every bone's chain evaluated
// in frame 0, in bone order, each chain joint stored at its bone (bone 0 at the
// origin), at most the first 100 joints of a chain.
inline void restPositions(const Model& pose, Model& set) {
    LineVertex strip[101];
    for (int32_t bone = 0; bone < static_cast<int32_t>(pose.bones.size()); ++bone) {
        const Chain chain = collectChain(pose, bone, 0);
        const size_t n = std::min<size_t>(chainPositions(chain, strip, 101), 100);
        for (size_t i = 0; i < n; ++i) {
            BoneKey& k = set.frames[0][static_cast<size_t>(chain.bones[i])];
            const bool root = chain.bones[i] == 0;
            k.x = root ? 0.0f : strip[i].x;
            k.y = root ? 0.0f : strip[i].y;
            k.z = root ? 0.0f : strip[i].z;
        }
    }
}

}  // namespace reference
