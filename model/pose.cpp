#include "model/pose.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Links of `bone`'s chain in `frame` (0 for a root), or -1 when the chain is
// broken there. Every bone on the chain must have a key; the walk gives up
// after kMaxChainLinks links, which also ends any cycle.
int32_t soundChainLinks(const Model& model, int32_t bone, int32_t frame) {
    if (frame < 0 || static_cast<size_t>(frame) >= model.frames.size()) return -1;
    const Frame& keys = model.frames[static_cast<size_t>(frame)];
    const size_t boneCount = model.bones.size();
    int32_t links = 0;
    int32_t at = bone;
    for (;;) {
        if (at < 0 || static_cast<size_t>(at) >= boneCount) return -1;
        if (static_cast<size_t>(at) >= keys.size()) return -1;
        const int32_t parent = model.bones[static_cast<size_t>(at)].parent;
        if (parent == -1) return links;
        if (links == kMaxChainLinks) return -1;
        ++links;
        at = parent;
    }
}

// RotX·RotY·RotZ of one key.
Matrix4 localRotation(const BoneKey& k) {
    return matrixMultiply(matrixMultiply(matrixRotationX(k.rx), matrixRotationY(k.ry)),
                          matrixRotationZ(k.rz));
}

// The recursion of boneWorldRotation over a chain already known to be sound.
Matrix4 worldRotationUnchecked(const Model& model, int32_t bone, int32_t frame) {
    const int32_t parent = model.bones[static_cast<size_t>(bone)].parent;
    const Matrix4 p =
        parent == -1 ? matrixIdentity() : worldRotationUnchecked(model, parent, frame);
    const BoneKey& k = model.frames[static_cast<size_t>(frame)][static_cast<size_t>(bone)];
    return matrixMultiply(localRotation(k), p);
}

// The recursion of collectChain over a chain already known to be sound.
void collectChainUnchecked(const Model& model, int32_t bone, int32_t frame, ChainScratch& scratch) {
    const int32_t parent = model.bones[static_cast<size_t>(bone)].parent;
    if (parent == -1) return;
    const Matrix4 m = worldRotationUnchecked(model, parent, frame);
    const BoneKey& k = model.frames[static_cast<size_t>(frame)][static_cast<size_t>(bone)];
    scratch.offsets.push_back(vec3TransformCoord({k.x, k.y, k.z}, m));
    if (scratch.recordBones) scratch.bones.push_back(bone);
    collectChainUnchecked(model, parent, frame, scratch);
}

// current·(1 - t) + next·t in double precision, stored as float.
inline float blend(float current, float next, double t) {
    return static_cast<float>(static_cast<double>(current) * (1.0 - t) +
                              static_cast<double>(next) * t);
}

// All-zero bytes are position (0, 0, 0) and colour 0.
void zeroVertices(LineVertex* v, size_t count) {
    if (count > 0) std::memset(static_cast<void*>(v), 0, count * sizeof(LineVertex));
}

size_t capacityOf(const LineVertex* array, size_t capacity) {
    return array ? capacity : 0;
}

