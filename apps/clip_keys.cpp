#include "apps/clip_keys.h"

#include "shell/shell.h"

const char* const kHelpLines[kHelpLineCount] = {
    "F1: Toggle Help",
    "A: Toggle Linear Interpolation",
    "W: Walking Animation",
    "S: Standing Animation",
    "R: Running Animation",
    "+/-: Increase/Decrease Tempo (Keypad +/-)",
    "Hold L Mouse Button: Rotate Left/Right",
    "Hold R Mouse Button: Zoom Forward/Back",
};

HelpText designHelp() {
    return HelpText{kHelpLines, kHelpLineCount};
}

void clipKey(const ClipPlayback& playback, uint32_t key) {
    ClipClock* clock = playback.clock;
    switch (key) {
        case vk::Escape:
            quitProgram();
            break;
        case 'A':
            if (clock) clock->interpolate = !clock->interpolate;
            break;
        case 'R':
            loadClip(playback, kRunFile);
            break;
        case 'S':
            loadClip(playback, kCharacterFile);
            if (clock) {
                clock->currentFrame = 0;
                clock->nextFrame = 0;
            }
            break;
        case 'W':
            loadClip(playback, kWalkFile);
            break;
        case vk::Add:
            if (clock) {
                clock->framePeriodMs -= kTempoStepMs;
                if (clock->framePeriodMs <= 0) clock->framePeriodMs = kMinFramePeriodMs;
            }
            break;
        case vk::Subtract:
            if (clock) clock->framePeriodMs += kTempoStepMs;  // no upper limit
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
    if (message == msg::KeyDown) {
        clipKey(playback, static_cast<uint32_t>(wParam));
        return 0;
    }
    return orbitProgramMessage(window, message, wParam, lParam);
}
