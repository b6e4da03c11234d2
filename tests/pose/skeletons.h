// Tiny hand-made models for the pose tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "model/model.h"

inline constexpr float kQuarterTurn = 1.57079632679489662f;

// A model with the given parents and frames (keys given per frame).
inline Model skeleton(std::initializer_list<int32_t> parents, std::vector<Frame> frames) {
    Model m;
    for (int32_t p : parents) {
        Bone b;
        b.parent = p;
        m.bones.push_back(b);
    }
    m.frames = std::move(frames);
    return m;
}

// A single chain: bone 0 is the root, bone i hangs from bone i-1, every key
// the same offset (x, 0, 0) and no rotation; one frame.
inline Model line(int32_t bones, float x = 1.0f) {
    Model m;
    m.bones.resize(static_cast<size_t>(bones));
    m.frames.assign(1, Frame(static_cast<size_t>(bones), BoneKey{x, 0, 0, 0, 0, 0}));
    for (int32_t i = 0; i < bones; ++i) m.bones[static_cast<size_t>(i)].parent = i - 1;
    return m;
}
