// Screen text: fontconfig picks the face as GDI would pick it by name and
// weight, FreeType renders the glyphs (grey-scale, hinted) once into an atlas,
// and drawText lays them out as DrawText does for left-aligned text at the
// top of its rectangle: each line is a text cell whose top is the rectangle's
// top, the baseline sits the cell's ascent below it, glyphs advance by their
// hinted widths without kerning, and a line feed starts a new cell below.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/sdl_gl/gl_device.h"

namespace {

const char* kTextVertexShader = R"(#version 330 core
layout(location = 0) in vec2 position;  // pixels from the surface's top-left corner
layout(location = 1) in vec2 texCoord;
uniform vec2 surfaceSize;
out vec2 atlasCoord;
void main() {
    gl_Position = vec4(position.x * 2.0 / surfaceSize.x - 1.0,
                       1.0 - position.y * 2.0 / surfaceSize.y, 0.0, 1.0);
    atlasCoord = texCoord;
}
)";

const char* kTextFragmentShader = R"(#version 330 core
in vec2 atlasCoord;
uniform sampler2D atlas;
uniform vec4 colour;
out vec4 fragmentColour;
void main() { fragmentColour = vec4(colour.rgb, colour.a * texture(atlas, atlasCoord).r); }
)";

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
bool sizeFace(FT_Face face, int height, int width, Font* font, std::string& error) {
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
    font->ascent = static_cast<int>(std::ceil(winAscent * scale - 1e-6));
    const int cell = static_cast<int>(std::ceil((winAscent + winDescent) * scale - 1e-6));
    font->descent = std::max(0, cell - font->ascent);
    return true;
}

struct RenderedGlyph {
    std::vector<uint8_t> pixels;
    Glyph glyph;
};

// Renders the 224 printable bytes and packs them into rows of one atlas.
bool buildAtlas(FT_Face face, Font* font, std::string& error) {
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
    font->atlasWidth = kAtlasWidth;
    font->atlasHeight = y + rowHeight + 1;
    std::vector<uint8_t> atlas(static_cast<size_t>(font->atlasWidth) *
                               static_cast<size_t>(font->atlasHeight));
    bool any = false;
    for (int byte = 0; byte < 256; ++byte) {
        const RenderedGlyph& r = rendered[static_cast<size_t>(byte)];
        font->glyphs[static_cast<size_t>(byte)] = r.glyph;
        if (!r.glyph.present) continue;
        any = true;
        for (int row = 0; row < r.glyph.height; ++row) {
            std::memcpy(
                atlas.data() + static_cast<size_t>(r.glyph.atlasY + row) * kAtlasWidth +
                    static_cast<size_t>(r.glyph.atlasX),
                r.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(r.glyph.width),
                static_cast<size_t>(r.glyph.width));
        }
    }
    if (!any) {
        error = "the font has no glyphs for Windows-1252 text";
        return false;
    }
    glGenTextures(1, &font->texture);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, font->atlasWidth, font->atlasHeight, 0, GL_RED,
                 GL_UNSIGNED_BYTE, atlas.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return glGetError() == GL_NO_ERROR;
}

bool ensureTextPipeline(Device* device, std::string& error) {
    if (device->textProgram != 0) return true;
    device->textProgram = buildProgram(kTextVertexShader, kTextFragmentShader, error);
    if (device->textProgram == 0) return false;
    device->textSurfaceLocation = glGetUniformLocation(device->textProgram, "surfaceSize");
    device->textColourLocation = glGetUniformLocation(device->textProgram, "colour");
    glGenVertexArrays(1, &device->textVao);
    glGenBuffers(1, &device->textVbo);
    glBindVertexArray(device->textVao);
    glBindBuffer(GL_ARRAY_BUFFER, device->textVbo);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
    glUseProgram(device->textProgram);
    glUniform1i(glGetUniformLocation(device->textProgram, "atlas"), 0);
    return true;
}

}  // namespace

void destroyFontObjects(Font* font) {
    glDeleteTextures(1, &font->texture);
    font->texture = 0;
}

