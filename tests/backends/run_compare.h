// Compares two runs of the same program and script on different backends: their
// per-frame traces and their captured frames.
//
// Traces must agree line for line and token for token; numbers with a fraction
// or an exponent may differ by a stated tolerance, integers (counts, ticks,
// indices) must be equal, and the CPU time of a frame ("cpuUs") is not compared.
// Pictures may differ where the two rasterisers place a line a pixel apart: a
// pixel counts as different only when no pixel within `radius` of it in the
// other picture has all channels within `channelTolerance`. Text is drawn by
// each platform's own font rasteriser (same metrics, different glyph shapes), so
// inside the text boxes given only where the text is matters: the bounding box
// of its ink must agree within `textSlack` pixels on every side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TraceTolerance {
    double absolute = 0.0;  // |a - b| <= absolute + relative * max(|a|, |b|)
    double relative = 0.0;
};

struct TraceComparison {
    bool equal = false;
    size_t lines = 0;              // lines compared
    size_t numbers = 0;            // numbers compared
    size_t numbersDiffering = 0;   // numbers not bit-equal but within tolerance
    double largestAbsolute = 0.0;  // over the numbers compared
    double largestRelative = 0.0;
    std::string firstMismatch;  // "line N: ..." when not equal
};

// Compares two traces given as text (JSON objects, one per line).
TraceComparison compareTraces(const std::string& a, const std::string& b,
                              const TraceTolerance& tolerance);

// 8-bit RGB pixels, rows top to bottom.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3
};

struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

struct ImageTolerance {
    int channelTolerance = 48;        // largest channel difference that still matches
    int radius = 1;                   // neighbourhood searched for a match, in pixels
    std::vector<PixelBox> textBoxes;  // regions holding text
    int textSlack = 4;                // pixels each edge of the ink's bounding box may move
};

struct ImageComparison {
    bool sameSize = false;
    long pixels = 0;          // width * height
    long exactDiffering = 0;  // pixels whose colour differs beyond the tolerance in place
    long unmatched = 0;       // pixels of either picture with no match near them in the other
    double unmatchedFraction = 0.0;  // unmatched / (2 * pixels outside the text boxes)
    int textBoxesDiffering = 0;      // text boxes whose ink extents disagree
    std::string textReport;          // the first disagreeing box and both extents
};

ImageComparison compareImages(const RgbImage& a, const RgbImage& b,
                              const ImageTolerance& tolerance);

// Reads a PNG as 8-bit RGB; false with a reason in `error`.
bool readPngRgb(const std::string& path, RgbImage& out, std::string& error);
