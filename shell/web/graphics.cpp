// The Direct3D 9 subset on WebGL 2 (OpenGL ES 3.0), drawing straight into the
// page's canvas; the browser shows the canvas when the animation frame ends.
//
// Vertices keep Direct3D's layout and conventions, as in the Linux backend: the
// 16-byte XYZ | DIFFUSE vertex is read as it is (its colour bytes are B, G, R,
// A), positions are transformed as row vectors by view · projection, clip-space
// z in [0, w] is mapped to GL's [-w, w], and everything is shifted by half a
// pixel because Direct3D 9 samples pixel centres at whole screen coordinates.
// The context has no antialiasing, depth or alpha, so a frame's pixels are the
// native ones. Text comes from the embedded glyph atlas (embedded_font.h).

#include <GLES3/gl3.h>
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shell/harness/png_writer.h"
#include "shell/web/embedded_font.h"
#include "shell/web/web.h"

struct Direct3D {
    int unused = 0;
};

struct VertexBuffer {
    Device* device = nullptr;  // nullptr once the device is gone
    GLuint name = 0;
    std::vector<uint8_t> shadow;  // CPU copy the locks hand out
    bool locked = false;
    uint32_t lockOffset = 0, lockBytes = 0;
};

struct Font {
    Device* device = nullptr;  // nullptr once the device is gone
    GLuint texture = 0;
    FontAtlas atlas;  // metrics and glyph places; its pixels live in the texture
};

struct Device {
    Window* window = nullptr;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    bool lost = false;          // the window went away: everything becomes a no-op
    int width = 0, height = 0;  // back buffer (the canvas), pixels
    GLuint lineProgram = 0, lineVao = 0;
    GLint viewProjectionLocation = -1, lightingLocation = -1;
    Matrix4 view = matrixIdentity(), projection = matrixIdentity();
    bool transformDirty = true;
    VertexBuffer* stream = nullptr;
    uint32_t streamOffset = 0, stride = 0, fvf = 0;
    bool inScene = false;
    bool warned = false;
    GLuint textProgram = 0, textVao = 0, textVbo = 0;
    GLint textColourLocation = -1;
    std::vector<float> textVertices;
    std::vector<VertexBuffer*> buffers;
    std::vector<Font*> fonts;
};

namespace {

constexpr uint32_t kCullNone = 1, kCullClockwise = 2, kCullCounterClockwise = 3;

const char* kLineVertexShader = R"(#version 300 es
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;  // the vertex's bytes B, G, R, A
uniform mat4 viewProjection;          // row-vector matrix: its rows are GL's columns
uniform vec2 pixelShift;              // half a pixel right and down, in clip units per w
uniform bool lighting;
out vec4 vertexColour;
void main() {
    vec4 clip = viewProjection * vec4(position, 1.0);
    clip.z = 2.0 * clip.z - clip.w;
    clip.xy += pixelShift * clip.w;
    gl_Position = clip;
    gl_PointSize = 1.0;
    // Lit without lights or ambient light, as the initial render state has it:
    // only the alpha of the colour survives.
    vertexColour = lighting ? vec4(0.0, 0.0, 0.0, colour.a) : colour.bgra;
}
)";

const char* kTextVertexShader = R"(#version 300 es
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

const char* kColourFragmentShader = R"(#version 300 es
precision mediump float;
in vec4 vertexColour;
out vec4 fragmentColour;
void main() { fragmentColour = vertexColour; }
)";

const char* kTextFragmentShader = R"(#version 300 es
precision mediump float;
in vec2 atlasCoord;
uniform sampler2D atlas;
uniform vec4 colour;
out vec4 fragmentColour;
void main() { fragmentColour = vec4(colour.rgb, colour.a * texture(atlas, atlasCoord).r); }
)";

GLuint buildProgram(const char* vertexSource, const char* fragmentSource, std::string& error) {
    GLuint shaders[2] = {glCreateShader(GL_VERTEX_SHADER), glCreateShader(GL_FRAGMENT_SHADER)};
    const char* sources[2] = {vertexSource, fragmentSource};
    GLuint program = glCreateProgram();
    for (int i = 0; i < 2; ++i) {
        glShaderSource(shaders[i], 1, &sources[i], nullptr);
        glCompileShader(shaders[i]);
        glAttachShader(program, shaders[i]);
    }
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shaders[0], sizeof log / 2, nullptr, log);
        glGetShaderInfoLog(shaders[1], sizeof log / 2, nullptr, log + std::strlen(log));
        error = std::string("shaders do not build: ") + log;
        glDeleteProgram(program);
        program = 0;
    }
    glDeleteShader(shaders[0]);
    glDeleteShader(shaders[1]);
    return program;
}

void setColourUniform(GLint location, uint32_t argb) {
    glUniform4f(location, static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                static_cast<float>(argb & 0xFF) / 255.0f,
                static_cast<float>((argb >> 24) & 0xFF) / 255.0f);
}

