#include "shell/mesh_draw.h"

#include <algorithm>
#include <cstring>

#include "shell/scene.h"
#include "shell/shell.h"

HResult createMeshBuffer() {
    Graphics& g = shell.graphics;
    if (g.device == nullptr ||
        failed(createVertexBuffer(g.device, kMeshBufferBytes, UsageDynamic | UsageWriteOnly,
                                  kLineFvf, &g.meshBuffer)) ||
        g.meshBuffer == nullptr) {
        shell.startupError = "cannot create the mesh's vertex buffer";
        g.meshBuffer = nullptr;
        return E_FAIL_;
    }
    return S_OK_;
}

HResult drawMesh(const LineVertex* vertices, size_t triangles) {
    Graphics& g = shell.graphics;
    if (g.device == nullptr || g.meshBuffer == nullptr || triangles == 0) return S_OK_;
    setRenderState(g.device, RenderState::ZEnable, 1);
    HResult result = S_OK_;
    for (size_t first = 0; first < triangles; first += kMeshChunkTriangles) {
        const auto count =
            static_cast<uint32_t>(std::min<size_t>(kMeshChunkTriangles, triangles - first));
        const uint32_t bytes = count * 3 * static_cast<uint32_t>(sizeof(LineVertex));
        void* data = nullptr;
        const HResult hr = lockVertexBuffer(g.meshBuffer, 0, bytes, &data, LockDiscard);
        if (failed(hr) || data == nullptr) {
            result = failed(hr) ? hr : E_FAIL_;
            break;
        }
        std::memcpy(data, vertices + first * 3, bytes);
        unlockVertexBuffer(g.meshBuffer);
        setStreamSource(g.device, 0, g.meshBuffer, 0, sizeof(LineVertex));
        setFvf(g.device, kLineFvf);
        drawPrimitive(g.device, PrimitiveType::TriangleList, 0, count);
    }
    setRenderState(g.device, RenderState::ZEnable, 0);
    return result;
}
