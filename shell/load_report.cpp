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
    std::string report = describeSmdLoad(path, result);
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

void printLoadReportOnce(const std::string& report) {
    std::vector<std::string>& printed = shell.printedReports;  // newest last
    if (report.empty() || std::find(printed.begin(), printed.end(), report) != printed.end())
        return;
    if (printed.size() == kKept) printed.erase(printed.begin());
    printed.push_back(report);
    std::fputs(report.c_str(), stderr);
}
