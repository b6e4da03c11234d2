// Program options that let a program run without a person (headless, scripted
// input, capture, trace). Without options a program behaves exactly as designed.
//
//   --data DIR         change to DIR before start-up (the SMD files are read from it)
//   --headless         offscreen 484 x 461 surface; virtual tick count
//   --tick-start MS    headless: first tick count (default 1000000)
//   --step MS          headless: virtual ms added after each drawn frame (default 16)
//   --frames N         end after N drawn frames, as if the window were closed
//                      (headless default 600, or with a script one frame
//                      after its last event; unlimited in a window)
//   --script FILE      timed input: "<ms> <event> [args]" per line, '#' comments
//   --capture FILE.png write the last drawn frame
//   --trace FILE.jsonl one JSON object per drawn frame
//   --fps N            clips play at N frames per second, 1 to 1000 (programs
//                      that play clips; without it each keeps its own rate)
//   --help, --version
//   FILE [MORE...]     the positional arguments of a program that takes files
//                      (articulated: the clip to play, or a reference and its
//                      animations); MORE only where the program takes several
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One scripted event, due `atMs` after the tick of the first frame.
struct ScriptEvent {
    enum class Kind { Message, Capture, Close } kind = Kind::Message;
    uint32_t atMs = 0;
    uint32_t message = 0;  // Kind::Message: the window message (see shell/services.h)
    uintptr_t wParam = 0;  // virtual-key code for key events
    intptr_t lParam = 0;   // mouse events: client x in the low 16 bits, y in the high 16
    std::string file;      // Kind::Capture: PNG of the next drawn frame
};

struct RunOptions {
    std::string dataDir;
    bool headless = false;
    uint32_t tickStart = 1000000;
    uint32_t stepMs = 16;
    int64_t frames = -1;  // -1: the default (600 headless, unlimited in a window)
    std::string scriptFile;
    std::string captureFile;
    std::string traceFile;
    uint32_t clipFps = 0;                   // --fps; 0: not given
    std::string file;                       // the positional FILE, absolute; empty when none
    std::vector<std::string> furtherFiles;  // positional files after FILE, absolute
    std::vector<ScriptEvent> script;        // parsed from scriptFile
};

constexpr uint32_t kMinClipFps = 1, kMaxClipFps = 1000;

enum class OptionsOutcome {
    Run,          // options parsed (and the script read); start the program
    ExitSuccess,  // --help or --version printed
    ExitFailure,  // a message naming the problem was printed on stderr
};

// `fileArgument` names the positional argument the program takes in
// --help ("FILE.smd", with `fileHelp` saying what it does), or is null when
// the program takes none; with `furtherFiles` more files may follow it.
OptionsOutcome parseRunOptions(int argc, char** argv, const char* programName,
                               const char* windowTitle, RunOptions& out,
                               const char* fileArgument = nullptr, const char* fileHelp = nullptr,
                               bool furtherFiles = false);

// Parses script text; on failure returns false with "LINE: message" in `error`.
bool parseScript(std::string_view text, std::vector<ScriptEvent>& out, std::string& error);

// The backend takes the options with configureRun (shell/services.h).
