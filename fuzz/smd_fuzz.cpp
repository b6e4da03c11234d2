// Fuzz target: the SMD reader over arbitrary bytes, then everything the
// programs do with what it hands out.
//
// Per input:
//   1. loadSmdFromMemory into a model that already holds something, and the
//      message text of the result;
//   2. the reader's promises: status and problems agree, places lie inside the
//      text, every parent in [-1, bones) with every chain of parents ending at
//      a root, every frame with at least one key per bone, every number finite,
//      names NUL-terminated inside their fields;
//   3. round trip: the model written back as SMD text reads back bit for bit,
//      with no repair;
//   4. the clip clock stepped over the model, its indices always in range;
//   5. strips of every bone (and of bone indices outside the skeleton) in
//      frames inside and beyond the clip, interpolation on and off, strip
//      arrays of both program sizes: bit-identical to the chain-by-chain
//      figure, nothing written past the arrays, every position finite, the
//      part past the chain all zero;
//   6. whole frames evaluated at once, inside and outside the clip: every
//      world rotation and position finite, every position that of its chain.
// Any broken promise aborts with a message, which libFuzzer reports as a crash.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "model/bone_strip.h"
#include "model/pose.h"
#include "model/smd.h"
#include "tests/support/chain_reference.h"

namespace {

// Bones and frames visited per input are capped so one input stays fast; the
// frames visited are the first few and the last ones, where indices turn over.
constexpr size_t kMaxBonesVisited = 160;
constexpr size_t kFramesAtEachEnd = 3;
// The chain-by-chain operations cost about links^2 matrix products per chain.
// Each input gets a budget of them; once it is spent, strips are still built
// and checked on the fast path but no longer compared chain by chain.
constexpr int64_t kReferenceBudget = 15000;

// Links from each bone up to its root (the model's parents are sound).
std::vector<int32_t> linkCounts(const Model& m) {
    std::vector<int32_t> links(m.bones.size(), 0);
    for (size_t i = 0; i < m.bones.size(); ++i)
        for (int32_t at = m.bones[i].parent; at != -1; at = m.bones[at].parent) ++links[i];
    return links;
}

bool sameBits(const void* a, const void* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

bool finite(float v) {
    return std::isfinite(v);
}

bool keyFinite(const BoneKey& k) {
    return finite(k.x) && finite(k.y) && finite(k.z) && finite(k.rx) && finite(k.ry) &&
           finite(k.rz);
}

bool terminated(const char* field, size_t size) {
    return std::memchr(field, '\0', size) != nullptr;
}

void checkResult(const SmdLoadResult& result, size_t textSize) {
    size_t errors = 0;
    for (const SmdProblem& p : result.problems) {
        errors += p.severity == SmdProblem::Severity::Error;
        FUZZ_CHECK(!p.message.empty());
        FUZZ_CHECK((p.line == 0) == (p.column == 0));
        FUZZ_CHECK(p.line <= textSize + 1 && p.column <= textSize + 1);
    }
    switch (result.status) {
        case SmdStatus::Loaded:
            FUZZ_CHECK(errors == 0);
            break;
        case SmdStatus::Repaired:
            break;
        case SmdStatus::CannotOpen:
            FUZZ_CHECK(!"memory text never fails to open");
            break;
        case SmdStatus::WrongFirstLine:
        case SmdStatus::Malformed:
            FUZZ_CHECK(errors > 0);
            break;
    }
    const std::string text = describeSmdLoad("fuzz.smd", result);
    FUZZ_CHECK(text.empty() == result.problems.empty());
}

void checkModel(const Model& m, const SmdLoadResult& result) {
    if (result.status == SmdStatus::WrongFirstLine) {
        FUZZ_CHECK(m.bones.empty() && m.frames.empty() && m.triangles.empty());
        return;
    }
    const int64_t n = static_cast<int64_t>(m.bones.size());
    for (const Bone& b : m.bones) {
        FUZZ_CHECK(terminated(b.name, sizeof b.name));
        FUZZ_CHECK(b.parent >= -1 && b.parent < n);
    }
    // Every chain of parents reaches a root within the bone count.
    for (int64_t i = 0; i < n; ++i) {
        int64_t steps = 0;
        for (int32_t at = static_cast<int32_t>(i); at != -1; at = m.bones[at].parent)
            FUZZ_CHECK(++steps <= n);
    }
    for (const Frame& f : m.frames) {
        FUZZ_CHECK(f.size() >= m.bones.size());
        for (const BoneKey& k : f) FUZZ_CHECK(keyFinite(k));
    }
    for (const Triangle& t : m.triangles) {
        FUZZ_CHECK(terminated(t.material, sizeof t.material));
        for (const MeshVertex& c : t.corners) {
            FUZZ_CHECK(c.bone == 0 || (c.bone > 0 && c.bone < n));
            for (float v : {c.px, c.py, c.pz, c.nx, c.ny, c.nz, c.u, c.v}) FUZZ_CHECK(finite(v));
        }
    }
}

void put(std::string& out, float v) {
    char text[32];
    std::snprintf(text, sizeof text, " %.9g", static_cast<double>(v));
    out += text;
}

// The model as SMD text that the reader gives back unchanged; false when the
// model holds something the text form cannot carry (an empty material word,
// left when a material's first byte is NUL).
bool writeSmd(const Model& m, std::string& out) {
    out = "version 1\nnodes\n";
    for (size_t i = 0; i < m.bones.size(); ++i)
        out += std::to_string(i) + " \"" + m.bones[i].name + "\" " +
               std::to_string(m.bones[i].parent) + "\n";
    out += "end\n";
    if (!m.frames.empty()) {
        out += "skeleton\n";
        for (size_t f = 0; f < m.frames.size(); ++f) {
            out += "time " + std::to_string(f) + "\n";
            for (size_t i = 0; i < m.frames[f].size(); ++i) {
                const BoneKey& k = m.frames[f][i];
                out += std::to_string(i);
                for (float v : {k.x, k.y, k.z, k.rx, k.ry, k.rz}) put(out, v);
                out += "\n";
            }
        }
        // A "time" directly before "end" starts no frame; an empty last frame
        // needs one more "time" to be closed.
        if (m.frames.back().empty()) out += "time " + std::to_string(m.frames.size()) + "\n";
        out += "end\n";
    }
    out += "triangles\n";
    for (const Triangle& t : m.triangles) {
        if (t.material[0] == '\0') return false;
        out += t.material;
        out += "\n";
        for (const MeshVertex& c : t.corners) {
            out += std::to_string(c.bone);
            for (float v : {c.px, c.py, c.pz, c.nx, c.ny, c.nz, c.u, c.v}) put(out, v);
            out += "\n";
        }
    }
    out += "end\n";
    return true;
}

void checkRoundTrip(const Model& m) {
    std::string text;
    if (!writeSmd(m, text)) return;
    Model back;
    const SmdLoadResult r = loadSmdFromMemory(back, text);
    if (r.status != SmdStatus::Loaded) {
        std::fprintf(stderr, "%s", describeSmdLoad("round-trip.smd", r).c_str());
        FUZZ_CHECK(!"the written model reads back without errors or repairs");
    }
    FUZZ_CHECK(back.bones.size() == m.bones.size());
    for (size_t i = 0; i < m.bones.size(); ++i) {
        FUZZ_CHECK(std::strcmp(back.bones[i].name, m.bones[i].name) == 0);
        FUZZ_CHECK(back.bones[i].parent == m.bones[i].parent);
    }
    FUZZ_CHECK(back.frames.size() == m.frames.size());
    for (size_t f = 0; f < m.frames.size(); ++f) {
        FUZZ_CHECK(back.frames[f].size() == m.frames[f].size());
        FUZZ_CHECK(sameBits(back.frames[f].data(), m.frames[f].data(),
                            m.frames[f].size() * sizeof(BoneKey)));
    }
    FUZZ_CHECK(back.triangles.size() == m.triangles.size());
    for (size_t t = 0; t < m.triangles.size(); ++t) {
        FUZZ_CHECK(std::strcmp(back.triangles[t].material, m.triangles[t].material) == 0);
        for (int c = 0; c < 3; ++c) {
            const MeshVertex& a = back.triangles[t].corners[c];
            const MeshVertex& b = m.triangles[t].corners[c];
            FUZZ_CHECK(a.bone == b.bone);
            FUZZ_CHECK(sameBits(&a.px, &b.px, 8 * sizeof(float)));
        }
    }
}

uint32_t gTick = 0;
uint32_t tick() {
    return gTick;
}

// The clock over the model: its indices stay within the frames (0 without any)
// whatever the period and however far the tick jumps, across the wrap of the
// counter too.
void checkClock(const Model& m, uint32_t seed) {
    ClipClock clock;
    clock.framePeriodMs = static_cast<int32_t>(seed % 7) - 1;  // -1 .. 5
    gTick = 0xFFFFFFF0u + (seed & 0xF);
    const int64_t frames = static_cast<int64_t>(m.frames.size());
    for (int i = 0; i < 40; ++i) {
        gTick += 1 + (seed >> (i % 24) & 7u);
        advanceClip(clock, m, tick);
        FUZZ_CHECK(clock.elapsedMs >= 0.0 && clock.elapsedMs < 4294967296.0);
        if (frames == 0) {
            FUZZ_CHECK(clock.currentFrame == 0 && clock.nextFrame == 0);
        } else if (i > 0) {
            FUZZ_CHECK(clock.currentFrame >= 0 && clock.currentFrame < frames);
            FUZZ_CHECK(clock.nextFrame >= 0 && clock.nextFrame < frames);
        }
        const int32_t shown = evaluationFrame(m, clock.currentFrame);
        FUZZ_CHECK(frames == 0 ? shown == -1 : (shown >= 0 && shown < frames));
    }
}

// Arrays with guard vertices on both sides, to catch writes past an end.
struct GuardedArray {
    static constexpr size_t kGuard = 4;
    std::vector<LineVertex> storage;
    size_t capacity;
    explicit GuardedArray(size_t n) : storage(n + 2 * kGuard), capacity(n) {
        for (LineVertex& v : storage) v = {1234.5f, -6.25f, 7.0f, 0xDEADBEEFu};
    }
    LineVertex* data() { return storage.data() + kGuard; }
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            const LineVertex& a = storage[i];
            const LineVertex& b = storage[kGuard + capacity + i];
            if (a.color != 0xDEADBEEFu || b.color != 0xDEADBEEFu || a.x != 1234.5f ||
                b.x != 1234.5f)
                return false;
        }
        return true;
    }
};

