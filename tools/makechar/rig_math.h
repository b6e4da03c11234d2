// Small double-precision geometry for building the character: 3-vectors, 3x3
// rotation matrices in the column-vector convention (v' = M·v, right-handed
// rotations), the Euler decomposition the SMD keys use, and periodic curves.
//
// The files store, per bone, Euler angles (rx, ry, rz) whose rotation is
// Rz(rz)·Ry(ry)·Rx(rx) in this convention (about X first, then Y, then Z), and a
// bone's world rotation is its parent's world rotation times its own.
#pragma once

#include <vector>

namespace makechar {

constexpr double kPi = 3.14159265358979323846;
constexpr double deg(double degrees) {
    return degrees * kPi / 180.0;
}

struct V3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator*(double s, V3 a) {
    return {s * a.x, s * a.y, s * a.z};
}
inline double dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(V3 a);
// Unit vector of `a`; `a` must not be (near) zero.
V3 unit(V3 a);

// m[row][column].
struct M3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};
M3 operator*(const M3& a, const M3& b);
V3 operator*(const M3& a, V3 v);
M3 transpose(const M3& a);
M3 rotX(double angle);
M3 rotY(double angle);
M3 rotZ(double angle);
// Rotation by `angle` about the unit vector `axis` (right-handed).
M3 rotAxis(V3 axis, double angle);
// The rotation `r` scaled to `fraction` of its angle about the same axis; used to
// spread one turn evenly over a chain of joints.
M3 rotPower(const M3& r, double fraction);
// The rotation whose columns are the images of the X, Y and Z axes.
M3 fromColumns(V3 x, V3 y, V3 z);

// Euler angles of the files' convention: r = Rz(z)·Ry(y)·Rx(x), with y kept in
// [-pi/2, pi/2]. The character never comes near the singular y = ±pi/2.
struct Euler {
    double x = 0.0, y = 0.0, z = 0.0;
};
Euler toEuler(const M3& r);
M3 fromEuler(const Euler& e);

// A periodic curve of the gait phase (period 1) through keys (phase, value),
// interpolated by monotone cubic Hermite segments: value and first derivative
// are continuous everywhere, including across the wrap from the last key to the
// first, and the curve never overshoots its keys (equal neighbouring keys give a
// flat stretch, a key above or below both neighbours is an extremum). Keys must
// have distinct phases in [0, 1), in increasing order.
struct PeriodicCurve {
    struct Key {
        double phase;
        double value;
    };
    std::vector<Key> keys;
    double operator()(double phase) const;
};

// One cubic Hermite segment on [t0, t1] with values v0, v1 and slopes s0, s1
// (value per unit of t), evaluated at t.
double hermite(double t, double t0, double v0, double s0, double t1, double v1, double s1);

// Phase wrapped into [0, 1).
double wrapPhase(double phase);

}  // namespace makechar
