#include "shell/program_start.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/scene.h"
#include "shell/shell.h"
#include "shell/trace.h"

bool prepareRun(int argc, char** argv, const char* program, const char* title, RunOptions& options,
                int& exitStatus) {
    switch (parseRunOptions(argc, argv, program, title, options)) {
        case OptionsOutcome::ExitSuccess:
            exitStatus = 0;
            return false;
        case OptionsOutcome::ExitFailure:
            exitStatus = 2;
            return false;
        case OptionsOutcome::Run:
            break;
    }
    exitStatus = 2;
    if (!options.dataDir.empty()) {
        std::error_code ec;
        std::filesystem::current_path(options.dataDir, ec);
        if (ec) {
            std::fprintf(stderr, "%s: cannot change to the data directory '%s': %s\n", program,
                         options.dataDir.c_str(), ec.message().c_str());
            return false;
        }
    }
    if (!options.traceFile.empty()) {
        std::string error;
        if (!openTrace(options.traceFile, error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return false;
        }
    }
    configureRun(options);
    exitStatus = 0;
    return true;
}

void reportStartupFailure(const char* program, const char* what) {
    std::fprintf(stderr, "%s: %s\n", program, what);
}

bool openProgramWindow(const char* program, const char* title, WindowProc proc, int left, int top,
                       int width, int height, const RunOptions& options) {
    if (!registerWindowClass(title, proc)) {
        reportStartupFailure(program, "cannot register the window class");
        return false;
    }
    shell.window = createWindow(title, title, left, top, width, height);
    if (shell.window != nullptr) return true;
    if (options.headless) {
        reportStartupFailure(program, "cannot create the offscreen surface");
    } else {
        std::string command = std::string(program) + " --headless";
        if (!options.dataDir.empty()) command += " --data " + options.dataDir;
        const std::string reason =
            "cannot open a window (no display?); to draw offscreen instead, run: " + command;
        reportStartupFailure(program, reason.c_str());
    }
    return true;
}

bool startDevice(const char* program) {
    if (!failed(initDevice(shell.window))) return true;
    reportStartupFailure(program, shell.startupError.c_str());
    return false;
}

bool handleMessage(Message& m) {
    if (!peekMessage(m)) return false;
    translateMessage(m);
    dispatchMessage(m);
    return true;
}

int endRun(const char* title, int status) {
    releaseDevice();
    closeTrace();
    unregisterWindowClass(title);
    return status;
}
