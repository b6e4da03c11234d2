// The character's body: a closed low-poly mesh in the bind pose, one tapered box
// around each bone, every corner bound to the bone that carries the box.
#pragma once

#include <string>
#include <vector>

#include "tools/makechar/rig_math.h"

namespace makechar {

struct MeshCorner {
    int bone = 0;
    V3 position;
    V3 normal;  // unit, pointing out of the box
    double u = 0.0, v = 0.0;
};

// Corners wind counter-clockwise about the outward normal.
struct MeshTriangle {
    std::string material;
    MeshCorner corners[3];
};

std::vector<MeshTriangle> bodyMesh();

}  // namespace makechar
