// The process entry of a program: PROGRAM_MAIN(steps) in its main.cpp.
//
// On Windows it is the WinMain of a GUI program, so no console window opens
// beside the program's own; started from a console, the program's output
// (--help, --version, diagnostics) still reaches that console, and output
// redirected to a file or pipe goes there. Elsewhere it is main.
#pragma once

#include "shell/program_loop.h"

#if defined(_WIN32)
#include <cstdlib>  // __argc, __argv

// attachParentConsole: the backend's (shell/services.h).
struct HINSTANCE__;
#define PROGRAM_MAIN(steps)                                                    \
    extern "C" int __stdcall WinMain(HINSTANCE__*, HINSTANCE__*, char*, int) { \
        attachParentConsole();                                                 \
        return runProgram(steps, __argc, __argv);                              \
    }
#else
#define PROGRAM_MAIN(steps)                   \
    int main(int argc, char** argv) {         \
        return runProgram(steps, argc, argv); \
    }
#endif
