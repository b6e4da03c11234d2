// The message queue of a backend that has no native one (shell/sdl_gl,
// shell/web), with Win32's order: posted messages come out first in, first
// out; Quit comes only once nothing else waits, whatever was posted after it.
// The run's own messages (the close the frame limit asks for, scripted input)
// are made here too, so every such backend sees them in the same order.
// Plain data; the backend owns one and posts through its own code, which may
// note what it posts (shell/web follows drags). Messages for a window that is
// gone are the backend's to drop when it takes them.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "shell/harness/run_harness.h"
#include "shell/services.h"

struct MessageQueue {
    std::deque<Message> messages;  // posted and not yet taken, oldest first
    bool closeRequested = false;   // the frame limit was reached: Close at the next poll
    bool quitPosted = false;       // postQuitMessage was called; Quit not yet taken
    int quitCode = 0;
};

// A run starts (configureRun): nothing waits, and a frame limit of 0 asks for
// the close at the first poll.
void queueStartRun(MessageQueue& queue, const RunHarness& harness);

// After each presented frame: counts it, and the last frame the limit allows
// asks for the close.
void queueFramePresented(MessageQueue& queue, RunHarness& harness);

// postQuitMessage: Quit with `exitCode` once every other message is taken.
void queuePostQuit(MessageQueue& queue, int exitCode);

// Where scripted input goes: the program's live window (nullptr: none), the
// MK_ flags of the buttons the messages posted to it hold, and the cursor a
// scripted mouse message puts at its place (nullptr: a real pointer, left
// where it is), with the window's client origin in screen pixels.
struct ScriptTarget {
    Window* window = nullptr;
    uint32_t* buttons = nullptr;
    VirtualCursor* cursor = nullptr;
    int originX = 0, originY = 0;
};

// The messages the run itself posts at the start of a poll, appended to `out`
// in the order to post them: the close asked for (once; lost without a
// window), then every scripted event due at `now` as the message the window
// would get (a close event is Close; mouse messages carry the buttons held).
// Without a window no event falls due: they wait for one.
void runMessagesDue(MessageQueue& queue, RunHarness& harness, uint32_t now,
                    const ScriptTarget& target, std::vector<Message>& out);

// Takes the next message: the oldest posted, else Quit (its exit code in
// wParam, no window) once posted. False when nothing waits.
bool queueTake(MessageQueue& queue, Message& out);

// Whether a poll now would find a message without asking the platform.
bool queueWaiting(const MessageQueue& queue);
