// Keys and window messages of the programs that play clips (articulated,
// pathmove): clip choice, tempo, interpolation, help, quitting, and the mouse
// drags of the orbit camera.
//
//   Escape      release the Direct3D objects and quit (exit code 0)
//   A           interpolation on/off
//   R / W       play "run.smd" / "walk.smd" (frame indices kept)
//   S           show "barney.smd" (the standing pose), frame indices back to 0
//   keypad +    framePeriodMs - 5, never below 1 (faster)
//   keypad -    framePeriodMs + 5, no upper limit (slower)
//   F1          help on/off
// The + and - keys of the main keyboard do nothing.
#pragma once

#include <cstdint>

#include "model/model.h"
#include "model/pose.h"
#include "shell/services.h"

// The clip a program plays and how many bones its strips can draw in full.
struct ClipPlayback {
    Model* clip = nullptr;
    ClipClock* clock = nullptr;
    uint32_t maxDrawnBones = 0;  // segments of a bone's line: deeper chains are cut (noted)
};

// Loads `fileName` into the clip (what the reader keeps on failure stays) and
// prints the load's report (shell/load_report.h) unless this run printed it. Clock
// indices beyond the loaded clip wrap at once: the current frame to 0, the next
// to the frame after it (both 0 for a clip without frames).
void loadClip(const ClipPlayback& playback, const char* fileName);

// Handles one key (virtual-key code); unknown keys do nothing.
void clipKey(const ClipPlayback& playback, uint32_t key);

// The window procedure of a clip-playing program: keys, destroy, mouse buttons
// and moves. Returns 0 for what it handles itself, else defWindowProc's result.
intptr_t clipProgramMessage(const ClipPlayback& playback, Window* window, uint32_t message,
                            uintptr_t wParam, intptr_t lParam);

constexpr int32_t kTempoStepMs = 5;
