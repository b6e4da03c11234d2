// makechar OUTDIR: writes the character (barney.smd) and its two gait cycles
// (walk.smd, run.smd) into OUTDIR. The output depends on nothing but this
// program: running it again reproduces the files byte for byte.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/makechar/gait.h"
#include "tools/makechar/mesh.h"
#include "tools/makechar/smd_writer.h"

namespace {

using namespace makechar;

bool writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "makechar: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "makechar: error while writing %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string cycleText(const GaitParams& gait) {
    // Frame f shows the middle of the f-th slice of the cycle, so that the step
    // from the last frame back to frame 0 is an ordinary step.
    std::vector<std::array<BoneKeyOut, BoneCount>> frames;
    for (int f = 0; f < gait.frames; ++f)
        frames.push_back(keysOf(gaitPose(gait, (f + 0.5) / gait.frames)));
    return smdText(frames, {});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: makechar OUTDIR\n"
                     "Writes barney.smd (skeleton, bind pose, mesh), walk.smd and run.smd\n"
                     "(one gait cycle each) into OUTDIR, which must exist.\n");
        return argc == 2 ? 0 : 2;
    }
    const std::string dir = argv[1];
    const std::string bind = smdText({keysOf(bindPose())}, bodyMesh());
    const bool ok = writeFile(dir + "/barney.smd", bind) &&
                    writeFile(dir + "/walk.smd", cycleText(walkParams())) &&
                    writeFile(dir + "/run.smd", cycleText(runParams()));
    return ok ? 0 : 1;
}
