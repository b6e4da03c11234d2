#include "tools/makechar/stress_mesh.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace makechar {

namespace {

// Nodes and `frames` skeleton frames; frame f turns bone b by 0.3 sin(0.2 f + b)
// (0 with one frame, the bind pose).
void writeSkeleton(std::ostringstream& out, int bones, int frames) {
    out << "version 1\nnodes\n";
    for (int b = 0; b < bones; ++b)
        out << b << " \"bone" << b << "\" " << (b == 0 ? -1 : (b - 1) / 2) << "\n";
    out << "end\nskeleton\n";
    for (int f = 0; f < frames; ++f) {
        out << "time " << f << "\n";
        for (int b = 0; b < bones; ++b) {
            const double a = frames > 1 ? 0.3 * std::sin(f * 0.2 + b) : 0.0;
            out << b << " " << (b == 0 ? 0 : (b % 2 ? 2 : -2)) << " 0 " << (b == 0 ? 0 : 4) << " "
                << a << " 0 " << a * 0.5 << "\n";
        }
    }
    out << "end\n";
}

}  // namespace

std::string stressReference(int bones, size_t triangles) {
    std::ostringstream out;
    writeSkeleton(out, bones, 1);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> offset(-3.0f, 3.0f), weight(0.1f, 1.0f);
    std::uniform_int_distribution<int> bone(0, bones - 1), links(1, 4);
    out << "triangles\n";
    char line[256];
    for (size_t t = 0; t < triangles; ++t) {
        out << "mat" << t % 3 << "\n";
        const int near = bone(random);
        for (int c = 0; c < 3; ++c) {
            const int n = links(random);
            // Drawn z first: the order GCC gave the bench's former one-expression form.
            const float z = 4.0f * (near % 7) + offset(random);
            const float y = offset(random);
            const float x = offset(random);
            std::snprintf(line, sizeof line, "%d %f %f %f 0 0 1 0 0 %d", near, x, y, z, n);
            out << line;
            for (int l = 0; l < n; ++l) {
                const int linked = bone(random);
                out << " " << linked << " " << weight(random);
            }
            out << "\n";
        }
    }
    out << "end\n";
    return out.str();
}

std::string stressAnimation(int bones) {
    std::ostringstream out;
    writeSkeleton(out, bones, 30);
    return out.str();
}

}  // namespace makechar
