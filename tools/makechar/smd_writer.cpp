#include "tools/makechar/smd_writer.h"

#include <cstdio>
#include <cstring>

namespace makechar {

std::string fixed6(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", value);
    if (std::strcmp(buf, "-0.000000") == 0) return "0.000000";
    return buf;
}

std::string smdText(const std::vector<std::array<BoneKeyOut, BoneCount>>& frames,
                    const std::vector<MeshTriangle>& triangles) {
    std::string s = "version 1\nnodes\n";
    for (int b = 0; b < BoneCount; ++b) {
        const BoneDef& d = skeleton()[size_t(b)];
        s += std::to_string(b) + " \"" + d.name + "\" " + std::to_string(d.parent) + "\n";
    }
    s += "end\nskeleton\n";
    for (size_t f = 0; f < frames.size(); ++f) {
        s += "time " + std::to_string(f) + "\n";
        for (int b = 0; b < BoneCount; ++b) {
            const BoneKeyOut& k = frames[f][size_t(b)];
            s += std::to_string(b) + "  " + fixed6(k.offset.x) + " " + fixed6(k.offset.y) + " " +
                 fixed6(k.offset.z) + "  " + fixed6(k.rotation.x) + " " + fixed6(k.rotation.y) +
                 " " + fixed6(k.rotation.z) + "\n";
        }
    }
    s += "end\n";
    if (!triangles.empty()) {
        s += "triangles\n";
        for (const MeshTriangle& t : triangles) {
            s += t.material;
            s += "\n";
            for (const MeshCorner& c : t.corners) {
                s += std::to_string(c.bone) + "  " + fixed6(c.position.x) + " " +
                     fixed6(c.position.y) + " " + fixed6(c.position.z) + "  " + fixed6(c.normal.x) +
                     " " + fixed6(c.normal.y) + " " + fixed6(c.normal.z) + "  " + fixed6(c.u) +
                     " " + fixed6(c.v) + "\n";
            }
        }
        s += "end\n";
    }
    return s;
}

}  // namespace makechar
