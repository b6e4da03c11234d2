#include "model/pose.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Links of `bone`'s chain in `keys` (0 for a root), or -1 when the chain is
// broken there. Every bone on the chain must have a key; the walk gives up
// after kMaxChainLinks links, which also ends any cycle.
int32_t soundChainLinks(const Model& model, const Frame& keys, int32_t bone) {
    const size_t boneCount = model.bones.size();
    int32_t links = 0;
    for (int32_t at = bone;; ++links) {
        if (at < 0 || static_cast<size_t>(at) >= boneCount) return -1;
        if (static_cast<size_t>(at) >= keys.size()) return -1;
        const int32_t parent = model.bones[static_cast<size_t>(at)].parent;
        if (parent == -1) return links;
        if (links == kMaxChainLinks) return -1;
        at = parent;
    }
}

// RotX·RotY·RotZ of one key.
Matrix4 localRotation(const BoneKey& k) {
    return matrixMultiply(matrixMultiply(matrixRotationX(k.rx), matrixRotationY(k.ry)),
                          matrixRotationZ(k.rz));
}

// current·(1 - t) + next·t in double precision, stored as float.
float blend(float current, float next, double t) {
    return static_cast<float>(static_cast<double>(current) * (1.0 - t) +
                              static_cast<double>(next) * t);
}

}  // namespace

void advanceClip(ClipClock& clock, const Model& played, TickSource tickCount) {
    if (tickCount == nullptr) return;
    const uint32_t now = tickCount();
    if (!clock.started) {
        clock.started = true;
        clock.lastStepMs = now;
    }
    clock.elapsedMs = static_cast<double>(static_cast<uint32_t>(now - clock.lastStepMs));
    if (clock.elapsedMs <= clock.framePeriodMs) return;

    const int64_t last = std::min<int64_t>(static_cast<int64_t>(played.frames.size()) - 1,
                                           std::numeric_limits<int32_t>::max());
    int64_t current = static_cast<int64_t>(clock.currentFrame) + 1;
    if (current > last || current < 0) current = 0;
    int64_t next = current + 1;
    if (next > last) next = 0;
    clock.currentFrame = static_cast<int32_t>(current);
    clock.nextFrame = static_cast<int32_t>(next);
    clock.elapsedMs = 0.0;
    clock.lastStepMs = tickCount();
}

void showClipFrame(ClipClock& clock, const Model& played, int64_t frame) {
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(played.frames.size()),
                                            std::numeric_limits<int32_t>::max());
    const int64_t current = count > 0 ? ((frame % count) + count) % count : 0;
    clock.currentFrame = static_cast<int32_t>(current);
    clock.nextFrame = static_cast<int32_t>(current + 1 < count ? current + 1 : 0);
    clock.elapsedMs = 0.0;
}

void playClip(ClipClock& clock, const Model& played, TickSource tickCount, bool paused) {
    if (tickCount == nullptr) return;
    const uint32_t now = tickCount();
    if (!clock.started) {
        clock.started = true;
        clock.lastStepMs = now;
        clock.elapsedMs = 0.0;
        return;
    }
    const double since = static_cast<double>(static_cast<uint32_t>(now - clock.lastStepMs));
    clock.lastStepMs = now;
    if (paused || !(clock.framePeriodMs > 0.0)) return;
    const double elapsed = clock.elapsedMs + since;
    if (elapsed < clock.framePeriodMs) {
        clock.elapsedMs = elapsed;
        return;
    }
    const double frames = std::floor(elapsed / clock.framePeriodMs);
    const double count = static_cast<double>(played.frames.size());
    // Whole loops are dropped before the step, so the sum stays exact.
    const double step = count > 0.0 ? std::fmod(frames, count) : 0.0;
    showClipFrame(clock, played,
                  static_cast<int64_t>(clock.currentFrame) + static_cast<int64_t>(step));
    clock.elapsedMs = std::max(0.0, elapsed - frames * clock.framePeriodMs);
}

int32_t evaluationFrame(const Model& model, int32_t frameIndex) {
    if (model.frames.empty()) return -1;
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(model.frames.size()) - 1,
                                           std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(std::clamp<int64_t>(frameIndex, 0, last));
}

