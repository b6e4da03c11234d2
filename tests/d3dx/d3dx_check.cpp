// Checks our matrix and vector operations (common/math.h) against the Direct3D 9
// utility library's own on many random inputs, and on the degenerate inputs the
// programs can meet (zero rotation axis, singular matrix, eye on the target).
//
// For every operation it prints the number of cases, how many results were
// bit-identical, the largest absolute difference and the largest relative
// difference. The relative difference of one result is its largest element
// difference divided by the largest magnitude in the library's result (a
// norm-wise measure: elements that cancel to nearly 0 do not blow it up). The
// check fails when a relative difference exceeds the operation's tolerance, or
// when the two disagree on whether a matrix is invertible.
//
// Windows program (links d3dx9); run it under Wine without a display:
//   WINEPREFIX=$(mktemp -d) WINEDEBUG=-all wine d3dx_check.exe [cases]
#include "common/math.h"

#include <d3dx9.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Deterministic generator (xorshift64*), so that every run checks the same inputs.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint32_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
    }
    float uniform(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(next() >> 8) * (1.0f / 16777216.0f);
    }
    Vec3 vec(float lo, float hi) { return {uniform(lo, hi), uniform(lo, hi), uniform(lo, hi)}; }
    // Mostly moderate angles, one in four beyond a full turn, one in eight tiny.
    float angle() {
        switch (next() % 8) {
            case 0:
                return uniform(-1e-3f, 1e-3f);
            case 1:
            case 2:
                return uniform(-40.0f, 40.0f);
            default:
                return uniform(-6.2831853f, 6.2831853f);
        }
    }
};

struct Stats {
    const char* name;
    double tolerance;  // largest relative difference accepted
    long cases = 0;
    long identical = 0;
    double maxAbs = 0.0;
    double maxRel = 0.0;
    bool structural = true;  // agreement on invertibility and similar yes/no results
};

D3DXMATRIX toD3dx(const Matrix4& m) {
    D3DXMATRIX r;
    std::memcpy(&r.m[0][0], &m.m[0][0], sizeof(float) * 16);
    return r;
}

D3DXVECTOR3 toD3dx(const Vec3& v) {
    return D3DXVECTOR3(v.x, v.y, v.z);
}

// Compares `count` floats of ours against the library's.
void compare(Stats& s, const float* ours, const float* reference, int count) {
    double scale = 0.0, worst = 0.0;
    bool same = true;
    for (int i = 0; i < count; ++i) {
        scale = std::fmax(scale, std::fabs(static_cast<double>(reference[i])));
        const double d = std::fabs(static_cast<double>(ours[i]) - reference[i]);
        if (std::memcmp(&ours[i], &reference[i], sizeof(float)) != 0) same = false;
        // NaN on either side counts as an infinite difference.
        worst = std::isnan(d) ? INFINITY : std::fmax(worst, d);
    }
    ++s.cases;
    if (same) {
        ++s.identical;
        return;
    }
    s.maxAbs = std::fmax(s.maxAbs, worst);
    s.maxRel = std::fmax(s.maxRel, scale > 0.0 ? worst / scale : (worst > 0.0 ? INFINITY : 0.0));
}

void compare(Stats& s, const Matrix4& ours, const D3DXMATRIX& reference) {
    compare(s, &ours.m[0][0], &reference.m[0][0], 16);
}

void compare(Stats& s, const Vec3& ours, const D3DXVECTOR3& reference) {
    const float o[3] = {ours.x, ours.y, ours.z};
    const float r[3] = {reference.x, reference.y, reference.z};
    compare(s, o, r, 3);
}

Matrix4 randomMatrix(Random& rng, float lo, float hi) {
    Matrix4 m;
    for (auto& row : m.m)
        for (float& v : row) v = rng.uniform(lo, hi);
    return m;
}

// A rigid or scaled placement, the kind of matrix the programs build.
Matrix4 randomPlacement(Random& rng) {
    const Matrix4 r = matrixRotationAxis(rng.vec(-1, 1), rng.angle());
    const Matrix4 s =
        matrixScaling(rng.uniform(0.2f, 3), rng.uniform(0.2f, 3), rng.uniform(0.2f, 3));
    const Matrix4 t =
        matrixTranslation(rng.uniform(-200, 200), rng.uniform(-200, 200), rng.uniform(-200, 200));
    return matrixMultiply(matrixMultiply(s, r), t);
}

