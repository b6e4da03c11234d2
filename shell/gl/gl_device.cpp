// Vertices keep Direct3D's layout and conventions: the 16-byte XYZ | DIFFUSE
// vertex is read as it is (its colour bytes are B, G, R, A), positions are
// transformed as row vectors by view · projection, clip-space z in [0, w] is
// mapped to GL's [-w, w] (so both clip at the same planes), and everything is
// shifted by half a pixel, because Direct3D 9 samples pixel centres at whole
// screen coordinates and GL at halves: a line, point or triangle covers the
// pixels Direct3D 9 would cover.

#include "shell/gl/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/harness/png_writer.h"

namespace {

constexpr uint32_t kCullNone = 1, kCullClockwise = 2, kCullCounterClockwise = 3;

#if defined(__EMSCRIPTEN__)
const char* kShaderVersion = "#version 300 es\n";
#else
const char* kShaderVersion = "#version 330 core\n";
#endif

const char* kLineVertexShader = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;  // the vertex's bytes B, G, R, A
uniform mat4 viewProjection;          // row-vector matrix, uploaded transposed
uniform vec2 pixelShift;              // half a pixel right and down, in clip units per w
uniform bool lighting;
out vec4 vertexColour;
void main() {
    vec4 clip = vec4(position, 1.0) * viewProjection;
    clip.z = 2.0 * clip.z - clip.w;
    clip.xy += pixelShift * clip.w;
    gl_Position = clip;
    gl_PointSize = 1.0;
    // Lit without lights or ambient light, as the initial render state has it:
    // only the alpha of the colour survives.
    vertexColour = lighting ? vec4(0.0, 0.0, 0.0, colour.a) : colour.bgra;
}
)";

const char* kColourFragmentShader = R"(
precision mediump float;
in vec4 vertexColour;
out vec4 fragmentColour;
void main() { fragmentColour = vertexColour; }
)";

const char* kTextVertexShader = R"(
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

const char* kTextFragmentShader = R"(
precision mediump float;
in vec2 atlasCoord;
uniform sampler2D atlas;
uniform vec4 colour;
out vec4 fragmentColour;
void main() { fragmentColour = vec4(colour.rgb, colour.a * texture(atlas, atlasCoord).r); }
)";

