#include "model/skin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

// The bind key of reference bone b: its key in frame 0, zeros without one.
BoneKey bindKey(const Model& reference, size_t b) {
    if (reference.frames.empty() || b >= reference.frames[0].size()) return BoneKey{};
    return reference.frames[0][b];
}

bool finite(const Vec3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

BoneMatch matchBones(const Model& reference, const Model& animation) {
    BoneMatch match;
    std::unordered_map<std::string_view, int32_t> byName;
    for (size_t b = 0; b < animation.bones.size(); ++b)
        byName.emplace(animation.bones[b].name, static_cast<int32_t>(b));
    std::vector<bool> used(animation.bones.size(), false);
    match.animationBone.assign(reference.bones.size(), -1);
    for (size_t b = 0; b < reference.bones.size(); ++b) {
        const auto it = byName.find(reference.bones[b].name);
        if (it == byName.end()) {
            match.missing.push_back(static_cast<int32_t>(b));
            continue;
        }
        match.animationBone[b] = it->second;
        used[static_cast<size_t>(it->second)] = true;
        ++match.matched;
    }
    for (size_t b = 0; b < animation.bones.size(); ++b)
        if (!used[b]) match.extra.push_back(static_cast<int32_t>(b));
    return match;
}

void retargetClip(const Model& reference, const Model& animation, const BoneMatch& match,
                  Model& out) {
    out.bones = reference.bones;
    out.triangles.clear();
    out.links.clear();
    out.frames.assign(animation.frames.size(), Frame{});
    const size_t bones = reference.bones.size();
    for (size_t f = 0; f < animation.frames.size(); ++f) {
        const Frame& keys = animation.frames[f];
        Frame& frame = out.frames[f];
        frame.resize(bones);
        for (size_t b = 0; b < bones; ++b) {
            const int32_t from = b < match.animationBone.size() ? match.animationBone[b] : -1;
            frame[b] = from >= 0 && static_cast<size_t>(from) < keys.size()
                           ? keys[static_cast<size_t>(from)]
                           : bindKey(reference, b);
        }
    }
}

std::string boneNameList(const Model& model, const std::vector<int32_t>& bones, size_t shown) {
    std::string out;
    size_t listed = 0;
    for (int32_t b : bones) {
        if (listed == shown) break;
        if (b < 0 || static_cast<size_t>(b) >= model.bones.size()) continue;
        if (listed++ > 0) out += ", ";
        out += '"';
        out += model.bones[static_cast<size_t>(b)].name;
        out += '"';
    }
    if (bones.size() > listed) out += " and " + std::to_string(bones.size() - listed) + " more";
    return out;
}

void bindTransforms(const Model& reference, std::vector<BoneTransform>& out) {
    const size_t bones = reference.bones.size();
    out.assign(bones, matrixIdentity());
    FramePose pose;
    evaluateFrame(reference, reference.frames.empty() ? -1 : 0, pose);
    for (size_t b = 0; b < bones; ++b) {
        if (pose.links[b] < 0) continue;
        // The pose puts each root at the origin; the mesh is written with the
        // root where its key puts it.
        size_t root = b;
        while (reference.bones[root].parent != -1)
            root = static_cast<size_t>(reference.bones[root].parent);
        const BoneKey& r = reference.frames[0][root];
        BoneTransform& m = out[b];
        m = pose.world[b];
        m.m[3][0] = pose.positions[b].x + r.x;
        m.m[3][1] = pose.positions[b].y + r.y;
        m.m[3][2] = pose.positions[b].z + r.z;
        m.m[3][3] = 1.0f;
    }
}

void skinMatrices(const std::vector<BoneTransform>& bind, const FramePose& pose,
                  const std::vector<Vec3>& joints, std::vector<Matrix4>& skin) {
    const size_t bones = std::min({bind.size(), pose.links.size(), joints.size()});
    skin.assign(bind.size(), matrixIdentity());
    for (size_t b = 0; b < bones; ++b) {
        if (pose.links[b] < 0) continue;
        const Matrix4& B = bind[b];
        // bind⁻¹ of a rigid transform: the rotation transposed, then the
        // joint taken back through it.
        Matrix4 inverse = matrixIdentity();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) inverse.m[i][j] = B.m[j][i];
        for (int j = 0; j < 3; ++j)
            inverse.m[3][j] =
                -(B.m[3][0] * B.m[j][0] + B.m[3][1] * B.m[j][1] + B.m[3][2] * B.m[j][2]);
        Matrix4 drawn = pose.world[b];
        drawn.m[3][0] = joints[b].x;
        drawn.m[3][1] = joints[b].y;
        drawn.m[3][2] = joints[b].z;
        drawn.m[3][3] = 1.0f;
        skin[b] = matrixMultiply(inverse, drawn);
    }
}

