#include "apps/articulated/viewer.h"

#include <cstdio>
#include <filesystem>

#include "apps/clip_keys.h"
#include "shell/program_loop.h"
#include "shell/scene.h"
#include "shell/shell.h"

ViewerState viewer;

namespace {

const char* const kViewerHelpLines[] = {
    "Space: Pause/Resume",
    "Left/Right: Step Back/Forward (Paused)",
    "Home: First Frame",
};

// Longest file name the status line shows whole.
constexpr size_t kStatusNameChars = 24;

}  // namespace

void startViewer(const std::string& file) {
    viewer.active = true;
    viewer.paused = false;
    viewer.shownName = std::filesystem::path(file).filename().string();
    viewer.helpLines.assign(kHelpLines, kHelpLines + kHelpLineCount);
    viewer.helpLines.insert(viewer.helpLines.end(), std::begin(kViewerHelpLines),
                            std::end(kViewerHelpLines));
}

double startFramePeriodMs(double designPeriodMs) {
    const uint32_t fps = runOptions().clipFps;
    if (fps != 0) return 1000.0 / fps;
    return viewer.active ? 1000.0 / kViewerClipFps : designPeriodMs;
}

bool viewerKey(uint32_t key, ClipClock& clock, const Model& played) {
    if (!viewer.active) return false;
    switch (key) {
        case vk::Space:
            viewer.paused = !viewer.paused;
            // Paused, the picture is the frame the status line names.
            if (viewer.paused) showClipFrame(clock, played, clock.currentFrame);
            return true;
        case vk::Left:
        case vk::Right:
            if (viewer.paused)
                showClipFrame(clock, played,
                              int64_t{clock.currentFrame} + (key == vk::Left ? -1 : 1));
            return true;
        case vk::Home:
            showClipFrame(clock, played, 0);
            return true;
        default:
            return false;
    }
}

std::string viewerStatusText(const Model& played, const ClipClock& clock) {
    char text[128];
    const double fps = clock.framePeriodMs > 0.0 ? 1000.0 / clock.framePeriodMs : 0.0;
    std::snprintf(text, sizeof text, "   frame %d / %zu   %.4g fps%s",
                  played.frames.empty() ? 0 : static_cast<int>(clock.currentFrame),
                  played.frames.size(), fps, viewer.paused ? "   paused" : "");
    // A long name is cut so the line stays within the window.
    std::string name = viewer.shownName;
    if (name.size() > kStatusNameChars) name = name.substr(0, kStatusNameChars - 3) + "...";
    return name + text;
}

void drawViewerStatus(const Model& played, const ClipClock& clock) {
    if (!viewer.active || shell.graphics.font == nullptr) return;
    viewer.status = viewerStatusText(played, clock);
    Rect client{0, 0, kDesignClientWidth, kDesignClientHeight};
    if (shell.window != nullptr) getClientRect(shell.window, client);
    const int top = client.bottom - kStatusAboveFoot;
    drawText(shell.graphics.font, viewer.status.c_str(), -1, Rect{kStatusLeft, top, 0, 0}, DtNoClip,
             0xFFFFFFFFu);
}

HelpText viewerHelp() {
    if (!viewer.active) return designHelp();
    return HelpText{viewer.helpLines.data(), static_cast<int>(viewer.helpLines.size())};
}
