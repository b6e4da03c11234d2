// Writes captured frames as PNG files. Shared by every backend; needs no
// platform headers (the encoder is stb_image_write, compiled into png_writer.cpp).
#pragma once

#include <cstdint>
#include <string>

// Writes a width x height image of 8-bit RGBA pixels, rows top to bottom
// (`rowBytes` apart), as an 8-bit RGB PNG (alpha is dropped: back buffers hold
// no meaningful alpha). Returns false with a reason in `error` when the size is
// not positive, the pixels are missing or the file cannot be written; a partly
// written file is removed.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgba, int rowBytes,
                 std::string& error);
