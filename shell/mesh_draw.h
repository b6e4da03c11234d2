// Drawing a shaded mesh: triangles of LineVertex, already placed and coloured
// on the CPU (model/skin.h), through a vertex buffer of their own, with the
// depth test on; the figure drawn after them goes over them.
//
// The buffer holds kMeshChunkTriangles triangles (768 KiB): a mesh of more is
// drawn in several chunks, each locked with LockDiscard, filled and drawn, so
// memory stays bounded whatever a file holds and no draw call asks for more
// primitives than the smallest Direct3D 9 devices take (65535). lineBuffer's
// 110 vertices would need a lock per 36 triangles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/math.h"
#include "shell/services.h"

constexpr uint32_t kMeshChunkTriangles = 16384;
constexpr uint32_t kMeshBufferBytes =
    kMeshChunkTriangles * 3 * static_cast<uint32_t>(sizeof(LineVertex));

// Creates shell.graphics.meshBuffer (dynamic, write-only). E_FAIL_ with
// shell.startupError set when it cannot be made.
HResult createMeshBuffer();

// Draws `triangles` triangles from `vertices` (three per triangle) with the
// depth test on, then turns the depth test off for what follows. Returns the
// first failed lock (the rest is not drawn) or S_OK_; nothing without a mesh
// buffer.
HResult drawMesh(const LineVertex* vertices, size_t triangles);
