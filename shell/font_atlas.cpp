#include "shell/font_atlas.h"

int layoutText(const FontAtlas& font, const char* text, size_t count, int left, int top,
               std::vector<float>& quads) {
    const int cellHeight = font.ascent + font.descent;
    const float atlasW = static_cast<float>(font.width);
    const float atlasH = static_cast<float>(font.height);
    int penX = left, cellTop = top, lines = 1;
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte == '\n') {
            penX = left;
            cellTop += cellHeight;
            ++lines;
            continue;
        }
        const Glyph& g = font.glyphs[byte];
        if (!g.present) continue;
        if (g.width > 0 && g.height > 0) {
            const float x0 = static_cast<float>(penX + g.left);
            const float y0 = static_cast<float>(cellTop + font.ascent - g.top);
            const float x1 = x0 + static_cast<float>(g.width),
                        y1 = y0 + static_cast<float>(g.height);
            const float u0 = static_cast<float>(g.atlasX) / atlasW;
            const float v0 = static_cast<float>(g.atlasY) / atlasH;
            const float u1 = static_cast<float>(g.atlasX + g.width) / atlasW;
            const float v1 = static_cast<float>(g.atlasY + g.height) / atlasH;
            const float quad[6][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1},
                                      {x0, y0, u0, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1}};
            for (const auto& corner : quad) quads.insert(quads.end(), corner, corner + 4);
        }
        penX += g.advance;
    }
    return lines * cellHeight;
}
