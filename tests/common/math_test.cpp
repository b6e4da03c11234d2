// Matrix and vector operations against values worked out by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <random>

#include "common/math.h"

namespace {

void expectMatrixNear(const Matrix4& expected, const Matrix4& actual, float tolerance = 1e-6f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(expected.m[i][j], actual.m[i][j], tolerance) << "row " << i << " col " << j;
}

Matrix4 rows(std::initializer_list<float> values) {
    Matrix4 r;
    int k = 0;
    for (float v : values) r.m[k / 4][k % 4] = v, ++k;
    return r;
}

TEST(VectorHelpers, NormalizeLengthDotCross) {
    Vec3 out{7, 8, 9};
    normalizeVec3(out, {3, 0, 4});
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.y, 0.0f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);

    // A zero vector leaves the output as it was.
    Vec3 kept{7, 8, 9};
    normalizeVec3(kept, {0, 0, 0});
    EXPECT_EQ(kept.x, 7.0f);
    EXPECT_EQ(kept.y, 8.0f);
    EXPECT_EQ(kept.z, 9.0f);

    EXPECT_FLOAT_EQ(lengthVec3({2, 3, 6}), 7.0f);
    EXPECT_FLOAT_EQ(dotVec3({1, 2, 3}, {4, -5, 6}), 12.0f);
    const Vec3 c = crossVec3({1, 2, 3}, {4, 5, 6});
    EXPECT_FLOAT_EQ(c.x, -3.0f);
    EXPECT_FLOAT_EQ(c.y, 6.0f);
    EXPECT_FLOAT_EQ(c.z, -3.0f);
}

TEST(MatrixOps, MultiplyAppliesLeftOperandFirst) {
    const Matrix4 a = rows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const Matrix4 b = rows({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 1, 1, 1});
    // Row 0 of a·b: (1·2 + 4·1, 2·3 + 4·1, 3·4 + 4·1, 4·1).
    expectMatrixNear(rows({6, 10, 16, 4, 18, 26, 36, 8, 30, 42, 56, 12, 42, 58, 76, 16}),
                     matrixMultiply(a, b));
    // Translate then scale: the translation is scaled too.
    const Vec3 p = vec3TransformCoord(
        {1, 1, 1}, matrixMultiply(matrixTranslation(1, 2, 3), matrixScaling(2, 2, 2)));
    EXPECT_FLOAT_EQ(p.x, 4.0f);
    EXPECT_FLOAT_EQ(p.y, 6.0f);
    EXPECT_FLOAT_EQ(p.z, 8.0f);
}

TEST(MatrixOps, InverseUndoesAndRefusesSingular) {
    const Matrix4 m =
        matrixMultiply(matrixMultiply(matrixRotationAxis({1, 2, 3}, 0.7f), matrixScaling(2, 3, 4)),
                       matrixTranslation(5, -6, 7));
    Matrix4 inv;
    ASSERT_TRUE(matrixInverse(inv, m));
    expectMatrixNear(matrixIdentity(), matrixMultiply(m, inv), 1e-5f);

    Matrix4 untouched = matrixTranslation(9, 9, 9);
    EXPECT_FALSE(matrixInverse(untouched, matrixScaling(1, 0, 1)));
    expectMatrixNear(matrixTranslation(9, 9, 9), untouched);
}

TEST(MatrixOps, RotationsTurnInTheStatedSense) {
    const float q = static_cast<float>(M_PI / 2);
    // About Z: x' = x cos - y sin, y' = x sin + y cos.
    Vec3 p = vec3TransformCoord({1, 0, 0}, matrixRotationZ(q));
    EXPECT_NEAR(p.x, 0.0f, 1e-7f);
    EXPECT_NEAR(p.y, 1.0f, 1e-7f);
    // About X: y' = y cos - z sin, z' = y sin + z cos.
    p = vec3TransformCoord({0, 1, 0}, matrixRotationX(q));
    EXPECT_NEAR(p.y, 0.0f, 1e-7f);
    EXPECT_NEAR(p.z, 1.0f, 1e-7f);
    // About Y: x' = x cos + z sin, z' = -x sin + z cos.
    p = vec3TransformCoord({0, 0, 1}, matrixRotationY(q));
    EXPECT_NEAR(p.x, 1.0f, 1e-7f);
    EXPECT_NEAR(p.z, 0.0f, 1e-7f);
    // The axis form agrees with the fixed-axis forms, whatever the axis length.
    expectMatrixNear(matrixRotationX(0.3f), matrixRotationAxis({5, 0, 0}, 0.3f));
    expectMatrixNear(matrixRotationY(0.3f), matrixRotationAxis({0, 2, 0}, 0.3f));
    expectMatrixNear(matrixRotationZ(-1.2f), matrixRotationAxis({0, 0, 0.5f}, -1.2f));
    // A turn of 120 degrees about (1, 1, 1) cycles the axes x -> y -> z.
    p = vec3TransformCoord({1, 0, 0}, matrixRotationAxis({1, 1, 1}, 2.0943951f));
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
    EXPECT_NEAR(p.z, 0.0f, 1e-6f);
}

