// The one skeleton drawer of the three programs: per drawn frame, every joint
// placed once; then, for every bone, its strip filled (model/bone_strip.h),
// copied into lineBuffer and drawn as a line strip of style.segments segments
// (segments past the chain join the tail point to itself and vanish), and, with
// joint dots, the same strip coloured and drawn as points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/bone_strip.h"
#include "model/model.h"
#include "shell/services.h"

// Draws the strip of every bone of `bones` from `joints` (one per bone; see
// fillBoneStrip for `chains`) through `strip` (style.vertices entries,
// program-owned; it holds the last strip afterwards). `placed` receives the
// frame's placed joints. A strip whose drawn vertices are not all finite is not
// drawn. Stops at the first failed lock and returns its code (the caller draws
// nothing more); `stripsFilled`, when given, counts the strips filled until then.
HResult drawSkeleton(const std::vector<Bone>& bones, const std::vector<Vec3>& joints,
                     const int32_t* chains, const StripStyle& style, LineVertex* strip,
                     PlacedJoints& placed, size_t* stripsFilled = nullptr);
