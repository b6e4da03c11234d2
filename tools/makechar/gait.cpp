#include "tools/makechar/gait.h"

#include <algorithm>
#include <cmath>

namespace makechar {
namespace {

const V3 kAxisX{1, 0, 0};

V3 joint(int bone) {
    return skeleton()[size_t(bone)].joint;
}

// The rotation that carries a bind-pose segment direction `d0` with hinge axis
// `a0` (perpendicular to it) onto direction `d` with hinge axis `a`.
M3 alignSegment(V3 d0, V3 a0, V3 d, V3 a) {
    const M3 from = fromColumns(a0, d0, cross(a0, d0));
    const M3 to = fromColumns(a, d, cross(a, d));
    return to * transpose(from);
}

double smoothstep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Everything about one foot at one phase of its leg's cycle, relative to the
// pelvis joint, with the ground at height `ground`.
struct FootState {
    V3 ankle;
    M3 foot;       // world rotation of the foot
    double toeUp;  // toes bent up against the foot, radians
};

struct LegSide {
    int thigh, calf, foot, toe;
    double side;  // +1 right, -1 left
};

class GaitBuilder {
public:
    GaitBuilder(const GaitParams& g) : g_(g) {}

    // Height of the pelvis joint above the ground at cycle phase `phase`.
    double pelvisHeight(double phase) const {
        if (!g_.pelvisLift.keys.empty()) return g_.pelvisHeight + g_.pelvisLift(2.0 * phase);
        return g_.pelvisHeight + g_.bob * std::cos(4.0 * kPi * (phase - g_.bobPeak));
    }

    FootState footAt(const LegSide& leg, double legPhase, double ground) const {
        const double p = wrapPhase(legPhase);
        if (p <= g_.duty) return stance(leg, p, ground);
        return swingFoot(leg, p, ground);
    }

    Pose pose(double phase) const;

private:
    M3 heading(const LegSide& leg) const { return rotZ(leg.side * g_.toeOut); }

    // The planted foot: the point it rolls over (the heel while the toes are up,
    // the ball while the heel is up) moves backwards with the ground.
    FootState stance(const LegSide& leg, double p, double ground) const {
        const double cycleSeconds = g_.frames / g_.framesPerSecond;
        const double pitch = deg(g_.footPitch(p));
        const M3 turn = heading(leg);
        const M3 foot = turn * rotX(-pitch);
        const V3 heelOffset = joint(leg.foot == FootR ? HeelR : HeelL) - joint(leg.foot);
        const V3 ballOffset = joint(leg.toe) - joint(leg.foot);
        const V3 heelFlat{leg.side * g_.footHalfWidth, g_.touchdownY + g_.speed * cycleSeconds * p,
                          ground};
        FootState s;
        s.foot = foot;
        if (pitch >= 0.0) {
            s.ankle = heelFlat - foot * heelOffset;
            s.toeUp = 0.0;
        } else {
            const V3 ballFlat = heelFlat + turn * (ballOffset - heelOffset);
            s.ankle = ballFlat - foot * ballOffset;
            s.toeUp = -pitch;  // the toes stay flat on the ground
        }
        return s;
    }

    // Ankle (y, height above ground) of the planted foot, for matching the swing.
    void stanceAnkle(const LegSide& leg, double p, double& y, double& h) const {
        const FootState s = stance(leg, p, 0.0);
        y = s.ankle.y, h = s.ankle.z;
    }

