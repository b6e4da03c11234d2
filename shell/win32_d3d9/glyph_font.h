// Screen text without D3DX: the glyphs of a font, rasterised once by the
// system's font engine (GDI, the same glyphs D3DX's font would draw) into a
// glyph atlas (shell/font_atlas.h) held in one texture, and drawn as textured
// quads in pixel coordinates.
//
// Only what the programs ask of a font is done: single-byte text in the ANSI
// code page, laid out by layoutText as DrawText lays out left-aligned text at
// the top of its rectangle (no clipping; a line feed starts a new text cell).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Direct3D 9 after windows.h.
#include <d3d9.h>

#include <cstdint>

struct GlyphFont;  // owns its texture

// The font GDI matches to these CreateFont values (height < 0: character
// height in pixels); null with nothing created when GDI or the device fails.
GlyphFont* createGlyphFont(IDirect3DDevice9* device, int height, int width, int weight, bool italic,
                           const char* faceName);
// Draws `text` (length < 0: up to its NUL) with the top-left of its first text
// cell at (left, top), in `argb`, between BeginScene and EndScene. Leaves the
// device's texture, vertex format and blending as a line draw expects them.
// Returns the height drawn in pixels.
int drawGlyphText(GlyphFont& font, const char* text, int length, int left, int top, uint32_t argb);
// Null is ignored.
void releaseGlyphFont(GlyphFont* font);
