#include "shell/harness/run_harness.h"

#include <algorithm>

void harnessConfigure(RunHarness& harness, const RunOptions& options) {
    harness = RunHarness{};
    harness.headless = options.headless;
    harness.stepMs = options.stepMs;
    harness.virtualTick = options.tickStart;
    if (options.frames >= 0) {
        harness.frameLimit = options.frames;
    } else {
        harness.frameLimit = options.headless ? 600 : -1;
    }
    harness.script = options.script;
    harness.finalCapture = options.captureFile;
}

void harnessTakeDueEvents(RunHarness& harness, uint32_t now, std::vector<ScriptEvent>& due) {
    if (!harness.originSet) {
        harness.originSet = true;
        harness.originTick = now;
    }
    const uint32_t elapsed = now - harness.originTick;
    while (harness.nextEvent < harness.script.size()) {
        const ScriptEvent& event = harness.script[harness.nextEvent];
        if (event.atMs > elapsed) break;
        if (event.kind == ScriptEvent::Kind::Capture) {
            harness.pendingCaptures.push_back(event.file);
        } else {
            due.push_back(event);
        }
        ++harness.nextEvent;
    }
}

bool harnessFramePresented(RunHarness& harness) {
    ++harness.framesPresented;
    if (harness.headless) harness.virtualTick += harness.stepMs;
    return harness.frameLimit >= 0 && harness.framesPresented == harness.frameLimit;
}

intptr_t packMousePosition(int x, int y) {
    const uint32_t packed =
        (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
    return static_cast<intptr_t>(packed);
}

int mouseX(intptr_t lParam) {
    return static_cast<int16_t>(static_cast<uint32_t>(lParam) & 0xFFFFu);
}

int mouseY(intptr_t lParam) {
    return static_cast<int16_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFFu);
}

namespace {

void clampIntoClip(VirtualCursor& cursor) {
    if (!cursor.confined) return;
    const Rect& r = cursor.clip;
    cursor.x = std::max(r.left, std::min(cursor.x, std::max(r.left, r.right - 1)));
    cursor.y = std::max(r.top, std::min(cursor.y, std::max(r.top, r.bottom - 1)));
}

}  // namespace

void virtualCursorClip(VirtualCursor& cursor, const Rect* screenRect) {
    ++cursor.confineCalls;
    if (screenRect == nullptr) {
        cursor.confined = false;
        return;
    }
    cursor.confined = true;
    cursor.clip = *screenRect;
    clampIntoClip(cursor);
}

void virtualCursorMove(VirtualCursor& cursor, int screenX, int screenY) {
    ++cursor.moveCalls;
    cursor.x = screenX;
    cursor.y = screenY;
    clampIntoClip(cursor);
}

int virtualCursorShow(VirtualCursor& cursor, bool show) {
    cursor.displayCount += show ? 1 : -1;
    return cursor.displayCount;
}
