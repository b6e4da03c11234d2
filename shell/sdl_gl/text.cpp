// Screen text: the font is rendered once into an atlas (font_raster), uploaded
// as a texture, and drawText draws the quads of DrawText's layout
// (shell/font_atlas) blended over the frame.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "shell/sdl_gl/font_raster.h"
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

bool uploadAtlas(Font* font, std::string& error) {
    const FontAtlas& a = font->atlas;
    glGenTextures(1, &font->texture);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, a.width, a.height, 0, GL_RED, GL_UNSIGNED_BYTE,
                 a.pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (glGetError() == GL_NO_ERROR) return true;
    error = "the glyph atlas cannot be uploaded";
    return false;
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
    auto* font = new Font;
    bool ok = rasteriseFont(faceName, height, width, weight, italic, font->atlas, error) &&
              ensureTextPipeline(device, error) && uploadAtlas(font, error);
    font->atlas.pixels = {};  // the texture holds them now
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
    std::vector<float>& v = device->textVertices;
    v.clear();
    const int drawnHeight = layoutText(font->atlas, text, count, rect.left, rect.top, v);
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
    return drawnHeight;
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
