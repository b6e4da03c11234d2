#include "apps/articulated/articulated.h"

#include <algorithm>
#include <string>
#include "apps/articulated/viewer.h"
#include "apps/clip_keys.h"

#include "shell/camera_input.h"
#include "shell/mesh_draw.h"
#include "shell/program_loop.h"
#include "shell/scene.h"
#include "shell/shell.h"
#include "shell/skeleton_draw.h"

ArticulatedState articulated;

namespace {

ClipPlayback playback() {
    ClipPlayback p;
    p.clip = &articulated.currentClip;
    p.clock = &articulated.clock;
    p.maxDrawnBones = kArticulatedStripVertices - 1;
    return p;
}

void beforeDevice() {
    articulated.clock.currentFrame = 0;
    const RunOptions& o = runOptions();
    if (!o.file.empty()) {
        startViewer(o.file);
        // Files named on the command line are read before the device exists: a
        // mesh among them needs a depth buffer.
        loadMeshView(articulated.mesh, o.file, o.furtherFiles, playback().maxDrawnBones,
                     articulated.currentClip);
        if (!articulated.mesh.clipNames.empty()) viewer.shownName = articulated.mesh.clipNames[0];
        shell.depthBuffer = !articulated.mesh.reference.triangles.empty();
    }
    articulated.clock.framePeriodMs = startFramePeriodMs(kArticulatedFramePeriodMs);
}

HResult initScene() {
    // A file named on the command line is played instead of walk.smd, seen
    // whole from the default side (other tools' rigs come in any size).
    const std::string& file = runOptions().file;
    if (file.empty()) loadClip(playback(), kWalkFile);
    if (failed(createLineBuffer(articulated.strip, kArticulatedStripVertices))) return E_FAIL_;
    if (shell.depthBuffer && failed(createMeshBuffer())) return E_FAIL_;
    // The mesh, where there is one, is framed with the skeleton.
    std::vector<Vec3> corners;
    meshCornersAtStart(articulated.mesh, articulated.currentClip, corners);
    shell.camera = file.empty() ? OrbitCamera{kArticulatedEye, Vec3{0.0f, 0.0f, 0.0f}}
                                : fitCamera(articulated.currentClip, viewer.active, corners);
    return S_OK_;
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == msg::KeyDown) {
        const uint32_t key = static_cast<uint32_t>(wParam);
        if (viewerKey(key, articulated.clock, articulated.currentClip)) return 0;
        if (key == 'R') viewer.shownName = kRunFile;
        if (key == 'W') viewer.shownName = kWalkFile;
        if (key == 'S') viewer.shownName = kCharacterFile;
        // With files named: M shows mesh and skeleton, the mesh or the skeleton;
        // Page Down and Page Up play the next and the previous animation.
        if (viewer.active && key == 'M') {
            cycleMeshShow(articulated.mesh);
            return 0;
        }
        if (viewer.active && (key == vk::Next || key == vk::Prior)) {
            MeshView& mesh = articulated.mesh;
            if (switchAnimation(mesh, key == vk::Next ? 1 : -1, articulated.currentClip,
                                articulated.clock))
                viewer.shownName = mesh.clipNames[mesh.shown];
            return 0;
        }
    }
    return clipProgramMessage(playback(), window, message, wParam, lParam);
}

void step() {
    if (viewer.active)
        playClip(articulated.clock, articulated.currentClip, getTickCount, viewer.paused);
    else
        advanceClip(articulated.clock, articulated.currentClip, getTickCount);
}

// White strips from the joint up to the root's child, drawn root-relative.
HResult drawCharacter() {
    const Model& clip = articulated.currentClip;
    poseClip(clip, articulated.clock, kArticulatedStripVertices, articulated.pose, viewer.active);
    MeshView& mesh = articulated.mesh;
    if (meshDrawable(mesh, clip)) {
        // Lit from the camera's side, whichever way the camera has turned.
        const OrbitCamera& c = shell.camera;
        Vec3 light{0.0f, 0.0f, 1.0f};
        normalizeVec3(light, {c.eye.x - c.target.x, c.eye.y - c.target.y, c.eye.z - c.target.z});
        skinShownFrame(mesh, articulated.pose, articulated.clock, light);
        const HResult hr = drawMesh(mesh.vertices.data(), mesh.vertices.size() / 3);
        if (failed(hr)) return hr;
        if (mesh.show == MeshShow::Mesh) return S_OK_;
    }
    const StripStyle style{
        .vertices = kArticulatedStripVertices,
        .written = kArticulatedStripVertices,
        .segments = static_cast<uint32_t>(
            std::min<size_t>(clip.bones.size(), kArticulatedStripVertices - 1)),
        .lineColor = 0xFFFFFFFFu,
        .rootTails = viewer.active,
    };
    return drawSkeleton(clip.bones, articulated.pose.joints, articulated.pose.chains.data(), style,
                        articulated.strip, articulated.placed);
}

HResult drawStatus() {
    drawViewerStatus(articulated.currentClip, articulated.clock);
    return S_OK_;
}

bool clipPaused() {
    return viewer.paused;
}

void traceFrame(TraceLine& line) {
    traceClip(line, articulated.currentClip, articulated.clock);
}

}  // namespace

const ProgramSteps kArticulatedProgram = {
    .name = "articulated",
    .title = kArticulatedTitle,
    .fileArgument = "FILE.smd [ANIM.smd...]",
    .fileHelp =
        "With FILE.smd it plays that file instead of walk.smd at 30 frames per second\n"
        "(--fps N for another rate), every root in its place, the camera fitted to its\n"
        "first frame; Space pauses, Left/Right step while paused, Home goes to frame 0;\n"
        "W, R and S still load the clips of the working directory.\n"
        "With ANIM.smd files, FILE.smd is the reference (skeleton, bind pose, mesh) and\n"
        "each ANIM.smd an animation played on it, bones paired by name; Page Down and\n"
        "Page Up switch animations. A mesh is drawn shaded under the skeleton; M shows\n"
        "mesh and skeleton, the mesh alone or the skeleton alone.\n",
    .furtherFiles = true,
    .background = kArticulatedBackground,
    .windowProc = windowProc,
    .beforeDevice = beforeDevice,
    .initScene = initScene,
    .step = step,
    .drawCharacter = drawCharacter,
    .drawOnTop = drawStatus,
    .helpText = viewerHelp,
    .clipPaused = clipPaused,
    .playsClips = true,
    .traceFrame = traceFrame,
};

void resetArticulated() {
    articulated = ArticulatedState{};
    viewer = ViewerState{};
    resetShell();
}
