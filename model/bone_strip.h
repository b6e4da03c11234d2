// The stick figure's line strips: one strip per bone, from the bone's joint up
// through its ancestors, filled by copying joints placed once per drawn frame.
//
// A strip array of `vertices` entries is filled in three parts: the chain
// (entries 0 .. n-1: the bone's joint, its parent's, ... in lineColor), the tail
// (entries n .. written-1: all at the tail point, so the rest of a line strip
// drawn over them has zero length) and zeros from `written` on (never placed,
// never drawn). Clip figures end a chain at the root's child and take the
// root's place, the origin, as the tail; the reaching figure ends a chain with
// the root's own joint and puts bone 0 at the tail point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/math.h"
#include "model/model.h"

// Puts root-relative joints into the world: p·scale·heading (points, w = 1),
// then (px, py) is added to x and y.
struct StripPlacement {
    Matrix4 scale = matrixIdentity();
    Matrix4 heading = matrixIdentity();
    float px = 0.0f, py = 0.0f;
};

// How one program's strips are made and drawn.
struct StripStyle {
    uint32_t vertices = 0;  // the strip array, uploaded whole for each draw
    uint32_t written = 0;   // entries holding chain and tail (at most `vertices`)
    uint32_t segments = 0;  // segments of each line strip (at most written - 1)
    uint32_t lineColor = 0;
    // Chains end with their root's own joint and bone 0 stands at `base`;
    // otherwise a chain ends at the root's child.
    bool withRoot = false;
    Vec3 base = {};  // the tail's point, in the space of the joints
    // Each strip's tail is the joint of its chain's root (placed), so a chain
    // hangs from its own root; otherwise the tail is `base`. For clip figures
    // whose roots stand apart (the viewer's files).
    bool rootTails = false;
    // The tail keeps the colours the strip array held; otherwise colour 0.
    bool tailKeepsColors = false;
    // After each strip's line, its written entries are coloured jointColor in
    // the strip array and drawn again as a point list: a dot at every joint.
    bool jointDots = false;
    uint32_t jointColor = 0;
    const StripPlacement* placement = nullptr;  // null: the joints are drawn as given
};

// The joints of one drawn frame, each placed once, and the placed tail point.
struct PlacedJoints {
    std::vector<Vec3> joints;
    Vec3 tail = {};
};

// Places every joint (bone 0 at style.base when style.withRoot) and the tail
// point by style.placement.
void placeJoints(const std::vector<Vec3>& joints, const StripStyle& style, PlacedJoints& placed);

// Fills `strip` (style.vertices entries) for `bone`: the chain walks up the
// parent links copying placed joints, `chains[bone]` joints long when `chains` is
// given (a clip pose), else up to and including the first bone whose parent is
// -1 or not a bone; at most style.written joints either way. A bone outside the
// skeleton, or joints missing for some bones, give an empty chain. Returns the
// chain's length.
size_t fillBoneStrip(const std::vector<Bone>& bones, const int32_t* chains,
                     const PlacedJoints& placed, const StripStyle& style, int32_t bone,
                     LineVertex* strip);
