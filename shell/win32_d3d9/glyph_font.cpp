#include "shell/win32_d3d9/glyph_font.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A pre-transformed, coloured, textured corner (pixel coordinates).
struct TextVertex {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD kTextFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Glyph {
    bool present = false;
    int x = 0, y = 0, width = 0, height = 0;  // bitmap in the texture, pixels
    int left = 0, top = 0;  // bitmap origin from the pen (top: up from the baseline)
    int advance = 0;
};

// First and last byte rasterised: the printable part of the ANSI code page.
constexpr int kFirstByte = 32, kLastByte = 255;
constexpr int kTextureWidth = 256;

}  // namespace

struct GlyphFont {
    IDirect3DTexture9* texture = nullptr;
    float textureWidth = 0.0f, textureHeight = 0.0f;
    int ascent = 0, cellHeight = 0;  // pixels
    Glyph glyphs[256];
    std::vector<TextVertex> vertices;  // the last text's quads, kept for their capacity
};

namespace {

struct Bitmap {
    int pitch = 0;                // bytes per row (rows are 4-byte aligned)
    std::vector<uint8_t> levels;  // coverage 0..64, rows top to bottom
};

// Rasterises every glyph of the font GDI matches; false when it matches none.
bool rasterise(GlyphFont& font, std::vector<Bitmap>& bitmaps, int height, int width, int weight,
               bool italic, const char* faceName) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    HFONT gdiFont = CreateFontA(height, width, 0, 0, weight, italic ? TRUE : FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName);
    if (gdiFont == nullptr) {
        DeleteDC(dc);
        return false;
    }
    const HGDIOBJ previous = SelectObject(dc, gdiFont);
    TEXTMETRICA metrics{};
    bool found = GetTextMetricsA(dc, &metrics) != 0;
    font.ascent = metrics.tmAscent;
    font.cellHeight = metrics.tmHeight;
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    bitmaps.assign(256, Bitmap{});
    for (int c = kFirstByte; found && c <= kLastByte; ++c) {
        GLYPHMETRICS gm{};
        const DWORD size = GetGlyphOutlineA(dc, static_cast<UINT>(c), GGO_GRAY8_BITMAP, &gm, 0,
                                            nullptr, &identity);
        if (size == GDI_ERROR) continue;
        Bitmap& b = bitmaps[c];
        Glyph& g = font.glyphs[c];
        if (size > 0) {
            b.levels.resize(size);
            if (GetGlyphOutlineA(dc, static_cast<UINT>(c), GGO_GRAY8_BITMAP, &gm, size,
                                 b.levels.data(), &identity) == GDI_ERROR)
                continue;
            g.width = static_cast<int>(gm.gmBlackBoxX);
            g.height = static_cast<int>(gm.gmBlackBoxY);
            b.pitch = (g.width + 3) & ~3;
            if (static_cast<size_t>(b.pitch) * g.height > b.levels.size()) continue;
        }
        g.present = true;
        g.left = gm.gmptGlyphOrigin.x;
        g.top = gm.gmptGlyphOrigin.y;
        g.advance = gm.gmCellIncX;
    }
    SelectObject(dc, previous);
    DeleteObject(gdiFont);
    DeleteDC(dc);
    return found;
}

// Places the glyphs in rows of the texture (one pixel apart); returns the
// texture height needed, a power of two.
int pack(GlyphFont& font) {
    int x = 0, y = 0, rowHeight = 0;
    for (Glyph& g : font.glyphs) {
        if (!g.present || g.width == 0) continue;
        if (x + g.width > kTextureWidth) {
            x = 0;
            y += rowHeight + 1;
            rowHeight = 0;
        }
        g.x = x;
        g.y = y;
        x += g.width + 1;
        rowHeight = std::max(rowHeight, g.height);
    }
    int height = 1;
    while (height < y + rowHeight) height *= 2;
    return height;
}

// White texels whose alpha is the glyph coverage.
bool fillTexture(IDirect3DDevice9* device, GlyphFont& font, const std::vector<Bitmap>& bitmaps,
                 int height) {
    if (FAILED(device->CreateTexture(kTextureWidth, static_cast<UINT>(height), 1, 0,
                                     D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &font.texture, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    if (FAILED(font.texture->LockRect(0, &locked, nullptr, 0))) return false;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                static_cast<ptrdiff_t>(y) * locked.Pitch);
        std::fill(row, row + kTextureWidth, 0x00FFFFFFu);
    }
    for (int c = 0; c < 256; ++c) {
        const Glyph& g = font.glyphs[c];
        const Bitmap& b = bitmaps[c];
        for (int y = 0; y < g.height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                    static_cast<ptrdiff_t>(g.y + y) * locked.Pitch);
            for (int x = 0; x < g.width; ++x) {
                const uint32_t level = std::min<uint32_t>(b.levels[y * b.pitch + x], 64);
                row[g.x + x] = (level * 255 + 32) / 64 << 24 | 0x00FFFFFFu;
            }
        }
    }
    font.texture->UnlockRect(0);
    font.textureWidth = kTextureWidth;
    font.textureHeight = static_cast<float>(height);
    return true;
}

}  // namespace