void blendIntoStrip(const StripArrays& arrays, size_t n, double t) {
    for (size_t i = 0; i < n; ++i) {
        LineVertex& s = arrays.strip[i];
        s.color = kWhite;
        s.x = blend(arrays.current[i].x, arrays.next[i].x, t);
        s.y = blend(arrays.current[i].y, arrays.next[i].y, t);
        s.z = blend(arrays.current[i].z, arrays.next[i].z, t);
    }
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
    if (clock.elapsedMs <= static_cast<double>(clock.framePeriodMs)) return;

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

int32_t evaluationFrame(const Model& model, int32_t frameIndex) {
    if (model.frames.empty()) return -1;
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(model.frames.size()) - 1,
                                           std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(std::clamp<int64_t>(frameIndex, 0, last));
}

double interpolationFactor(const ClipClock& clock) {
    if (clock.framePeriodMs <= 0) return 0.0;
    return clock.elapsedMs / static_cast<double>(clock.framePeriodMs);
}

Matrix4 boneWorldRotation(const Model& model, int32_t bone, int32_t frame) {
    if (soundChainLinks(model, bone, frame) < 0) return matrixIdentity();
    return worldRotationUnchecked(model, bone, frame);
}

void collectChain(const Model& model, int32_t bone, int32_t frame, ChainScratch& scratch) {
    if (soundChainLinks(model, bone, frame) <= 0) return;
    collectChainUnchecked(model, bone, frame, scratch);
}

size_t chainPositions(const ChainScratch& scratch, LineVertex* out, size_t capacity) {
    const std::vector<Vec3>& offsets = scratch.offsets;
    const size_t total = offsets.size();
    const size_t n = std::min(total, capacityOf(out, capacity));
    for (size_t i = 0; i < n; ++i) {
        LineVertex& v = out[i];
        v.x = offsets[i].x;
        v.y = offsets[i].y;
        v.z = offsets[i].z;
        for (size_t k = i + 1; k < total; ++k) {
            v.x = v.x + offsets[k].x;
            v.y = v.y + offsets[k].y;
            v.z = v.z + offsets[k].z;
        }
    }
    return n;
}

size_t chainPositionsToSet(const ChainScratch& scratch, LineVertex* out, size_t capacity,
                           Model& positions) {
    const size_t n = chainPositions(scratch, out, capacity);
    if (positions.frames.empty()) return n;
    Frame& set = positions.frames[0];
    const size_t stored = std::min({n, scratch.bones.size(), kChainBoneCopy});
    for (size_t i = 0; i < stored; ++i) {
        const int32_t bone = scratch.bones[i];
        if (bone < 0 || static_cast<size_t>(bone) >= set.size()) continue;
        BoneKey& key = set[static_cast<size_t>(bone)];
        if (bone == 0) {
            key.x = key.y = key.z = 0.0f;
        } else {
            key.x = out[i].x;
            key.y = out[i].y;
            key.z = out[i].z;
        }
    }
    return n;
}

namespace {

// buildBoneStripReference, returning the number of leading strip vertices that
// hold the chain (the rest of the strip is zero).
size_t referenceStrip(const Model& played, const ClipClock& clock, int32_t bone,
                      const StripArrays& arrays, ChainScratch& scratch) {
    const size_t stripCapacity = capacityOf(arrays.strip, arrays.stripCapacity);
    const int32_t current = evaluationFrame(played, clock.currentFrame);
    zeroVertices(arrays.strip, stripCapacity);
    if (clock.interpolate) {
        const size_t frameCapacity =
            arrays.current && arrays.next ? arrays.frameCapacity : size_t{0};
        const double t = interpolationFactor(clock);
        const int32_t next = evaluationFrame(played, clock.nextFrame);
        zeroVertices(arrays.current, frameCapacity);
        zeroVertices(arrays.next, frameCapacity);

        scratch.clear();
        collectChain(played, bone, current, scratch);
        chainPositions(scratch, arrays.current, frameCapacity);
        const bool currentSound = !scratch.offsets.empty();

        scratch.clear();
        collectChain(played, bone, next, scratch);
        const size_t written = chainPositions(scratch, arrays.next, frameCapacity);

        // A chain broken in only one of the frames would blend from or to the
        // origin; show nothing instead.
        const size_t n = currentSound ? std::min(written, stripCapacity) : 0;
        blendIntoStrip(arrays, n, t);
        return n;
    }
    scratch.clear();
    collectChain(played, bone, current, scratch);
    const size_t n = chainPositions(scratch, arrays.strip, stripCapacity);
    for (size_t i = 0; i < n; ++i) arrays.strip[i].color = kWhite;
    return n;
}

}  // namespace

void buildBoneStripReference(const Model& played, const ClipClock& clock, int32_t bone,
                             const StripArrays& arrays, ChainScratch& scratch) {
    referenceStrip(played, clock, bone, arrays, scratch);
}

// ---------------------------------------------------------------------------
// Fast strips: every bone of a frame evaluated once, in the same operations
// and order as the chain operations above, then reused while the frame's data
// stays the same.

namespace {

constexpr int32_t kBroken = -1;
constexpr int32_t kUnknown = -2;
constexpr int32_t kOnWalk = -3;

// Evaluates every bone of `frame` (a valid index) into `pose`.
void evaluateFramePose(const Model& model, int32_t frame, FramePose& pose) {
    const Frame& keys = model.frames[static_cast<size_t>(frame)];
    const size_t boneCount = model.bones.size();
    pose.frame = frame;
    pose.boneCount = boneCount;
    pose.parents.resize(boneCount);
    for (size_t b = 0; b < boneCount; ++b) pose.parents[b] = model.bones[b].parent;
    pose.keys.assign(keys.begin(), keys.end());
    pose.links.assign(boneCount, kUnknown);
    pose.world.resize(boneCount);
    pose.positions.assign(boneCount, Vec3{});
    std::vector<Vec3> offsets(boneCount);  // own world-space offset of each linked bone
    std::vector<int32_t> walk;

    for (size_t start = 0; start < boneCount; ++start) {
        if (pose.links[start] != kUnknown) continue;
        // Walk up to a bone already evaluated or to a root; anything else
        // (a bone index out of range, a missing key, a cycle) breaks every
        // bone of the walk.
        walk.clear();
        int32_t at = static_cast<int32_t>(start);
        int32_t base = -1;  // evaluated ancestor the walk ends on; -1 for a root
        bool broken = false;
        for (;;) {
            if (at < 0 || static_cast<size_t>(at) >= boneCount) {
                broken = true;
                break;
            }
            const int32_t state = pose.links[static_cast<size_t>(at)];
            if (state >= 0) {
                base = at;
                break;
            }
            if (state == kBroken || state == kOnWalk) {
                broken = true;
                break;
            }
            pose.links[static_cast<size_t>(at)] = kOnWalk;
            walk.push_back(at);
            if (static_cast<size_t>(at) >= keys.size()) {
                broken = true;
                break;
            }
            const int32_t parent = pose.parents[static_cast<size_t>(at)];
            if (parent == -1) break;
            at = parent;
        }
        if (broken) {
            for (int32_t b : walk) pose.links[static_cast<size_t>(b)] = kBroken;
            continue;
        }
        // Resolve downwards, from the bone nearest the root.
        int32_t links = base >= 0 ? pose.links[static_cast<size_t>(base)] : -1;
        for (size_t w = walk.size(); w-- > 0;) {
            const size_t b = static_cast<size_t>(walk[w]);
            ++links;
            if (links > kMaxChainLinks) {
                for (size_t r = 0; r <= w; ++r) pose.links[static_cast<size_t>(walk[r])] = kBroken;
                break;
            }
            pose.links[b] = links;
            const int32_t parent = pose.parents[b];
            const BoneKey& k = keys[b];
            if (parent == -1) {
                pose.world[b] = matrixMultiply(localRotation(k), matrixIdentity());
                continue;
            }
            const Matrix4& parentWorld = pose.world[static_cast<size_t>(parent)];
            pose.world[b] = matrixMultiply(localRotation(k), parentWorld);
            offsets[b] = vec3TransformCoord({k.x, k.y, k.z}, parentWorld);
            // The joint's position: its offset, then each ancestor link's
            // offset added in order upwards.
            Vec3 p = offsets[b];
            int32_t up = parent;
            for (int32_t step = 1; step < links; ++step) {
                const Vec3& o = offsets[static_cast<size_t>(up)];
                p.x = p.x + o.x;
                p.y = p.y + o.y;
                p.z = p.z + o.z;
                up = pose.parents[static_cast<size_t>(up)];
            }
            pose.positions[b] = p;
        }
    }
}

enum class MemoCheck { Match, Stale, Broken };

// Whether `pose` still holds what evaluating `bone`'s chain in `frame` of the
// model would give: the same parents and the same key bits along the chain.
MemoCheck checkChain(const Model& model, const FramePose& pose, int32_t frame, int32_t bone) {
    if (pose.frame != frame) return MemoCheck::Stale;
    if (bone < 0 || static_cast<size_t>(bone) >= model.bones.size()) return MemoCheck::Broken;
    if (pose.boneCount != model.bones.size()) return MemoCheck::Stale;
    const int32_t links = pose.links[static_cast<size_t>(bone)];
    if (links < 0) return MemoCheck::Broken;
    const Frame& keys = model.frames[static_cast<size_t>(frame)];
    int32_t at = bone;
    for (int32_t step = 0; step <= links; ++step) {
        const size_t b = static_cast<size_t>(at);
        if (model.bones[b].parent != pose.parents[b] || b >= keys.size() ||
            std::memcmp(&keys[b], &pose.keys[b], sizeof(BoneKey)) != 0)
            return MemoCheck::Stale;
        at = pose.parents[b];
    }
    return MemoCheck::Match;
}

// The memo slot for `frame`, valid for `bone`'s chain, re-evaluated when stale;
// never the slot of `keepFrame` unless that is the frame asked for. Null when
// the chain is broken (the caller then takes the chain-by-chain path).
const FramePose* memoFor(const Model& model, int32_t frame, int32_t keepFrame, int32_t bone,
                         ChainScratch& scratch) {
    FramePose* slot = nullptr;
    for (FramePose& p : scratch.poses)
        if (p.frame == frame) slot = &p;
    if (slot != nullptr) {
        const MemoCheck check = checkChain(model, *slot, frame, bone);
        if (check == MemoCheck::Match) return slot;
        if (check == MemoCheck::Broken) return nullptr;
    } else {
        slot = scratch.poses[0].frame == keepFrame ? &scratch.poses[1] : &scratch.poses[0];
    }
    evaluateFramePose(model, frame, *slot);
    return checkChain(model, *slot, frame, bone) == MemoCheck::Match ? slot : nullptr;
}

// Writes the first `n` joints of `bone`'s chain as whole vertices of `color`.
void copyChain(const FramePose& pose, int32_t bone, LineVertex* out, size_t n, uint32_t color) {
    int32_t at = bone;
    for (size_t i = 0; i < n; ++i) {
        const Vec3& p = pose.positions[static_cast<size_t>(at)];
        out[i] = {p.x, p.y, p.z, color};
        at = pose.parents[static_cast<size_t>(at)];
    }
}

// The strip of `bone` from the memo poses of its frames, in which its chain is
// sound (`from` and `to` are the same pose without interpolation). Every entry
// of the arrays is written once: the chain, then zeros. Returns the chain's
// vertices in the strip.
size_t stripFromPoses(const FramePose& from, const FramePose& to, const ClipClock& clock,
                      int32_t bone, const StripArrays& arrays, size_t callerFills,
                      PreparedStrips* prepared) {
    const size_t stripCapacity = capacityOf(arrays.strip, arrays.stripCapacity);
    const size_t links = static_cast<size_t>(to.links[static_cast<size_t>(bone)]);
    size_t n = 0;
    if (clock.interpolate) {
        const size_t frameCapacity =
            arrays.current && arrays.next ? arrays.frameCapacity : size_t{0};
        const size_t written = std::min(links, frameCapacity);
        copyChain(from, bone, arrays.current, written, 0);
        copyChain(to, bone, arrays.next, written, 0);
        // Entries the strip before left zero need not be zeroed again.
        size_t zeroTo = frameCapacity;
        if (prepared != nullptr) {
            if (prepared->zeroCurrent == arrays.current && prepared->zeroNext == arrays.next &&
                prepared->zeroCapacity == frameCapacity && arrays.current != nullptr)
                zeroTo = std::max(written, prepared->zeroFrom);
            prepared->zeroCurrent = arrays.current;
            prepared->zeroNext = arrays.next;
            prepared->zeroFrom = written;
            prepared->zeroCapacity = frameCapacity;
        }
        if (written < zeroTo) {
            zeroVertices(arrays.current + written, zeroTo - written);
            zeroVertices(arrays.next + written, zeroTo - written);
        }
        n = std::min(written, stripCapacity);
        blendIntoStrip(arrays, n, interpolationFactor(clock));
    } else {
        n = std::min(links, stripCapacity);
        copyChain(from, bone, arrays.strip, n, kWhite);
    }
    const size_t zeroFrom = std::clamp(callerFills, n, stripCapacity);
    if (zeroFrom < stripCapacity) zeroVertices(arrays.strip + zeroFrom, stripCapacity - zeroFrom);
    return n;
}

// Whether `pose` holds `frame` of the model as it is now: the same bone count,
// parents and key bits (all keys of the frame, not only along one chain).
bool poseMatchesModel(const Model& model, const FramePose& pose, int32_t frame) {
    if (pose.frame != frame || pose.boneCount != model.bones.size()) return false;
    for (size_t b = 0; b < pose.boneCount; ++b)
        if (model.bones[b].parent != pose.parents[b]) return false;
    const Frame& keys = model.frames[static_cast<size_t>(frame)];
    return keys.size() == pose.keys.size() &&
           (keys.empty() ||
            std::memcmp(keys.data(), pose.keys.data(), keys.size() * sizeof(BoneKey)) == 0);
}

// The memo slot holding `frame` (a valid index) as the model has it now,
// re-evaluated when stale; never the slot of `keepFrame` unless that is the
// frame asked for.
const FramePose* frameMemo(const Model& model, int32_t frame, int32_t keepFrame,
                           ChainScratch& scratch) {
    FramePose* slot = nullptr;
    for (FramePose& p : scratch.poses)
        if (p.frame == frame) slot = &p;
    if (slot == nullptr)
        slot = scratch.poses[0].frame == keepFrame ? &scratch.poses[1] : &scratch.poses[0];
    else if (poseMatchesModel(model, *slot, frame))
        return slot;
    evaluateFramePose(model, frame, *slot);
    return slot;
}

}  // namespace

void buildBoneStrip(const Model& played, const ClipClock& clock, int32_t bone,
                    const StripArrays& arrays, ChainScratch& scratch) {
    const int32_t current = evaluationFrame(played, clock.currentFrame);
    if (current < 0) {
        referenceStrip(played, clock, bone, arrays, scratch);
        return;
    }
    const FramePose* from = nullptr;
    const FramePose* to = nullptr;
    if (clock.interpolate) {
        const int32_t next = evaluationFrame(played, clock.nextFrame);
        from = memoFor(played, current, next, bone, scratch);
        to = from == nullptr || next == current ? from
                                                : memoFor(played, next, current, bone, scratch);
    } else {
        from = to = memoFor(played, current, -1, bone, scratch);
    }
    if (from == nullptr || to == nullptr) {
        referenceStrip(played, clock, bone, arrays, scratch);
        return;
    }
    stripFromPoses(*from, *to, clock, bone, arrays, 0, nullptr);
}

PreparedStrips prepareBoneStrips(const Model& played, const ClipClock& clock,
                                 ChainScratch& scratch) {
    PreparedStrips prepared;
    prepared.played = &played;
    prepared.clock = &clock;
    const int32_t current = evaluationFrame(played, clock.currentFrame);
    if (current < 0) return prepared;
    if (clock.interpolate) {
        const int32_t next = evaluationFrame(played, clock.nextFrame);
        prepared.from = frameMemo(played, current, next, scratch);
        prepared.to = next == current ? prepared.from : frameMemo(played, next, current, scratch);
    } else {
        prepared.from = prepared.to = frameMemo(played, current, -1, scratch);
    }
    return prepared;
}

size_t buildPreparedBoneStrip(PreparedStrips& prepared, int32_t bone, const StripArrays& arrays,
                              ChainScratch& scratch, size_t callerFills) {
    const FramePose* from = prepared.from;
    const FramePose* to = prepared.to;
    // A chain broken in either frame takes the chain-by-chain path, as in
    // buildBoneStrip.
    if (from == nullptr || bone < 0 || static_cast<size_t>(bone) >= from->boneCount ||
        from->links[static_cast<size_t>(bone)] < 0 || to->links[static_cast<size_t>(bone)] < 0) {
        prepared.zeroCurrent = prepared.zeroNext = nullptr;  // it writes them its own way
        return referenceStrip(*prepared.played, *prepared.clock, bone, arrays, scratch);
    }
    return stripFromPoses(*from, *to, *prepared.clock, bone, arrays, callerFills, &prepared);
}
