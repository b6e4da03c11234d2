// compare_runs trace A.jsonl B.jsonl [--relative R] [--absolute A]
// compare_runs image A.png B.png [--channel T] [--radius P] [--max-fraction F]
//                    [--text LEFT,TOP,RIGHT,BOTTOM]... [--text-slack P]
//
// Prints what it measured; exits 0 when the runs agree within the tolerances,
// 1 when they do not, 2 on bad arguments or unreadable files.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/backends/run_compare.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: compare_runs trace A.jsonl B.jsonl [--relative R] [--absolute A]\n"
                 "       compare_runs image A.png B.png [--channel T] [--radius P] "
                 "[--max-fraction F]\n"
                 "                    [--text LEFT,TOP,RIGHT,BOTTOM]... [--text-slack P]\n");
    return 2;
}

bool readText(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool number(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    const std::string mode = argv[1];
    double relative = 0, absolute = 0, channel = 48, radius = 1, maxFraction = 0.002, slack = 4;
    std::vector<PixelBox> textBoxes;
    for (int i = 4; i < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--text") {
            PixelBox box;
            char end = 0;
            if (i + 1 >= argc || std::sscanf(argv[i + 1], "%d,%d,%d,%d%c", &box.left, &box.top,
                                             &box.right, &box.bottom, &end) != 4)
                return usage();
            textBoxes.push_back(box);
            continue;
        }
        double* target = opt == "--relative"       ? &relative
                         : opt == "--absolute"     ? &absolute
                         : opt == "--channel"      ? &channel
                         : opt == "--radius"       ? &radius
                         : opt == "--max-fraction" ? &maxFraction
                         : opt == "--text-slack"   ? &slack
                                                   : nullptr;
        if (target == nullptr || i + 1 >= argc || !number(argv[i + 1], *target)) return usage();
    }
    if (mode == "trace") {
        std::string a, b;
        if (!readText(argv[2], a) || !readText(argv[3], b)) {
            std::fprintf(stderr, "compare_runs: cannot read %s or %s\n", argv[2], argv[3]);
            return 2;
        }
        const TraceComparison r = compareTraces(a, b, {absolute, relative});
        std::printf(
            "trace: %zu lines, %zu numbers, %zu not identical, largest difference %.3g "
            "(relative %.3g): %s%s\n",
            r.lines, r.numbers, r.numbersDiffering, r.largestAbsolute, r.largestRelative,
            r.equal ? "same" : "DIFFERENT: ", r.firstMismatch.c_str());
        return r.equal ? 0 : 1;
    }
    if (mode == "image") {
        RgbImage a, b;
        std::string error;
        if (!readPngRgb(argv[2], a, error) || !readPngRgb(argv[3], b, error)) {
            std::fprintf(stderr, "compare_runs: %s\n", error.c_str());
            return 2;
        }
        const ImageComparison r =
            compareImages(a, b,
                          {static_cast<int>(channel), static_cast<int>(radius), textBoxes,
                           static_cast<int>(slack)});
        if (!r.sameSize) {
            std::printf("image: sizes differ (%dx%d and %dx%d): DIFFERENT\n", a.width, a.height,
                        b.width, b.height);
            return 1;
        }
        const bool ok = r.unmatchedFraction <= maxFraction && r.textBoxesDiffering == 0;
        std::printf(
            "image: %dx%d, %ld pixels differ in place, %ld unmatched within %d px outside "
            "text (fraction %.5f, limit %.5f), %d of %zu text boxes differ%s%s: %s\n",
            a.width, a.height, r.exactDiffering, r.unmatched, static_cast<int>(radius),
            r.unmatchedFraction, maxFraction, r.textBoxesDiffering, textBoxes.size(),
            r.textReport.empty() ? "" : ", first ", r.textReport.c_str(),
            ok ? "close" : "DIFFERENT");
        return ok ? 0 : 1;
    }
    return usage();
}
