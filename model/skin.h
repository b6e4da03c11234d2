// A reference model's mesh moved by an animation: bones matched by name, the
// animation's keys carried onto the reference's skeleton, and the mesh skinned
// and flat-shaded into drawable triangles.
//
// A reference is a Model with a skeleton, a bind pose (its first frame) and
// usually triangles; an animation is a Model with frames for bones of the same
// names (as a model compiler pairs them). Everything here is plain data and
// safe on any Model the reader hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"

// How an animation's bones pair with a reference's, by exact name (the first
// animation bone of a name wins when a name repeats).
struct BoneMatch {
    // Per reference bone: the animation bone of the same name, or -1 (missing:
    // the reference bone keeps its bind pose).
    std::vector<int32_t> animationBone;
    std::vector<int32_t> missing;  // reference bones the animation lacks, in order
    std::vector<int32_t> extra;    // animation bones the reference lacks (ignored), in order
    size_t matched = 0;            // reference bones that found their animation bone
};
BoneMatch matchBones(const Model& reference, const Model& animation);

// The animation as a clip of the reference's skeleton: the reference's bones,
// one frame per animation frame in which a matched bone takes the animation's
// key and a missing bone its bind key (the reference's frame 0; zeros when the
// reference has no frame); no triangles. `out` is replaced.
void retargetClip(const Model& reference, const Model& animation, const BoneMatch& match,
                  Model& out);

// "a", "b", "c" and N more: at most `shown` names of `bones`, quoted, then
// how many were left out.
std::string boneNameList(const Model& model, const std::vector<int32_t>& bones, size_t shown = 5);

// A bone's placement: rotation rows 0..2 and the joint's position in row 3
// (a rigid transform as a row-vector matrix).
using BoneTransform = Matrix4;

// The bind pose of `reference`: each bone's full world transform in its first
// frame, the root's own translation included (the space the mesh is written
// in). Bones whose chain is broken (model/pose.h) get the identity.
void bindTransforms(const Model& reference, std::vector<BoneTransform>& out);

// Each bone's drawn transform in one evaluated frame: the world rotation of
// `pose` and the joint where the figure draws it (`joints`, one per bone).
// `skin` receives bind⁻¹ · drawn per bone, the matrix that carries a
// bind-pose point on that bone to where the bone has moved it.
void skinMatrices(const std::vector<BoneTransform>& bind, const FramePose& pose,
                  const std::vector<Vec3>& joints, std::vector<Matrix4>& skin);

// current·(1-t) + next·t per matrix entry, in double precision stored as
// float: skinning is linear in the matrices, so the blended matrices move
// every corner along the straight line between its two frames, as the
// figure's joints move.
void blendSkinMatrices(const std::vector<Matrix4>& current, const std::vector<Matrix4>& next,
                       double t, std::vector<Matrix4>& out);

// Linear blend skinning of every corner of `mesh` by `skin` (one matrix per
// bone of the mesh's skeleton): the corner's position times each linked
// bone's matrix, weighted by the link weights divided by their sum. Links to
// a bone outside `skin`, and weights not finite or not positive, are skipped;
// a corner left without links follows its line's bone with weight 1 (bone 0
// when that is outside `skin` too; the origin when `skin` is empty).
// `positions` receives three per triangle, in file order.
void skinMesh(const Model& mesh, const std::vector<Matrix4>& skin, std::vector<Vec3>& positions);

// Colour of a material (opaque ARGB), the same for the same name everywhere.
uint32_t materialColor(const char* material);

// Flat shading: each triangle in its material's colour times the light it
// faces, ambient + diffuse·|n·light| (both faces lit alike: exporters wind
// either way), `light` a unit vector towards the light. Triangles whose
// corners are not all finite are written as three copies of one finite point
// (nothing drawn). `vertices` receives three per triangle.
void shadeMesh(const Model& mesh, const std::vector<Vec3>& positions, const Vec3& light,
               std::vector<LineVertex>& vertices);
