#include "apps/articulated/articulated.h"

#include "shell/clip_keys.h"
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

SkeletonStrips strips() {
    SkeletonStrips s;
    s.arrays =
        StripArrays{articulated.strip, kArticulatedStripVertices, articulated.currentPositions,
                    articulated.nextPositions, kArticulatedStripVertices};
    s.scratch = &articulated.scratch;
    return s;
}

void beforeDevice() {
    articulated.clock.currentFrame = 0;
}

HResult initScene() {
    loadClip(playback(), "walk.smd");
    if (failed(createLineBuffer(articulated.strip, kArticulatedStripVertices))) return E_FAIL_;
    shell.camera = OrbitCamera{kArticulatedEye, Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.0f, 0.0f, 1.0f}};
    return S_OK_;
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return clipProgramMessage(playback(), window, message, wParam, lParam);
}

void step() {
    advanceClip(articulated.clock, articulated.currentClip, getTickCount);
}

HResult drawCharacter() {
    return drawClipSkeleton(articulated.currentClip, articulated.clock, strips());
}

void traceFrame(TraceLine& line) {
    traceClip(line, articulated.currentClip, articulated.clock);
}

}  // namespace

const ProgramSteps kArticulatedProgram = {
    .name = "articulated",
    .title = kArticulatedTitle,
    .background = kArticulatedBackground,
    .windowProc = windowProc,
    .beforeDevice = beforeDevice,
    .initScene = initScene,
    .step = step,
    .drawCharacter = drawCharacter,
    .traceFrame = traceFrame,
};

void resetArticulated() {
    articulated = ArticulatedState{};
    resetShell();
}