TEST(MatrixOps, PerspectiveAndLookAt) {
    // fov pi/4, aspect 1, near 1, far 1000: yScale = 1 / tan(pi/8) = 2.4142137.
    const Matrix4 proj = matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f);
    expectMatrixNear(rows({2.4142137f, 0, 0, 0, 0, 2.4142137f, 0, 0, 0, 0, 1000.0f / 999.0f, 1, 0,
                           0, -1000.0f / 999.0f, 0}),
                     proj, 1e-5f);
    // A point on the near plane maps to z 0, on the far plane to z 1.
    EXPECT_NEAR(vec3TransformCoord({0, 0, 1}, proj).z, 0.0f, 1e-6f);
    EXPECT_NEAR(vec3TransformCoord({0, 0, 1000}, proj).z, 1.0f, 1e-6f);

    // Eye at (-100, 0, 0) looking at the origin with Z up: view z is world +x,
    // view x (screen right) is world +y in a left-handed world, view y is world z.
    const Matrix4 view = matrixLookAtLH({-100, 0, 0}, {0, 0, 0}, {0, 0, 1});
    expectMatrixNear(rows({0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 100, 1}), view);
    const Vec3 v = vec3TransformCoord({0, -10, 5}, view);
    EXPECT_FLOAT_EQ(v.x, -10.0f);
    EXPECT_FLOAT_EQ(v.y, 5.0f);
    EXPECT_FLOAT_EQ(v.z, 100.0f);
}

TEST(MatrixOps, TransformCoordDividesByW) {
    Matrix4 m = matrixIdentity();
    m.m[3][3] = 2.0f;
    m.m[0][3] = 1.0f;  // w = x + 2
    const Vec3 p = vec3TransformCoord({2, 4, 6}, m);
    EXPECT_FLOAT_EQ(p.x, 0.5f);
    EXPECT_FLOAT_EQ(p.y, 1.0f);
    EXPECT_FLOAT_EQ(p.z, 1.5f);
}

// The transform computes its lanes side by side; each must give the bits of the
// one-at-a-time sum ((x·m0 + y·m1) + z·m2) + m3 and its division by w, for
// ordinary values and for zero, negative zero, tiny, huge, infinite and NaN ones.
TEST(MatrixOps, TransformCoordGivesTheBitsOfThePlainSum) {
    const auto plain = [](const Vec3& p, const Matrix4& m) {
        volatile float w = p.x * m.m[0][3] + p.y * m.m[1][3] + p.z * m.m[2][3] + m.m[3][3];
        float out[3];
        for (int c = 0; c < 3; ++c) {
            volatile float sum = p.x * m.m[0][c] + p.y * m.m[1][c] + p.z * m.m[2][c] + m.m[3][c];
            out[c] = sum / w;
        }
        return Vec3{out[0], out[1], out[2]};
    };
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              1e-40f,
                              -3e-39f,
                              1e30f,
                              -3e38f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> wide(-1000.0f, 1000.0f);
    std::uniform_int_distribution<int> pick(0, 40);
    const auto value = [&] {
        const int k = pick(rng);
        return k < static_cast<int>(std::size(specials)) ? specials[k] : wide(rng);
    };
    const auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
    for (int trial = 0; trial < 20000; ++trial) {
        Matrix4 m;
        for (auto& row : m.m)
            for (float& v : row) v = value();
        if (trial % 2 == 0) m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f, m.m[3][3] = 1.0f;
        const Vec3 p{value(), value(), value()};
        const Vec3 want = plain(p, m), got = vec3TransformCoord(p, m);
        // NaNs compare by being NaN: their payload is not part of the result.
        const auto same = [&](float a, float b) {
            return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b);
        };
        ASSERT_TRUE(same(want.x, got.x) && same(want.y, got.y) && same(want.z, got.z))
            << "trial " << trial;
    }
}

}  // namespace
