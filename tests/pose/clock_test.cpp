// The clip clock against scripted tick counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>

#include "model/pose.h"
#include "skeletons.h"

namespace {

// Tick counts handed out one per read; the last one repeats.
std::deque<uint32_t> ticks;
int reads = 0;
uint32_t scriptedTick() {
    ++reads;
    const uint32_t t = ticks.front();
    if (ticks.size() > 1) ticks.pop_front();
    return t;
}
void setTicks(std::initializer_list<uint32_t> values) {
    ticks.assign(values);
    reads = 0;
}

Model clip(size_t frames) {
    Model m = line(2);
    m.frames.resize(frames, m.frames.empty() ? Frame{} : m.frames[0]);
    return m;
}

TEST(ClipClock, FirstCallOnlyRecordsTheTick) {
    ClipClock clock;
    setTicks({5000});
    advanceClip(clock, clip(4), scriptedTick);
    EXPECT_TRUE(clock.started);
    EXPECT_EQ(clock.lastStepMs, 5000u);
    EXPECT_EQ(clock.elapsedMs, 0.0);
    EXPECT_EQ(clock.currentFrame, 0);
    EXPECT_EQ(clock.nextFrame, 0);
}

TEST(ClipClock, AdvancesOnlyPastThePeriodAndRereadsTheTick) {
    const Model m = clip(4);
    ClipClock clock;
    setTicks({1000});
    advanceClip(clock, m, scriptedTick);

    setTicks({1300});  // exactly one period: not over yet
    advanceClip(clock, m, scriptedTick);
    EXPECT_EQ(clock.currentFrame, 0);
    EXPECT_EQ(clock.elapsedMs, 300.0);
    EXPECT_EQ(clock.lastStepMs, 1000u);

    setTicks({1301, 1305});  // the step stores the tick read at the step
    advanceClip(clock, m, scriptedTick);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(clock.currentFrame, 1);
    EXPECT_EQ(clock.nextFrame, 2);
    EXPECT_EQ(clock.elapsedMs, 0.0);
    EXPECT_EQ(clock.lastStepMs, 1305u);

    setTicks({1305 + 100000});  // a long stall still moves one frame only
    advanceClip(clock, m, scriptedTick);
    EXPECT_EQ(clock.currentFrame, 2);
    EXPECT_EQ(clock.nextFrame, 3);
}

TEST(ClipClock, WrapsAroundTheClip) {
    const Model m = clip(3);
    ClipClock clock;
    clock.framePeriodMs = 10;
    const int32_t expected[][2] = {{1, 2}, {2, 0}, {0, 1}, {1, 2}};
    uint32_t now = 0;
    setTicks({now});
    advanceClip(clock, m, scriptedTick);
    for (const auto& e : expected) {
        now += 11;
        setTicks({now});
        advanceClip(clock, m, scriptedTick);
        EXPECT_EQ(clock.currentFrame, e[0]);
        EXPECT_EQ(clock.nextFrame, e[1]);
    }
}

TEST(ClipClock, StillAndEmptyModelsKeepBothIndicesAtZero) {
    for (size_t frames : {size_t{1}, size_t{0}}) {
        Model m = clip(frames);
        if (frames == 0) m = Model{};  // a failed load leaves nothing
        ClipClock clock;
        uint32_t now = 77;
        for (int i = 0; i < 4; ++i, now += 1000) {
            setTicks({now});
            advanceClip(clock, m, scriptedTick);
            EXPECT_EQ(clock.currentFrame, 0) << frames;
            EXPECT_EQ(clock.nextFrame, 0) << frames;
        }
        EXPECT_EQ(clock.lastStepMs, now - 1000);
    }
}

TEST(ClipClock, TickCounterWrapAround) {
    const Model m = clip(4);
    ClipClock clock;
    setTicks({0xFFFFFF00u});
    advanceClip(clock, m, scriptedTick);
    setTicks({0x0000002Cu});  // 0x12C = 300 ms later, across 2^32
    advanceClip(clock, m, scriptedTick);
    EXPECT_EQ(clock.elapsedMs, 300.0);
    EXPECT_EQ(clock.currentFrame, 0);
    setTicks({0x0000002Du});
    advanceClip(clock, m, scriptedTick);
    EXPECT_EQ(clock.currentFrame, 1);
    EXPECT_EQ(clock.lastStepMs, 0x2Du);
}

TEST(ClipClock, IndicesBeyondASwitchedClipWrapToZero) {
    const Model m = clip(5);
    for (int32_t stale : {25, 4, -3, INT32_MAX}) {
        ClipClock clock;
        clock.currentFrame = stale;
        clock.nextFrame = stale;
        setTicks({0});
        advanceClip(clock, m, scriptedTick);
        setTicks({301});
        advanceClip(clock, m, scriptedTick);
        EXPECT_EQ(clock.currentFrame, 0) << stale;
        EXPECT_EQ(clock.nextFrame, 1) << stale;
    }
    EXPECT_EQ(evaluationFrame(m, 25), 4);
    EXPECT_EQ(evaluationFrame(m, -1), 0);
    EXPECT_EQ(evaluationFrame(Model{}, 0), -1);
}

TEST(ClipClock, InterpolationFactor) {
    ClipClock clock;
    clock.elapsedMs = 75;
    EXPECT_EQ(interpolationFactor(clock), 0.25);
    clock.framePeriodMs = 0;  // never produced by the keys, but must not divide by zero
    EXPECT_EQ(interpolationFactor(clock), 0.0);
}

}  // namespace
