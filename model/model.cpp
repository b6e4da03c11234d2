#include "model/model.h"

#include <cstddef>
#include <cstdint>
#include <vector>

DeepestBone deepestBone(const Model& model) {
    const size_t n = model.bones.size();
    constexpr uint32_t kUnknown = UINT32_MAX, kOnPath = UINT32_MAX - 1;
    std::vector<uint32_t> links(n, kUnknown);
    std::vector<int32_t> path;
    DeepestBone deepest;
    auto inModel = [&](int32_t b) { return b >= 0 && static_cast<size_t>(b) < n; };
    for (size_t i = 0; i < n; ++i) {
        // Up to a root, a bone already measured or a bone on this path (a cycle).
        path.clear();
        int32_t b = static_cast<int32_t>(i);
        while (inModel(b) && links[b] == kUnknown) {
            links[b] = kOnPath;
            path.push_back(b);
            b = model.bones[b].parent;
        }
        uint32_t below = inModel(b) && links[b] != kOnPath ? links[b] + 1 : 0;
        for (auto it = path.rbegin(); it != path.rend(); ++it) links[*it] = below++;
        if (deepest.bone < 0 || links[i] > deepest.links)
            deepest = {static_cast<int32_t>(i), links[i]};
    }
    return deepest;
}

const char* nothingToDraw(const Model& model) {
    if (model.bones.empty()) return "no bones";
    if (model.frames.empty()) return "no frames";
    for (const Bone& bone : model.bones)
        if (bone.parent >= 0) return nullptr;
    return "every bone is a root";
}
