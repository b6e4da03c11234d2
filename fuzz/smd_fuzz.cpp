// Fuzz target for the SMD reader: any bytes must load without a crash, a hang
// or an out-of-bounds access, and every model handed out must be safe to
// evaluate (parents in range and acyclic, a key per bone in every frame, all
// numbers finite), with an error listed for every failed load.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "model/smd.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkModel(const Model& m) {
    const int32_t n = static_cast<int32_t>(m.bones.size());
    for (int32_t i = 0; i < n; ++i) {
        require(m.bones[i].parent >= -1 && m.bones[i].parent < n);
        int32_t steps = 0;
        for (int32_t b = i; b >= 0; b = m.bones[b].parent) require(++steps <= n);
        require(std::memchr(m.bones[i].name, '\0', sizeof m.bones[i].name) != nullptr);
    }
    for (const Frame& f : m.frames) {
        require(f.size() >= m.bones.size());
        for (const BoneKey& k : f)
            for (float v : {k.x, k.y, k.z, k.rx, k.ry, k.rz}) require(std::isfinite(v));
    }
    for (const Triangle& t : m.triangles) {
        require(std::memchr(t.material, '\0', sizeof t.material) != nullptr);
        for (const MeshVertex& c : t.corners) {
            require((c.bone >= 0 && c.bone < n) || (n == 0 && c.bone == 0));
            for (float v : {c.px, c.py, c.pz, c.nx, c.ny, c.nz, c.u, c.v})
                require(std::isfinite(v));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that reading one byte too far is caught.
    std::vector<char> text(data, data + size);
    Model model;
    model.bones.resize(2);  // what a failed open would keep
    const SmdLoadResult result =
        loadSmdFromMemory(model, std::string_view(text.data(), text.size()));
    checkModel(model);
    bool anyError = false;
    for (const SmdProblem& p : result.problems)
        anyError |= p.severity == SmdProblem::Severity::Error;
    if (result.status == SmdStatus::WrongFirstLine)
        require(model.bones.empty() && model.frames.empty() && model.triangles.empty());
    if (result.status != SmdStatus::Loaded && result.status != SmdStatus::Repaired)
        require(anyError);
    require(!describeSmdLoad("fuzz.smd", result).empty() || result.problems.empty());
    return 0;
}
