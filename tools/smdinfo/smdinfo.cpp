// smdinfo: inspects, dumps and lints SMD files with the reader the programs use.
//
//   smdinfo FILE...          one summary line per file on stdout; problems on stderr
//   smdinfo --dump FILE      the model exactly as the programs would hold it
//   smdinfo --check FILE...  every problem as FILE:LINE:COL: error|warning: message
//   smdinfo --match REF ANIM...  which bones of each animation pair with the
//                            reference's by name, and which do not
//
// Exit status: 0; 1 when a file failed to load (summary, --dump, --match),
// when any problem is an error (--check) or when an animation matches no bone
// of the reference (--match); 2 on a usage error.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "model/skin.h"
#include "model/smd.h"

namespace {

const char kUsage[] =
    "usage: smdinfo FILE...          summary of each file\n"
    "       smdinfo --dump FILE      canonical dump of the loaded model\n"
    "       smdinfo --check FILE...  list every problem (exit 1 on any error)\n"
    "       smdinfo --match REF.smd ANIM.smd...  bones of each animation matched by name\n";

bool failed(const SmdLoadResult& result) {
    return result.status == SmdStatus::CannotOpen || result.status == SmdStatus::WrongFirstLine ||
           result.status == SmdStatus::Malformed;
}

int summarize(int count, char** files) {
    int status = 0;
    for (int i = 0; i < count; ++i) {
        Model model;
        const SmdLoadResult result = loadSmd(model, files[i]);
        std::fputs(describeSmdLoad(files[i], result).c_str(), stderr);
        if (failed(result)) status = 1;
        // After a failed read the part read is no summary of the file.
        if (failed(result)) continue;
        size_t roots = 0;
        for (const Bone& b : model.bones) roots += b.parent < 0;
        std::string keys = "-";
        if (!model.frames.empty()) {
            size_t low = model.frames[0].size(), high = low;
            for (const Frame& f : model.frames) {
                low = std::min(low, f.size());
                high = std::max(high, f.size());
            }
            keys = std::to_string(low);
            if (high != low) keys += ".." + std::to_string(high);
        }
        std::set<std::string> materials;
        for (const Triangle& t : model.triangles) materials.insert(t.material);
        std::printf(
            "%s: bones %zu, roots %zu, depth %zu, frames %zu, keys per frame %s, triangles %zu, "
            "materials %zu\n",
            files[i], model.bones.size(), roots,
            model.bones.empty() ? size_t{0} : size_t{deepestBone(model).links} + 1,
            model.frames.size(), keys.c_str(), model.triangles.size(), materials.size());
    }
    return status;
}

void put(std::string& out, float value) {
    char text[32];
    std::snprintf(text, sizeof text, " %.9g", static_cast<double>(value));
    out += text;
}

int dump(const char* file) {
    Model model;
    const SmdLoadResult result = loadSmd(model, file);
    std::fputs(describeSmdLoad(file, result).c_str(), stderr);
    if (result.status == SmdStatus::CannotOpen) return 1;
    std::string out;
    out.reserve(64 + model.bones.size() * 80 + model.frames.size() * 32 +
                model.triangles.size() * 400);
    out += "bones " + std::to_string(model.bones.size()) + "\n";
    for (size_t i = 0; i < model.bones.size(); ++i) {
        out += "bone " + std::to_string(i) + " " + std::to_string(model.bones[i].parent) + " \"";
        out += model.bones[i].name;
        out += "\"\n";
    }
    out += "frames " + std::to_string(model.frames.size()) + "\n";
    for (size_t f = 0; f < model.frames.size(); ++f) {
        const Frame& frame = model.frames[f];
        out += "frame " + std::to_string(f) + " " + std::to_string(frame.size()) + "\n";
        for (size_t i = 0; i < frame.size(); ++i) {
            const BoneKey& k = frame[i];
            out += "key " + std::to_string(f) + " " + std::to_string(i);
            for (float v : {k.x, k.y, k.z, k.rx, k.ry, k.rz}) put(out, v);
            out += '\n';
        }
    }
    out += "triangles " + std::to_string(model.triangles.size()) + "\n";
    for (size_t t = 0; t < model.triangles.size(); ++t) {
        const Triangle& tri = model.triangles[t];
        out += "triangle " + std::to_string(t) + " ";
        out += tri.material;
        out += '\n';
        for (int c = 0; c < 3; ++c) {
            const MeshVertex& v = tri.corners[c];
            out += "corner " + std::to_string(t) + " " + std::to_string(c) + " " +
                   std::to_string(v.bone);
            for (float x : {v.px, v.py, v.pz, v.nx, v.ny, v.nz, v.u, v.v}) put(out, x);
            out += '\n';
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return failed(result) ? 1 : 0;
}

int check(int count, char** files) {
    int status = 0;
    for (int i = 0; i < count; ++i) {
        Model model;
        const SmdLoadResult result = loadSmd(model, files[i]);
        std::fputs(describeSmdLoad(files[i], result).c_str(), stdout);
        for (const SmdProblem& p : result.problems)
            if (p.severity == SmdProblem::Severity::Error) status = 1;
        // A file that reads but would show nothing is still valid.
        const char* reason = nothingToDraw(model);
        if (reason && !failed(result))
            std::printf("%s: warning: nothing to draw: %s\n", files[i], reason);
    }
    return status;
}

// Every name of `bones`, quoted, or "none".
std::string allNames(const Model& model, const std::vector<int32_t>& bones) {
    return bones.empty() ? "none" : boneNameList(model, bones, bones.size());
}

int match(int count, char** files) {
    Model reference;
    const SmdLoadResult loaded = loadSmd(reference, files[0]);
    std::fputs(describeSmdLoad(files[0], loaded).c_str(), stderr);
    if (failed(loaded)) return 1;
    int status = 0;
    for (int i = 1; i < count; ++i) {
        Model animation;
        const SmdLoadResult result = loadSmd(animation, files[i]);
        std::fputs(describeSmdLoad(files[i], result).c_str(), stderr);
        if (failed(result)) {
            status = 1;
            continue;
        }
        const BoneMatch m = matchBones(reference, animation);
        std::vector<int32_t> matched;
        for (int32_t b : m.animationBone)
            if (b >= 0) matched.push_back(b);
        std::sort(matched.begin(), matched.end());
        std::printf("%s: %zu of %zu bones match %s\n", files[i], m.matched, animation.bones.size(),
                    files[0]);
        std::printf("  matched: %s\n", allNames(animation, matched).c_str());
        std::printf("  not in the reference (ignored): %s\n", allNames(animation, m.extra).c_str());
        std::printf("  reference bones it lacks (kept in the bind pose): %s\n",
                    allNames(reference, m.missing).c_str());
        if (m.matched == 0) status = 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::puts("smdinfo " ARTIC_VERSION);
        return 0;
    }
    if (std::strcmp(first, "--dump") == 0) {
        if (argc != 3) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return dump(argv[2]);
    }
    if (std::strcmp(first, "--check") == 0) {
        if (argc < 3) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return check(argc - 2, argv + 2);
    }
    if (std::strcmp(first, "--match") == 0) {
        if (argc < 4) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return match(argc - 2, argv + 2);
    }
    if (first[0] == '-' && first[1] == '-' && first[2] != '\0') {
        std::fprintf(stderr, "smdinfo: unknown option '%s'\n%s", first, kUsage);
        return 2;
    }
    int start = 1;
    if (std::strcmp(first, "--") == 0) start = 2;
    return summarize(argc - start, argv + start);
}