// Compiles and links a vertex + fragment shader pair; 0 with a reason on failure.
GLuint buildProgram(const char* vertexSource, const char* fragmentSource, std::string& error) {
    auto compile = [&](GLenum type, const char* source) -> GLuint {
        GLuint shader = glCreateShader(type);
        const char* parts[2] = {kShaderVersion, source};
        glShaderSource(shader, 2, parts, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetShaderInfoLog(shader, sizeof log, nullptr, log);
            error = std::string("shader compilation failed: ") + log;
            glDeleteShader(shader);
            return 0;
        }
        return shader;
    };
    GLuint vs = compile(GL_VERTEX_SHADER, vertexSource);
    if (vs == 0) return 0;
    GLuint fs = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (fs == 0) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        error = std::string("shader linking failed: ") + log;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

void setColourUniform(GLint location, uint32_t argb) {
    glUniform4f(location, static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                static_cast<float>(argb & 0xFF) / 255.0f,
                static_cast<float>((argb >> 24) & 0xFF) / 255.0f);
}

void reportOnce(bool& flag, const char* what) {
    if (flag) return;
    flag = true;
    std::fprintf(stderr, "drawPrimitive: %s; nothing drawn\n", what);
}

template <class T>
void removeFrom(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

bool setUpGlDevice(Device* device, std::string& error) {
    device->lineProgram = buildProgram(kLineVertexShader, kColourFragmentShader, error);
    if (device->lineProgram == 0) return false;
    device->textProgram = buildProgram(kTextVertexShader, kTextFragmentShader, error);
    if (device->textProgram == 0) return false;

    device->viewProjectionLocation = glGetUniformLocation(device->lineProgram, "viewProjection");
    device->lightingLocation = glGetUniformLocation(device->lineProgram, "lighting");
    glGenVertexArrays(1, &device->lineVao);
    glUseProgram(device->lineProgram);
    glUniform1i(device->lightingLocation, 1);

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
    glBindVertexArray(0);
    setGlSurfaceSize(device, device->width, device->height);
    glFrontFace(GL_CCW);  // Direct3D's initial state: counter-clockwise faces culled
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    // With a depth buffer the depth test starts on, as ZENABLE does, and a
    // fragment passes at a depth equal to the stored one (Direct3D's LESSEQUAL).
    glDepthFunc(GL_LEQUAL);
    if (device->depthBuffer)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    if (glGetError() != GL_NO_ERROR) {
        error = "setting up the GL state failed";
        return false;
    }
    return true;
}

void setGlSurfaceSize(Device* device, int width, int height) {
    device->width = width;
    device->height = height;
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glUseProgram(device->lineProgram);
    glUniform2f(glGetUniformLocation(device->lineProgram, "pixelShift"),
                1.0f / static_cast<float>(width), -1.0f / static_cast<float>(height));
    glUseProgram(device->textProgram);
    glUniform2f(glGetUniformLocation(device->textProgram, "surfaceSize"), static_cast<float>(width),
                static_cast<float>(height));
    glUseProgram(static_cast<GLuint>(program));
    glViewport(0, 0, width, height);
}

void freeGlObjects(Device* device) {
    for (VertexBuffer* buffer : device->buffers) {
        glDeleteBuffers(1, &buffer->name);
        buffer->name = 0;
        buffer->device = nullptr;
    }
    device->buffers.clear();
    for (Font* font : device->fonts) {
        glDeleteTextures(1, &font->texture);
        font->texture = 0;
        font->device = nullptr;
    }
    device->fonts.clear();
    glDeleteProgram(device->lineProgram);
    glDeleteProgram(device->textProgram);
    glDeleteVertexArrays(1, &device->lineVao);
    glDeleteVertexArrays(1, &device->textVao);
    glDeleteBuffers(1, &device->textVbo);
}

bool writeFramePng(Device* device, const std::string& path) {
    const int w = device->width, h = device->height;
    const size_t row = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(h)), rgba(bottomUp.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) {
        std::fprintf(stderr, "capture: cannot read the frame for '%s'\n", path.c_str());
        return false;
    }
    for (int y = 0; y < h; ++y) {
        std::memcpy(rgba.data() + static_cast<size_t>(y) * row,
                    bottomUp.data() + static_cast<size_t>(h - 1 - y) * row, row);
    }
    std::string error;
    if (!writePngRgb(path, w, h, rgba.data(), static_cast<int>(row), error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return false;
    }
    return true;
}

Direct3D* direct3DCreate(uint32_t sdkVersion) {
    if (sdkVersion != SdkVersion) {
        std::fprintf(stderr, "direct3DCreate: unsupported SDK version %u\n", sdkVersion);
        return nullptr;
    }
    return new Direct3D;
}

void setRenderState(Device* device, RenderState state, uint32_t value) {
    if (!useDevice(device)) return;
    switch (state) {
        case RenderState::CullMode:
            // Direct3D's winding is seen on a y-down screen, GL's on a y-up one:
            // a face clockwise for one is counter-clockwise for the other.
            if (value == kCullClockwise || value == kCullCounterClockwise) {
                glEnable(GL_CULL_FACE);
                glCullFace(value == kCullCounterClockwise ? GL_BACK : GL_FRONT);
            } else if (value == kCullNone) {
                glDisable(GL_CULL_FACE);
            }
            return;
        case RenderState::Lighting:
            glUseProgram(device->lineProgram);
            glUniform1i(device->lightingLocation, value != 0 ? 1 : 0);
            return;
        case RenderState::ZEnable:
            if (!device->depthBuffer) return;
            if (value != 0)
                glEnable(GL_DEPTH_TEST);
            else
                glDisable(GL_DEPTH_TEST);
            return;
    }
}

HResult createVertexBuffer(Device* device, uint32_t bytes, uint32_t /*usage*/, uint32_t /*fvf*/,
                           VertexBuffer** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (!useDevice(device) || bytes == 0 || bytes > (1u << 28)) return E_FAIL_;
    auto* buffer = new VertexBuffer;
    buffer->device = device;
    buffer->shadow.assign(bytes, 0);
    glGenBuffers(1, &buffer->name);
    glBindBuffer(GL_ARRAY_BUFFER, buffer->name);
    glBufferData(GL_ARRAY_BUFFER, bytes, buffer->shadow.data(), GL_DYNAMIC_DRAW);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &buffer->name);
        delete buffer;
        return E_FAIL_;
    }
    device->buffers.push_back(buffer);
    *out = buffer;
    return S_OK_;
}

