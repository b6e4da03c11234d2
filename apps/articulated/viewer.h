// The viewer mode of articulated: `articulated FILE.smd` shows a person's own
// file as it is meant to be seen. Only there (never without a file argument):
//   - the clip plays at its authored rate, 30 frames per second unless --fps
//     says otherwise, on a clock that keeps the rate however the frames fall
//     (model/pose.h playClip); keypad + and - still step the period by 5 ms;
//   - every root stands at its own place relative to the first root (which
//     stays at the origin) and its chains hang from it;
//   - the camera is fitted to the first frame from the side that shows it widest;
//   - Space pauses and resumes, Left and Right step one frame back and forth
//     while paused (wrapping), Home goes to frame 0 (paused or not);
//   - a status line at the foot of the window names the file and shows
//     "frame N / M", the rate and "paused";
//   - F1's help lists these keys after the eight lines of the programs' help.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/pose.h"
#include "shell/program_loop.h"
#include "shell/services.h"

// The authored rate of SMD clips, frames per second.
constexpr double kViewerClipFps = 30.0;
// The status line: left edge, and its top's distance above the client area's
// foot (435 in a 461-pixel client), in client pixels; white like the other
// overlay text. It stays at the foot of a resized window.
constexpr int kStatusLeft = 10;
constexpr int kStatusAboveFoot = 26;

struct ViewerState {
    bool active = false;  // a file was named on the command line
    bool paused = false;
    std::string shownName;  // the played clip's file name, as the status line shows it
    // The help text in viewer mode: the programs' lines, then the viewer's keys.
    std::vector<const char*> helpLines;
    std::string status;  // the status line last drawn
};

extern ViewerState viewer;

// Enters viewer mode for `file` (its path as named): the help lines and the
// shown name. The caller loads the file and fits the camera.
void startViewer(const std::string& file);

// The frame period the clip starts with: 1000 / --fps when given, else the
// viewer's 30 fps in viewer mode, else `designPeriodMs`.
double startFramePeriodMs(double designPeriodMs);

// A viewer key (Space, Left, Right, Home) applied to the clock of `played`;
// false for any other key, and for every key outside viewer mode.
bool viewerKey(uint32_t key, ClipClock& clock, const Model& played);

// The status line's text for the played clip: "NAME   frame N / M   R fps" and
// "   paused" while paused.
std::string viewerStatusText(const Model& played, const ClipClock& clock);

// Draws the status line (nothing outside viewer mode).
void drawViewerStatus(const Model& played, const ClipClock& clock);

// The help text: the programs' eight lines, then in viewer mode its keys.
HelpText viewerHelp();