void checkStrip(const GuardedArray& strip, size_t chain) {
    FUZZ_CHECK(strip.guardsIntact());
    const LineVertex* v = strip.storage.data() + GuardedArray::kGuard;
    for (size_t i = 0; i < strip.capacity; ++i) {
        if (i < chain) {
            FUZZ_CHECK(v[i].color == 0xFFFFFFFFu);
            FUZZ_CHECK(finite(v[i].x) && finite(v[i].y) && finite(v[i].z));
        } else {
            FUZZ_CHECK(v[i].color == 0u && v[i].x == 0.0f && v[i].y == 0.0f && v[i].z == 0.0f);
        }
    }
}

std::vector<int32_t> framesToVisit(const Model& m) {
    std::vector<int32_t> out = {-1, 0};
    const size_t count = m.frames.size();
    for (size_t f = 1; f < count && f < kFramesAtEachEnd; ++f)
        out.push_back(static_cast<int32_t>(f));
    for (size_t back = kFramesAtEachEnd; back > 0; --back)
        if (count >= back && count - back >= kFramesAtEachEnd)
            out.push_back(static_cast<int32_t>(count - back));
    out.push_back(static_cast<int32_t>(count));
    out.push_back(static_cast<int32_t>(count) + 7);
    out.push_back(INT32_MAX);
    return out;
}

