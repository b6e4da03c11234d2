// The character's data: skeleton, sampled poses and triangle mesh.
//
// A Model is plain data owned by value. It is filled only by the SMD reader
// (model/smd.h), which clears it first; everything else reads it by index. A
// clip is simply a Model with many frames; a character file yields one frame,
// the bind pose.
#pragma once

#include <cstdint>
#include <vector>

// One skeleton node. `name` is NUL-terminated, at most 63 characters.
struct Bone {
    char name[64] = {};
    int32_t parent = -1;  // index into Model::bones, -1 for a root
};

// One bone's pose in one frame: the joint's translation relative to its parent's
// joint (in the parent's rotated frame, model units) and Euler angles in radians,
// applied about X first, then Y, then Z.
struct BoneKey {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float rx = 0.0f, ry = 0.0f, rz = 0.0f;
};

// Entry i belongs to bone i. The reader stores what the file gave; after
// validation every frame holds at least one key per bone (see model/smd.h).
using Frame = std::vector<BoneKey>;

struct MeshVertex {
    int32_t bone = 0;
    float px = 0.0f, py = 0.0f, pz = 0.0f;
    float nx = 0.0f, ny = 0.0f, nz = 0.0f;
    float u = 0.0f, v = 0.0f;
    // The corner's weight links: Model::links[firstLink .. firstLink + linkCount).
    // None: the corner follows `bone` alone.
    uint32_t firstLink = 0;
    uint32_t linkCount = 0;
};

// One weight link of a skinned corner, as the file gives it (bone index and
// weight, neither checked: skinning skips links it cannot use).
struct WeightLink {
    int32_t bone = 0;
    float weight = 0.0f;
};

// One mesh face. `material` is NUL-terminated, at most 31 characters.
struct Triangle {
    char material[32] = {};
    MeshVertex corners[3];
};

struct Model {
    std::vector<Bone> bones;          // file order; the position is the bone index
    std::vector<Triangle> triangles;  // file order
    std::vector<Frame> frames;        // file order; the position is the frame number
    std::vector<WeightLink> links;    // every corner's weight links, in file order
};

// The bone at the end of the longest chain (a bone, its parent and so on up to
// a root) and that chain's links (its bones below the root); bone -1 without
// bones. A parent outside the model ends a chain like a root, and a cycle is
// cut where it closes.
struct DeepestBone {
    int32_t bone = -1;
    uint32_t links = 0;
};
DeepestBone deepestBone(const Model& model);

// Why drawing the model shows nothing ("no bones", "no frames", "every bone is
// a root"), or nullptr when it shows something.
const char* nothingToDraw(const Model& model);
