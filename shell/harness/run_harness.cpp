#include "shell/harness/run_harness.h"

#include <algorithm>
#include <cstdio>

void harnessConfigure(RunHarness& harness, const RunOptions& options) {
    harness = RunHarness{};
    harness.headless = options.headless;
    harness.stepMs = options.stepMs;
    harness.virtualTick = options.tickStart;
    if (options.frames >= 0) {
        harness.frameLimit = options.frames;
    } else if (options.headless && !options.script.empty()) {
        harness.endWithScript = true;
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
    if (harness.nextEvent == harness.script.size() && harness.scriptDoneAtFrame < 0)
        harness.scriptDoneAtFrame = harness.framesPresented;
}

bool harnessFramePresented(RunHarness& harness) {
    ++harness.framesPresented;
    if (harness.headless) harness.virtualTick += harness.stepMs;
    if (harness.endWithScript)
        return harness.scriptDoneAtFrame >= 0 &&
               harness.framesPresented == harness.scriptDoneAtFrame + 1;
    return harness.frameLimit >= 0 && harness.framesPresented == harness.frameLimit;
}

bool harnessFinish(const RunHarness& harness) {
    bool written = harness.capturesFailed == 0;
    const size_t unreached = harness.script.size() - harness.nextEvent;
    if (unreached > 0) {
        std::fprintf(stderr,
                     "script: %zu event%s never reached: the run ended after %lld frame%s\n",
                     unreached, unreached == 1 ? " was" : "s were",
                     static_cast<long long>(harness.framesPresented),
                     harness.framesPresented == 1 ? "" : "s");
    }
    std::vector<std::string> unwritten = harness.pendingCaptures;
    for (size_t i = harness.nextEvent; i < harness.script.size(); ++i)
        if (harness.script[i].kind == ScriptEvent::Kind::Capture)
            unwritten.push_back(harness.script[i].file);
    if (!harness.finalCapture.empty() && !harness.finalCaptureTried)
        unwritten.push_back(harness.finalCapture);
    for (const std::string& file : unwritten) {
        std::fprintf(stderr, "capture: '%s' was not written: no frame was drawn for it\n",
                     file.c_str());
        written = false;
    }
    return written;
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