GlyphFont* createGlyphFont(IDirect3DDevice9* device, int height, int width, int weight, bool italic,
                           const char* faceName) {
    if (device == nullptr) return nullptr;
    GlyphFont* font = new (std::nothrow) GlyphFont;
    if (font == nullptr) return nullptr;
    std::vector<Bitmap> bitmaps;
    if (!rasterise(*font, bitmaps, height, width, weight, italic, faceName) ||
        !fillTexture(device, *font, bitmaps, pack(*font))) {
        releaseGlyphFont(font);
        return nullptr;
    }
    return font;
}

int drawGlyphText(GlyphFont& font, const char* text, int length, int left, int top, uint32_t argb) {
    if (text == nullptr || font.texture == nullptr) return 0;
    const size_t count = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    font.vertices.clear();
    int penX = left, cellTop = top, lines = 1;
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte == '\n') {
            penX = left;
            cellTop += font.cellHeight;
            ++lines;
            continue;
        }
        const Glyph& g = font.glyphs[byte];
        if (!g.present) continue;
        if (g.width > 0) {
            // Texel centres on pixel centres: Direct3D 9 puts pixel centres on whole
            // numbers, so each corner goes half a pixel up and left.
            const float x0 = static_cast<float>(penX + g.left) - 0.5f;
            const float y0 = static_cast<float>(cellTop + font.ascent - g.top) - 0.5f;
            const float x1 = x0 + static_cast<float>(g.width);
            const float y1 = y0 + static_cast<float>(g.height);
            const float u0 = static_cast<float>(g.x) / font.textureWidth;
            const float v0 = static_cast<float>(g.y) / font.textureHeight;
            const float u1 = static_cast<float>(g.x + g.width) / font.textureWidth;
            const float v1 = static_cast<float>(g.y + g.height) / font.textureHeight;
            const TextVertex corners[6] = {
                {x0, y0, 0, 1, argb, u0, v0}, {x1, y0, 0, 1, argb, u1, v0},
                {x1, y1, 0, 1, argb, u1, v1}, {x0, y0, 0, 1, argb, u0, v0},
                {x1, y1, 0, 1, argb, u1, v1}, {x0, y1, 0, 1, argb, u0, v1}};
            font.vertices.insert(font.vertices.end(), corners, corners + 6);
        }
        penX += g.advance;
    }
    if (font.vertices.empty()) return lines * font.cellHeight;

    IDirect3DDevice9* device = nullptr;
    if (FAILED(font.texture->GetDevice(&device))) return 0;
    // What a line draw expects back afterwards.
    IDirect3DBaseTexture9* texture = nullptr;
    DWORD fvf = 0, blend = 0, source = 0, destination = 0, alphaOp = 0, alphaArg1 = 0,
          alphaArg2 = 0;
    device->GetTexture(0, &texture);
    device->GetFVF(&fvf);
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    device->GetRenderState(D3DRS_SRCBLEND, &source);
    device->GetRenderState(D3DRS_DESTBLEND, &destination);
    device->GetTextureStageState(0, D3DTSS_ALPHAOP, &alphaOp);
    device->GetTextureStageState(0, D3DTSS_ALPHAARG1, &alphaArg1);
    device->GetTextureStageState(0, D3DTSS_ALPHAARG2, &alphaArg2);

    // Colour: texture (white) times the text colour; alpha: coverage times the
    // colour's alpha, blended over what is drawn.
    device->SetTexture(0, font.texture);
    device->SetFVF(kTextFvf);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(font.vertices.size() / 3),
                            font.vertices.data(), sizeof(TextVertex));

    device->SetTexture(0, texture);
    if (texture != nullptr) texture->Release();
    device->SetFVF(fvf);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    device->SetRenderState(D3DRS_SRCBLEND, source);
    device->SetRenderState(D3DRS_DESTBLEND, destination);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, alphaArg1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, alphaArg2);
    device->Release();
    return lines * font.cellHeight;
}

void releaseGlyphFont(GlyphFont* font) {
    if (font == nullptr) return;
    if (font->texture != nullptr) font->texture->Release();
    delete font;
}
