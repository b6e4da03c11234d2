// Start-up of a program on the recording backend for the frame benchmarks: a
// fresh recording that keeps no calls (a frame then costs what the program does,
// not the bookkeeping of the record), then the program's own start-up with the
// data folder as its working directory for the rest of the process (the
// programs read clips from it while running, not only at start-up). The caller
// resets its program's state first and then draws frames with programFrame().
// Returns false when a step fails.
#pragma once

#include <string>

#include "shell/program_loop.h"
#include "shell/recording/recording.h"

inline bool startOnRecording(const ProgramSteps& program) {
    recording::reset();
    recording::controls().keepCalls = false;
    std::string args[] = {program.name, "--data", ARTIC_DATA_DIR};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data()};
    int exitStatus = 0;
    return startProgram(program, 3, argv, exitStatus);
}
