#include "tools/makechar/mesh.h"

#include <cmath>

#include "tools/makechar/skeleton.h"

namespace makechar {
namespace {

const char* const kCloth = "clothes.bmp";
const char* const kSkin = "skin.bmp";

// A box around a segment: `width` across (along X, or along Z for a segment
// that runs sideways), `depth` across the other way, each at the start and at
// the end; the box reaches `before` past the start and `after` past the end.
struct BoxShape {
    double width0, depth0, width1, depth1;
    double before = 0.0, after = 0.0;
    const char* material = kCloth;
};

void addQuad(std::vector<MeshTriangle>& out, const char* material, int bone, const V3 q[4],
             const double uv[4][2], V3 boxCentre) {
    // Newell normal of the quad, turned to point away from the box's centre.
    V3 n{};
    for (int i = 0; i < 4; ++i) n = n + cross(q[i], q[(i + 1) % 4]);
    n = unit(n);
    const V3 faceCentre = 0.25 * (q[0] + q[1] + q[2] + q[3]);
    int order[4] = {0, 1, 2, 3};
    if (dot(n, faceCentre - boxCentre) < 0.0) {
        n = -1.0 * n;
        order[1] = 3, order[3] = 1;
    }
    const int tris[2][3] = {{order[0], order[1], order[2]}, {order[0], order[2], order[3]}};
    for (const auto& t : tris) {
        MeshTriangle tri;
        tri.material = material;
        for (int c = 0; c < 3; ++c) {
            tri.corners[c] = {bone, q[t[c]], n, uv[t[c]][0], uv[t[c]][1]};
        }
        out.push_back(tri);
    }
}

void addBox(std::vector<MeshTriangle>& out, int bone, V3 start, V3 end, const BoxShape& s) {
    const V3 d = unit(end - start);
    const V3 ref = std::fabs(d.x) > 0.7 ? V3{0, 0, 1} : V3{1, 0, 0};
    const V3 w = unit(ref - dot(ref, d) * d);
    const V3 e = cross(d, w);
    const V3 a = start - s.before * d;
    const V3 b = end + s.after * d;
    // Corners of the start (0..3) and end (4..7) rectangles, going round the same way.
    const double sx[4] = {-0.5, 0.5, 0.5, -0.5};
    const double sy[4] = {-0.5, -0.5, 0.5, 0.5};
    V3 c[8];
    for (int i = 0; i < 4; ++i) {
        c[i] = a + (sx[i] * s.width0) * w + (sy[i] * s.depth0) * e;
        c[i + 4] = b + (sx[i] * s.width1) * w + (sy[i] * s.depth1) * e;
    }
    const V3 centre = 0.5 * (a + b);
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        const V3 side[4] = {c[i], c[j], c[j + 4], c[i + 4]};
        const double uv[4][2] = {
            {0.25 * i, 0}, {0.25 * (i + 1), 0}, {0.25 * (i + 1), 1}, {0.25 * i, 1}};
        addQuad(out, s.material, bone, side, uv, centre);
    }
    const double capUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const V3 startCap[4] = {c[0], c[1], c[2], c[3]};
    const V3 endCap[4] = {c[4], c[5], c[6], c[7]};
    addQuad(out, s.material, bone, startCap, capUv, centre);
    addQuad(out, s.material, bone, endCap, capUv, centre);
}

// The box around the segment that ends at `bone`'s joint, or nothing.
bool shapeFor(int bone, BoxShape& s) {
    switch (bone) {
        case ThighL:
        case ThighR:
        case ClavicleL:
        case ClavicleR:
        case HandTipL:
        case HandTipR:
            return false;  // inside the pelvis or the chest, or along the middle finger
        case Spine:
            s = {11.0, 7.0, 11.0, 6.6};
            return true;
        case Spine1:
            s = {11.0, 6.6, 10.6, 6.2};
            return true;
        case Spine2:
            s = {10.6, 6.2, 11.2, 6.6};
            return true;
        case Spine3:
            s = {11.2, 6.6, 12.6, 7.2};
            return true;
        case Chest:
            s = {12.6, 7.2, 13.6, 7.6};
            return true;
        case Neck:
            s = {13.6, 7.6, 12.0, 6.4};
            return true;
        case Head:
            s = {3.2, 3.4, 3.0, 3.2, 0.0, 0.0, kSkin};
            return true;
        case HeadTop:
            s = {6.4, 7.6, 6.6, 7.8, 2.5, 0.0, kSkin};
            return true;
        case CalfL:
        case CalfR:
            s = {6.0, 6.4, 4.4, 4.6, 1.0, 0.0};
            return true;
        case FootL:
        case FootR:
            s = {4.4, 4.8, 3.0, 3.2};
            return true;
        case ToeL:
        case ToeR:
            s = {3.2, 3.2, 3.6, 1.4};
            return true;
        case ToeTipL:
        case ToeTipR:
            s = {3.6, 1.2, 3.0, 0.8};
            return true;
        case HeelL:
        case HeelR:
            s = {3.0, 2.6, 2.6, 1.6};
            return true;
        case UpperArmL:
        case UpperArmR:
            s = {2.6, 2.6, 3.0, 3.0, 0.0, 1.4};
            return true;
        case ForearmL:
        case ForearmR:
            s = {3.6, 3.6, 3.0, 3.0};
            return true;
        case HandL:
        case HandR:
            s = {3.0, 3.0, 2.4, 2.2};
            return true;
        default:
            break;
    }
    for (int base : {FingersL, FingersR}) {
        if (bone < base || bone >= base + kFingerCount * kJointsPerFinger) continue;
        const int finger = (bone - base) / kJointsPerFinger;
        const int j = (bone - base) % kJointsPerFinger;
        if (j == 0) {
            // From the wrist: the palm towards the middle finger, a pad for the thumb.
            if (finger == 2)
                s = {1.5, 3.6, 1.3, 3.6, 0.0, 0.0, kSkin};
            else if (finger == 0)
                s = {1.3, 1.3, 1.1, 1.1, 0.0, 0.0, kSkin};
            else
                return false;
            return true;
        }
        const double t = finger == 0 ? 0.95 : 0.8;
        s = {t, t, 0.85 * t, 0.85 * t, 0.0, 0.0, kSkin};
        return true;
    }
    return false;
}

}  // namespace

std::vector<MeshTriangle> bodyMesh() {
    std::vector<MeshTriangle> out;
    // The pelvis block around the root, from below the hips to the waist.
    addBox(out, Pelvis, {0.0, 0.6, -5.3}, {0.0, 0.6, 1.7}, {12.4, 8.0, 12.4, 8.0});
    for (int b = 1; b < BoneCount; ++b) {
        BoxShape s;
        if (!shapeFor(b, s)) continue;
        const int parent = skeleton()[size_t(b)].parent;
        addBox(out, parent, skeleton()[size_t(parent)].joint, skeleton()[size_t(b)].joint, s);
    }
    return out;
}

}  // namespace makechar
