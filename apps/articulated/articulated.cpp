#include "apps/articulated/articulated.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/clip_keys.h"
#include "shell/frame_timing.h"
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

void startupFailure(const char* what) {
    std::fprintf(stderr, "articulated: %s\n", what);
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
    if (!registerWindowClass(kArticulatedTitle, windowProc)) {
        startupFailure("cannot register the window class");
        return 1;
    }
    shell.window = createWindow(kArticulatedTitle, kArticulatedTitle, kWindowLeft, kWindowTop,
                                kWindowWidth, kWindowHeight);
    int status = 1;
    if (shell.window == nullptr) {
        if (articulated.options.headless) {
            startupFailure("cannot create the offscreen surface");
        } else {
            std::string command = "articulated --headless";
            if (!articulated.options.dataDir.empty()) {
                command += " --data " + articulated.options.dataDir;
            }
            const std::string reason =
                "cannot open a window (no display?); to draw offscreen instead, run: " + command;
            startupFailure(reason.c_str());
        }
    } else {
        articulated.clock.currentFrame = 0;
        if (failed(initDevice(shell.window))) {
            startupFailure(shell.startupError.c_str());
        } else if (failed(initScene())) {
            startupFailure(shell.startupError.c_str());
            releaseDevice();
        } else {
            status = 0;
        }
    }
    if (status == 0) {
        showWindow(shell.window);
        updateWindow(shell.window);
        Message m{};
        while (m.message != msg::Quit) {
            if (peekMessage(m)) {
                translateMessage(m);
                dispatchMessage(m);
            } else {
                articulatedFrame();
            }
        }
    }
    releaseDevice();
    closeTrace();
    unregisterWindowClass(kArticulatedTitle);
    return status;
}

int articulatedMain(int argc, char** argv) {
    RunOptions options;
    switch (parseRunOptions(argc, argv, "articulated", kArticulatedTitle, options)) {
        case OptionsOutcome::ExitSuccess:
            return 0;
        case OptionsOutcome::ExitFailure:
            return 2;
        case OptionsOutcome::Run:
            break;
    }
    if (!options.dataDir.empty()) {
        std::error_code ec;
        std::filesystem::current_path(options.dataDir, ec);
        if (ec) {
            std::fprintf(stderr, "articulated: cannot change to the data directory '%s': %s\n",
                         options.dataDir.c_str(), ec.message().c_str());
            return 2;
        }
    }
    if (!options.traceFile.empty()) {
        std::string error;
        if (!openTrace(options.traceFile, error)) {
            std::fprintf(stderr, "articulated: %s\n", error.c_str());
            return 2;
        }
    }
    articulated.options = options;
    configureRun(options);
    return articulatedWinMain();
}