HResult createFont(Device* device, int height, int width, int weight, int /*mipLevels*/,
                   bool italic, const char* faceName, Font** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (!useDevice(device)) {
        std::fprintf(stderr, "createFont: no device\n");
        return E_FAIL_;
    }
    std::string error;
    int index = 0;
    const std::string file = matchFontFile(faceName, weight, italic, index, error);
    if (file.empty()) {
        std::fprintf(stderr, "createFont: %s\n", error.c_str());
        return E_FAIL_;
    }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    auto* font = new Font;
    bool ok = FT_Init_FreeType(&library) == 0;
    if (!ok) error = "FreeType cannot be initialised";
    if (ok && FT_New_Face(library, file.c_str(), index, &face) != 0) {
        ok = false;
        error = "cannot read the font file '" + file + "'";
    }
    ok = ok && sizeFace(face, height, width, font, error) && buildAtlas(face, font, error) &&
         ensureTextPipeline(device, error);
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
    if (!ok) {
        std::fprintf(stderr, "createFont: %s\n", error.c_str());
        destroyFontObjects(font);
        delete font;
        return E_FAIL_;
    }
    font->device = device;
    device->fonts.push_back(font);
    *out = font;
    return S_OK_;
}

int drawText(Font* font, const char* text, int length, const Rect& rect, uint32_t format,
             uint32_t argb) {
    if (font == nullptr || text == nullptr || !useDevice(font->device)) return 0;
    Device* device = font->device;
    const size_t count = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    if (count == 0) return 0;
    const int cellHeight = font->ascent + font->descent;
    std::vector<float>& v = device->textVertices;
    v.clear();
    const float atlasW = static_cast<float>(font->atlasWidth);
    const float atlasH = static_cast<float>(font->atlasHeight);
    int penX = rect.left, cellTop = rect.top, lines = 1;
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte == '\n') {
            penX = rect.left;
            cellTop += cellHeight;
            ++lines;
            continue;
        }
        const Glyph& g = font->glyphs[byte];
        if (!g.present) continue;
        if (g.width > 0 && g.height > 0) {
            const float x0 = static_cast<float>(penX + g.left);
            const float y0 = static_cast<float>(cellTop + font->ascent - g.top);
            const float x1 = x0 + static_cast<float>(g.width),
                        y1 = y0 + static_cast<float>(g.height);
            const float u0 = static_cast<float>(g.atlasX) / atlasW;
            const float v0 = static_cast<float>(g.atlasY) / atlasH;
            const float u1 = static_cast<float>(g.atlasX + g.width) / atlasW;
            const float v1 = static_cast<float>(g.atlasY + g.height) / atlasH;
            const float quad[6][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1},
                                      {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1}};
            for (const auto& corner : quad) v.insert(v.end(), corner, corner + 4);
        }
        penX += g.advance;
    }
    if (!v.empty()) {
        const bool clip = (format & DtNoClip) == 0;
        if (clip) {
            glEnable(GL_SCISSOR_TEST);
            const int w = std::max(0, rect.right - rect.left);
            const int h = std::max(0, rect.bottom - rect.top);
            glScissor(rect.left, device->height - rect.top - h, w, h);
        }
        glBindVertexArray(device->textVao);
        glUseProgram(device->textProgram);
        glUniform2f(device->textSurfaceLocation, static_cast<float>(device->width),
                    static_cast<float>(device->height));
        glUniform4f(device->textColourLocation, static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                    static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                    static_cast<float>(argb & 0xFF) / 255.0f,
                    static_cast<float>((argb >> 24) & 0xFF) / 255.0f);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, font->texture);
        glBindBuffer(GL_ARRAY_BUFFER, device->textVbo);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(),
                     GL_STREAM_DRAW);
        // Text is drawn the way the font's sprite draws it: both faces, blended.
        const GLboolean culling = glIsEnabled(GL_CULL_FACE);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.size() / 4));
        glDisable(GL_BLEND);
        if (culling) glEnable(GL_CULL_FACE);
        if (clip) glDisable(GL_SCISSOR_TEST);
    }
    return lines * cellHeight;
}

void release(Font* font) {
    if (font == nullptr) return;
    if (font->device != nullptr && useDevice(font->device)) {
        destroyFontObjects(font);
        auto& fonts = font->device->fonts;
        fonts.erase(std::remove(fonts.begin(), fonts.end(), font), fonts.end());
    }
    delete font;
}
