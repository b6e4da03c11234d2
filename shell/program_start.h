// The start-up and shut-down steps the three programs share. Each program's
// WinMain keeps its own order: open the window, its own state, the device, its
// scene, the polling loop, then endRun.
#pragma once

#include <cstdint>

#include "shell/run_options.h"
#include "shell/services.h"

// Everything before WinMain: the options, the data directory (--data), the
// trace file, then the backend's run configuration. Returns true to go on;
// otherwise `exitStatus` is what main returns: 0 after --help or --version, 2
// after a problem, already printed on stderr as "PROGRAM: ...".
bool prepareRun(int argc, char** argv, const char* program, const char* title, RunOptions& options,
                int& exitStatus);

// Says on stderr why start-up failed: "PROGRAM: what".
void reportStartupFailure(const char* program, const char* what);

// Registers the window class and creates the program's window into
// shell.window (the offscreen surface when headless). When creation fails it
// says why, suggesting --headless when there is no display, and
// shell.window stays null. False only when the class cannot be registered.
bool openProgramWindow(const char* program, const char* title, WindowProc proc, int left, int top,
                       int width, int height, const RunOptions& options);

// Creates the device for shell.window; on failure says why and returns false.
bool startDevice(const char* program);

// One turn of the polling loop: handles the waiting message and returns true,
// or returns false when none waits (time to draw a frame).
bool handleMessage(Message& m);

// Releases the device, closes the trace and unregisters the window class;
// returns `status` for WinMain to return.
int endRun(const char* title, int status);
