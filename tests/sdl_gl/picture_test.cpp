// Draws known primitives and text headless and checks the captured pixels
// against where Direct3D 9 would put them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include <unistd.h>

#include "tests/sdl_gl/probe.h"

namespace {

constexpr int kWidth = 484, kHeight = 461;
constexpr uint32_t kBackground = 0x7D7D7D;

struct Scene {
    Matrix4 view, projection, viewProjection;
    Scene() {
        projection = matrixPerspectiveFovLH(0.7853982f, 1.0f, 1.0f, 1000.0f);
        view = matrixLookAtLH(Vec3{-100, 0, 0}, Vec3{0, 0, 0}, Vec3{0, 0, 1});
        viewProjection = matrixMultiply(view, projection);
    }
};

// A line strip of three segments, x-major and y-major, away from the text.
const LineVertex kStrip[] = {{0, -30, -20, 0xFFFFFFFF},
                             {0, 28, -5, 0xFFFFFFFF},
                             {0, 20, 14, 0xFFFFFFFF},
                             {0, 5, 3, 0xFFFFFFFF}};
// Isolated points; the third checks the byte order of the colour.
const LineVertex kPoints[] = {
    {0, -33.3f, 10.1f, 0xFFFF0000}, {0, -25.7f, 12.6f, 0xFF00FF00}, {0, -18.2f, 8.4f, 0xFF204080}};
const LineVertex kTriangle[] = {
    {0, -20, -10, 0xFFFF0000}, {0, 5, -10, 0xFF00FF00}, {0, -7, 8, 0xFF0000FF}};

int channel(uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

class PictureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RunOptions options;
        options.headless = true;
        options.frames = 2;
        // CTest runs each case in its own process, several at once: one file each.
        options.captureFile =
            ::testing::TempDir() + "sdl_gl_picture_" + std::to_string(getpid()) + ".png";
        Probe probe;
        Scene scene;
        probe.drawFrame = [&](Probe& p) {
            setTransform(p.device, TransformState::Projection, scene.projection);
            setTransform(p.device, TransformState::View, scene.view);
            drawVertices(p, PrimitiveType::LineStrip, kStrip, 4, 3);
            drawVertices(p, PrimitiveType::PointList, kPoints, 3, 3);
            drawVertices(p, PrimitiveType::TriangleList, kTriangle, 3, 1);
            textHeight = drawText(p.font, "57 FPS", -1, Rect{10, 10, 0, 0}, DtNoClip, 0xFFFFFFFF);
            drawText(p.font, "F1: Toggle Help", -1, Rect{10, 50, 0, 0}, DtNoClip, 0xFFFFFFFF);
            twoLineHeight = drawText(p.font, "A\nB", -1, Rect{400, 10, 0, 0}, DtNoClip, 0xFFFFFFFF);
        };
        ran = runProbe(options, probe);
        loaded = loadPng(options.captureFile, image);
        std::remove(options.captureFile.c_str());
    }
    static inline bool ran = false, loaded = false;
    static inline Image image;
    static inline int textHeight = 0, twoLineHeight = 0;
    Scene scene;

    void SetUp() override {
        ASSERT_TRUE(ran) << "the probe did not start or did not end";
        ASSERT_TRUE(loaded) << "no capture was written";
        ASSERT_EQ(image.width, kWidth);
        ASSERT_EQ(image.height, kHeight);
    }
    void screen(const LineVertex& v, double& x, double& y) const {
        projectToScreen(Vec3{v.x, v.y, v.z}, scene.viewProjection, kWidth, kHeight, x, y);
    }
};

TEST_F(PictureTest, BackgroundIsTheClearColourExactly) {
    for (int y : {0, 5, 120, 300, kHeight - 1}) {
        for (int x : {0, 7, 300, kWidth - 1})
            EXPECT_EQ(image.at(x, y), kBackground) << x << "," << y;
    }
}

