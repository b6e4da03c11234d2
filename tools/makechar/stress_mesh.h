// A synthetic reference mesh and animation of a chosen size, for measuring the
// skinned mesh's frame (the benchmarks and the browser measurement). Not a
// character: `bones` bones in a binary tree (each 4 units above its parent, 2 to
// one side), triangles scattered around them, each corner linked to one to four
// random bones with random weights. Deterministic: the same sizes give the
// same text byte for byte.
#pragma once

#include <cstddef>
#include <string>

namespace makechar {

// The reference: nodes, one bind-pose frame and `triangles` triangles (three
// materials). `bones` from 1.
std::string stressReference(int bones, size_t triangles);

// A 30-frame animation of the same bones (each turns on x and z by a phase of
// its own), no triangles.
std::string stressAnimation(int bones);

}  // namespace makechar
