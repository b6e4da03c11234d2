#include "shell/sdl_gl/font_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Unicode of the bytes 0x80..0x9F in Windows-1252 (0: unassigned); the other
// bytes are the same in Latin-1 and Unicode.
const uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t codePointOf(int byte) {
    if (byte >= 0x80 && byte < 0xA0) return kWindows1252High[byte - 0x80];
    return static_cast<uint32_t>(byte);
}

// fontconfig's choice for a GDI-style request; empty with a reason on failure.
std::string matchFontFile(const char* faceName, int weight, bool italic, int& index,
                          std::string& error) {
    if (!FcInit()) {
        error = "fontconfig cannot be initialised";
        return {};
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(faceName != nullptr ? faceName : ""));
    // GDI weights are OpenType weights (400 normal, 700 bold); 0 is the default.
    const int openTypeWeight = weight <= 0 ? 400 : std::min(weight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(openTypeWeight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::string path;
    FcChar8* file = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        path = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    } else {
        error = std::string("no installed font matches '") + (faceName ? faceName : "") + "'";
    }
    if (match != nullptr) FcPatternDestroy(match);
    return path;
}

// Sizes the face as GDI sizes a font: a negative height is the em height (the
// character height), a positive one the cell height (ascent + descent); a
// width is the average character width. Fills the cell metrics.
bool sizeFace(FT_Face face, int height, int width, FontAtlas& font, std::string& error) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048.0;
    const double winAscent =
        os2 != nullptr && os2->usWinAscent > 0 ? os2->usWinAscent : face->ascender;
    const double winDescent =
        os2 != nullptr && os2->usWinAscent > 0 ? os2->usWinDescent : -face->descender;
    double em = 16.0;
    if (height < 0) em = -height;
    if (height > 0) em = height * unitsPerEm / (winAscent + winDescent);
    const int emPixels = std::max(1, static_cast<int>(std::lround(em)));
    int xPixels = emPixels;
    if (width > 0 && os2 != nullptr && os2->xAvgCharWidth > 0) {
        xPixels =
            std::max(1, static_cast<int>(std::lround(width * unitsPerEm / os2->xAvgCharWidth)));
    }
    if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(xPixels), static_cast<FT_UInt>(emPixels)) !=
        0) {
        error = "the font cannot be drawn at " + std::to_string(emPixels) + " pixels";
        return false;
    }
    // The cell as GDI measures a TrueType face: usWinAscent and usWinAscent +
    // usWinDescent at the em size, each rounded up (Arial's metrics at 16
    // pixels: ascent 15, height 18, descent 3).
    const double scale = emPixels / unitsPerEm;
    font.ascent = static_cast<int>(std::ceil(winAscent * scale - 1e-6));
    const int cell = static_cast<int>(std::ceil((winAscent + winDescent) * scale - 1e-6));
    font.descent = std::max(0, cell - font.ascent);
    return true;
}

struct RenderedGlyph {
    std::vector<uint8_t> pixels;
    Glyph glyph;
};

// Renders the 224 printable bytes and packs them into rows of one atlas.
bool buildAtlas(FT_Face face, FontAtlas& font, std::string& error) {
    std::vector<RenderedGlyph> rendered(256);
    constexpr int kAtlasWidth = 512;
    int x = 1, y = 1, rowHeight = 0;
    for (int byte = 32; byte < 256; ++byte) {
        if (byte == 127) continue;
        const uint32_t code = codePointOf(byte);
        if (code == 0) continue;
        FT_UInt index = FT_Get_Char_Index(face, code);
        if (index == 0) continue;
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0) continue;
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        RenderedGlyph& r = rendered[static_cast<size_t>(byte)];
        Glyph& g = r.glyph;
        g.present = true;
        g.width = static_cast<int>(bitmap.width);
        g.height = static_cast<int>(bitmap.rows);
        g.left = face->glyph->bitmap_left;
        g.top = face->glyph->bitmap_top;
        g.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        if (g.width > kAtlasWidth - 2) g.width = kAtlasWidth - 2;
        if (x + g.width + 1 > kAtlasWidth) {
            x = 1;
            y += rowHeight + 1;
            rowHeight = 0;
        }
        g.atlasX = x;
        g.atlasY = y;
        x += g.width + 1;
        rowHeight = std::max(rowHeight, g.height);
        r.pixels.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
        for (int row = 0; row < g.height; ++row) {
            const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
            std::memcpy(r.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(g.width),
                        src, static_cast<size_t>(g.width));
        }
    }
    font.width = kAtlasWidth;
    font.height = y + rowHeight + 1;
    font.pixels.assign(static_cast<size_t>(font.width) * static_cast<size_t>(font.height), 0);
    bool any = false;
    for (int byte = 0; byte < 256; ++byte) {
        const RenderedGlyph& r = rendered[static_cast<size_t>(byte)];
        font.glyphs[static_cast<size_t>(byte)] = r.glyph;
        if (!r.glyph.present) continue;
        any = true;
        for (int row = 0; row < r.glyph.height; ++row) {
            std::memcpy(
                font.pixels.data() + static_cast<size_t>(r.glyph.atlasY + row) * kAtlasWidth +
                    static_cast<size_t>(r.glyph.atlasX),
                r.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(r.glyph.width),
                static_cast<size_t>(r.glyph.width));
        }
    }
    if (!any) {
        error = "the font has no glyphs for Windows-1252 text";
        return false;
    }
    return true;
}

}  // namespace

bool rasteriseFont(const char* faceName, int height, int width, int weight, bool italic,
                   FontAtlas& out, std::string& error) {
    int index = 0;
    const std::string file = matchFontFile(faceName, weight, italic, index, error);
    if (file.empty()) return false;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    bool ok = FT_Init_FreeType(&library) == 0;
    if (!ok) error = "FreeType cannot be initialised";
    if (ok && FT_New_Face(library, file.c_str(), index, &face) != 0) {
        ok = false;
        error = "cannot read the font file '" + file + "'";
    }
    out = FontAtlas{};
    ok = ok && sizeFace(face, height, width, out, error) && buildAtlas(face, out, error);
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
    return ok;
}
