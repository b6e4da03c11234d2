#include "shell/message_queue.h"

namespace {

constexpr uint32_t kMkLButton = 0x0001, kMkRButton = 0x0002;

// The message scripted `event` becomes for the target's window.
Message scriptedMessage(const ScriptEvent& event, const ScriptTarget& target) {
    if (event.kind == ScriptEvent::Kind::Close) return Message{target.window, msg::Close, 0, 0};
    uint32_t& buttons = *target.buttons;
    switch (event.message) {
        case msg::LButtonDown:
            buttons |= kMkLButton;
            break;
        case msg::LButtonUp:
            buttons &= ~kMkLButton;
            break;
        case msg::RButtonDown:
            buttons |= kMkRButton;
            break;
        case msg::RButtonUp:
            buttons &= ~kMkRButton;
            break;
        default:
            break;
    }
    const bool mouse = event.message >= msg::MouseMove && event.message <= msg::RButtonUp;
    if (!mouse) return Message{target.window, event.message, event.wParam, event.lParam};
    if (target.cursor != nullptr) {
        target.cursor->x = target.originX + mouseX(event.lParam);
        target.cursor->y = target.originY + mouseY(event.lParam);
    }
    return Message{target.window, event.message, buttons, event.lParam};
}

}  // namespace

void queueStartRun(MessageQueue& queue, const RunHarness& harness) {
    queue.messages.clear();
    queue.quitPosted = false;
    queue.closeRequested = harness.frameLimit == 0;
}

void queueFramePresented(MessageQueue& queue, RunHarness& harness) {
    if (harnessFramePresented(harness)) queue.closeRequested = true;
}

void queuePostQuit(MessageQueue& queue, int exitCode) {
    queue.quitPosted = true;
    queue.quitCode = exitCode;
}

void runMessagesDue(MessageQueue& queue, RunHarness& harness, uint32_t now,
                    const ScriptTarget& target, std::vector<Message>& out) {
    if (queue.closeRequested) {
        queue.closeRequested = false;
        if (target.window != nullptr) out.push_back(Message{target.window, msg::Close, 0, 0});
    }
    if (target.window == nullptr || harness.nextEvent >= harness.script.size()) return;
    std::vector<ScriptEvent> due;
    harnessTakeDueEvents(harness, now, due);
    for (const ScriptEvent& event : due) out.push_back(scriptedMessage(event, target));
}

bool queueTake(MessageQueue& queue, Message& out) {
    if (!queue.messages.empty()) {
        out = queue.messages.front();
        queue.messages.pop_front();
        return true;
    }
    if (!queue.quitPosted) return false;
    queue.quitPosted = false;
    out = Message{nullptr, msg::Quit, static_cast<uintptr_t>(queue.quitCode), 0};
    return true;
}

bool queueWaiting(const MessageQueue& queue) {
    return !queue.messages.empty() || queue.quitPosted || queue.closeRequested;
}
