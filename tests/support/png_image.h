// Reads a PNG for checks on captured frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // rows top to bottom, 4 bytes per pixel

    struct Pixel {
        uint8_t r, g, b, a;
    };
    Pixel at(int x, int y) const {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return Pixel{p[0], p[1], p[2], p[3]};
    }
    // Pixels in [x0, x1) x [y0, y1) for which `match` holds.
    template <typename Match>
    int count(int x0, int y0, int x1, int y1, Match match) const {
        int n = 0;
        for (int y = y0; y < y1 && y < height; ++y) {
            for (int x = x0; x < x1 && x < width; ++x) n += match(at(x, y)) ? 1 : 0;
        }
        return n;
    }
};

// False (with a reason in `error`) when the file cannot be read or decoded.
bool readPng(const std::string& path, PngImage& out, std::string& error);

// A near-white pixel (the skeleton's lines and the overlay text).
inline bool isWhite(const PngImage::Pixel& p) {
    return p.r > 200 && p.g > 200 && p.b > 200;
}
