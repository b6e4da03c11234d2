#include "apps/ikreach/ikreach.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "model/smd.h"
#include "shell/camera_input.h"
#include "shell/data_folder.h"
#include "shell/frame_timing.h"
#include "shell/load_report.h"
#include "shell/program_loop.h"
#include "shell/scene.h"
#include "shell/shell.h"
#include "shell/skeleton_draw.h"

IkreachState ikreach;

namespace {

// Loads the character into `model`; the report of the first load is printed
// (every later load reads the same file).
void loadCharacter(Model& model, bool report) {
    const std::string path = dataFilePath(kIkreachCharacterFile);
    const SmdLoadResult result = loadSmd(model, path.c_str());
    if (report) {
        printLoadReportOnce(describeLoad(path.c_str(), result, model, kIkreachWrittenVertices - 1));
        shell.loadProblem = windowLoadProblem(path.c_str(), result, model);
    }
}

// The skeleton from the set the reach state selects: one black strip per bone
// from the bone up to its root, with green dots at the joints. A world-space set
// is drawn as it is, bone 0 at the ground place; the rest pose is placed like
// the character, bone 0 at its origin. The tail takes the root's place.
HResult drawReachSkeleton() {
    const ReachSource source = chooseReachSource(ikreach.scene, ikreach.sets, getTickCount());
    const Model& set = reachSourceSet(ikreach.sets, source);
    ikreach.joints.resize(jointCount(set));
    for (size_t b = 0; b < ikreach.joints.size(); ++b)
        ikreach.joints[b] = jointPosition(set, static_cast<int32_t>(b));

    const PathState& path = ikreach.path;
    const StripPlacement placement{path.characterScale, path.headingMatrix, path.groundPosition.x,
                                   path.groundPosition.y};
    const bool world = source != ReachSource::Work;
    const std::vector<Bone>& bones = ikreach.poseModel.bones;
    const StripStyle style{
        .vertices = kIkreachStripVertices,
        .written = kIkreachWrittenVertices,
        .segments =
            static_cast<uint32_t>(std::min<size_t>(bones.size(), kIkreachWrittenVertices - 1)),
        .lineColor = kSkeletonLineColor,
        .withRoot = true,
        .base = world ? Vec3{path.groundPosition.x, path.groundPosition.y, 0.0f} : Vec3{},
        .tailKeepsColors = world,
        .jointDots = true,
        .jointColor = kSkeletonJointColor,
        .placement = world ? nullptr : &placement,
    };
    size_t filled = 0;
    const HResult hr =
        drawSkeleton(bones, ikreach.joints, nullptr, style, ikreach.strip, ikreach.placed, &filled);
    ikreach.effectorDrawn = filled > static_cast<size_t>(effectorBone) &&
                            ikreach.placed.joints.size() > static_cast<size_t>(effectorBone);
    if (ikreach.effectorDrawn) ikreach.drawnEffector = ikreach.placed.joints[effectorBone];
    return hr;
}

// The walk's path as a white line (no sample dots) at reachPathHeight.
HResult drawReachPath() {
    PathState& path = ikreach.path;
    if (path.pathVertexCount < 2) return S_OK_;
    setPathDotColor(path, 0xFFFFFFFFu);
    return drawVertices(path.pathVertices, static_cast<uint32_t>(path.pathVertexCount),
                        PrimitiveType::LineStrip, static_cast<uint32_t>(path.pathVertexCount - 1));
}

// Turns the marker points about the world z axis by kMarkerSpin.
void spinTargetMarker() {
    const Matrix4 spin = matrixRotationZ(kMarkerSpin);
    for (LineVertex& v : ikreach.targetMarker) {
        const Vec3 p = vec3TransformCoord({v.x, v.y, v.z}, spin);
        v = {p.x, p.y, p.z, v.color};
    }
}

// The marker triangle at the target: each point plus the target, in its colour.
HResult drawTargetMarker() {
    const Vec3& t = ikreach.scene.reachTarget;
    LineVertex marker[3];
    for (int i = 0; i < 3; ++i) {
        const LineVertex& m = ikreach.targetMarker[i];
        marker[i] = {m.x + t.x, m.y + t.y, m.z + t.z, m.color};
    }
    return drawVertices(marker, 3, PrimitiveType::TriangleList, 1);
}

void beforeDevice() {
    ikreach.scene.reachStartMs = static_cast<double>(getTickCount());
}

HResult initScene() {
    PathState& path = ikreach.path;
    path.characterScale = matrixScaling(1.0f, 1.0f, 1.0f);
    path.headingMatrix = matrixIdentity();
    path.pathHeight = reachPathHeight;

    loadCharacter(ikreach.sets.restPositions, true);
    loadCharacter(ikreach.sets.blendPositions, false);
    loadCharacter(ikreach.sets.reachPositions, false);
    ikreach.targetMarker[0] = {-2.0f, 0.0f, -2.0f, 0xFFFF0000u};
    ikreach.targetMarker[1] = {2.0f, 0.0f, -2.0f, 0xFF00FF00u};
    ikreach.targetMarker[2] = {0.0f, 0.0f, 2.0f, 0xFF0000FFu};
    loadCharacter(ikreach.poseModel, false);
    loadCharacter(ikreach.sets.workPositions, false);
    if (!ikreach.poseModel.bones.empty() && !reachChainUsable(ikreach.poseModel))
        std::fprintf(stderr,
                     "ikreach: %s has no right arm ending in bone %d below bones 20, 19 and 17; "
                     "the character walks but does not bend\n",
                     kIkreachCharacterFile, effectorBone);

    initRestPositions(ikreach.poseModel, ikreach.sets);

    planReachPath(path, ikreach.scene.reachTarget);
    samplePath(path);
    buildArcTable(path);

    if (failed(createLineBuffer(ikreach.strip, kIkreachStripVertices))) return E_FAIL_;

    shell.camera = OrbitCamera{kIkreachEye, Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.0f, 0.0f, 1.0f}};

