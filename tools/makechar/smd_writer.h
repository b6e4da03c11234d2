// Writes the character's SMD text: a `nodes` section, a `skeleton` section with
// one time block per pose, and optionally a `triangles` section. Numbers carry six
// decimals, as exporters write them; a value that rounds to zero is written as
// 0.000000, never -0.000000, so the text does not depend on the sign of a
// rounding residue.
#pragma once

#include <string>
#include <vector>

#include "tools/makechar/gait.h"
#include "tools/makechar/mesh.h"

namespace makechar {

// The file's text. `frames` holds the keys of each time block in order.
std::string smdText(const std::vector<std::array<BoneKeyOut, BoneCount>>& frames,
                    const std::vector<MeshTriangle>& triangles);

// "%.6f" with the sign of a zero dropped.
std::string fixed6(double value);

}  // namespace makechar
