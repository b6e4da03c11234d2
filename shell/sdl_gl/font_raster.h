// Renders the font a GDI-style request names into a FontAtlas: fontconfig picks
// the face as GDI would pick it by name and weight, FreeType renders the
// printable Windows-1252 bytes (grey-scale, hinted). Used by this backend at run
// time and by tools/webglyphs at build time. No OpenGL here.
#pragma once

#include <string>

#include "shell/font_atlas.h"

// height < 0: the em height in pixels (the character height); > 0: the cell
// height; width > 0: the average character width; weight as OpenType (700
// bold, 0 the default). False with a reason in `error`.
bool rasteriseFont(const char* faceName, int height, int width, int weight, bool italic,
                   FontAtlas& out, std::string& error);
