#include "apps/articulated/mesh_view.h"

#include <cstdio>
#include <cstring>

#include "model/smd.h"
#include "shell/load_report.h"
#include "shell/shell.h"

namespace {

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readWhole(const SmdLoadResult& r) {
    return r.status == SmdStatus::Loaded || r.status == SmdStatus::Repaired;
}

}  // namespace

void loadMeshView(MeshView& view, const std::string& reference,
                  const std::vector<std::string>& animations, uint32_t maxDrawnBones,
                  Model& played) {
    view = MeshView{};
    const SmdLoadResult loaded = loadSmd(view.reference, reference.c_str());
    printLoadReportOnce(describeLoad(reference.c_str(), loaded, view.reference, maxDrawnBones));
    shell.loadProblem = windowLoadProblem(reference.c_str(), loaded, view.reference);
    const std::string refName = baseName(reference);
    for (const std::string& path : animations) {
        Model animation;
        const SmdLoadResult result = loadSmd(animation, path.c_str());
        std::string report = describeSmdLoad(path.c_str(), result);
        const bool usable = readWhole(result) || result.status == SmdStatus::Malformed;
        const BoneMatch match = matchBones(view.reference, animation);
        if (usable && match.matched == 0) {
            report += path + ": no bone of it is in " + refName +
                      " (bones are paired by name); not played\n";
        } else if (usable && animation.frames.empty()) {
            report += path + ": nothing to play: no frames\n";
        } else if (usable) {
            const auto count = [](size_t n) {
                return std::to_string(n) + (n == 1 ? " bone" : " bones");
            };
            if (!match.missing.empty())
                report += path + ": " + count(match.missing.size()) + " of " + refName +
                          " not in it keep the bind pose: " +
                          boneNameList(view.reference, match.missing) + "\n";
            if (!match.extra.empty())
                report += path + ": " + count(match.extra.size()) + " not in " + refName +
                          " ignored: " + boneNameList(animation, match.extra) + "\n";
            view.clips.emplace_back();
            retargetClip(view.reference, animation, match, view.clips.back());
            view.clipNames.push_back(baseName(path));
        }
        printLoadReportOnce(report);
    }
    played = view.clips.empty() ? view.reference : view.clips.front();
    played.triangles.clear();
    played.links.clear();
    bindTransforms(view.reference, view.bind);
}

bool meshDrawable(const MeshView& view, const Model& played) {
    if (view.reference.triangles.empty() || view.show == MeshShow::Skeleton) return false;
    const std::vector<Bone>& a = view.reference.bones;
    const std::vector<Bone>& b = played.bones;
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Bone)) == 0);
}

void skinShownFrame(MeshView& view, const ClipPose& pose, const ClipClock& clock,
                    const Vec3& light) {
    skinMatrices(view.bind, pose.current, pose.current.positions, view.skinCurrent);
    const std::vector<Matrix4>* skin = &view.skinCurrent;
    if (clock.interpolate) {
        skinMatrices(view.bind, pose.next, pose.next.positions, view.skinNext);
        blendSkinMatrices(view.skinCurrent, view.skinNext, interpolationFactor(clock), view.skin);
        skin = &view.skin;
    }
    skinMesh(view.reference, *skin, view.corners);
    shadeMesh(view.reference, view.corners, light, view.vertices);
}

void meshCornersAtStart(MeshView& view, const Model& played, std::vector<Vec3>& corners) {
    corners.clear();
    if (!meshDrawable(view, played) || played.frames.empty()) return;
    FramePose pose;
    evaluateFrame(played, 0, pose, true);  // every root in its place, as drawn
    skinMatrices(view.bind, pose, pose.positions, view.skinCurrent);
    skinMesh(view.reference, view.skinCurrent, corners);
}

bool switchAnimation(MeshView& view, int step, Model& played, ClipClock& clock) {
    if (view.clips.empty()) return false;
    const size_t n = view.clips.size();
    view.shown = (view.shown + (step < 0 ? n - 1 : 1)) % n;
    played = view.clips[view.shown];
    showClipFrame(clock, played, 0);
    return true;
}

void cycleMeshShow(MeshView& view) {
    view.show = view.show == MeshShow::MeshAndSkeleton ? MeshShow::Mesh
                : view.show == MeshShow::Mesh          ? MeshShow::Skeleton
                                                       : MeshShow::MeshAndSkeleton;
}
