// runProgram for a web page, whose browser owns the loop: start-up runs in
// main(), then each animation frame runs one loop iteration (every waiting
// message, then at most one frame) until the quit message has been taken.
// Headless (virtual clock) runs iterate as fast as the page allows instead, so
// a scripted run does not wait for the display. When the run ends, its exit
// status goes to the page (Module.runEnded) and the page's title becomes "done".
// The page also presses keys (its on-screen buttons) and closes the window
// through the two functions exported at the end.

#include <emscripten.h>

#include "shell/program_loop.h"
#include "shell/web/web.h"

namespace {

void endRun(int exitStatus) {
    EM_ASM(
        {
            if (Module.runEnded) Module.runEnded($0);
            document.title = "done";
        },
        exitStatus);
}

bool running = false;  // between a successful start-up and the end of the run

void iterate() {
    if (loopIteration()) return;
    running = false;
    emscripten_cancel_main_loop();
    endRun(finishProgram());
}

}  // namespace

// A key press as the keyboard sends it (virtual-key code), for the page's
// buttons; `repeat` marks the presses of a button held down.
extern "C" EMSCRIPTEN_KEEPALIVE void webPressKey(int key, int repeat) {
    if (key <= 0 || key > 0xFE) return;
    postWindowMessage(msg::KeyDown, static_cast<uintptr_t>(key),
                      1 | (repeat != 0 ? (intptr_t{1} << 30) : 0));
}

// Closes the window as its close button does and ends the run at once (the
// page then starts another run of the program). Does nothing once it has ended.
extern "C" EMSCRIPTEN_KEEPALIVE void webCloseWindow() {
    if (!running) return;
    postWindowMessage(msg::Close, 0, 0);
    iterate();  // the close ends the run within one turn of the loop
}

int runProgram(const ProgramSteps& steps, int argc, char** argv) {
    int exitStatus = 0;
    if (!startProgram(steps, argc, argv, exitStatus)) {
        endRun(exitStatus);
        return exitStatus;
    }
    running = true;
    emscripten_set_main_loop(iterate, 0, EM_FALSE);
    if (webState().options.headless) emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
    return 0;  // the loop goes on after main returns
}
