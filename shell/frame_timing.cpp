#include "shell/frame_timing.h"

#include <chrono>
#include <ctime>

#include "shell/services.h"

void countFrame(FpsCounter& fps, uint32_t nowMs, uint32_t freshMs) {
    if (static_cast<uint32_t>(nowMs - fps.secondStartMs) > 1000u) {
        fps.secondStartMs = freshMs;
        fps.shownFps = fps.framesThisSecond;
        fps.framesThisSecond = 0;
    } else {
        ++fps.framesThisSecond;
    }
}

void countFrame(FpsCounter& fps) {
    const uint32_t now = getTickCount();
    if (static_cast<uint32_t>(now - fps.secondStartMs) > 1000u) {
        countFrame(fps, now, getTickCount());
    } else {
        countFrame(fps, now, now);
    }
}

double threadCpuMicros() {
// Windows' thread CPU clocks advance in scheduler ticks (10 to 16 ms): most
// frames would read 0. There the steady clock (the performance counter, finer
// than a microsecond) times the frame's work instead, which on the program's
// one busy thread is its CPU time unless the thread was pre-empted meanwhile.
#if defined(CLOCK_THREAD_CPUTIME_ID) && !defined(_WIN32)
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0) {
        return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
    }
#endif
    using namespace std::chrono;
    return static_cast<double>(
               duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count()) /
           1e3;
}