    ikreach.scene.reachTarget = Vec3{0.0f, -50.0f, 20.0f};
    path.groundPosition = Point2{0.0f, 0.0f};
    return S_OK_;
}

// Arrows move the target across (Right, Left) and away from or towards the
// viewer (Up, Down), Page Up and Page Down raise and lower it.
void targetKey(uint32_t key) {
    switch (key) {
        case vk::Up:
        case vk::Down:
            nudgeTarget(ikreach.scene, TargetAxis::X, key == vk::Up);
            break;
        case vk::Right:
        case vk::Left:
            nudgeTarget(ikreach.scene, TargetAxis::Y, key == vk::Right);
            break;
        case vk::Prior:
        case vk::Next:
            nudgeTarget(ikreach.scene, TargetAxis::Z, key == vk::Prior);
            break;
        default:
            break;
    }
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case msg::KeyDown:
            if (wParam == vk::Return) {
                startReach(ikreach.scene, ikreach.sets, getTickCount());
            } else if (wParam == vk::Escape) {
                releaseDevice();
                postQuitMessage(0);
            } else {
                targetKey(static_cast<uint32_t>(wParam));
            }
            return 0;
        case msg::Destroy:
            releaseDevice();
            postQuitMessage(0);
            return 0;
        case msg::MouseMove:  // the camera is fixed
            return 0;
        default:
            return defWindowProc(window, message, wParam, lParam);
    }
}

void step() {
    updateReach(ikreach.scene, ikreach.path, ikreach.poseModel, ikreach.sets, getTickCount);
}

// The marker turns by a fixed angle on every drawn frame, with the transforms.
HResult drawCharacter() {
    spinTargetMarker();
    return drawReachSkeleton();
}

HResult drawOnTop() {
    const HResult hr = drawReachPath();
    return failed(hr) ? hr : drawTargetMarker();
}

void traceFrame(TraceLine& line) {
    const PathState& path = ikreach.path;
    traceBeginObject(line, "path");
    if (ikreach.scene.reachStepped)
        traceNumber(line, "fraction", ikreach.scene.reachFraction);
    else
        traceNull(line, "fraction");
    traceInteger(line, "phase", path.movePhase);
    const double ground[2] = {path.groundPosition.x, path.groundPosition.y};
    traceArray(line, "ground", ground, 2);
    traceNumber(line, "heading", headingOfMatrix(path.headingMatrix));
    traceEndObject(line);

    const ReachScene& scene = ikreach.scene;
    traceBeginObject(line, "reach");
    traceBool(line, "active", scene.reachActive);
    traceBool(line, "done", scene.reachDone);
    traceBool(line, "finished", scene.reachFinished);
    traceVec3(line, "target", scene.reachTarget);
    if (ikreach.effectorDrawn)
        traceVec3(line, "effector", ikreach.drawnEffector);
    else
        traceNull(line, "effector");
    traceEndObject(line);
}

}  // namespace

const ProgramSteps kIkreachProgram = {
    .name = "ikreach",
    .title = kIkreachTitle,
    .background = kIkreachBackground,
    .windowProc = windowProc,
    .beforeDevice = beforeDevice,
    .initScene = initScene,
    .step = step,
    .drawCharacter = drawCharacter,
    .drawOnTop = drawOnTop,
    .traceFrame = traceFrame,
};

void resetIkreach() {
    ikreach = IkreachState{};
    resetShell();
}
