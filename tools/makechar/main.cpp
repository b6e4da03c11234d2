// makechar OUTDIR: writes the character (barney.smd) and its two gait cycles
// (walk.smd, run.smd) into OUTDIR. makechar --mesh BONES TRIANGLES OUTDIR writes
// a synthetic mesh of that size and an animation of its bones instead (for
// measuring). The output depends on nothing but this program: running it again
// reproduces the files byte for byte.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/makechar/gait.h"
#include "tools/makechar/mesh.h"
#include "tools/makechar/smd_writer.h"
#include "tools/makechar/stress_mesh.h"

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

// A whole number from `low` to `high`, or -1.
long wholeNumber(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return -1;
    return value;
}

// makechar --mesh BONES TRIANGLES OUTDIR
int writeStressMesh(char** argv) {
    const long bones = wholeNumber(argv[2], 1, 10000),
               triangles = wholeNumber(argv[3], 0, 10000000);
    if (bones < 0 || triangles < 0) {
        std::fprintf(stderr,
                     "makechar: --mesh takes BONES (1 to 10000) and TRIANGLES (0 to 10000000)\n");
        return 2;
    }
    const std::string prefix = std::string(argv[4]) + "/stress_" + std::to_string(bones) + "b";
    const bool ok =
        writeFile(prefix + "_" + std::to_string(triangles) + "t.smd",
                  stressReference(static_cast<int>(bones), static_cast<size_t>(triangles))) &&
        writeFile(prefix + "_anim.smd", stressAnimation(static_cast<int>(bones)));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--mesh") == 0) return writeStressMesh(argv);
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: makechar OUTDIR\n"
                     "       makechar --mesh BONES TRIANGLES OUTDIR\n"
                     "Writes barney.smd (skeleton, bind pose, mesh), walk.smd and run.smd\n"
                     "(one gait cycle each) into OUTDIR, which must exist. With --mesh, writes\n"
                     "a synthetic mesh for measuring instead: stress_BONESb_TRIANGLESt.smd (BONES\n"
                     "bones, TRIANGLES triangles, one to four links per corner) and\n"
                     "stress_BONESb_anim.smd (30 frames of its bones).\n");
        return argc == 2 ? 0 : 2;
    }
    const std::string dir = argv[1];
    const std::string bind = smdText({keysOf(bindPose())}, bodyMesh());
    const bool ok = writeFile(dir + "/barney.smd", bind) &&
                    writeFile(dir + "/walk.smd", cycleText(walkParams())) &&
                    writeFile(dir + "/run.smd", cycleText(runParams()));
    return ok ? 0 : 1;
}
