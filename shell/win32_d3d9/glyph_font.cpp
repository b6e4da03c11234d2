#include "shell/win32_d3d9/glyph_font.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "shell/font_atlas.h"

namespace {

// A pre-transformed, coloured, textured corner (pixel coordinates).
struct TextVertex {
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD kTextFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// First and last byte rasterised: the printable part of the ANSI code page.
constexpr int kFirstByte = 32, kLastByte = 255;
constexpr int kAtlasWidth = 256;

}  // namespace

struct GlyphFont {
    FontAtlas atlas;
    IDirect3DTexture9* texture = nullptr;
    std::vector<float> quads;          // the last text's layout, kept for its capacity
    std::vector<TextVertex> vertices;  // the same as vertices
};

namespace {

struct Bitmap {
    int pitch = 0;                // bytes per row (rows are 4-byte aligned)
    std::vector<uint8_t> levels;  // coverage 0..64, rows top to bottom
};

// Rasterises every glyph of the font GDI matches into `bitmaps` and the atlas's
// glyph metrics; false when GDI matches none.
bool rasterise(FontAtlas& atlas, std::vector<Bitmap>& bitmaps, int height, int width, int weight,
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
    const bool found = GetTextMetricsA(dc, &metrics) != 0;
    atlas.ascent = metrics.tmAscent;
    atlas.descent = metrics.tmDescent;
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    bitmaps.assign(256, Bitmap{});
    for (int c = kFirstByte; found && c <= kLastByte; ++c) {
        GLYPHMETRICS gm{};
        const DWORD size = GetGlyphOutlineA(dc, static_cast<UINT>(c), GGO_GRAY8_BITMAP, &gm, 0,
                                            nullptr, &identity);
        if (size == GDI_ERROR) continue;
        Bitmap& b = bitmaps[c];
        Glyph& g = atlas.glyphs[c];
        if (size > 0) {
            b.levels.resize(size);
            if (GetGlyphOutlineA(dc, static_cast<UINT>(c), GGO_GRAY8_BITMAP, &gm, size,
                                 b.levels.data(), &identity) == GDI_ERROR)
                continue;
            g.width = static_cast<int>(gm.gmBlackBoxX);
            g.height = static_cast<int>(gm.gmBlackBoxY);
            b.pitch = (g.width + 3) & ~3;
            if (static_cast<size_t>(b.pitch) * g.height > b.levels.size()) {
                g = Glyph{};
                continue;
            }
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

// Places the glyphs in rows of the atlas (one pixel apart), a power of two high,
// and copies their coverage in (0..255).
void pack(FontAtlas& atlas, const std::vector<Bitmap>& bitmaps) {
    int x = 0, y = 0, rowHeight = 0;
    for (Glyph& g : atlas.glyphs) {
        if (!g.present || g.width == 0) continue;
        if (x + g.width > kAtlasWidth) {
            x = 0;
            y += rowHeight + 1;
            rowHeight = 0;
        }
        g.atlasX = x;
        g.atlasY = y;
        x += g.width + 1;
        rowHeight = std::max(rowHeight, g.height);
    }
    atlas.width = kAtlasWidth;
    atlas.height = 1;
    while (atlas.height < y + rowHeight) atlas.height *= 2;
    atlas.pixels.assign(static_cast<size_t>(atlas.width) * atlas.height, 0);
    for (size_t c = 0; c < atlas.glyphs.size(); ++c) {
        const Glyph& g = atlas.glyphs[c];
        const Bitmap& b = bitmaps[c];
        for (int row = 0; row < g.height; ++row)
            for (int column = 0; column < g.width; ++column) {
                const unsigned level = std::min<unsigned>(b.levels[row * b.pitch + column], 64);
                atlas
                    .pixels[static_cast<size_t>(g.atlasY + row) * atlas.width + g.atlasX + column] =
                    static_cast<uint8_t>((level * 255 + 32) / 64);
            }
    }
}

// White texels whose alpha is the atlas's coverage.
bool makeTexture(IDirect3DDevice9* device, GlyphFont& font) {
    const FontAtlas& atlas = font.atlas;
    if (FAILED(device->CreateTexture(static_cast<UINT>(atlas.width),
                                     static_cast<UINT>(atlas.height), 1, 0, D3DFMT_A8R8G8B8,
                                     D3DPOOL_MANAGED, &font.texture, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    if (FAILED(font.texture->LockRect(0, &locked, nullptr, 0))) return false;
    for (int y = 0; y < atlas.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                static_cast<ptrdiff_t>(y) * locked.Pitch);
        const uint8_t* coverage = &atlas.pixels[static_cast<size_t>(y) * atlas.width];
        for (int x = 0; x < atlas.width; ++x)
            row[x] = static_cast<uint32_t>(coverage[x]) << 24 | 0x00FFFFFFu;
    }
    font.texture->UnlockRect(0);
    return true;
}

}  // namespace

GlyphFont* createGlyphFont(IDirect3DDevice9* device, int height, int width, int weight, bool italic,
                           const char* faceName) {
    if (device == nullptr) return nullptr;
    GlyphFont* font = new (std::nothrow) GlyphFont;
    if (font == nullptr) return nullptr;
    std::vector<Bitmap> bitmaps;
    if (!rasterise(font->atlas, bitmaps, height, width, weight, italic, faceName)) {
        releaseGlyphFont(font);
        return nullptr;
    }
    pack(font->atlas, bitmaps);
    if (!makeTexture(device, *font)) {
        releaseGlyphFont(font);
        return nullptr;
    }
    return font;
}

int drawGlyphText(GlyphFont& font, const char* text, int length, int left, int top, uint32_t argb) {
    if (text == nullptr || font.texture == nullptr) return 0;
    const size_t count = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    font.quads.clear();
    const int drawn = layoutText(font.atlas, text, count, left, top, font.quads);
    if (font.quads.empty()) return drawn;
    // Texel centres on pixel centres: Direct3D 9 puts pixel centres on whole
    // numbers, so each corner goes half a pixel up and left.
    font.vertices.clear();
    for (size_t i = 0; i + 4 <= font.quads.size(); i += 4) {
        const float* q = &font.quads[i];
        font.vertices.push_back({q[0] - 0.5f, q[1] - 0.5f, 0.0f, 1.0f, argb, q[2], q[3]});
    }

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
    // colour's alpha, blended over what is drawn. The colour stage and the
    // sampler are set to their defaults, which the lines never change.
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
    return drawn;
}

void releaseGlyphFont(GlyphFont* font) {
    if (font == nullptr) return;
    if (font->texture != nullptr) font->texture->Release();
    delete font;
}
