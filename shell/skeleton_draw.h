// The per-bone draw loop: one line strip per bone, from the bone's joint up
// through its ancestors to the root, each strip copied into lineBuffer and drawn
// with as many segments as the model has bones (segments past the chain join the
// origin to itself and vanish; the one after the root's child fades to the zero
// colour of the root vertex).
//
// Capacity: a strip of N uploaded vertices is drawn with at most N - 1 segments,
// or, when the strip is placed in the world, with at most (placed vertices - 1),
// so the strip never reaches an unplaced vertex. A model with more bones than
// that is clipped: every bone is still drawn, each with the segment count capped,
// which cuts only chains deeper than the cap.
#pragma once

#include <cstdint>

#include "common/math.h"
#include "model/model.h"
#include "model/pose.h"
#include "shell/services.h"

// Puts a root-relative strip into the world: p·scale·heading (points, w = 1),
// then (px, py) is added to x and y.
struct StripPlacement {
    Matrix4 scale = matrixIdentity();
    Matrix4 heading = matrixIdentity();
    float px = 0.0f, py = 0.0f;
};

// The arrays and scratch lists of one program's skeleton drawing (program-owned).
struct SkeletonStrips {
    StripArrays arrays;                         // strip (uploaded) and the interpolation arrays
    ChainScratch* scratch = nullptr;            // chain lists reused by every bone
    const StripPlacement* placement = nullptr;  // nullptr: drawn root-relative
    uint32_t placedVertices = 0;                // with a placement: vertices 0 .. placed-1 move
};

// The most segments a strip of these arrays may be drawn with.
uint32_t maxStripSegments(const SkeletonStrips& strips);

// Applies `placement` to vertices [0, count) of `strip` in place.
void placeStrip(LineVertex* strip, uint32_t count, const StripPlacement& placement);

// Uploads `uploadCount` vertices of `strip` and draws a line strip of `segments`
// segments from vertex 0. A strip whose drawn vertices are not all finite is not
// drawn (S_OK_); a failed lock is returned and nothing is drawn. A caller that
// knows every drawn vertex from `runStart` on to equal vertex `runStart` says so,
// and only the vertices up to that one are looked at.
HResult drawStrip(const LineVertex* strip, uint32_t uploadCount, uint32_t segments,
                  uint32_t runStart = UINT32_MAX);

// The whole loop for the played clip: for each bone, its strip (the prepared
// form of buildBoneStrip), placement when set, and drawStrip with min(bone
// count, maxStripSegments) segments. Stops at the first failed lock and returns
// its code (the caller draws nothing more).
HResult drawClipSkeleton(const Model& played, const ClipClock& clock, const SkeletonStrips& strips);