bool setUpDevice(Device* device, std::string& error) {
    device->lineProgram = buildProgram(kLineVertexShader, kColourFragmentShader, error);
    device->textProgram = buildProgram(kTextVertexShader, kTextFragmentShader, error);
    if (device->lineProgram == 0 || device->textProgram == 0) return false;
    device->viewProjectionLocation = glGetUniformLocation(device->lineProgram, "viewProjection");
    device->lightingLocation = glGetUniformLocation(device->lineProgram, "lighting");
    glGenVertexArrays(1, &device->lineVao);
    glUseProgram(device->lineProgram);
    glUniform2f(glGetUniformLocation(device->lineProgram, "pixelShift"),
                1.0f / static_cast<float>(device->width),
                -1.0f / static_cast<float>(device->height));
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
    glUniform2f(glGetUniformLocation(device->textProgram, "surfaceSize"),
                static_cast<float>(device->width), static_cast<float>(device->height));
    glBindVertexArray(0);

    glViewport(0, 0, device->width, device->height);
    glFrontFace(GL_CCW);  // Direct3D's initial state: counter-clockwise faces culled
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    if (glGetError() != GL_NO_ERROR) {
        error = "setting up the WebGL state failed";
        return false;
    }
    return true;
}

bool useDevice(Device* device) {
    if (device == nullptr || device->lost) return false;
    if (emscripten_webgl_get_current_context() != device->context)
        emscripten_webgl_make_context_current(device->context);
    return true;
}

void freeDeviceObjects(Device* device) {
    for (VertexBuffer* buffer : device->buffers) {
        glDeleteBuffers(1, &buffer->name);
        buffer->device = nullptr;
    }
    device->buffers.clear();
    for (Font* font : device->fonts) {
        glDeleteTextures(1, &font->texture);
        font->device = nullptr;
    }
    device->fonts.clear();
    glDeleteProgram(device->lineProgram);
    glDeleteProgram(device->textProgram);
    glDeleteVertexArrays(1, &device->lineVao);
    glDeleteVertexArrays(1, &device->textVao);
    glDeleteBuffers(1, &device->textVbo);
}

// The frame just drawn, as a PNG in the page's file system, handed to the page
// (window.captures[name]: a data URL) for whoever drives it.
void publishCapture(Device* device, const std::string& path) {
    const int w = device->width, h = device->height;
    std::vector<uint8_t> bottomUp(static_cast<size_t>(w) * h * 4), rgba(bottomUp.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    const size_t row = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y)
        std::memcpy(rgba.data() + y * row, bottomUp.data() + (h - 1 - y) * row, row);
    std::string error;
    if (!writePngRgb(path, w, h, rgba.data(), static_cast<int>(row), error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        ++webState().harness.capturesFailed;
        return;
    }
    EM_ASM(
        {
            var path = UTF8ToString($0);
            var bytes = FS.readFile(path);
            var text = "";
            for (var i = 0; i < bytes.length; i += 8192)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
            window.captures = window.captures || {};
            window.captures[path.substring(path.lastIndexOf("/") + 1)] =
                "data:image/png;base64," + btoa(text);
            FS.unlink(path);
        },
        path.c_str());
}

}  // namespace

void detachDevice(Device* device) {
    if (device == nullptr || device->lost) return;
    useDevice(device);
    freeDeviceObjects(device);
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(device->context);
    device->lost = true;
    device->window->device = nullptr;
}

Direct3D* direct3DCreate(uint32_t sdkVersion) {
    if (sdkVersion != SdkVersion) {
        std::fprintf(stderr, "direct3DCreate: unsupported SDK version %u\n", sdkVersion);
        return nullptr;
    }
    return new Direct3D;
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters&, Device** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (d3d == nullptr || focusWindow == nullptr || !focusWindow->alive ||
        focusWindow->device != nullptr) {
        std::fprintf(stderr, "createDevice: no window to draw into, or it has a device\n");
        return E_FAIL_;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;  // an opaque window
    attributes.depth = EM_FALSE;  // no depth or stencil buffer, as the device is created
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;  // the native pixels, not smoothed ones
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) {
        std::fprintf(stderr, "createDevice: this browser offers no WebGL 2 context\n");
        return E_FAIL_;
    }
    auto* device = new Device;
    device->window = focusWindow;
    device->context = context;
    emscripten_webgl_make_context_current(context);
    emscripten_get_canvas_element_size(kCanvas, &device->width, &device->height);
    std::string error;
    if (!setUpDevice(device, error)) {
        std::fprintf(stderr, "createDevice: %s\n", error.c_str());
        freeDeviceObjects(device);
        emscripten_webgl_destroy_context(context);
        delete device;
        return E_FAIL_;
    }
    focusWindow->device = device;
    *out = device;
    return S_OK_;
}

