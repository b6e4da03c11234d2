#include "apps/pathmove/pathmove.h"

#include <algorithm>
#include <string>
#include "apps/clip_keys.h"

#include "shell/frame_timing.h"
#include "shell/program_loop.h"
#include "shell/scene.h"
#include "shell/shell.h"
#include "shell/skeleton_draw.h"

PathmoveState pathmove;

namespace {

ClipPlayback playback() {
    ClipPlayback p;
    p.clip = &pathmove.currentClip;
    p.clock = &pathmove.clock;
    p.maxDrawnBones = kPathmovePlacedVertices - 1;
    return p;
}

// The clip of each movement phase.
const char* clipOfPhase(int32_t phase) {
    return phase == kPhaseCruising ? kRunFile : kWalkFile;
}

void beforeDevice() {
    // The first pass starts with the program, not at tick 0.
    pathmove.pathStartMs = getTickCount();
    if (runOptions().clipFps != 0) pathmove.clock.framePeriodMs = 1000.0 / runOptions().clipFps;
}

HResult initScene() {
    PathState& path = pathmove.path;
    path.characterScale = matrixScaling(kCharacterScale, kCharacterScale, kCharacterScale);
    loadClip(playback(), kWalkFile);
    path.controlPoints.assign(std::begin(kTravelControlPoints), std::end(kTravelControlPoints));
    path.pathHeight = kPathHeight;
    samplePath(path);
    buildArcTable(path);
    if (failed(createLineBuffer(pathmove.strip, kPathmoveStripVertices))) return E_FAIL_;
    shell.camera = OrbitCamera{kPathmoveEye, Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.0f, 0.0f, 1.0f}};
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

void step() {
    stepPathPass();
    advanceClip(pathmove.clock, pathmove.currentClip, getTickCount);
}

// White strips from the joint up to the root's child, placed on the path.
HResult drawCharacter() {
    const Model& clip = pathmove.currentClip;
    poseClip(clip, pathmove.clock, kPathmoveFrameVertices, pathmove.pose);
    const StripStyle style{
        .vertices = kPathmoveStripVertices,
        .written = kPathmovePlacedVertices,
        .segments =
            static_cast<uint32_t>(std::min<size_t>(clip.bones.size(), kPathmovePlacedVertices - 1)),
        .lineColor = 0xFFFFFFFFu,
        .placement = &pathmove.placement,
    };
    return drawSkeleton(clip.bones, pathmove.pose.joints, pathmove.pose.chains.data(), style,
                        pathmove.strip, pathmove.placed);
}

void traceFrame(TraceLine& line) {
    const PathState& path = pathmove.path;
    traceClip(line, pathmove.currentClip, pathmove.clock);
    traceBeginObject(line, "path");
    traceNumber(line, "fraction", pathmove.pathFraction);
    traceInteger(line, "phase", path.movePhase);
    const double ground[2] = {path.groundPosition.x, path.groundPosition.y};
    traceArray(line, "ground", ground, 2);
    traceNumber(line, "heading", headingOfMatrix(path.headingMatrix));
    traceEndObject(line);
}

}  // namespace

const ProgramSteps kPathmoveProgram = {
    .name = "pathmove",
    .title = kPathmoveTitle,
    .background = kPathmoveBackground,
    .windowProc = windowProc,
    .beforeDevice = beforeDevice,
    .initScene = initScene,
    .step = step,
    .drawCharacter = drawCharacter,
    .drawOnTop = drawPath,
    .helpText = designHelp,
    .playsClips = true,
    .traceFrame = traceFrame,
};

void resetPathmove() {
    pathmove = PathmoveState{};
    resetShell();
}