// Each segment lights, in every column (x-major) or row (y-major) it crosses,
// the pixel whose centre is nearest the line, pixel centres lying on whole
// numbers. Columns where the line passes close to a pixel boundary are skipped.
TEST_F(PictureTest, LinePixelsLandWhereDirect3DPutsThem) {
    int checked = 0;
    for (int s = 0; s < 3; ++s) {
        double x0, y0, x1, y1;
        screen(kStrip[s], x0, y0);
        screen(kStrip[s + 1], x1, y1);
        const bool xMajor = std::fabs(x1 - x0) > std::fabs(y1 - y0);
        const double a0 = xMajor ? x0 : y0, a1 = xMajor ? x1 : y1;
        const double b0 = xMajor ? y0 : x0, b1 = xMajor ? y1 : x1;
        const int from = static_cast<int>(std::ceil(std::min(a0, a1))) + 2;
        const int to = static_cast<int>(std::floor(std::max(a0, a1))) - 2;
        for (int a = from; a <= to; ++a) {
            const double b = b0 + (a - a0) * (b1 - b0) / (a1 - a0);
            const double frac = b - std::floor(b);
            if (std::fabs(frac - 0.5) < 0.1) continue;
            const int nearest = static_cast<int>(std::lround(b));
            const int x = xMajor ? a : nearest, y = xMajor ? nearest : a;
            EXPECT_EQ(image.at(x, y), 0xFFFFFFu) << "segment " << s << " at " << x << "," << y;
            // One pixel thick: the neighbours across the line are not white.
            const int dx = xMajor ? 0 : 1, dy = xMajor ? 1 : 0;
            EXPECT_NE(image.at(x - dx, y - dy), 0xFFFFFFu)
                << "segment " << s << " at " << x << "," << y;
            EXPECT_NE(image.at(x + dx, y + dy), 0xFFFFFFu)
                << "segment " << s << " at " << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 200);
}

TEST_F(PictureTest, PointsAreSinglePixelsOfTheirColour) {
    for (const LineVertex& v : kPoints) {
        double sx, sy;
        screen(v, sx, sy);
        const int x = static_cast<int>(std::lround(sx)), y = static_cast<int>(std::lround(sy));
        EXPECT_EQ(image.at(x, y), v.color & 0xFFFFFF) << x << "," << y;
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            EXPECT_EQ(image.at(x + dx, y + dy), kBackground) << x + dx << "," << y + dy;
        }
    }
}

TEST_F(PictureTest, TriangleShadesFromItsVertexColours) {
    double cx = 0, cy = 0;
    double corners[3][2];
    for (int i = 0; i < 3; ++i) {
        screen(kTriangle[i], corners[i][0], corners[i][1]);
        cx += corners[i][0] / 3;
        cy += corners[i][1] / 3;
    }
    for (int i = 0; i < 3; ++i) {
        // A few pixels in from the corner, towards the centre.
        const double dx = cx - corners[i][0], dy = cy - corners[i][1];
        const double len = std::hypot(dx, dy);
        const int x = static_cast<int>(std::lround(corners[i][0] + dx / len * 6));
        const int y = static_cast<int>(std::lround(corners[i][1] + dy / len * 6));
        const uint32_t px = image.at(x, y);
        const int own = channel(px, 16 - 8 * i);
        EXPECT_GT(own, 200) << "corner " << i << " pixel " << std::hex << px;
        for (int other = 0; other < 3; ++other) {
            if (other == i) continue;
            EXPECT_LT(channel(px, 16 - 8 * other), 50) << "corner " << i;
        }
    }
    const uint32_t centre =
        image.at(static_cast<int>(std::lround(cx)), static_cast<int>(std::lround(cy)));
    for (int shift : {16, 8, 0}) EXPECT_NEAR(channel(centre, shift), 85, 4) << std::hex << centre;
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int lit = 0;
};

// Pixels of white text over the background in the given rows and columns.
Box textPixels(const Image& image, int x0, int y0, int x1, int y1) {
    Box box;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const uint32_t px = image.at(x, y);
            if (px == kBackground) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
            if (channel(px, 16) > 240 && channel(px, 8) > 240 && channel(px, 0) > 240) ++box.lit;
        }
    }
    return box;
}

TEST_F(PictureTest, TextSitsInItsCellBelowAndRightOfTheRectangleCorner) {
    // Cell of "57 FPS": top 10, 18 pixels high; the digits and capitals stand
    // on the baseline 15 pixels below the top and are about 11 pixels high.
    const Box fps = textPixels(image, 0, 0, 240, 40);
    EXPECT_GT(fps.lit, 40);
    EXPECT_GE(fps.left, 10);
    EXPECT_LE(fps.left, 12);
    EXPECT_GE(fps.top, 12);
    EXPECT_LE(fps.top, 14);
    EXPECT_EQ(fps.bottom, 24);  // last row above the baseline
    EXPECT_GE(fps.right, 10 + 45);
    EXPECT_LE(fps.right, 10 + 62);

    const Box help = textPixels(image, 0, 40, 240, 80);
    EXPECT_GT(help.lit, 60);
    EXPECT_GE(help.left, 10);
    EXPECT_GE(help.top, 52);
    EXPECT_GE(help.bottom, 66);  // the descenders of g and p reach into the descent
    EXPECT_LE(help.bottom, 68);
    EXPECT_GE(help.right, 10 + 100);
    EXPECT_LE(help.right, 10 + 130);
}

TEST_F(PictureTest, DrawTextReturnsTheHeightOfItsLines) {
    EXPECT_EQ(textHeight, 18);
    EXPECT_EQ(twoLineHeight, 36);
    // The second line of "A\nB" starts one cell (18 pixels) lower.
    const Box a = textPixels(image, 380, 0, 484, 28);
    const Box b = textPixels(image, 380, 28, 484, 60);
    EXPECT_GT(a.lit, 10);
    EXPECT_GT(b.lit, 10);
    EXPECT_EQ(b.bottom - a.bottom, 18);
}

}  // namespace
