// Start-up of a program on the recording backend for the frame benchmarks: a
// fresh recording that keeps no calls (a frame then costs what the program does,
// not the bookkeeping of the record), the data folder as the working directory
// for the rest of the process (the programs read clips from it while running,
// not only at start-up), then the window class, the window, the device and the
// program's scene, in the order of the programs' own start-up. The caller resets
// its program's state first. Returns false when a step fails.
#pragma once

#include <filesystem>
#include <system_error>

#include "shell/recording/recording.h"
#include "shell/scene.h"
#include "shell/services.h"
#include "shell/shell.h"

inline bool startOnRecording(const char* dataDir, const char* title, WindowProc windowProc,
                             HResult (*initScene)()) {
    recording::reset();
    recording::controls().keepCalls = false;
    std::error_code ec;
    std::filesystem::current_path(dataDir, ec);
    if (ec || !registerWindowClass(title, windowProc)) return false;
    shell.window = createWindow(title, title, 100, 100, 500, 500);
    return shell.window != nullptr && !failed(initDevice(shell.window)) && !failed(initScene());
}