HResult lockVertexBuffer(VertexBuffer* buffer, uint32_t offset, uint32_t bytes, void** data,
                         uint32_t /*flags*/) {
    if (data != nullptr) *data = nullptr;
    if (buffer == nullptr || data == nullptr || buffer->locked) return E_FAIL_;
    const uint64_t size = buffer->shadow.size();
    // Zero bytes locks the rest of the buffer, as Direct3D does.
    const uint64_t length = bytes == 0 ? size - std::min<uint64_t>(offset, size) : bytes;
    if (offset >= size || uint64_t{offset} + length > size) return E_FAIL_;
    buffer->locked = true;
    buffer->lockOffset = offset;
    buffer->lockBytes = static_cast<uint32_t>(length);
    *data = buffer->shadow.data() + offset;
    return S_OK_;
}

HResult unlockVertexBuffer(VertexBuffer* buffer) {
    if (buffer == nullptr || !buffer->locked) return E_FAIL_;
    buffer->locked = false;
    if (!useDevice(buffer->device)) return S_OK_;
    glBindBuffer(GL_ARRAY_BUFFER, buffer->name);
    glBufferSubData(GL_ARRAY_BUFFER, buffer->lockOffset, buffer->lockBytes,
                    buffer->shadow.data() + buffer->lockOffset);
    return S_OK_;
}

void setTransform(Device* device, TransformState state, const Matrix4& matrix) {
    if (device == nullptr) return;
    if (state == TransformState::View) device->view = matrix;
    if (state == TransformState::Projection) device->projection = matrix;
    device->transformDirty = true;
}

void setStreamSource(Device* device, uint32_t stream, VertexBuffer* buffer, uint32_t offset,
                     uint32_t stride) {
    if (device == nullptr || stream != 0) return;
    device->stream = buffer;
    device->streamOffset = offset;
    device->stride = stride;
}

void setFvf(Device* device, uint32_t fvf) {
    if (device != nullptr) device->fvf = fvf;
}

void drawPrimitive(Device* device, PrimitiveType type, uint32_t startVertex,
                   uint32_t primitiveCount) {
    if (!useDevice(device) || primitiveCount == 0) return;
    GLenum mode = GL_POINTS;
    uint64_t vertices = primitiveCount;
    switch (type) {
        case PrimitiveType::PointList:
            mode = GL_POINTS;
            break;
        case PrimitiveType::LineList:
            mode = GL_LINES;
            vertices = uint64_t{primitiveCount} * 2;
            break;
        case PrimitiveType::LineStrip:
            mode = GL_LINE_STRIP;
            vertices = uint64_t{primitiveCount} + 1;
            break;
        case PrimitiveType::TriangleList:
            mode = GL_TRIANGLES;
            vertices = uint64_t{primitiveCount} * 3;
            break;
        default:
            return;
    }
    const bool hasColour = (device->fvf & FvfDiffuse) != 0;
    if ((device->fvf & ~(FvfXyz | FvfDiffuse)) != 0 || (device->fvf & FvfXyz) == 0) {
        reportOnce(device->warnedFormat, "only XYZ and XYZ | DIFFUSE vertices are drawn");
        return;
    }
    VertexBuffer* buffer = device->stream;
    const uint32_t vertexBytes = hasColour ? 16 : 12;
    if (buffer == nullptr || buffer->device != device || device->stride < vertexBytes) {
        reportOnce(device->warnedRange, "no vertex buffer or a stride too small for the format");
        return;
    }
    const uint64_t end = uint64_t{device->streamOffset} +
                         (uint64_t{startVertex} + vertices - 1) * device->stride + vertexBytes;
    if (end > buffer->shadow.size()) {
        reportOnce(device->warnedRange, "vertices beyond the end of the vertex buffer");
        return;
    }
    glBindVertexArray(device->lineVao);
    glUseProgram(device->lineProgram);
    if (device->transformDirty) {
        const Matrix4 viewProjection = matrixMultiply(device->view, device->projection);
        glUniformMatrix4fv(device->viewProjectionLocation, 1, GL_TRUE, &viewProjection.m[0][0]);
        device->transformDirty = false;
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer->name);
    const auto* base = reinterpret_cast<const uint8_t*>(uintptr_t{device->streamOffset});
    const auto stride = static_cast<GLsizei>(device->stride);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, base);
    if (hasColour) {
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, base + 12);
    } else {
        glDisableVertexAttribArray(1);
        glVertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);  // no colour in the vertex: white
    }
    glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
}

