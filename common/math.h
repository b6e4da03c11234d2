// Shared math types and the matrix operations every part of the system uses.
//
// Conventions: 32-bit floats, row vectors, row-major 4x4 matrices. A point p is
// transformed as p·M with w = 1 and then divided by the resulting w; the
// translation sits in the fourth row; a product A·B applies A first. The world
// is left-handed with Z up; angles are radians.
//
// The matrix operations reproduce the semantics of the Direct3D 9 utility
// library's (D3DXMatrixMultiply and friends) so that the same program code runs
// on every backend and gives the same numbers: every result is rounded to
// single precision at the same points.
#pragma once

#include <cstdint>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

// A point of the ground plane (the XY plane of the scene).
struct Point2 {
    float x = 0.0f, y = 0.0f;
};

// m[row][column]; row 3 holds the translation.
struct Matrix4 {
    float m[4][4] = {};
};

// The only vertex type of the system: position plus 32-bit ARGB colour (alpha in
// the top byte), 16 bytes, laid out as the XYZ | DIFFUSE vertex format expects.
struct LineVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    uint32_t color = 0;
};
static_assert(sizeof(LineVertex) == 16,
              "LineVertex must be 16 bytes (stride of the vertex buffer)");

// Sets [first, last) to copies of `v`: one 16-byte store per vertex where SSE2
// is there (a plain fill compiles to separate stores of x and y, z, and colour),
// four to a loop step.
inline void fillVertices(LineVertex* first, LineVertex* last, const LineVertex& v) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&v));
    const auto store = [&bits](LineVertex* at) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), bits);
    };
    for (; last - first >= 4; first += 4) {
        store(first);
        store(first + 1);
        store(first + 2);
        store(first + 3);
    }
    for (; first < last; ++first) store(first);
#else
    for (; first < last; ++first) *first = v;
#endif
}

// Vector helpers.
// normalizeVec3 writes the unit vector of `in` into `out`. For a vector of length 0 it
// writes nothing, so `out` keeps what it held before (callers rely on that).
void normalizeVec3(Vec3& out, const Vec3& in);
float lengthVec3(const Vec3& v);
float dotVec3(const Vec3& a, const Vec3& b);
Vec3 crossVec3(const Vec3& u, const Vec3& v);

// Matrix operations (D3DX semantics, single-precision results).
Matrix4 matrixIdentity();
Matrix4 matrixMultiply(const Matrix4& a, const Matrix4& b);  // a·b: a applies first
// Writes the inverse into `out` and returns true; returns false and leaves `out`
// untouched when the matrix is singular (determinant exactly 0).
bool matrixInverse(Matrix4& out, const Matrix4& in);
Matrix4 matrixTranslation(float x, float y, float z);
Matrix4 matrixScaling(float sx, float sy, float sz);
Matrix4 matrixRotationX(float angle);
Matrix4 matrixRotationY(float angle);
Matrix4 matrixRotationZ(float angle);
// Rotation by `angle` about `axis` (normalised first), in the same sense as the
// rotations about X, Y and Z. A zero axis gives the rotation about (0, 0, 0): the
// matrix with cos(angle) on the diagonal of its upper 3x3 part, as the library does.
Matrix4 matrixRotationAxis(const Vec3& axis, float angle);
Matrix4 matrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
Matrix4 matrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
// p·M with w = 1, divided by the resulting w. Inline, and four lanes at once
// where SSE2 is there: the solver and the strip placement spend their time here.
// Each lane adds its products in the order of the plain form,
// ((x·m0 + y·m1) + z·m2) + m3, so both give the same bits.
inline Vec3 vec3TransformCoord(const Vec3& p, const Matrix4& m) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128 sum =
        _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(p.x), _mm_loadu_ps(m.m[0])),
                                         _mm_mul_ps(_mm_set1_ps(p.y), _mm_loadu_ps(m.m[1]))),
                              _mm_mul_ps(_mm_set1_ps(p.z), _mm_loadu_ps(m.m[2]))),
                   _mm_loadu_ps(m.m[3]));
    float out[4];
    _mm_storeu_ps(out, _mm_div_ps(sum, _mm_shuffle_ps(sum, sum, _MM_SHUFFLE(3, 3, 3, 3))));
    return {out[0], out[1], out[2]};
#else
    const float w = p.x * m.m[0][3] + p.y * m.m[1][3] + p.z * m.m[2][3] + m.m[3][3];
    return {(p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0]) / w,
            (p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1]) / w,
            (p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]) / w};
#endif
}
