// The cross-backend comparison must pass equal runs and catch the faults that
// matter: a changed number, a missing field, a lost frame, geometry drawn in the
// wrong place or colour. It must tolerate what differs between rasterisers.
#include <gtest/gtest.h>

#include "tests/backends/run_compare.h"

namespace {

const char* kTrace =
    "{\"frame\":1,\"tick\":1000000,\"fps\":0,\"eye\":[-100,0,0],\"clip\":{\"current\":0},"
    "\"cpuUs\":8.5}\n"
    "{\"frame\":2,\"tick\":1000016,\"fps\":0,\"eye\":[-99.5,0.25,0],\"clip\":{\"current\":1},"
    "\"cpuUs\":9}\n";

TEST(TraceComparison, EqualRunsAgreeAndCpuTimeIsIgnored) {
    std::string other = kTrace;
    other.replace(other.find("8.5"), 3, "123.75");
    const TraceComparison r = compareTraces(kTrace, other, {});
    EXPECT_TRUE(r.equal) << r.firstMismatch;
    EXPECT_EQ(r.lines, 2u);
    EXPECT_EQ(r.numbersDiffering, 0u);
}

TEST(TraceComparison, NumbersMustMatchWithinTheTolerance) {
    std::string other = kTrace;
    other.replace(other.find("-99.5"), 5, "-99.50001");
    TraceComparison r = compareTraces(kTrace, other, {});
    EXPECT_FALSE(r.equal);
    EXPECT_NE(r.firstMismatch.find("line 2"), std::string::npos) << r.firstMismatch;
    EXPECT_NE(r.firstMismatch.find("eye"), std::string::npos) << r.firstMismatch;

    r = compareTraces(kTrace, other, {0.0, 1e-6});
    EXPECT_TRUE(r.equal) << r.firstMismatch;
    EXPECT_EQ(r.numbersDiffering, 1u);
    EXPECT_NEAR(r.largestAbsolute, 1e-5, 1e-9);
}

TEST(TraceComparison, IntegersMustBeEqualWhateverTheTolerance) {
    const TraceTolerance loose{1.0, 1e-3};
    EXPECT_FALSE(compareTraces("{\"tick\":1000000}", "{\"tick\":1000001}", loose).equal);
    EXPECT_FALSE(compareTraces("{\"current\":3}", "{\"current\":4}", loose).equal);
    EXPECT_TRUE(compareTraces("{\"x\":2.5}", "{\"x\":3.4}", loose).equal);
    // A value printed as 0 on one side and as a tiny number on the other.
    EXPECT_TRUE(compareTraces("{\"fraction\":0}", "{\"fraction\":1e-12}", loose).equal);
}

TEST(TraceComparison, StructureMustMatch) {
    // A field left out, a lost frame, a flag flipped, null against a number.
    std::string missing = kTrace;
    missing.erase(missing.find("\"fps\":0,"), 8);
    EXPECT_FALSE(compareTraces(kTrace, missing, {1, 1}).equal);

    const std::string oneFrame = std::string(kTrace).substr(0, std::string(kTrace).find('\n') + 1);
    EXPECT_FALSE(compareTraces(kTrace, oneFrame, {1, 1}).equal);

    EXPECT_FALSE(compareTraces("{\"help\":false}", "{\"help\":true}", {1, 1}).equal);
    EXPECT_FALSE(compareTraces("{\"fraction\":null}", "{\"fraction\":0}", {1, 1}).equal);
    EXPECT_FALSE(compareTraces("{\"a\":1}", "{\"b\":1}", {}).equal);
}

RgbImage blank(int w, int h, uint8_t grey) {
    RgbImage image;
    image.width = w;
    image.height = h;
    image.pixels.assign(static_cast<size_t>(w) * h * 3, grey);
    return image;
}

void hline(RgbImage& image, int y, int x0, int x1, uint8_t r, uint8_t g, uint8_t b) {
    for (int x = x0; x <= x1; ++x) {
        uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
        p[0] = r, p[1] = g, p[2] = b;
    }
}

TEST(ImageComparison, ToleratesALineOnePixelAway) {
    RgbImage a = blank(40, 30, 125), b = blank(40, 30, 125);
    hline(a, 10, 5, 30, 255, 255, 255);
    hline(b, 11, 5, 30, 255, 255, 255);  // the other rasteriser's choice of row
    const ImageComparison r = compareImages(a, b, {});
    ASSERT_TRUE(r.sameSize);
    EXPECT_EQ(r.exactDiffering, 2 * 26);
    EXPECT_EQ(r.unmatched, 0);
}

TEST(ImageComparison, CatchesMisplacedMissingOrRecolouredGeometry) {
    RgbImage a = blank(40, 30, 125);
    hline(a, 10, 5, 30, 255, 255, 255);

    RgbImage moved = blank(40, 30, 125);
    hline(moved, 14, 5, 30, 255, 255, 255);
    EXPECT_EQ(compareImages(a, moved, {}).unmatched, 2 * 26);

    const RgbImage missing = blank(40, 30, 125);
    EXPECT_EQ(compareImages(a, missing, {}).unmatched, 26);

    RgbImage red = blank(40, 30, 125);
    hline(red, 10, 5, 30, 255, 0, 0);
    EXPECT_EQ(compareImages(a, red, {}).unmatched, 2 * 26);

    // A slightly different shade is the same colour.
    RgbImage shade = blank(40, 30, 125);
    hline(shade, 10, 5, 30, 240, 250, 255);
    EXPECT_EQ(compareImages(a, shade, {}).unmatched, 0);
}

TEST(ImageComparison, DifferentSizesNeverCompareEqual) {
    EXPECT_FALSE(compareImages(blank(484, 461, 0), blank(492, 473, 0), {}).sameSize);
    EXPECT_FALSE(compareImages(RgbImage{}, RgbImage{}, {}).sameSize);
}

TEST(ImageComparison, TextCountsByWhereItsInkIs) {
    // The same line of text from two font rasterisers: thinner strokes, same extent.
    RgbImage a = blank(120, 40, 125), b = blank(120, 40, 125);
    for (int y = 10; y < 22; ++y) {
        hline(a, y, 10, 80, 255, 255, 255);
        if (y % 3 == 0) hline(b, y, 11, 79, 255, 255, 255);
    }
    ImageTolerance t;
    EXPECT_GT(compareImages(a, b, t).unmatched, 0);  // as geometry it differs
    t.textBoxes = {{0, 5, 120, 30}};
    ImageComparison r = compareImages(a, b, t);
    EXPECT_EQ(r.unmatched, 0);
    EXPECT_EQ(r.textBoxesDiffering, 0) << r.textReport;

    // Text that is longer, moved down or missing is caught.
    RgbImage longer = blank(120, 40, 125);
    for (int y = 10; y < 22; ++y) hline(longer, y, 10, 100, 255, 255, 255);
    EXPECT_EQ(compareImages(a, longer, t).textBoxesDiffering, 1);
    RgbImage lower = blank(120, 40, 125);
    for (int y = 16; y < 28; ++y) hline(lower, y, 10, 80, 255, 255, 255);
    EXPECT_EQ(compareImages(a, lower, t).textBoxesDiffering, 1);
    r = compareImages(a, blank(120, 40, 125), t);
    EXPECT_EQ(r.textBoxesDiffering, 1);
    EXPECT_NE(r.textReport.find("no ink"), std::string::npos) << r.textReport;

    // Geometry outside the text boxes still counts.
    RgbImage extra = a;
    hline(extra, 35, 10, 50, 255, 0, 0);
    EXPECT_EQ(compareImages(a, extra, t).unmatched, 41);
}

}  // namespace
