#include "shell/clip_playback.h"

#include <string>

#include "model/smd.h"
#include "shell/data_folder.h"
#include "shell/load_report.h"
#include "shell/scene.h"
#include "shell/shell.h"

void loadClip(const ClipPlayback& playback, const char* fileName) {
    if (playback.clip == nullptr) return;
    const std::string path = dataFilePath(fileName);
    const SmdLoadResult result = loadSmd(*playback.clip, path.c_str());
    printLoadReportOnce(describeLoad(path.c_str(), result, *playback.clip, playback.maxDrawnBones));
    shell.loadProblem = windowLoadProblem(path.c_str(), result, *playback.clip);
    // A clip switch keeps the clock's indices; where they lie beyond the new
    // clip they wrap at once (as the next step would), so no index outside the
    // played clip is ever shown or traced.
    if (ClipClock* clock = playback.clock) {
        const int64_t frames = static_cast<int64_t>(playback.clip->frames.size());
        if (clock->currentFrame < 0 || clock->currentFrame >= frames || clock->nextFrame < 0 ||
            clock->nextFrame >= frames) {
            if (clock->currentFrame < 0 || clock->currentFrame >= frames) clock->currentFrame = 0;
            clock->nextFrame = clock->currentFrame + 1 < frames ? clock->currentFrame + 1 : 0;
        }
    }
}

void quitProgram() {
    releaseDevice();
    postQuitMessage(0);
}

intptr_t orbitProgramMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case msg::Destroy:
            quitProgram();
            return 0;
        case msg::MouseMove:
            mouseMove(shell.mouse, shell.camera, lParam);
            return 0;
        case msg::LButtonDown:
        case msg::LButtonUp:
        case msg::RButtonDown:
        case msg::RButtonUp:
            mouseButton(shell.mouse, window, message);
            break;
        default:
            break;
    }
    return defWindowProc(window, message, wParam, lParam);
}