void blendSkinMatrices(const std::vector<Matrix4>& current, const std::vector<Matrix4>& next,
                       double t, std::vector<Matrix4>& out) {
    const size_t n = std::min(current.size(), next.size());
    out.resize(n);
    for (size_t b = 0; b < n; ++b)
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                out[b].m[i][j] =
                    static_cast<float>(static_cast<double>(current[b].m[i][j]) * (1.0 - t) +
                                       static_cast<double>(next[b].m[i][j]) * t);
}

void skinMesh(const Model& mesh, const std::vector<Matrix4>& skin, std::vector<Vec3>& positions) {
    const size_t bones = skin.size();
    positions.resize(mesh.triangles.size() * 3);
    if (bones == 0) {
        std::fill(positions.begin(), positions.end(), Vec3{});
        return;
    }
    const auto usable = [&](const WeightLink& l) {
        return l.bone >= 0 && static_cast<size_t>(l.bone) < bones && std::isfinite(l.weight) &&
               l.weight > 0.0f;
    };
    Vec3* out = positions.data();
    for (const Triangle& t : mesh.triangles) {
        for (const MeshVertex& c : t.corners) {
            const Vec3 p{c.px, c.py, c.pz};
            const size_t first = c.firstLink;
            const size_t last = std::min<size_t>(first + c.linkCount, mesh.links.size());
            float total = 0.0f;
            for (size_t i = first; i < last; ++i)
                if (usable(mesh.links[i])) total += mesh.links[i].weight;
            if (!(total > 0.0f) || !std::isfinite(total)) {
                const size_t bone = c.bone >= 0 && static_cast<size_t>(c.bone) < bones ? c.bone : 0;
                *out++ = vec3TransformCoord(p, skin[bone]);
                continue;
            }
            Vec3 sum;
            for (size_t i = first; i < last; ++i) {
                const WeightLink& l = mesh.links[i];
                if (!usable(l)) continue;
                const float w = l.weight / total;
                const Vec3 q = vec3TransformCoord(p, skin[static_cast<size_t>(l.bone)]);
                sum = {sum.x + q.x * w, sum.y + q.y * w, sum.z + q.z * w};
            }
            *out++ = sum;
        }
    }
}

uint32_t materialColor(const char* material) {
    // Soft colours far enough apart to tell neighbouring parts apart.
    static const uint32_t kPalette[] = {0xFFD9B38C, 0xFF8CB3D9, 0xFFA6D98C, 0xFFD98CA6,
                                        0xFFD9D98C, 0xFF8CD9D0, 0xFFB38CD9, 0xFFC0C0C0};
    uint32_t h = 2166136261u;
    for (const char* c = material; c != nullptr && *c != '\0'; ++c)
        h = (h ^ static_cast<unsigned char>(*c)) * 16777619u;
    return kPalette[h % (sizeof kPalette / sizeof kPalette[0])];
}

void shadeMesh(const Model& mesh, const std::vector<Vec3>& positions, const Vec3& light,
               std::vector<LineVertex>& vertices) {
    constexpr float kAmbient = 0.35f, kDiffuse = 0.65f;
    const size_t triangles = std::min(mesh.triangles.size(), positions.size() / 3);
    vertices.resize(triangles * 3);
    for (size_t t = 0; t < triangles; ++t) {
        const Vec3& a = positions[3 * t];
        const Vec3& b = positions[3 * t + 1];
        const Vec3& c = positions[3 * t + 2];
        LineVertex* v = &vertices[3 * t];
        if (!finite(a) || !finite(b) || !finite(c)) {
            v[0] = v[1] = v[2] = LineVertex{};
            continue;
        }
        Vec3 n{};
        normalizeVec3(
            n, crossVec3({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z}));
        const float lit = kAmbient + kDiffuse * std::fabs(dotVec3(n, light));
        const uint32_t base = materialColor(mesh.triangles[t].material);
        const auto channel = [&](int shift) {
            const float value = static_cast<float>((base >> shift) & 0xFF) * lit;
            return static_cast<uint32_t>(std::min(255.0f, value + 0.5f)) << shift;
        };
        const uint32_t color = 0xFF000000u | channel(16) | channel(8) | channel(0);
        v[0] = {a.x, a.y, a.z, color};
        v[1] = {b.x, b.y, b.z, color};
        v[2] = {c.x, c.y, c.z, color};
    }
}