double interpolationFactor(const ClipClock& clock) {
    if (!(clock.framePeriodMs > 0.0)) return 0.0;
    return clock.elapsedMs / clock.framePeriodMs;
}

void evaluateFrame(const Model& model, int32_t frame, FramePose& pose, bool rootsInPlace) {
    const size_t boneCount = model.bones.size();
    pose.links.assign(boneCount, -1);
    pose.positions.assign(boneCount, Vec3{});
    pose.world.resize(boneCount);
    pose.offsets.resize(boneCount);
    if (frame < 0 || static_cast<size_t>(frame) >= model.frames.size()) return;
    const Frame& keys = model.frames[static_cast<size_t>(frame)];

    int32_t deepest = -1;
    for (size_t b = 0; b < boneCount; ++b) {
        pose.links[b] = soundChainLinks(model, keys, static_cast<int32_t>(b));
        deepest = std::max(deepest, pose.links[b]);
    }
    int32_t firstRoot = -1;
    if (rootsInPlace) {
        for (size_t b = 0; b < boneCount && firstRoot < 0; ++b)
            if (pose.links[b] == 0) firstRoot = static_cast<int32_t>(b);
    }
    // Parents first: a bone's parent lies one link nearer the root.
    for (int32_t depth = 0; depth <= deepest; ++depth) {
        for (size_t b = 0; b < boneCount; ++b) {
            if (pose.links[b] != depth) continue;
            const BoneKey& k = keys[b];
            const int32_t parent = model.bones[b].parent;
            if (parent == -1) {
                pose.world[b] = matrixMultiply(localRotation(k), matrixIdentity());
                if (firstRoot >= 0) {
                    const BoneKey& first = keys[static_cast<size_t>(firstRoot)];
                    pose.positions[b] = {k.x - first.x, k.y - first.y, k.z - first.z};
                }
                continue;
            }
            const Matrix4& parentWorld = pose.world[static_cast<size_t>(parent)];
            pose.world[b] = matrixMultiply(localRotation(k), parentWorld);
            pose.offsets[b] = vec3TransformCoord({k.x, k.y, k.z}, parentWorld);
            Vec3 p = pose.offsets[b];
            int32_t up = parent;
            for (; model.bones[static_cast<size_t>(up)].parent != -1;
                 up = model.bones[static_cast<size_t>(up)].parent) {
                const Vec3& o = pose.offsets[static_cast<size_t>(up)];
                p = {p.x + o.x, p.y + o.y, p.z + o.z};
            }
            if (firstRoot >= 0) {  // `up` is the chain's root
                const Vec3& r = pose.positions[static_cast<size_t>(up)];
                p = {p.x + r.x, p.y + r.y, p.z + r.z};
            }
            pose.positions[b] = p;
        }
    }
}

void poseClip(const Model& played, const ClipClock& clock, size_t blendJoints, ClipPose& pose,
              bool rootsInPlace) {
    const size_t boneCount = played.bones.size();
    evaluateFrame(played, evaluationFrame(played, clock.currentFrame), pose.current, rootsInPlace);
    pose.chains = pose.current.links;
    if (!clock.interpolate) {
        pose.joints = pose.current.positions;
        for (int32_t& n : pose.chains) n = std::max(n, 0);
        return;
    }
    evaluateFrame(played, evaluationFrame(played, clock.nextFrame), pose.next, rootsInPlace);
    const double t = interpolationFactor(clock);
    const int32_t cut =
        static_cast<int32_t>(std::min<size_t>(blendJoints, std::numeric_limits<int32_t>::max()));
    pose.joints.resize(boneCount);
    for (size_t b = 0; b < boneCount; ++b) {
        const Vec3& from = pose.current.positions[b];
        const Vec3& to = pose.next.positions[b];
        pose.joints[b] = {blend(from.x, to.x, t), blend(from.y, to.y, t), blend(from.z, to.z, t)};
        const bool sound = pose.current.links[b] >= 0 && pose.next.links[b] >= 0;
        pose.chains[b] = sound ? std::min(pose.current.links[b], cut) : 0;
    }
}
