#include "shell/program_loop.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/frame_timing.h"
#include "shell/run_options.h"
#include "shell/scene.h"
#include "shell/shell.h"

namespace {

// The run in progress: one per process, like the program it drives.
struct {
    ProgramSteps steps;
    RunOptions options;
    int exitStatus = 0;
    bool started = false;  // the start-up succeeded: the run's outputs are owed
    uint64_t framesDrawn = 0;
    TraceLine traceLine;
    std::string programPath;  // argv[0], for the command suggested without a display
} run;

// `word` as one word of a POSIX shell command line.
std::string shellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789_-./=:+,@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void fail(const char* what) {
    std::fprintf(stderr, "%s: %s\n", run.steps.name, what);
}

// Options, the data directory and the trace file; false ends the run with
// run.exitStatus (0 after --help or --version, 2 after a problem).
bool takeOptions(int argc, char** argv) {
    switch (parseRunOptions(argc, argv, run.steps.name, run.steps.title, run.options,
                            run.steps.fileArgument, run.steps.fileHelp, run.steps.furtherFiles)) {
        case OptionsOutcome::ExitSuccess:
            run.exitStatus = 0;
            return false;
        case OptionsOutcome::ExitFailure:
            run.exitStatus = 2;
            return false;
        case OptionsOutcome::Run:
            break;
    }
    run.exitStatus = 2;
    const RunOptions& o = run.options;
    if (o.clipFps != 0 && !run.steps.playsClips) {
        fail("--fps sets the rate of clips, and this program plays none");
        return false;
    }
    if (!o.dataDir.empty()) {
        std::error_code ec;
        std::filesystem::current_path(o.dataDir, ec);
        if (ec) {
            const std::string why =
                "cannot change to the data directory '" + o.dataDir + "': " + ec.message();
            fail(why.c_str());
            return false;
        }
    }
    if (!o.traceFile.empty()) {
        std::string error;
        if (!openTrace(o.traceFile, error)) {
            fail(error.c_str());
            return false;
        }
    }
    configureRun(o);
    run.exitStatus = 0;
    return true;
}

// The window (the offscreen surface when headless); says why when it fails.
bool openWindow() {
    const ProgramSteps& s = run.steps;
    if (!registerWindowClass(s.title, s.windowProc)) {
        fail("cannot register the window class");
        return false;
    }
    shell.window =
        createWindow(s.title, s.title, kWindowLeft, kWindowTop, kWindowWidth, kWindowHeight);
    if (shell.window != nullptr) return true;
    if (run.options.headless) {
        fail("cannot create the offscreen surface");
    } else {
        // A command the user can paste: this program as it was started, drawing
        // into a picture in the folder it was started from.
        std::string command = shellWord(run.programPath) + " --headless";
        if (!run.options.dataDir.empty()) command += " --data " + shellWord(run.options.dataDir);
        if (!run.options.file.empty()) command += " " + shellWord(run.options.file);
        for (const std::string& more : run.options.furtherFiles) command += " " + shellWord(more);
        command += " --capture " + std::string(s.name) + ".png";
        const std::string why =
            "cannot open a window (no display?); to draw a picture instead, run: " + command;
        fail(why.c_str());
    }
    return false;
}

}  // namespace

const RunOptions& runOptions() {
    return run.options;
}

bool startProgram(const ProgramSteps& steps, int argc, char** argv, int& exitStatus) {
    run.steps = steps;
    run.options = RunOptions{};
    run.started = false;
    run.framesDrawn = 0;
    run.traceLine = TraceLine{};
    run.programPath = argc > 0 && argv[0] != nullptr ? argv[0] : steps.name;
    if (!takeOptions(argc, argv)) {
        exitStatus = run.exitStatus;
        return false;
    }
    run.exitStatus = 1;  // until the start-up has succeeded
    bool started = openWindow();
    if (started) {
        if (steps.beforeDevice != nullptr) steps.beforeDevice();
        if (failed(initDevice(shell.window))) {
            fail(shell.startupError.c_str());
            started = false;
        }
    }
    if (started && failed(steps.initScene())) {
        fail(shell.startupError.c_str());
        started = false;
    }
    if (!started) {
        exitStatus = finishProgram();
        return false;
    }
    run.exitStatus = 0;
    run.started = true;
    showWindow(shell.window);
    updateWindow(shell.window);
    return true;
}

void programFrame() {
    // After Escape or the window's destruction nothing is left to draw with; the
    // quit message that follows ends the loop.
    if (shell.graphics.device == nullptr) return;
    const ProgramSteps& s = run.steps;
    const bool tracing = traceOpen();
    const double cpuStart = tracing ? threadCpuMicros() : 0.0;
    const uint32_t tick = getTickCount();
    confineCursor(shell.mouse);
    countFrame(shell.fps);
    if (s.step != nullptr) s.step();
    if (beginFrame(s.background)) {
        setupTransforms();
        HResult hr = S_OK_;
        if (shell.helpVisible) {
            const HelpText help = s.helpText != nullptr ? s.helpText() : HelpText{};
            drawHelpLines(help.lines, help.count);
        } else {
            hr = s.drawCharacter();
            if (!failed(hr)) drawLoadProblem();
        }
        if (!failed(hr) && s.drawOnTop != nullptr) hr = s.drawOnTop();
        if (!failed(hr)) drawFpsText(shell.fps.shownFps);
    }
    endFrame();
    const double cpuUs = tracing ? threadCpuMicros() - cpuStart : 0.0;
    presentFrame();
    ++run.framesDrawn;
    if (tracing) {
        TraceLine& line = run.traceLine;
        traceBeginFrame(line, run.framesDrawn, tick, shell.fps.shownFps, shell.helpVisible,
                        shell.camera.eye, shell.camera.target,
                        s.clipPaused != nullptr && s.clipPaused());
        if (s.traceFrame != nullptr) s.traceFrame(line);
        traceEndFrame(line, cpuUs);
    }
}

bool loopIteration() {
    Message m;
    while (peekMessage(m)) {
        translateMessage(m);
        dispatchMessage(m);
        if (m.message == msg::Quit) return false;
    }
    // A window that shows nothing gets no frames: the loop sleeps until the
    // next message instead of drawing what nobody sees.
    if (shell.window != nullptr && isIconic(shell.window)) {
        waitMessage();
        return true;
    }
    programFrame();
    return true;
}

int finishProgram() {
    releaseDevice();
    closeTrace();
    unregisterWindowClass(run.steps.title);
    if (run.started && !finishRun()) run.exitStatus = 1;
#ifndef __EMSCRIPTEN__
    const RunOptions& o = run.options;
    if (run.started && o.headless && o.captureFile.empty() && o.traceFile.empty() &&
        o.scriptFile.empty())
        std::fprintf(stderr,
                     "%s: drew %llu frames offscreen and kept none of them (--capture FILE.png "
                     "keeps the last one, --trace FILE.jsonl what each frame showed)\n",
                     run.steps.name, static_cast<unsigned long long>(run.framesDrawn));
#endif
    return run.exitStatus;
}

#ifndef __EMSCRIPTEN__
// In a browser the page owns the loop: shell/web/browser_loop.cpp has runProgram.
int runProgram(const ProgramSteps& steps, int argc, char** argv) {
    int exitStatus = 0;
    if (!startProgram(steps, argc, argv, exitStatus)) return exitStatus;
    while (loopIteration()) {
    }
    return finishProgram();
}
#endif
