#include "apps/articulated/articulated.h"

#include <string>

#include "shell/clip_keys.h"
#include "shell/frame_timing.h"
#include "shell/program_start.h"
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

}  // namespace

void resetArticulated() {
    closeTrace();
    articulated.currentClip = Model{};
    articulated.clock = ClipClock{};
    articulated.clock.framePeriodMs = kArticulatedFramePeriodMs;
    for (uint32_t i = 0; i < kArticulatedStripVertices; ++i) {
        articulated.strip[i] = LineVertex{};
        articulated.currentPositions[i] = LineVertex{};
        articulated.nextPositions[i] = LineVertex{};
    }
    articulated.scratch = ChainScratch{};
    articulated.framesDrawn = 0;
    articulated.traceLine = TraceLine{};
    articulated.options = RunOptions{};
    resetShell();
}

HResult initScene() {
    loadClip(playback(), "walk.smd");
    if (failed(createLineBuffer(articulated.strip, kArticulatedStripVertices))) return E_FAIL_;
    shell.camera.eye = kArticulatedEye;
    shell.camera.target = Vec3{0.0f, 0.0f, 0.0f};
    shell.camera.up = Vec3{0.0f, 0.0f, 1.0f};
    return S_OK_;
}

intptr_t windowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return clipProgramMessage(playback(), window, message, wParam, lParam);
}

void drawArticulatedScene() {
    if (beginFrame(kArticulatedBackground)) {
        setupTransforms();
        bool drawing = true;
        if (shell.helpVisible) {
            drawHelpLines();
        } else {
            drawing =
                !failed(drawClipSkeleton(articulated.currentClip, articulated.clock, strips()));
        }
        if (drawing) drawFpsText(shell.fps.shownFps);
    }
    endFrame();
}

void renderFrame() {
    drawArticulatedScene();
    presentFrame();
}

void articulatedFrame() {
    // After Escape or the window's destruction nothing is left to draw with; the
    // quit message that follows ends the loop.
    if (shell.graphics.device == nullptr) return;
    const bool tracing = traceOpen();
    const double cpuStart = tracing ? threadCpuMicros() : 0.0;
    const uint32_t tick = getTickCount();
    confineCursor(shell.mouse);
    countFrame(shell.fps);
    advanceClip(articulated.clock, articulated.currentClip, getTickCount);
    drawArticulatedScene();
    const double cpuUs = tracing ? threadCpuMicros() - cpuStart : 0.0;
    presentFrame();
    ++articulated.framesDrawn;
    if (tracing) {
        TraceLine& line = articulated.traceLine;
        traceBeginFrame(line, articulated.framesDrawn, tick, shell.fps.shownFps, shell.helpVisible,
                        shell.camera.eye);
        traceClip(line, articulated.currentClip, articulated.clock);
        traceEndFrame(line, cpuUs);
    }
}

int articulatedWinMain() {
    if (!openProgramWindow("articulated", kArticulatedTitle, windowProc, kWindowLeft, kWindowTop,
                           kWindowWidth, kWindowHeight, articulated.options))
        return 1;
    if (shell.window == nullptr) return endRun(kArticulatedTitle, 1);
    articulated.clock.currentFrame = 0;
    if (!startDevice("articulated")) return endRun(kArticulatedTitle, 1);
    if (failed(initScene())) {
        reportStartupFailure("articulated", shell.startupError.c_str());
        return endRun(kArticulatedTitle, 1);
    }
    showWindow(shell.window);
    updateWindow(shell.window);
    for (Message m{}; m.message != msg::Quit;)
        if (!handleMessage(m)) articulatedFrame();
    return endRun(kArticulatedTitle, 0);
}

int articulatedMain(int argc, char** argv) {
    RunOptions options;
    int exitStatus = 0;
    if (!prepareRun(argc, argv, "articulated", kArticulatedTitle, options, exitStatus))
        return exitStatus;
    articulated.options = options;
    return articulatedWinMain();
}
