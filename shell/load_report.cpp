#include "shell/load_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "shell/shell.h"

namespace {

// A file that keeps changing is reported at each change; the oldest reports
// are forgotten beyond kKept.
constexpr size_t kKept = 64;

}  // namespace

std::string describeLoad(const char* path, const SmdLoadResult& result, const Model& model,
                         uint32_t maxSegments) {
    std::string report = describeSmdLoad(path, result, false);
    // After a file that could not be read whole the error says enough.
    const bool read = result.status == SmdStatus::Loaded || result.status == SmdStatus::Repaired;
    if (const char* reason = read ? nothingToDraw(model) : nullptr) {
        report += std::string(path) + ": nothing to draw: " + reason + "\n";
        return report;
    }
    const DeepestBone deepest = deepestBone(model);
    if (maxSegments > 0 && deepest.links > maxSegments) {
        std::string name = model.bones[deepest.bone].name;
        for (char& c : name)
            if (static_cast<unsigned char>(c) < 0x20) c = '?';  // one line, whatever the file says
        char line[256];
        std::snprintf(line, sizeof line,
                      ": warning: bone %d \"%s\" lies %u bones below its root; each bone's line "
                      "is drawn with at most %u segments, so the deepest chains are cut\n",
                      deepest.bone, name.c_str(), deepest.links, maxSegments);
        report += path;
        report += line;
    }
    return report;
}

std::string windowLoadProblem(const char* path, const SmdLoadResult& result, const Model& model) {
    const std::string report = describeLoad(path, result, model, 0);
    const bool read = result.status == SmdStatus::Loaded || result.status == SmdStatus::Repaired;
    const char* wanted = read ? ": nothing to draw: " : ": error: ";
    if (read && nothingToDraw(model) == nullptr) return "";
    std::string line;
    for (size_t at = 0; at < report.size();) {
        size_t end = report.find('\n', at);
        if (end == std::string::npos) end = report.size();
        const std::string candidate = report.substr(at, end - at);
        if (line.empty() ||
            (candidate.find(wanted) != std::string::npos && line.find(wanted) == std::string::npos))
            line = candidate;
        at = end + 1;
    }
    const std::string full = path;
    const size_t slash = full.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    if (line.compare(0, full.size(), full) == 0) line = name + line.substr(full.size());
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return line.empty() ? name + ": cannot be shown" : line;
}

std::vector<std::string> wrapText(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    if (width == 0) return lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        at = end + 1;
        while (word.size() > width) {  // a word longer than a line is cut
            if (!line.empty()) lines.push_back(line), line.clear();
            lines.push_back(word.substr(0, width));
            word = word.substr(width);
        }
        if (word.empty()) continue;
        if (!line.empty() && line.size() + 1 + word.size() > width)
            lines.push_back(line), line.clear();
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void printLoadReportOnce(const std::string& report) {
    std::vector<std::string>& printed = shell.printedReports;  // newest last
    if (report.empty() || std::find(printed.begin(), printed.end(), report) != printed.end())
        return;
    if (printed.size() == kKept) printed.erase(printed.begin());
    printed.push_back(report);
    std::fputs(report.c_str(), stderr);
}