void setRenderState(Device* device, RenderState state, uint32_t value) {
    if (!useDevice(device)) return;
    if (state == RenderState::CullMode) {
        // Direct3D's winding is seen on a y-down screen, GL's on a y-up one: a
        // face clockwise for one is counter-clockwise for the other.
        if (value == kCullClockwise || value == kCullCounterClockwise) {
            glEnable(GL_CULL_FACE);
            glCullFace(value == kCullCounterClockwise ? GL_BACK : GL_FRONT);
        } else if (value == kCullNone) {
            glDisable(GL_CULL_FACE);
        }
    } else if (state == RenderState::Lighting) {
        glUseProgram(device->lineProgram);
        glUniform1i(device->lightingLocation, value != 0 ? 1 : 0);
    }
}

HResult createVertexBuffer(Device* device, uint32_t bytes, uint32_t, uint32_t, VertexBuffer** out) {
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
                         uint32_t) {
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
    struct Mode {
        GLenum mode;
        uint64_t perPrimitive, extra;
    };
    Mode m{};
    switch (type) {
        case PrimitiveType::PointList:
            m = {GL_POINTS, 1, 0};
            break;
        case PrimitiveType::LineList:
            m = {GL_LINES, 2, 0};
            break;
        case PrimitiveType::LineStrip:
            m = {GL_LINE_STRIP, 1, 1};
            break;
        case PrimitiveType::TriangleList:
            m = {GL_TRIANGLES, 3, 0};
            break;
        default:
            return;
    }
    const uint64_t vertices = primitiveCount * m.perPrimitive + m.extra;
    const bool hasColour = (device->fvf & FvfDiffuse) != 0;
    const uint32_t vertexBytes = hasColour ? 16 : 12;
    VertexBuffer* buffer = device->stream;
    const uint64_t end = uint64_t{device->streamOffset} +
                         (uint64_t{startVertex} + vertices - 1) * device->stride + vertexBytes;
    if ((device->fvf & ~(FvfXyz | FvfDiffuse)) != 0 || (device->fvf & FvfXyz) == 0 ||
        buffer == nullptr || buffer->device != device || device->stride < vertexBytes ||
        end > buffer->shadow.size()) {
        if (!device->warned)
            std::fprintf(stderr,
                         "drawPrimitive: no XYZ [| DIFFUSE] vertices within the vertex "
                         "buffer; nothing drawn\n");
        device->warned = true;
        return;
    }
    glBindVertexArray(device->lineVao);
    glUseProgram(device->lineProgram);
    if (device->transformDirty) {
        const Matrix4 viewProjection = matrixMultiply(device->view, device->projection);
        glUniformMatrix4fv(device->viewProjectionLocation, 1, GL_FALSE, &viewProjection.m[0][0]);
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
    glDrawArrays(m.mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
}

void clear(Device* device, uint32_t flags, uint32_t argb, float, uint32_t) {
    if (!useDevice(device) || (flags & ClearTarget) == 0) return;
    glClearColor(static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(argb & 0xFF) / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
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

HResult present(Device* device) {
    if (!useDevice(device)) return E_FAIL_;
    RunHarness& harness = webState().harness;
    for (const std::string& path : harness.pendingCaptures) publishCapture(device, path);
    harness.pendingCaptures.clear();
    framePresented();
    return S_OK_;
}

HResult createFont(Device* device, int height, int width, int weight, int, bool italic,
                   const char* faceName, Font** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (!useDevice(device)) return E_FAIL_;
    // The page carries one font, rendered at build time: anything else is refused.
    if (faceName == nullptr || std::strcmp(faceName, kEmbeddedFontFace) != 0 ||
        height != kEmbeddedFontHeight || width != 0 || weight != kEmbeddedFontWeight || italic) {
        std::fprintf(stderr, "createFont: only %s, height %d, weight %d is embedded\n",
                     kEmbeddedFontFace, kEmbeddedFontHeight, kEmbeddedFontWeight);
        return E_FAIL_;
    }
    auto* font = new Font;
    font->device = device;
    loadEmbeddedFont(font->atlas);
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
    if (v.empty()) return drawnHeight;
    const bool clip = (format & DtNoClip) == 0;
    if (clip) {
        glEnable(GL_SCISSOR_TEST);
        const int w = std::max(0, rect.right - rect.left);
        const int h = std::max(0, rect.bottom - rect.top);
        glScissor(rect.left, device->height - rect.top - h, w, h);
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
        auto& fonts = font->device->fonts;
        fonts.erase(std::remove(fonts.begin(), fonts.end(), font), fonts.end());
    }
    delete font;
}

void release(VertexBuffer* buffer) {
    if (buffer == nullptr) return;
    if (useDevice(buffer->device)) {
        glDeleteBuffers(1, &buffer->name);
        auto& buffers = buffer->device->buffers;
        buffers.erase(std::remove(buffers.begin(), buffers.end(), buffer), buffers.end());
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
