#include "tools/makechar/rig_math.h"

#include <algorithm>
#include <cmath>

namespace makechar {

double length(V3 a) {
    return std::sqrt(dot(a, a));
}

V3 unit(V3 a) {
    return (1.0 / length(a)) * a;
}

M3 operator*(const M3& a, const M3& b) {
    M3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

V3 operator*(const M3& a, V3 v) {
    return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z,
            a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
            a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z};
}

M3 transpose(const M3& a) {
    M3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

M3 rotX(double a) {
    const double c = std::cos(a), s = std::sin(a);
    M3 r;
    r.m[1][1] = c, r.m[1][2] = -s, r.m[2][1] = s, r.m[2][2] = c;
    return r;
}

M3 rotY(double a) {
    const double c = std::cos(a), s = std::sin(a);
    M3 r;
    r.m[0][0] = c, r.m[0][2] = s, r.m[2][0] = -s, r.m[2][2] = c;
    return r;
}

M3 rotZ(double a) {
    const double c = std::cos(a), s = std::sin(a);
    M3 r;
    r.m[0][0] = c, r.m[0][1] = -s, r.m[1][0] = s, r.m[1][1] = c;
    return r;
}

M3 rotAxis(V3 k, double a) {
    const double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
    M3 r;
    r.m[0][0] = t * k.x * k.x + c;
    r.m[0][1] = t * k.x * k.y - s * k.z;
    r.m[0][2] = t * k.x * k.z + s * k.y;
    r.m[1][0] = t * k.x * k.y + s * k.z;
    r.m[1][1] = t * k.y * k.y + c;
    r.m[1][2] = t * k.y * k.z - s * k.x;
    r.m[2][0] = t * k.x * k.z - s * k.y;
    r.m[2][1] = t * k.y * k.z + s * k.x;
    r.m[2][2] = t * k.z * k.z + c;
    return r;
}

M3 rotPower(const M3& r, double fraction) {
    const double trace = r.m[0][0] + r.m[1][1] + r.m[2][2];
    const double angle = std::acos(std::clamp((trace - 1.0) * 0.5, -1.0, 1.0));
    const V3 axis{r.m[2][1] - r.m[1][2], r.m[0][2] - r.m[2][0], r.m[1][0] - r.m[0][1]};
    // Turns of the body stay far below pi, so the axis from the skew part is exact
    // enough; a turn too small to have an axis is no turn.
    if (length(axis) < 1e-12) return M3{};
    return rotAxis(unit(axis), angle * fraction);
}

M3 fromColumns(V3 x, V3 y, V3 z) {
    M3 r;
    r.m[0][0] = x.x, r.m[1][0] = x.y, r.m[2][0] = x.z;
    r.m[0][1] = y.x, r.m[1][1] = y.y, r.m[2][1] = y.z;
    r.m[0][2] = z.x, r.m[1][2] = z.y, r.m[2][2] = z.z;
    return r;
}

Euler toEuler(const M3& r) {
    Euler e;
    e.y = std::asin(std::clamp(-r.m[2][0], -1.0, 1.0));
    e.x = std::atan2(r.m[2][1], r.m[2][2]);
    e.z = std::atan2(r.m[1][0], r.m[0][0]);
    return e;
}

M3 fromEuler(const Euler& e) {
    return rotZ(e.z) * rotY(e.y) * rotX(e.x);
}

double hermite(double t, double t0, double v0, double s0, double t1, double v1, double s1) {
    const double h = t1 - t0;
    const double u = (t - t0) / h;
    const double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * v0 + (u3 - 2 * u2 + u) * h * s0 + (-2 * u3 + 3 * u2) * v1 +
           (u3 - u2) * h * s1;
}

double wrapPhase(double phase) {
    double p = phase - std::floor(phase);
    return p >= 1.0 ? 0.0 : p;
}

double PeriodicCurve::operator()(double phase) const {
    const size_t n = keys.size();
    if (n == 0) return 0.0;
    if (n == 1) return keys[0].value;
    const double p = wrapPhase(phase);
    // Key i with its phase unwrapped so that neighbours across the wrap stay in order.
    auto at = [&](long i) {
        const long k = ((i % long(n)) + long(n)) % long(n);
        const double shift = std::floor(double(i) / double(n));
        return Key{keys[size_t(k)].phase + shift, keys[size_t(k)].value};
    };
    // Fritsch-Carlson slopes: zero at extrema and flats, otherwise the harmonic mean
    // of the neighbouring secants, which keeps each segment monotone.
    auto slope = [&](long i) {
        const Key a = at(i - 1), k = at(i), b = at(i + 1);
        const double left = (k.value - a.value) / (k.phase - a.phase);
        const double right = (b.value - k.value) / (b.phase - k.phase);
        if (left * right <= 0.0) return 0.0;
        return 2.0 / (1.0 / left + 1.0 / right);
    };
    long i = long(n) - 1;  // the segment that starts at key i holds p
    for (long k = 0; k < long(n); ++k)
        if (keys[size_t(k)].phase <= p) i = k;
    Key a = at(i), b = at(i + 1);
    double t = p;
    if (t < a.phase) t += 1.0;  // p lies before the first key: on the wrapped segment
    return hermite(t, a.phase, a.value, slope(i), b.phase, b.value, slope(i + 1));
}

}  // namespace makechar
