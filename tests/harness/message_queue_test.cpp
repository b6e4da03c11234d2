// The queue the SDL and web backends share: the order in which posted, quit,
// frame-limit and scripted messages come out, driven as a backend's poll does.
#include <gtest/gtest.h>

#include "shell/message_queue.h"

struct Window {
    int unused = 0;
};

namespace {

ScriptEvent scripted(uint32_t ms, uint32_t message, intptr_t lParam = 0) {
    ScriptEvent e;
    e.atMs = ms;
    e.message = message;
    e.wParam = ms;
    e.lParam = lParam;
    return e;
}

// One poll as the backends make it: the run's messages are posted, then every
// waiting message is taken.
std::vector<Message> poll(MessageQueue& q, RunHarness& h, uint32_t now, const ScriptTarget& t) {
    std::vector<Message> due;
    runMessagesDue(q, h, now, t, due);
    for (const Message& m : due) q.messages.push_back(m);
    std::vector<Message> taken;
    Message m;
    while (queueTake(q, m)) taken.push_back(m);
    return taken;
}

std::vector<uint32_t> codes(const std::vector<Message>& messages) {
    std::vector<uint32_t> out;
    for (const Message& m : messages) out.push_back(m.message);
    return out;
}

TEST(MessageQueue, QuitComesAfterEverythingPostedAndScriptedAndOnce) {
    Window window;
    uint32_t buttons = 0;
    RunOptions options;
    options.headless = true;
    options.script = {scripted(0, msg::KeyDown)};
    RunHarness h;
    harnessConfigure(h, options);
    MessageQueue q;
    queueStartRun(q, h);
    queuePostQuit(q, 3);
    q.messages.push_back(Message{&window, msg::MouseMove, 0, 0});  // posted after the quit
    EXPECT_TRUE(queueWaiting(q));
    const std::vector<Message> taken = poll(q, h, 1000, ScriptTarget{&window, &buttons});
    EXPECT_EQ(codes(taken), (std::vector<uint32_t>{msg::MouseMove, msg::KeyDown, msg::Quit}));
    EXPECT_EQ(taken.back().wParam, 3u);
    EXPECT_EQ(taken.back().window, nullptr);
    EXPECT_FALSE(queueWaiting(q));
    // A new run forgets a quit that was never taken.
    queuePostQuit(q, 0);
    queueStartRun(q, h);
    EXPECT_TRUE(poll(q, h, 1000, ScriptTarget{&window, &buttons}).empty());
}

TEST(MessageQueue, FrameLimitClosesBeforeScriptedInputAndScriptWaitsForAWindow) {
    Window window;
    uint32_t buttons = 0;
    VirtualCursor cursor;
    RunOptions options;
    options.headless = true;
    options.frames = 0;
    options.script = {scripted(0, msg::LButtonDown, packMousePosition(10, 20)),
                      scripted(0, msg::MouseMove, packMousePosition(30, 40)),
                      scripted(0, msg::KeyDown)};
    RunHarness h;
    harnessConfigure(h, options);
    MessageQueue q;
    queueStartRun(q, h);
    EXPECT_TRUE(queueWaiting(q));  // a limit of 0 closes at the first poll
    // No window yet: the close is lost and the script is not started.
    EXPECT_TRUE(poll(q, h, 500, ScriptTarget{}).empty());
    EXPECT_EQ(h.nextEvent, 0u);
    EXPECT_FALSE(queueWaiting(q));

    // The frame limit reached with a window: Close first, then the script in
    // its order, mouse messages carrying the button held and moving the cursor.
    options.frames = 1;
    harnessConfigure(h, options);
    queueStartRun(q, h);
    queueFramePresented(q, h);
    const ScriptTarget target{&window, &buttons, &cursor, 108, 131};
    const std::vector<Message> taken = poll(q, h, 900, target);
    EXPECT_EQ(codes(taken),
              (std::vector<uint32_t>{msg::Close, msg::LButtonDown, msg::MouseMove, msg::KeyDown}));
    EXPECT_EQ(taken[2].wParam, 1u);  // MK_LBUTTON
    EXPECT_EQ(taken[2].lParam, packMousePosition(30, 40));
    EXPECT_EQ(taken[3].wParam, 0u);  // a key keeps the script's own
    EXPECT_EQ(cursor.x, 138);
    EXPECT_EQ(cursor.y, 171);
    for (const Message& m : taken) EXPECT_EQ(m.window, &window);
    EXPECT_TRUE(poll(q, h, 900, target).empty());  // the close is asked once
}

}  // namespace
