// A clip switch to a shorter clip: the clock's indices never point past it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shell/clip_playback.h"

namespace {

namespace fs = std::filesystem;

std::string clipFile(int frames) {
    std::string s = "version 1\nnodes\n0 \"root\" -1\n1 \"hip\" 0\nend\nskeleton\n";
    for (int f = 0; f < frames; ++f)
        s += "time " + std::to_string(f) + "\n0 0 0 0 0 0 0\n1 0 0 -10 0.1 0 0\n";
    return s + "end\n";
}

TEST(ClipSwitch, IndicesBeyondTheNewClipWrapAtOnce) {
    const fs::path dir =
        fs::temp_directory_path() / ("robust_clip_switch_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path start = fs::current_path();
    fs::current_path(dir);
    std::ofstream("walk.smd") << clipFile(28);
    std::ofstream("run.smd") << clipFile(18);
    std::ofstream("barney.smd") << clipFile(1);
    std::ofstream("empty.smd") << "version 1\n";

    Model clip;
    ClipClock clock;
    const ClipPlayback playback{&clip, &clock, 68};
    const struct {
        const char* file;
        int32_t current, next;  // before the load
        int32_t wantCurrent, wantNext;
    } cases[] = {
        {"walk.smd", 21, 22, 21, 22},  // inside the clip: kept (keys R and W keep the indices)
        {"run.smd", 21, 22, 0, 1},     // beyond it: current wraps to 0, next follows
        {"run.smd", 17, 18, 17, 0},    // last frame: next wraps
        {"run.smd", 17, 0, 17, 0},    {"barney.smd", 5, 6, 0, 0},  // one frame
        {"empty.smd", 3, 4, 0, 0},                                 // no frames
        {"missing.smd", 3, 4, 0, 0},  // a failed load keeps the clip (no frames) and so 0
    };
    for (const auto& c : cases) {
        clock.currentFrame = c.current;
        clock.nextFrame = c.next;
        loadClip(playback, c.file);
        EXPECT_EQ(clock.currentFrame, c.wantCurrent) << c.file << " from " << c.current;
        EXPECT_EQ(clock.nextFrame, c.wantNext) << c.file << " from " << c.current;
    }
    fs::current_path(start);
    fs::remove_all(dir);
}

}  // namespace
