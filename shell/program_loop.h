// The start-up, polling loop, frame and shut-down every program shares. A
// program describes only what is its own in a ProgramSteps record; the shell
// runs them in the same order for all three:
//
//   start-up  options, --data, trace; window; beforeDevice; device; initScene;
//             show the window
//   loop      every waiting message to the window procedure, then, unless the
//             window shows nothing (then wait for the next message), one frame:
//             confine or free the cursor, count the frame, step, then
//             clear, transforms, the help lines or drawCharacter, drawOnTop,
//             the frame-rate text, present; and the frame's trace line
//   shut-down release the device, close the trace, unregister the class
//
// A host that owns the loop (a browser's animation frames) calls startProgram
// once, loopIteration once per turn, and finishProgram when it returns false;
// runProgram does all three for a native main().
#pragma once

#include <cstdint>

#include "shell/run_options.h"
#include "shell/services.h"
#include "shell/trace.h"

// Outer window rectangle of every program, in screen pixels.
constexpr int kWindowLeft = 100, kWindowTop = 100, kWindowWidth = 500, kWindowHeight = 500;

// Lines of the help text (F1), in the order drawn.
struct HelpText {
    const char* const* lines = nullptr;
    int count = 0;
};

struct ProgramSteps {
    const char* name = "";   // stderr prefix, --help
    const char* title = "";  // window title and class name
    // The one positional argument the program takes, as --help names it and
    // says what it does (shell/run_options.h), or null: none.
    const char* fileArgument = nullptr;
    const char* fileHelp = nullptr;
    bool furtherFiles = false;  // more files may follow the first (RunOptions::furtherFiles)
    uint32_t background = 0;    // ARGB of the cleared frame
    WindowProc windowProc = nullptr;
    // Program state the start-up sets before the device exists (frame indices,
    // the first pass or walk tick). May be null.
    void (*beforeDevice)() = nullptr;
    // Loads, tables, lineBuffer, camera. A negative result ends the start-up;
    // shell.startupError (or stderr) says why.
    HResult (*initScene)() = nullptr;
    // The frame's timed work before drawing (path pass, reach, clip clock). May be null.
    void (*step)() = nullptr;
    // The character, unless the help text is shown. A failed draw (a lock of
    // lineBuffer) ends the frame's drawing.
    HResult (*drawCharacter)() = nullptr;
    // What is drawn over the character or the help text (path, marker). May be null.
    HResult (*drawOnTop)() = nullptr;
    // The help text the frame shows while help is on. May be null (no text).
    HelpText (*helpText)() = nullptr;
    // Whether the played clip is paused (the trace's "paused"). May be null: never.
    bool (*clipPaused)() = nullptr;
    // Whether the program plays clips (--fps applies to it).
    bool playsClips = false;
    // The program's own fields of the frame's trace line. May be null.
    void (*traceFrame)(TraceLine& line) = nullptr;
};

// The whole run: start-up, the loop until the quit message, shut-down. Returns
// the exit status: 0 after Escape or the window's close, 1 when start-up failed
// or the run could not do what an option asked (a capture not written), 2 for
// bad options; the reason is on stderr.
int runProgram(const ProgramSteps& steps, int argc, char** argv);

// Start-up. False when the run is already over (--help, bad options, a failed
// start-up): `exitStatus` is then what the process returns.
bool startProgram(const ProgramSteps& steps, int argc, char** argv, int& exitStatus);
// One turn of the loop: every waiting message, then at most one frame (none,
// after a wait for the next message, while the window is minimised). False
// once the quit message has been taken (call finishProgram then).
bool loopIteration();
// Shut-down; returns the exit status.
int finishProgram();

// The options of the run in progress (as parsed at start-up).
const RunOptions& runOptions();

// One frame as the loop draws it (benchmarks drive frames directly).
void programFrame();