std::vector<int32_t> bonesToVisit(const Model& m) {
    std::vector<int32_t> out = {-1, INT32_MIN, INT32_MAX};
    const size_t count = m.bones.size();
    for (size_t b = 0; b < count && b < kMaxBonesVisited; ++b)
        out.push_back(static_cast<int32_t>(b));
    out.push_back(static_cast<int32_t>(count));
    if (count > kMaxBonesVisited) out.push_back(static_cast<int32_t>(count - 1));
    return out;
}

void checkStrips(const Model& m) {
    const std::vector<int32_t> frames = framesToVisit(m);
    const std::vector<int32_t> bones = bonesToVisit(m);
    const std::vector<int32_t> links = linkCounts(m);
    int64_t budget = kReferenceBudget;
    auto compared = [&](int32_t bone, bool interpolate) {
        int64_t cost = 1;
        if (bone >= 0 && static_cast<size_t>(bone) < links.size()) {
            const int64_t l = links[static_cast<size_t>(bone)] + 1;
            cost = l * l * (interpolate ? 2 : 1);
        }
        budget -= cost;
        return budget >= 0;
    };
    // The two program sizes, 69 vertices (articulated) and 101 (pathmove); they
    // differ only for chains of more than 68 links.
    std::vector<uint32_t> capacities = {69};
    for (int32_t l : links)
        if (l > 68) {
            capacities.push_back(101);
            break;
        }
    ClipPose pose;
    PlacedJoints placed;
    for (uint32_t capacity : capacities) {
        const StripStyle style{.vertices = capacity, .written = capacity, .lineColor = 0xFFFFFFFFu};
        GuardedArray strip(capacity);
        for (bool interpolate : {false, true}) {
            for (size_t i = 0; i < frames.size(); ++i) {
                ClipClock clock;
                clock.interpolate = interpolate;
                clock.framePeriodMs = 40;
                clock.elapsedMs = static_cast<double>(i % 5) * 10.0;  // t in 0 .. 1
                clock.currentFrame = frames[i];
                clock.nextFrame = frames[(i + 1) % frames.size()];
                poseClip(m, clock, 69, pose);
                FUZZ_CHECK(pose.joints.size() == m.bones.size());
                placeJoints(pose.joints, style, placed);
                for (int32_t bone : bones) {
                    const size_t chain = fillBoneStrip(m.bones, pose.chains.data(), placed, style,
                                                       bone, strip.data());
                    checkStrip(strip, chain);
                    if (!compared(bone, interpolate)) continue;
                    const std::vector<LineVertex> expected =
                        reference::clipStrip(m, clock, bone, capacity, 69);
                    FUZZ_CHECK(
                        sameBits(strip.data(), expected.data(), capacity * sizeof(LineVertex)));
                }
            }
        }
    }
}