    FootState swingFoot(const LegSide& leg, double p, double ground) const {
        // Keys of the whole swing: lift-off and touchdown taken from the stance
        // motion with its speed, the designed keys in between.
        const double eps = 1e-4;
        struct K {
            double t, y, h;
        };
        std::vector<K> keys;
        double y0, h0, y1, h1, ya, ha, yb, hb;
        stanceAnkle(leg, g_.duty, y0, h0);
        stanceAnkle(leg, g_.duty - eps, ya, ha);
        stanceAnkle(leg, 0.0, y1, h1);
        stanceAnkle(leg, eps, yb, hb);
        keys.push_back({g_.duty, y0, h0});
        for (const SwingKey& k : g_.swing) keys.push_back({k.phase, k.y, k.height});
        keys.push_back({1.0, y1, h1});
        const double sy0 = (y0 - ya) / eps, sh0 = (h0 - ha) / eps;
        const double sy1 = (yb - y1) / eps, sh1 = (hb - h1) / eps - g_.landingSink;
        size_t i = 0;
        while (i + 2 < keys.size() && p > keys[i + 1].t) ++i;
        auto slopeY = [&](size_t k) {
            if (k == 0) return sy0;
            if (k + 1 == keys.size()) return sy1;
            return (keys[k + 1].y - keys[k - 1].y) / (keys[k + 1].t - keys[k - 1].t);
        };
        auto slopeH = [&](size_t k) {
            if (k == 0) return sh0;
            if (k + 1 == keys.size()) return sh1;
            return (keys[k + 1].h - keys[k - 1].h) / (keys[k + 1].t - keys[k - 1].t);
        };
        const K& a = keys[i];
        const K& b = keys[i + 1];
        const double y = hermite(p, a.t, a.y, slopeY(i), b.t, b.y, slopeY(i + 1));
        const double h = hermite(p, a.t, a.h, slopeH(i), b.t, b.h, slopeH(i + 1));

        FootState s;
        s.foot = heading(leg) * rotX(-deg(g_.footPitch(p)));
        s.ankle = {leg.side * g_.footHalfWidth, y, ground + h};
        // The toes, bent up at lift-off, relax during the first part of the swing.
        const double liftOffToes = -deg(g_.footPitch(g_.duty));
        s.toeUp = std::max(0.0, liftOffToes) * (1.0 - smoothstep((p - g_.duty) / 0.12));
        return s;
    }

    void solveLeg(const LegSide& leg, const M3& pelvis, double ground, double legPhase,
                  Pose& out) const {
        const FootState f = footAt(leg, legPhase, ground);
        const V3 hip = pelvis * joint(leg.thigh);
        const double l1 = length(joint(leg.calf) - joint(leg.thigh));
        const double l2 = length(joint(leg.foot) - joint(leg.calf));
        V3 toAnkle = f.ankle - hip;
        double d = length(toAnkle);
        const V3 u = unit(toAnkle);
        d = std::min(d, l1 + l2 - 1e-9);
        const double a1 = (l1 * l1 - l2 * l2 + d * d) / (2.0 * d);
        const double b = std::sqrt(std::max(0.0, l1 * l1 - a1 * a1));
        // The knee points where the foot points.
        const V3 forward = heading(leg) * V3{0, -1, 0};
        const V3 n = unit(forward - dot(forward, u) * u);
        const V3 knee = hip + a1 * u + b * n;
        const V3 ankle = hip + d * u;
        const V3 hinge = unit(cross(n, u));
        const V3 down{0, 0, -1};
        out.world[size_t(leg.thigh)] = alignSegment(down, kAxisX, unit(knee - hip), hinge);
        out.world[size_t(leg.calf)] = alignSegment(down, kAxisX, unit(ankle - knee), hinge);
        out.world[size_t(leg.foot)] = f.foot;
        out.world[size_t(leg.toe)] = f.foot * rotX(-f.toeUp);
    }

