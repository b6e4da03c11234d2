#include "shell/harness/png_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

struct FileSink {
    FILE* file = nullptr;
    bool ok = true;
};

void writeToFile(void* context, void* data, int size) {
    auto* sink = static_cast<FileSink*>(context);
    if (sink->ok &&
        std::fwrite(data, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size)) {
        sink->ok = false;
    }
}

}  // namespace

bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgba, int rowBytes,
                 std::string& error) {
    if (width <= 0 || height <= 0 || rgba == nullptr || rowBytes < width * 4) {
        error = "no image to write";
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgba + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
        uint8_t* dst = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            dst[x * 3 + 0] = src[x * 4 + 0];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4 + 2];
        }
    }
    FileSink sink;
    sink.file = std::fopen(path.c_str(), "wb");
    if (sink.file == nullptr) {
        error = "cannot create '" + path + "': " + std::strerror(errno);
        return false;
    }
    const int encoded =
        stbi_write_png_to_func(writeToFile, &sink, width, height, 3, rgb.data(), width * 3);
    const bool closed = std::fclose(sink.file) == 0;
    if (encoded == 0 || !sink.ok || !closed) {
        std::remove(path.c_str());
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}
