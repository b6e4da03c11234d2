#include "apps/pathmove/pathmove.h"

#include <algorithm>
#include <string>

#include "shell/clip_keys.h"
#include "shell/frame_timing.h"
#include "shell/program_start.h"
#include "shell/scene.h"
#include "shell/shell.h"

PathmoveState pathmove;

namespace {

ClipPlayback playback() {
    ClipPlayback p;
    p.clip = &pathmove.currentClip;
    p.clock = &pathmove.clock;
    p.maxDrawnBones = kPathmovePlacedVertices - 1;
    return p;
}

SkeletonStrips strips() {
    SkeletonStrips s;
    s.arrays = StripArrays{pathmove.strip, kPathmoveStripVertices, pathmove.currentPositions,
                           pathmove.nextPositions, kPathmoveFrameVertices};
    s.scratch = &pathmove.scratch;
    s.placement = &pathmove.placement;
    s.placedVertices = kPathmovePlacedVertices;
    return s;
}

// The clip of each movement phase.
const char* clipOfPhase(int32_t phase) {
    return phase == kPhaseCruising ? "run.smd" : "walk.smd";
}

}  // namespace

void resetPathmove() {
    closeTrace();
    pathmove.currentClip = Model{};
    pathmove.clock = ClipClock{.framePeriodMs = kPathmoveFramePeriodMs};
    std::fill(std::begin(pathmove.strip), std::end(pathmove.strip), LineVertex{});
    std::fill(std::begin(pathmove.currentPositions), std::end(pathmove.currentPositions),
              LineVertex{});
    std::fill(std::begin(pathmove.nextPositions), std::end(pathmove.nextPositions), LineVertex{});
    pathmove.scratch = ChainScratch{};
    pathmove.path = PathState{};
    pathmove.placement = StripPlacement{};
    pathmove.pathStartMs = 0;
    pathmove.pathFraction = 0.0;
    pathmove.framesDrawn = 0;
    pathmove.traceLine = TraceLine{};
    pathmove.options = RunOptions{};
    resetShell();
}

HResult initScene() {
    PathState& path = pathmove.path;
    path.characterScale = matrixScaling(kCharacterScale, kCharacterScale, kCharacterScale);
    loadClip(playback(), "walk.smd");
    path.controlPoints.assign(std::begin(kTravelControlPoints), std::end(kTravelControlPoints));
    path.pathHeight = kPathHeight;
    samplePath(path);
    buildArcTable(path);
    if (failed(createLineBuffer(pathmove.strip, kPathmoveStripVertices))) return E_FAIL_;
    shell.camera.eye = kPathmoveEye;
    shell.camera.target = Vec3{0.0f, 0.0f, 0.0f};
    shell.camera.up = Vec3{0.0f, 0.0f, 1.0f};
    return S_OK_;
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return clipProgramMessage(playback(), window, message, wParam, lParam);
}

void stepPathPass() {
    const uint32_t now = getTickCount();
    uint32_t elapsed = now - pathmove.pathStartMs;
    if (static_cast<double>(elapsed) > kPathPeriodMs) {
        // The pass has run out (by any amount): the next one starts now.
        pathmove.pathStartMs = now;
        elapsed = 0;
    }
    pathmove.pathFraction = static_cast<double>(elapsed) / kPathPeriodMs;
    PathState& path = pathmove.path;
    if (stepAlongPath(path, pathmove.pathFraction)) {
        loadClip(playback(), clipOfPhase(path.movePhase));
    }
    pathmove.placement.scale = path.characterScale;
    pathmove.placement.heading = path.headingMatrix;
    pathmove.placement.px = path.groundPosition.x;
    pathmove.placement.py = path.groundPosition.y;
}

HResult drawPath() {
    PathState& path = pathmove.path;
    if (path.pathVertexCount < 2) return S_OK_;
    const uint32_t upload = kPathmoveStripVertices;
    const uint32_t primitives =
        static_cast<uint32_t>(std::min<size_t>(path.pathVertexCount, upload) - 1);
    setPathDotColor(path, kPathLineColor);
    HResult hr = drawVertices(path.pathVertices, upload, PrimitiveType::LineStrip, primitives);
    if (failed(hr)) return hr;
    setPathDotColor(path, kPathDotColor);
    return drawVertices(path.pathVertices, upload, PrimitiveType::PointList, primitives);
}

void drawPathmoveScene() {
    if (beginFrame(kPathmoveBackground)) {
        setupTransforms();
        bool drawing = true;
        if (shell.helpVisible) {
            drawHelpLines();
        } else {
            drawing = !failed(drawClipSkeleton(pathmove.currentClip, pathmove.clock, strips()));
        }
        if (drawing) drawing = !failed(drawPath());
        if (drawing) drawFpsText(shell.fps.shownFps);
    }
    endFrame();
}

void renderFrame() {
    drawPathmoveScene();
    presentFrame();
}

void pathmoveFrame() {
    // After Escape or the window's destruction nothing is left to draw with; the
    // quit message that follows ends the loop.
    if (shell.graphics.device == nullptr) return;
    const bool tracing = traceOpen();
    const double cpuStart = tracing ? threadCpuMicros() : 0.0;
    const uint32_t tick = getTickCount();
    confineCursor(shell.mouse);
    countFrame(shell.fps);
    stepPathPass();
    advanceClip(pathmove.clock, pathmove.currentClip, getTickCount);
    drawPathmoveScene();
    const double cpuUs = tracing ? threadCpuMicros() - cpuStart : 0.0;
    presentFrame();
    ++pathmove.framesDrawn;
    if (tracing) {
        const PathState& path = pathmove.path;
        TraceLine& line = pathmove.traceLine;
        traceBeginFrame(line, pathmove.framesDrawn, tick, shell.fps.shownFps, shell.helpVisible,
                        shell.camera.eye);
        traceClip(line, pathmove.currentClip, pathmove.clock);
        traceBeginObject(line, "path");
        traceNumber(line, "fraction", pathmove.pathFraction);
        traceInteger(line, "phase", path.movePhase);
        const double ground[2] = {path.groundPosition.x, path.groundPosition.y};
        traceArray(line, "ground", ground, 2);
        traceNumber(line, "heading", headingOfMatrix(path.headingMatrix));
        traceEndObject(line);
        traceEndFrame(line, cpuUs);
    }
}

int pathmoveWinMain() {
    if (!openProgramWindow("pathmove", kPathmoveTitle, windowProc, kPathmoveWindowLeft,
                           kPathmoveWindowTop, kPathmoveWindowWidth, kPathmoveWindowHeight,
                           pathmove.options))
        return 1;
    if (shell.window == nullptr) return endRun(kPathmoveTitle, 1);
    if (!startDevice("pathmove")) return endRun(kPathmoveTitle, 1);
    if (failed(initScene())) {
        reportStartupFailure("pathmove", shell.startupError.c_str());
        return endRun(kPathmoveTitle, 1);
    }
    showWindow(shell.window);
    updateWindow(shell.window);
    for (Message m{}; m.message != msg::Quit;)
        if (!handleMessage(m)) pathmoveFrame();
    return endRun(kPathmoveTitle, 0);
}

int pathmoveMain(int argc, char** argv) {
    RunOptions options;
    int exitStatus = 0;
    if (!prepareRun(argc, argv, "pathmove", kPathmoveTitle, options, exitStatus)) return exitStatus;
    pathmove.options = options;
    return pathmoveWinMain();
}
