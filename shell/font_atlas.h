// A font rendered once into one grey-scale atlas, and DrawText's layout of
// left-aligned text over it. The Linux backend renders the atlas at run time
// (shell/sdl_gl/font_raster); the web backend embeds one rendered at build time
// by tools/webglyphs with the same code, so both draw the same glyph bitmaps.
// The Windows backend, where D3DX is missing, fills one through GDI
// (shell/win32_d3d9/glyph_font).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Glyph {
    bool present = false;
    int atlasX = 0, atlasY = 0, width = 0, height = 0;  // bitmap in the atlas, pixels
    int left = 0, top = 0;  // bitmap origin from the pen position (top: up from the baseline)
    int advance = 0;        // pixels
};

struct FontAtlas {
    int width = 0, height = 0;        // pixels
    std::vector<uint8_t> pixels;      // width * height coverage bytes, rows top to bottom
    int ascent = 0, descent = 0;      // pixels above and below the baseline of a text cell
    std::array<Glyph, 256> glyphs{};  // by byte of the text (Windows-1252)
};

// Lays `count` bytes of text out as DrawText does for left-aligned text at the
// top of its rectangle: each line is a text cell whose top is `top`, the
// baseline sits the cell's ascent below it, glyphs advance by their hinted
// widths without kerning, and a line feed starts a new cell below. Appends two
// triangles per visible glyph to `quads`, each corner as x, y (pixels from the
// surface's top-left) and u, v (atlas coordinates, 0..1). Returns the height
// drawn: lines times the cell height.
int layoutText(const FontAtlas& font, const char* text, size_t count, int left, int top,
               std::vector<float>& quads);
