// articulated's view of a reference mesh and its animations: `articulated
// REF.smd [ANIM.smd ...]`. The first file gives the skeleton, the bind pose
// and the mesh; each further file is an animation whose bones are paired with
// the reference's by name and played on the reference's skeleton. The mesh
// is skinned by the played frame and drawn shaded under the stick figure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"
#include "model/skin.h"

// What the view shows (key M steps through them in this order).
enum class MeshShow { MeshAndSkeleton, Mesh, Skeleton };

struct MeshView {
    Model reference;                     // skeleton, bind pose (frame 0) and mesh
    std::vector<Model> clips;            // the animations that play, on the reference's skeleton
    std::vector<std::string> clipNames;  // their file names without folders
    size_t shown = 0;                    // index into clips of the played one
    MeshShow show = MeshShow::MeshAndSkeleton;
    // Per drawn frame, kept to reuse their storage.
    std::vector<BoneTransform> bind;
    std::vector<Matrix4> skinCurrent, skinNext, skin;
    std::vector<Vec3> corners;
    std::vector<LineVertex> vertices;
};

// Loads `reference` and `animations` (paths as given) and says on stderr, once
// per run, what each load reported, which bones an animation lacks or adds
// (one line each, at most five names) and which animation is refused because
// none of its bones is the reference's. `played` receives the first animation
// that plays, or the reference itself when none does (with no animation named,
// the reference is played as a clip, as a single file always was).
void loadMeshView(MeshView& view, const std::string& reference,
                  const std::vector<std::string>& animations, uint32_t maxDrawnBones,
                  Model& played);

// True when the view has a mesh and `played` is on the reference's skeleton
// (a clip key loading another file hides the mesh).
bool meshDrawable(const MeshView& view, const Model& played);

// Skins and shades the mesh for the pose `pose` shows of `played` (with the
// clock's interpolation, the two frames' matrices blended by its factor),
// lit from `light` (unit, towards the light); the result in view.vertices.
void skinShownFrame(MeshView& view, const ClipPose& pose, const ClipClock& clock,
                    const Vec3& light);

// The mesh's corners in frame 0 of `played` as the viewer draws it (every
// root in its place; none when the mesh is not drawable), for framing the
// first view.
void meshCornersAtStart(MeshView& view, const Model& played, std::vector<Vec3>& corners);

// The next (step 1) or previous (step -1) animation, wrapping, into `played`,
// shown from frame 0 (showClipFrame). False, and nothing changed, without
// animations.
bool switchAnimation(MeshView& view, int step, Model& played, ClipClock& clock);

// M: mesh and skeleton, mesh, skeleton, and round again.
void cycleMeshShow(MeshView& view);
