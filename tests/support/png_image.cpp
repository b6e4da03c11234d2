#include "tests/support/png_image.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

bool readPng(const std::string& path, PngImage& out, std::string& error) {
    int w = 0, h = 0, channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    if (data == nullptr) {
        error = path + ": " + (stbi_failure_reason() ? stbi_failure_reason() : "unreadable");
        return false;
    }
    out.width = w;
    out.height = h;
    out.rgba.assign(data, data + static_cast<size_t>(w) * h * 4);
    stbi_image_free(data);
    return true;
}
