// Frame counting for the frame-rate text and the CPU time of a frame's work.
#pragma once

#include <cstdint>

// Frames counted over one-second windows. All fields start at 0, so the very
// first frame already closes a window and 0 is shown for about the first second.
struct FpsCounter {
    int32_t framesThisSecond = 0;
    uint32_t secondStartMs = 0;
    int32_t shownFps = 0;
};

// Counts one frame at tick `nowMs`. When more than 1000 ms (unsigned difference)
// have passed since the window began, a new window starts at `freshMs` and the
// count is shown; the frame that rolls the window over is not counted.
void countFrame(FpsCounter& fps, uint32_t nowMs, uint32_t freshMs);
// The same with the platform's tick count.
void countFrame(FpsCounter& fps);

// CPU time used by the calling thread, in microseconds (for traces and benchmarks;
// only differences are meaningful). On Windows the elapsed time of the steady
// clock: the thread CPU clocks there are too coarse for a frame.
double threadCpuMicros();