// A general matrix that stays well away from singular: random entries plus a
// dominant diagonal.
Matrix4 randomWellConditioned(Random& rng) {
    Matrix4 m = randomMatrix(rng, -1, 1);
    for (int i = 0; i < 4; ++i) m.m[i][i] += (rng.next() & 1) ? 4.0f : -4.0f;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 200000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: d3dx_check [cases > 0]\n");
        return 2;
    }
    Random rng;
    // Tolerances are relative to the largest magnitude of the result. 2^-23 is the
    // spacing of floats just above 1: products and sums of a few terms agree to a
    // few of those; the inverse carries the rounding of its determinant and
    // cofactors (inputs are kept well conditioned).
    const double eps = 1.0 / 8388608.0;
    Stats multiply{"MatrixMultiply", 8 * eps};
    Stats inverse{"MatrixInverse", 64 * eps};
    Stats translation{"MatrixTranslation", 0.0};
    Stats scaling{"MatrixScaling", 0.0};
    Stats rotX{"MatrixRotationX", 4 * eps};
    Stats rotY{"MatrixRotationY", 4 * eps};
    Stats rotZ{"MatrixRotationZ", 4 * eps};
    Stats rotAxis{"MatrixRotationAxis", 8 * eps};
    Stats perspective{"MatrixPerspectiveFovLH", 8 * eps};
    Stats lookAt{"MatrixLookAtLH", 16 * eps};
    Stats transform{"Vec3TransformCoord", 16 * eps};
    Stats normalize{"Vec3Normalize", 4 * eps};

    for (long i = 0; i < n; ++i) {
        {
            const Matrix4 a = randomMatrix(rng, -10, 10), b = randomMatrix(rng, -10, 10);
            D3DXMATRIX da = toD3dx(a), db = toD3dx(b), r;
            D3DXMatrixMultiply(&r, &da, &db);
            compare(multiply, matrixMultiply(a, b), r);
        }
        {
            const Matrix4 m = (i & 1) ? randomPlacement(rng) : randomWellConditioned(rng);
            D3DXMATRIX dm = toD3dx(m), r;
            Matrix4 ours;
            const bool oursOk = matrixInverse(ours, m);
            const bool refOk = D3DXMatrixInverse(&r, nullptr, &dm) != nullptr;
            if (oursOk != refOk) inverse.structural = false;
            if (oursOk && refOk) compare(inverse, ours, r);
        }
        {
            const Vec3 t = rng.vec(-1000, 1000);
            D3DXMATRIX r;
            D3DXMatrixTranslation(&r, t.x, t.y, t.z);
            compare(translation, matrixTranslation(t.x, t.y, t.z), r);
            D3DXMatrixScaling(&r, t.x, t.y, t.z);
            compare(scaling, matrixScaling(t.x, t.y, t.z), r);
        }
        {
            const float a = rng.angle();
            D3DXMATRIX r;
            D3DXMatrixRotationX(&r, a);
            compare(rotX, matrixRotationX(a), r);
            D3DXMatrixRotationY(&r, a);
            compare(rotY, matrixRotationY(a), r);
            D3DXMatrixRotationZ(&r, a);
            compare(rotZ, matrixRotationZ(a), r);
        }
        {
            // Unit, short and long axes.
            const float len = (i % 3 == 0) ? 1.0f : rng.uniform(0.01f, 100.0f);
            Vec3 axis = rng.vec(-1, 1);
            normalizeVec3(axis, axis);
            axis = {axis.x * len, axis.y * len, axis.z * len};
            const float a = rng.angle();
            D3DXVECTOR3 da = toD3dx(axis);
            D3DXMATRIX r;
            D3DXMatrixRotationAxis(&r, &da, a);
            compare(rotAxis, matrixRotationAxis(axis, a), r);
        }
        {
            const float fov = rng.uniform(0.1f, 3.0f), aspect = rng.uniform(0.2f, 5.0f);
            const float zn = rng.uniform(0.01f, 10.0f), zf = zn + rng.uniform(1.0f, 10000.0f);
            D3DXMATRIX r;
            D3DXMatrixPerspectiveFovLH(&r, fov, aspect, zn, zf);
            compare(perspective, matrixPerspectiveFovLH(fov, aspect, zn, zf), r);
        }
        {
            const Vec3 eye = rng.vec(-500, 500), at = rng.vec(-50, 50);
            // Up roughly along +Z, as the programs use it, but never exactly.
            const Vec3 up = {rng.uniform(-0.3f, 0.3f), rng.uniform(-0.3f, 0.3f),
                             rng.uniform(0.5f, 2)};
            D3DXVECTOR3 de = toD3dx(eye), da = toD3dx(at), du = toD3dx(up);
            D3DXMATRIX r;
            D3DXMatrixLookAtLH(&r, &de, &da, &du);
            compare(lookAt, matrixLookAtLH(eye, at, up), r);
        }
        {
            const Vec3 p = rng.vec(-100, 100);
            Matrix4 m = randomPlacement(rng);
            if (i & 1) {
                // Through a view and projection, as a point on screen is computed;
                // keep w (the view depth) away from 0.
                const Vec3 eye = {rng.uniform(-400, -200), rng.uniform(-50, 50),
                                  rng.uniform(-50, 50)};
                m = matrixMultiply(matrixLookAtLH(eye, {0, 0, 0}, {0, 0, 1}),
                                   matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f));
            }
            D3DXVECTOR3 dp = toD3dx(p), r;
            D3DXMATRIX dm = toD3dx(m);
            D3DXVec3TransformCoord(&r, &dp, &dm);
            compare(transform, vec3TransformCoord(p, m), r);
        }
        {
            const Vec3 v = rng.vec(-100, 100);
            Vec3 ours{};
            normalizeVec3(ours, v);
            D3DXVECTOR3 dv = toD3dx(v), r;
            D3DXVec3Normalize(&r, &dv);
            compare(normalize, ours, r);
        }
    }

    // Degenerate inputs the programs can meet.
    {
        // A zero axis: both give the matrix with cos(angle) on the upper diagonal.
        D3DXVECTOR3 zero(0, 0, 0);
        D3DXMATRIX r;
        D3DXMatrixRotationAxis(&r, &zero, 0.5f);
        compare(rotAxis, matrixRotationAxis({0, 0, 0}, 0.5f), r);
        // Singular matrices: both refuse them.
        const Matrix4 singular[] = {matrixScaling(1, 0, 1), Matrix4{},
                                    randomMatrix(rng, 1, 1)};  // all ones
        for (const Matrix4& m : singular) {
            D3DXMATRIX dm = toD3dx(m);
            Matrix4 ours;
            if (matrixInverse(ours, m) != (D3DXMatrixInverse(&r, nullptr, &dm) != nullptr))
                inverse.structural = false;
        }
        // The eye on the target: the view degenerates the same way in both.
        D3DXVECTOR3 e(3, 4, 5), u(0, 0, 1);
        D3DXMatrixLookAtLH(&r, &e, &e, &u);
        compare(lookAt, matrixLookAtLH({3, 4, 5}, {3, 4, 5}, {0, 0, 1}), r);
    }

    const Stats* all[] = {&multiply, &inverse, &translation, &scaling, &rotX,      &rotY,
                          &rotZ,     &rotAxis, &perspective, &lookAt,  &transform, &normalize};
    std::printf("%-24s %8s %10s %12s %12s %12s  %s\n", "operation", "cases", "identical", "max abs",
                "max rel", "tolerance", "result");
    bool ok = true;
    double worstRel = 0.0;
    for (const Stats* s : all) {
        const bool pass = s->structural && s->maxRel <= s->tolerance;
        ok = ok && pass;
        worstRel = std::fmax(worstRel, s->maxRel);
        std::printf("%-24s %8ld %10ld %12.3g %12.3g %12.3g  %s%s\n", s->name, s->cases,
                    s->identical, s->maxAbs, s->maxRel, s->tolerance, pass ? "ok" : "FAIL",
                    s->structural ? "" : " (invertibility differs)");
    }
    std::printf("largest relative difference %.3g (%.2f units of 2^-23): %s\n", worstRel,
                worstRel / eps, ok ? "ok" : "FAIL");
    return ok ? 0 : 1;
}
