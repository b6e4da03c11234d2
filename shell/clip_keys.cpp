#include "shell/clip_keys.h"

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

void clipKey(const ClipPlayback& playback, uint32_t key) {
    ClipClock* clock = playback.clock;
    switch (key) {
        case vk::Escape:
            releaseDevice();
            postQuitMessage(0);
            break;
        case 'A':
            if (clock) clock->interpolate = !clock->interpolate;
            break;
        case 'R':
            loadClip(playback, "run.smd");
            break;
        case 'S':
            loadClip(playback, "barney.smd");
            if (clock) {
                clock->currentFrame = 0;
                clock->nextFrame = 0;
            }
            break;
        case 'W':
            loadClip(playback, "walk.smd");
            break;
        case vk::Add:
            if (clock) {
                clock->framePeriodMs -= kTempoStepMs;
                if (clock->framePeriodMs <= 0) clock->framePeriodMs = 1;
            }
            break;
        case vk::Subtract:
            // No upper limit by design; saturate instead of overflowing.
            if (clock && clock->framePeriodMs <= INT32_MAX - kTempoStepMs) {
                clock->framePeriodMs += kTempoStepMs;
            }
            break;
        case vk::F1:
            shell.helpVisible = !shell.helpVisible;
            break;
        default:
            break;
    }
}

intptr_t clipProgramMessage(const ClipPlayback& playback, Window* window, uint32_t message,
                            uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case msg::KeyDown:
            clipKey(playback, static_cast<uint32_t>(wParam));
            return 0;
        case msg::Destroy:
            releaseDevice();
            postQuitMessage(0);
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
