// The mechanics of the programs that play clips (articulated, pathmove): loading
// a clip file into the played model, and the window messages that are the
// same in every program with an orbit camera (destroy, mouse buttons and moves).
// Which keys do what, and which files they load, belong to the programs
// (apps/clip_keys.h).
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

// Destroy (release the device, quit), mouse buttons and moves (the orbit
// camera's drags). Returns 0 for what it handles itself, else defWindowProc's
// result; key presses are the program's and go to defWindowProc here.
intptr_t orbitProgramMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Escape: release the Direct3D objects and quit (exit code 0).
void quitProgram();
