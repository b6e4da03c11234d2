#include "apps/ikreach/ikreach.h"

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

IkreachState ikreach;

namespace {

// Loads the character into `model`; the report of the first load is printed
// (every later load reads the same file).
void loadCharacter(Model& model, bool report) {
    const std::string path = dataFilePath(kIkreachCharacterFile);
    const SmdLoadResult result = loadSmd(model, path.c_str());
    if (report)
        printLoadReportOnce(describeLoad(path.c_str(), result, model, reachStripMaxSegments));
}

// The skeleton: one black strip per bone from the set the reach state selects,
// with green dots at the joints. Returns the first failed draw.
HResult drawReachStrips(StripMemo& memo) {
    const Model& bones = ikreach.poseModel;
    const uint32_t segments = reachStripSegments(bones);
    FrameReachSource chosen;  // this frame's blend
    for (size_t i = 0; i < bones.bones.size(); ++i) {
        const ReachSource source =
            chooseFrameReachSource(ikreach.scene, ikreach.sets, getTickCount(), chosen);
        buildReachStrip(ikreach.strip, bones, reachSourceSet(ikreach.sets, source), source,
                        static_cast<int32_t>(i), ikreach.path, &memo);
        if (i == static_cast<size_t>(effectorBone)) {
            ikreach.drawnEffector = {ikreach.strip[0].x, ikreach.strip[0].y, ikreach.strip[0].z};
            ikreach.effectorDrawn = true;
        }
        HResult hr =
            drawVertices(ikreach.strip, reachStripSize, PrimitiveType::LineStrip, segments);
        if (failed(hr)) return hr;
        colourJointPoints(ikreach.strip, ikreach.dots, memo);
        hr = drawVertices(ikreach.dots, reachStripSize, PrimitiveType::PointList,
                          static_cast<uint32_t>(reachStripWritten));
        if (failed(hr)) return hr;
    }
    return S_OK_;
}

HResult drawReachSkeleton() {
    ikreach.effectorDrawn = false;
    StripMemo memo;  // this frame's strips
    const HResult hr = drawReachStrips(memo);
    // The strip is left as colouring it in place would leave it.
    finishJointColours(ikreach.strip, memo);
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

HResult drawTargetMarker() {
    LineVertex marker[3];
    buildTargetMarker(ikreach.scene, marker);
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
    ikreach.scene.targetMarker[0] = {-2.0f, 0.0f, -2.0f, 0xFFFF0000u};
    ikreach.scene.targetMarker[1] = {2.0f, 0.0f, -2.0f, 0xFF00FF00u};
    ikreach.scene.targetMarker[2] = {0.0f, 0.0f, 2.0f, 0xFF0000FFu};
    loadCharacter(ikreach.poseModel, false);
    loadCharacter(ikreach.sets.workPositions, false);
    if (!ikreach.poseModel.bones.empty() && !reachChainUsable(ikreach.poseModel))
        std::fprintf(stderr,
                     "ikreach: %s has no right arm ending in bone %d below bones 20, 19 and 17; "
                     "the character walks but does not bend\n",
                     kIkreachCharacterFile, effectorBone);

    initRestPositions(ikreach.poseModel, ikreach.sets, ikreach.strip, reachStripSize,
                      ikreach.scratch);

    planReachPath(path, ikreach.scene.reachTarget);
    samplePath(path);
    buildArcTable(path);

    if (failed(createLineBuffer(ikreach.strip, reachStripSize))) return E_FAIL_;

    shell.camera = OrbitCamera{kIkreachEye, Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.0f, 0.0f, 1.0f}};

    ikreach.scene.reachTarget = Vec3{0.0f, -50.0f, 20.0f};
    path.groundPosition = Point2{0.0f, 0.0f};
    return S_OK_;
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
                nudgeTarget(ikreach.scene, static_cast<uint32_t>(wParam));
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
    spinTargetMarker(ikreach.scene);
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
