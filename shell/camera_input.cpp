#include "shell/camera_input.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/pose.h"
#include "shell/scene.h"

void zoomCamera(OrbitCamera& camera, double d) {
    const Vec3 toTarget{camera.target.x - camera.eye.x, camera.target.y - camera.eye.y,
                        camera.target.z - camera.eye.z};
    Vec3 v{};  // stays zero when the eye is on the target
    normalizeVec3(v, toTarget);
    const double step = d * kZoomStep;
    const Vec3 eye{static_cast<float>(camera.eye.x + v.x * step),
                   static_cast<float>(camera.eye.y + v.y * step),
                   static_cast<float>(camera.eye.z + v.z * step)};
    if (!std::isfinite(eye.x) || !std::isfinite(eye.y) || !std::isfinite(eye.z)) return;
    const Vec3 rest{camera.target.x - eye.x, camera.target.y - eye.y, camera.target.z - eye.z};
    if (lengthVec3(rest) < kMinEyeDistance) return;
    camera.eye = eye;
}

void orbitCamera(OrbitCamera& camera, double dx, double /*dy*/) {
    const double theta = -dx * kOrbitStep;
    const Matrix4 toOrigin = matrixTranslation(0.0f, 0.0f, 0.0f);
    Matrix4 back = toOrigin;
    matrixInverse(back, toOrigin);
    const Matrix4 m =
        matrixMultiply(matrixMultiply(toOrigin, matrixRotationZ(static_cast<float>(theta))), back);
    const Vec3 eye = vec3TransformCoord(camera.eye, m);
    if (!std::isfinite(eye.x) || !std::isfinite(eye.y) || !std::isfinite(eye.z)) return;
    camera.eye = eye;
}

void mouseButton(MouseLook& look, Window* window, uint32_t message) {
    switch (message) {
        case msg::LButtonDown:
            getWindowRect(window, look.windowRect);
            look.cursorFree = false;
            showCursor(false);
            break;
        case msg::LButtonUp:
            showCursor(true);
            look.cursorFree = true;
            break;
        case msg::RButtonDown:
            getWindowRect(window, look.windowRect);
            showCursor(false);
            look.zoomDrag = true;
            look.cursorFree = false;
            break;
        case msg::RButtonUp:
            showCursor(true);
            look.zoomDrag = false;
            look.cursorFree = true;
            break;
        default:
            break;
    }
}

void mouseMove(MouseLook& look, OrbitCamera& camera, intptr_t lParam) {
    const uint32_t bits = static_cast<uint32_t>(lParam);
    look.curX = static_cast<float>(bits & 0xFFFFu);
    look.curY = static_cast<float>((bits >> 16) & 0xFFFFu);
    if (look.firstMove) {
        look.lastRecentreMs = getTickCount();
        look.firstMove = false;
    }
    if (!look.zoomDrag && look.cursorFree) return;

    const double dx = look.prevX - look.curX;
    const double dy = look.prevY - look.curY;
    auto apply = [&] {
        if (look.zoomDrag) {
            zoomCamera(camera, dy);
        } else {
            orbitCamera(camera, dx, dy);
        }
    };
    if (static_cast<uint32_t>(getTickCount() - look.lastRecentreMs) > kRecentreIntervalMs) {
        setCursorPos(look.windowRect.left + kRecentreOffset, look.windowRect.top + kRecentreOffset);
        look.lastRecentreMs = getTickCount();
        look.skipNextMove = true;
        apply();
        return;
    }
    if (look.skipNextMove) {
        look.skipNextMove = false;
    } else {
        apply();
    }
    look.prevX = look.curX;
    look.prevY = look.curY;
}

void confineCursor(const MouseLook& look) {
    if (!look.cursorFree) {
        const Rect r{look.windowRect.left + 10, look.windowRect.top + 50,
                     look.windowRect.right - 10, look.windowRect.bottom - 10};
        clipCursor(&r);
    } else {
        clipCursor(nullptr);
    }
}

namespace {

// Width of the joints in the picture seen from `camera`, in clip-space units
// (x after the perspective divide); joints behind the eye do not count.
double pictureWidth(const std::vector<Vec3>& joints, const OrbitCamera& camera) {
    const Matrix4 view = matrixLookAtLH(camera.eye, camera.target, camera.up);
    const Matrix4 proj = matrixPerspectiveFovLH(kFieldOfView, 1.0f, kNearPlane, kFarPlane);
    const Matrix4 m = matrixMultiply(view, proj);
    double low = 0.0, high = 0.0;
    bool any = false;
    for (const Vec3& j : joints) {
        if (vec3TransformCoord(j, view).z <= 0.0f) continue;
        const double x = vec3TransformCoord(j, m).x;
        low = any ? std::min(low, x) : x;
        high = any ? std::max(high, x) : x;
        any = true;
    }
    return high - low;
}

}  // namespace

OrbitCamera fitCamera(const Model& model, bool rootsInPlace, const std::vector<Vec3>& alsoShow) {
    // Every joint of frame 0 as drawn; broken chains sit at the origin.
    std::vector<Vec3> joints{{0.0f, 0.0f, 0.0f}};
    if (!model.frames.empty()) {
        FramePose pose;
        evaluateFrame(model, 0, pose, rootsInPlace);
        for (size_t b = 0; b < model.bones.size(); ++b)
            if (pose.links[b] > 0 || (rootsInPlace && pose.links[b] == 0))
                joints.push_back(pose.positions[b]);
    }
    for (const Vec3& p : alsoShow)
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) joints.push_back(p);
    Vec3 low = joints[0], high = joints[0];
    for (const Vec3& j : joints) {
        low = {std::min(low.x, j.x), std::min(low.y, j.y), std::min(low.z, j.z)};
        high = {std::max(high.x, j.x), std::max(high.y, j.y), std::max(high.z, j.z)};
    }
    const Vec3 centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    float radius = 0.0f;
    for (const Vec3& j : joints)
        radius = std::max(radius, lengthVec3({j.x - centre.x, j.y - centre.y, j.z - centre.z}));
    if (!(radius > 0.0f) || !std::isfinite(radius)) {
        const float d = kFittedDefaultDistance;
        return OrbitCamera{{-d, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    }
    // The sphere seen from distance d spans asin(radius / d) about the view's
    // axis; it fills kFittedHeight of the height when the tangent of that angle
    // is kFittedHeight times the tangent of half the field of view.
    const float spread = std::atan(kFittedHeight * std::tan(kFieldOfView / 2));
    float d = radius / std::sin(spread);
    d = std::min(d, std::max(kFarPlane - radius, kNearPlane + radius));  // whole within the depth
    d = std::max(d, kNearPlane + radius);                                // range where it can be
    const Vec3 sides[] = {{-1, 0, 0}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}};
    OrbitCamera best;
    double bestWidth = -1.0;
    for (const Vec3& side : sides) {
        const OrbitCamera c{{centre.x + side.x * d, centre.y + side.y * d, centre.z + side.z * d},
                            centre};
        const double width = pictureWidth(joints, c);
        if (bestWidth < 0.0 || width > bestWidth * kFittedSideMargin) {
            best = c;
            bestWidth = width;
        }
    }
    return best;
}
