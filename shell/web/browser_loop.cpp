// runProgram for a web page, whose browser owns the loop: start-up runs in
// main(), then each animation frame runs one loop iteration (every waiting
// message, then at most one frame) until the quit message has been taken.
// Headless (virtual clock) runs iterate as fast as the page allows instead, so
// a scripted run does not wait for the display. When the run ends, its exit
// status goes to the page (Module.runEnded) and the page's title becomes "done".

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

void iterate() {
    if (loopIteration()) return;
    emscripten_cancel_main_loop();
    endRun(finishProgram());
}

}  // namespace

int runProgram(const ProgramSteps& steps, int argc, char** argv) {
    int exitStatus = 0;
    if (!startProgram(steps, argc, argv, exitStatus)) {
        endRun(exitStatus);
        return exitStatus;
    }
    emscripten_set_main_loop(iterate, 0, EM_FALSE);
    if (webState().options.headless) emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
    return 0;  // the loop goes on after main returns
}