    const GaitParams& g_;
};

const LegSide kRightLeg{ThighR, CalfR, FootR, ToeR, 1.0};
const LegSide kLeftLeg{ThighL, CalfL, FootL, ToeL, -1.0};

// Bones without a turn of their own follow their parents.
void inheritRest(Pose& pose, const std::array<bool, BoneCount>& set) {
    for (int b = 1; b < BoneCount; ++b)
        if (!set[size_t(b)])
            pose.world[size_t(b)] = pose.world[size_t(skeleton()[size_t(b)].parent)];
}

Pose GaitBuilder::pose(double phase) const {
    Pose out;
    std::array<bool, BoneCount> set{};
    const double w = 2.0 * kPi * phase;
    const double height = pelvisHeight(phase);
    const double ground = -height;
    out.rootTranslation = {0.0, 0.0, height + kBindGround};

    const M3 pelvis = rotZ(-g_.pelvisYaw * std::cos(w)) *
                      rotY(-g_.pelvisList * std::sin(w + 2.0 * kPi * 0.05)) * rotX(g_.pelvisTilt);
    out.world[Pelvis] = pelvis;
    set[Pelvis] = true;

    // Spine: the chest's turn against the pelvis spread evenly over five joints.
    const double lean = g_.lean + g_.leanSwing * std::cos(4.0 * kPi * (phase - g_.leanPeak));
    const M3 chest = rotZ(g_.chestYaw * std::cos(w)) * rotX(lean);
    const M3 step = rotPower(transpose(pelvis) * chest, 1.0 / 5.0);
    M3 acc = pelvis;
    for (int b : {Spine, Spine1, Spine2, Spine3, Chest}) {
        acc = acc * step;
        out.world[size_t(b)] = acc;
        set[size_t(b)] = true;
    }
    // Neck and head share the turn that keeps the head looking ahead.
    const M3 head = rotX(g_.headPitch);
    const M3 neckStep = rotPower(transpose(chest) * head, 0.5);
    out.world[Neck] = chest * neckStep;
    out.world[Head] = head;
    set[Neck] = set[Head] = true;

    // Arms swing against the legs: the right arm comes forward with the left leg.
    struct ArmSide {
        int clavicle, upper, fore, hand, fingers;
        double side, phase;
    };
    for (const ArmSide& a : {ArmSide{ClavicleR, UpperArmR, ForearmR, HandR, FingersR, 1.0, 0.0},
                             ArmSide{ClavicleL, UpperArmL, ForearmL, HandL, FingersL, -1.0, 0.5}}) {
        const double forwardness = std::cos(2.0 * kPi * (phase + a.phase - 0.5 - g_.armLag));
        const double shoulder = g_.shoulderMean + g_.shoulderSwing * forwardness;
        const double elbow = g_.elbowMean + g_.elbowSwing * 0.5 * (1.0 + forwardness);
        const M3 clavicle = chest * rotZ(-a.side * g_.clavicleSwing * forwardness);
        const M3 upper = clavicle * rotY(-a.side * g_.armSpread) * rotX(-shoulder);
        const M3 fore = upper * rotX(-elbow);
        const M3 hand = fore * rotX(-g_.wristBend);
        out.world[size_t(a.clavicle)] = clavicle;
        out.world[size_t(a.upper)] = upper;
        out.world[size_t(a.fore)] = fore;
        out.world[size_t(a.hand)] = hand;
        set[size_t(a.clavicle)] = set[size_t(a.upper)] = set[size_t(a.fore)] = set[size_t(a.hand)] =
            true;
        // Fingers close towards the palm, which faces the body's midline.
        for (int f = 0; f < kFingerCount; ++f) {
            const double curl = f == 0 ? 0.4 * g_.fingerCurl : g_.fingerCurl;
            M3 acc2 = hand;
            for (int j = 0; j < kJointsPerFinger - 1; ++j) {
                const int bone = fingerBone(a.fingers, f) + j;
                acc2 = acc2 * rotY(a.side * curl);
                out.world[size_t(bone)] = acc2;
                set[size_t(bone)] = true;
            }
        }
    }

    solveLeg(kRightLeg, pelvis, ground, phase, out);
    solveLeg(kLeftLeg, pelvis, ground, phase + 0.5, out);
    for (int b : {ThighR, CalfR, FootR, ToeR, ThighL, CalfL, FootL, ToeL}) set[size_t(b)] = true;

    inheritRest(out, set);
    return out;
}

}  // namespace

GaitParams walkParams() {
    GaitParams g;
    g.frames = 28;
    g.speed = 41.5;
    g.duty = 0.62;
    g.touchdownY = -9.0;
    g.footHalfWidth = 3.4;
    g.toeOut = deg(5.0);
    g.pelvisHeight = 37.0;
    g.bob = 0.46;
    g.bobPeak = 0.28;
    g.pelvisYaw = deg(5.0);
    g.pelvisList = deg(3.0);
    g.pelvisTilt = deg(2.0);
    g.chestYaw = deg(3.0);
    g.lean = deg(2.0);
    g.leanSwing = deg(0.5);
    g.leanPeak = 0.1;
    g.headPitch = deg(0.0);
    g.shoulderMean = deg(-3.0);
    g.shoulderSwing = deg(17.0);
    g.armLag = 0.03;
    g.elbowMean = deg(6.0);
    g.elbowSwing = deg(18.0);
    g.clavicleSwing = deg(3.0);
    g.armSpread = deg(0.0);
    g.wristBend = deg(0.0);
    g.fingerCurl = deg(5.0);
    g.footPitch.keys = {{0.00, 13.0},  {0.10, 0.0},   {0.36, 0.0},  {0.50, -14.0},
                        {0.62, -48.0}, {0.72, -28.0}, {0.85, -4.0}, {0.94, 10.0}};
    g.swing = {{0.67, 13.0, 7.6}, {0.74, 8.0, 7.8}, {0.83, -1.5, 4.8}, {0.92, -9.2, 3.9}};
    return g;
}

GaitParams runParams() {
    GaitParams g;
    g.frames = 18;
    g.speed = 130.0;
    g.duty = 0.30;
    g.touchdownY = -7.5;
    g.landingSink = 25.0;
    g.footHalfWidth = 2.6;
    g.toeOut = deg(4.0);
    // Lowest in mid stance, highest in mid flight.
    g.pelvisHeight = 36.4;
    g.pelvisLift.keys = {{0.0, 0.0}, {0.28, -0.9}, {0.60, 0.45}, {0.80, 0.75}};
    g.pelvisYaw = deg(7.0);
    g.pelvisList = deg(3.0);
    g.pelvisTilt = deg(5.0);
    g.chestYaw = deg(6.0);
    g.lean = deg(9.0);
    g.leanSwing = deg(1.5);
    g.leanPeak = 0.2;
    g.headPitch = deg(-4.0);
    g.shoulderMean = deg(-10.0);
    g.shoulderSwing = deg(24.0);
    g.armLag = 0.02;
    g.elbowMean = deg(75.0);
    g.elbowSwing = deg(12.0);
    g.clavicleSwing = deg(5.0);
    g.armSpread = deg(4.0);
    g.wristBend = deg(10.0);
    g.fingerCurl = deg(40.0);
    g.footPitch.keys = {{0.00, 8.0},   {0.05, 0.0},   {0.14, 0.0},  {0.23, -20.0}, {0.30, -55.0},
                        {0.42, -45.0}, {0.60, -25.0}, {0.80, -5.0}, {0.92, 6.0}};
    g.swing = {{0.42, 14.0, 10.5}, {0.58, 7.0, 14.0}, {0.75, -8.0, 10.5}, {0.90, -10.5, 6.5}};
    return g;
}

Pose bindPose() {
    Pose p;
    return p;
}

Pose gaitPose(const GaitParams& gait, double phase) {
    return GaitBuilder(gait).pose(wrapPhase(phase));
}

std::array<BoneKeyOut, BoneCount> keysOf(const Pose& pose) {
    std::array<BoneKeyOut, BoneCount> keys;
    for (int b = 0; b < BoneCount; ++b) {
        const int parent = skeleton()[size_t(b)].parent;
        const M3 local = parent < 0 ? pose.world[size_t(b)]
                                    : transpose(pose.world[size_t(parent)]) * pose.world[size_t(b)];
        keys[size_t(b)].offset = parent < 0 ? pose.rootTranslation : bindOffset(b);
        keys[size_t(b)].rotation = toEuler(local);
    }
    return keys;
}

std::array<V3, BoneCount> jointsOf(const Pose& pose) {
    std::array<V3, BoneCount> j;
    j[0] = {};
    for (int b = 1; b < BoneCount; ++b) {
        const int parent = skeleton()[size_t(b)].parent;
        j[size_t(b)] = j[size_t(parent)] + pose.world[size_t(parent)] * bindOffset(b);
    }
    return j;
}

}  // namespace makechar
