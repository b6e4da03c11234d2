// The keys of the programs that play clips (articulated, pathmove), the clip
// files they load and the help text that lists them.
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

#include "shell/clip_playback.h"
#include "shell/program_loop.h"
#include "shell/services.h"

// The character's files, read from the working directory.
constexpr const char* kWalkFile = "walk.smd";
constexpr const char* kRunFile = "run.smd";
constexpr const char* kCharacterFile = "barney.smd";  // skeleton, bind pose, mesh

// Tempo keys change the frame period by this many ms; it never goes below
// kMinFramePeriodMs.
constexpr double kTempoStepMs = 5.0;
constexpr double kMinFramePeriodMs = 1.0;

// The help text of the three programs (the same eight lines; ikreach never shows it).
constexpr int kHelpLineCount = 8;
extern const char* const kHelpLines[kHelpLineCount];
HelpText designHelp();

// Handles one key (virtual-key code); unknown keys do nothing.
void clipKey(const ClipPlayback& playback, uint32_t key);

// The window procedure of a clip-playing program: its keys, then what every
// program with an orbit camera handles (shell/clip_playback.h).
intptr_t clipProgramMessage(const ClipPlayback& playback, Window* window, uint32_t message,
                            uintptr_t wParam, intptr_t lParam);