// Whole frames evaluated at once, against their chains.
void checkFrames(const Model& m) {
    FramePose pose;
    int64_t budget = kReferenceBudget;
    const size_t count = std::min(m.bones.size(), kMaxBonesVisited);
    for (int32_t frame : {0, -1, static_cast<int32_t>(m.frames.size())}) {
        evaluateFrame(m, frame, pose);
        FUZZ_CHECK(pose.links.size() == m.bones.size() && pose.positions.size() == m.bones.size());
        for (size_t b = 0; b < m.bones.size(); ++b) {
            FUZZ_CHECK(pose.links[b] <= kMaxChainLinks);
            FUZZ_CHECK(finite(pose.positions[b].x) && finite(pose.positions[b].y) &&
                       finite(pose.positions[b].z));
            if (pose.links[b] < 0) continue;
            for (const auto& row : pose.world[b].m)
                for (float x : row) FUZZ_CHECK(finite(x));
        }
        for (size_t b = 0; b < count; ++b) {
            const int32_t l = std::max(pose.links[b], 0);
            budget -= int64_t{l + 1} * (l + 1);
            if (budget < 0) return;
            const reference::Chain chain =
                reference::collectChain(m, static_cast<int32_t>(b), frame);
            FUZZ_CHECK(chain.offsets.size() == static_cast<size_t>(l));
            if (chain.offsets.empty()) continue;
            LineVertex out;
            reference::chainPositions(chain, &out, 1);
            FUZZ_CHECK(sameBits(&out, &pose.positions[b], sizeof(Vec3)));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that reading one byte too far is caught.
    const std::vector<char> copy(data, data + size);
    const std::string_view text(copy.data(), copy.size());

    // The target holds a model already: a load replaces it entirely.
    Model model;
    model.bones.resize(3);
    model.frames.assign(2, Frame(1));
    model.triangles.resize(1);
    const SmdLoadResult result = loadSmdFromMemory(model, text);
    checkResult(result, size);
    checkModel(model, result);
    checkRoundTrip(model);

    uint32_t seed = 0;
    for (size_t i = 0; i < size && i < 4; ++i) seed = seed << 8 | data[i];
    checkClock(model, seed);
    checkStrips(model);
    checkFrames(model);
    return 0;
}
