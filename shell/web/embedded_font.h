// The one font the web backend can draw: the overlay font the programs create,
// rendered at build time by tools/webglyphs (with the Linux backend's
// rasteriser) into a generated source that defines loadEmbeddedFont.
#pragma once

#include "shell/font_atlas.h"

constexpr const char* kEmbeddedFontFace = "Arial";  // fontconfig: Liberation Sans
constexpr int kEmbeddedFontHeight = -16;            // character height, pixels
constexpr int kEmbeddedFontWeight = 700;            // bold

void loadEmbeddedFont(FontAtlas& out);