void clear(Device* device, uint32_t flags, uint32_t argb, float z, uint32_t /*stencil*/) {
    if (!useDevice(device)) return;
    GLbitfield mask = 0;
    if ((flags & ClearTarget) != 0) {
        glClearColor(static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                     static_cast<float>(argb & 0xFF) / 255.0f,
                     static_cast<float>((argb >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & ClearZBuffer) != 0 && device->depthBuffer) {
#if defined(__EMSCRIPTEN__)
        glClearDepthf(std::clamp(z, 0.0f, 1.0f));
#else
        glClearDepth(static_cast<double>(std::clamp(z, 0.0f, 1.0f)));
#endif
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (mask != 0) glClear(mask);
}

HResult beginScene(Device* device) {
    if (!useDevice(device) || device->inScene) return E_FAIL_;
    device->inScene = true;
    return S_OK_;
}

HResult endScene(Device* device) {
    if (device == nullptr || !device->inScene) return E_FAIL_;
    device->inScene = false;
    return S_OK_;
}

HResult addFont(Device* device, FontAtlas&& atlas, Font** out) {
    auto* font = new Font;
    font->atlas = std::move(atlas);
    glGenTextures(1, &font->texture);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, font->atlas.width, font->atlas.height, 0, GL_RED,
                 GL_UNSIGNED_BYTE, font->atlas.pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    font->atlas.pixels = {};  // the texture holds them now
    if (glGetError() != GL_NO_ERROR) {
        std::fprintf(stderr, "createFont: the glyph atlas cannot be uploaded\n");
        glDeleteTextures(1, &font->texture);
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
    const double k = device->textScale;
    const int left = static_cast<int>(std::lround(rect.left * k));
    const int top = static_cast<int>(std::lround(rect.top * k));
    const int drawnHeight =
        static_cast<int>(std::lround(layoutText(font->atlas, text, count, left, top, v) / k));
    if (v.empty()) return drawnHeight;
    const bool clip = (format & DtNoClip) == 0;
    if (clip) {
        glEnable(GL_SCISSOR_TEST);
        const int w = std::max(0, rect.right - rect.left);
        const int h = std::max(0, rect.bottom - rect.top);
        glScissor(left, device->height - top - static_cast<int>(std::lround(h * k)),
                  static_cast<int>(std::lround(w * k)), static_cast<int>(std::lround(h * k)));
    }
    glBindVertexArray(device->textVao);
    glUseProgram(device->textProgram);
    setColourUniform(device->textColourLocation, argb);
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
    return drawnHeight;
}

void release(Font* font) {
    if (font == nullptr) return;
    if (useDevice(font->device)) {
        glDeleteTextures(1, &font->texture);
        removeFrom(font->device->fonts, font);
    }
    delete font;
}

void release(VertexBuffer* buffer) {
    if (buffer == nullptr) return;
    if (useDevice(buffer->device)) {
        glDeleteBuffers(1, &buffer->name);
        removeFrom(buffer->device->buffers, buffer);
        if (buffer->device->stream == buffer) buffer->device->stream = nullptr;
    }
    delete buffer;
}

void release(Device* device) {
    if (device == nullptr) return;
    detachDevice(device);
    delete device;
}

void release(Direct3D* d3d) {
    delete d3d;
}
