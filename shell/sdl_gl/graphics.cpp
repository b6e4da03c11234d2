// The Direct3D 9 subset on OpenGL 3.3 core.
//
// Frames are drawn into a framebuffer of the back-buffer size (the client size
// at device creation) and blitted to the window on present, stretched if the
// window was resized since, as a windowed Direct3D device does. Vertices keep
// Direct3D's layout and conventions: the 16-byte XYZ | DIFFUSE vertex is read as
// it is (colour as BGRA bytes), positions are transformed as row vectors by
// view · projection, clip-space z in [0, w] is mapped to GL's [-w, w] (so both
// clip at the same planes), and everything is shifted by half a pixel, because
// Direct3D 9 samples pixel centres at whole screen coordinates and GL at halves:
// a line, point or triangle covers the pixels Direct3D 9 would cover.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "shell/harness/png_writer.h"
#include "shell/sdl_gl/gl_device.h"

namespace {

constexpr uint32_t kCullNone = 1, kCullClockwise = 2, kCullCounterClockwise = 3;
constexpr uint32_t kPresentIntervalImmediate = 0x80000000u;

const char* kLineVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;
uniform mat4 viewProjection;  // row-vector matrix, uploaded transposed
uniform vec2 pixelShift;      // half a pixel right and down, in clip units per w
uniform bool lighting;
out vec4 vertexColour;
void main() {
    vec4 clip = vec4(position, 1.0) * viewProjection;
    clip.z = 2.0 * clip.z - clip.w;
    clip.xy += pixelShift * clip.w;
    gl_Position = clip;
    // Lit without lights or ambient light, as the initial render state has it:
    // only the alpha of the colour survives.
    vertexColour = lighting ? vec4(0.0, 0.0, 0.0, colour.a) : colour;
}
)";

const char* kLineFragmentShader = R"(#version 330 core
in vec4 vertexColour;
out vec4 fragmentColour;
void main() { fragmentColour = vertexColour; }
)";

void reportOnce(bool& flag, const char* what) {
    if (flag) return;
    flag = true;
    std::fprintf(stderr, "drawPrimitive: %s; nothing drawn\n", what);
}

bool readFrame(Device* device, int target, std::vector<uint8_t>& rgba) {
    const int w = device->width, h = device->height;
    rgba.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
    std::vector<uint8_t> bottomUp(rgba.size());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, device->framebuffers[target]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, device->framebuffers[device->drawTarget]);
    const size_t row = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y) {
        std::memcpy(rgba.data() + static_cast<size_t>(y) * row,
                    bottomUp.data() + static_cast<size_t>(h - 1 - y) * row, row);
    }
    return glGetError() == GL_NO_ERROR;
}

// Writes one capture; a failure is said on stderr and counted for the run's end.
void writeCapture(Device* device, int target, const std::string& path) {
    std::vector<uint8_t> rgba;
    std::string error;
    if (!readFrame(device, target, rgba)) {
        std::fprintf(stderr, "capture: cannot read the frame for '%s'\n", path.c_str());
    } else if (!writePngRgb(path, device->width, device->height, rgba.data(), device->width * 4,
                            error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
    } else {
        return;
    }
    ++backendState().harness.capturesFailed;
}

void freeDeviceObjects(Device* device) {
    for (VertexBuffer* buffer : device->buffers) {
        glDeleteBuffers(1, &buffer->name);
        buffer->name = 0;
        buffer->device = nullptr;
    }
    device->buffers.clear();
    for (Font* font : device->fonts) {
        destroyFontObjects(font);
        font->device = nullptr;
    }
    device->fonts.clear();
    glDeleteProgram(device->lineProgram);
    glDeleteProgram(device->textProgram);
    glDeleteVertexArrays(1, &device->lineVao);
    glDeleteVertexArrays(1, &device->textVao);
    glDeleteBuffers(1, &device->textVbo);
    glDeleteFramebuffers(2, device->framebuffers);
    glDeleteRenderbuffers(2, device->colourBuffers);
}

bool createTargets(Device* device, std::string& error) {
    glGenFramebuffers(2, device->framebuffers);
    glGenRenderbuffers(2, device->colourBuffers);
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, device->colourBuffers[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, device->width, device->height);
        glBindFramebuffer(GL_FRAMEBUFFER, device->framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  device->colourBuffers[i]);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "the back buffer cannot be created";
            return false;
        }
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, device->framebuffers[0]);
    glViewport(0, 0, device->width, device->height);
    return true;
}

bool setUpDevice(Device* device, const PresentParameters& params, std::string& error) {
    if (epoxy_gl_version() < 33) {
        error = "OpenGL 3.3 is not available (the context offers " +
                std::to_string(epoxy_gl_version() / 10) + "." +
                std::to_string(epoxy_gl_version() % 10) + ")";
        return false;
    }
    SDL_GetWindowSize(device->window->sdl, &device->width, &device->height);
    if (!createTargets(device, error)) return false;
    device->lineProgram = buildProgram(kLineVertexShader, kLineFragmentShader, error);
    if (device->lineProgram == 0) return false;
    device->viewProjectionLocation = glGetUniformLocation(device->lineProgram, "viewProjection");
    device->pixelShiftLocation = glGetUniformLocation(device->lineProgram, "pixelShift");
    device->lightingLocation = glGetUniformLocation(device->lineProgram, "lighting");
    glGenVertexArrays(1, &device->lineVao);
    glUseProgram(device->lineProgram);
    glUniform2f(device->pixelShiftLocation, 1.0f / static_cast<float>(device->width),
                -1.0f / static_cast<float>(device->height));
    glUniform1i(device->lightingLocation, 1);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    // Headless nobody waits for a display; in a window the default interval is
    // the display's refresh, as Direct3D's default presentation interval. A
    // display without vsync (Xvfb) presents unsynchronised, which is no fault.
    const bool vsync = !runHeadless() && params.presentationInterval != kPresentIntervalImmediate;
    SDL_GL_SetSwapInterval(vsync ? 1 : 0);
    if (glGetError() != GL_NO_ERROR) {
        error = "setting up the OpenGL state failed";
        return false;
    }
    return true;
}

void removeFrom(std::vector<VertexBuffer*>& list, VertexBuffer* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

bool useDevice(Device* device) {
    if (device == nullptr || device->lost) return false;
    if (SDL_GL_GetCurrentContext() != device->context) {
        SDL_GL_MakeCurrent(device->window->sdl, device->context);
    }
    return true;
}

GLuint buildProgram(const char* vertexSource, const char* fragmentSource, std::string& error) {
    auto compile = [&](GLenum type, const char* source) -> GLuint {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
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

Direct3D* direct3DCreate(uint32_t sdkVersion) {
    if (sdkVersion != SdkVersion) {
        std::fprintf(stderr, "direct3DCreate: unsupported SDK version %u\n", sdkVersion);
        return nullptr;
    }
    return new Direct3D;
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out) {
    if (out == nullptr) return E_FAIL_;
    *out = nullptr;
    if (d3d == nullptr) {
        std::fprintf(stderr, "createDevice: no Direct3D object\n");
        return E_FAIL_;
    }
    if (focusWindow == nullptr || !focusWindow->alive || focusWindow->sdl == nullptr) {
        std::fprintf(stderr,
                     "createDevice: no window to draw into (run with --headless to draw "
                     "offscreen without a display)\n");
        return E_FAIL_;
    }
    if (focusWindow->device != nullptr) {
        std::fprintf(stderr, "createDevice: the window already has a device\n");
        return E_FAIL_;
    }
    SDL_GLContext context = SDL_GL_CreateContext(focusWindow->sdl);
    if (context == nullptr) {
        std::fprintf(stderr, "createDevice: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return E_FAIL_;
    }
    auto* device = new Device;
    device->window = focusWindow;
    device->context = context;
    std::string error;
    if (!setUpDevice(device, params, error)) {
        std::fprintf(stderr, "createDevice: %s\n", error.c_str());
        freeDeviceObjects(device);
        SDL_GL_DeleteContext(context);
        delete device;
        return E_FAIL_;
    }
    focusWindow->device = device;
    *out = device;
    return S_OK_;
}

void setRenderState(Device* device, RenderState state, uint32_t value) {
    if (!useDevice(device)) return;
    switch (state) {
        case RenderState::CullMode:
            device->cullMode = value;
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
            device->lighting = value != 0;
            glUseProgram(device->lineProgram);
            glUniform1i(device->lightingLocation, device->lighting ? 1 : 0);
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
    if (buffer->device == nullptr || !useDevice(buffer->device)) return S_OK_;
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
    const auto* base = reinterpret_cast<const void*>(static_cast<uintptr_t>(device->streamOffset));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(device->stride), base);
    if (hasColour) {
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE,
                              static_cast<GLsizei>(device->stride),
                              static_cast<const uint8_t*>(base) + 12);
    } else {
        glDisableVertexAttribArray(1);
        glVertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);  // no colour in the vertex: white
    }
    glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
}

void clear(Device* device, uint32_t flags, uint32_t argb, float /*z*/, uint32_t /*stencil*/) {
    if (!useDevice(device) || (flags & ClearTarget) == 0) return;
    glClearColor(static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(argb & 0xFF) / 255.0f,
                 static_cast<float>((argb >> 24) & 0xFF) / 255.0f);
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
    BackendState& s = backendState();
    const int target = device->drawTarget;
    if (!s.harness.pendingCaptures.empty()) {
        for (const std::string& path : s.harness.pendingCaptures)
            writeCapture(device, target, path);
        s.harness.pendingCaptures.clear();
    }
    if (runHeadless()) {
        // Nothing shows an offscreen window: the frame stays in its target
        // (where captures read it). Waiting for the renderer here keeps its queue
        // bounded: with a flush alone the software renderer's memory grew by
        // kilobytes every frame, since nothing else ever waits for it.
        glFinish();
    } else {
        int drawableWidth = 0, drawableHeight = 0;
        SDL_GL_GetDrawableSize(device->window->sdl, &drawableWidth, &drawableHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, device->framebuffers[target]);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        const bool sameSize = drawableWidth == device->width && drawableHeight == device->height;
        glBlitFramebuffer(0, 0, device->width, device->height, 0, 0, drawableWidth, drawableHeight,
                          GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(device->window->sdl);
    }
    device->drawTarget = 1 - target;
    glBindFramebuffer(GL_FRAMEBUFFER, device->framebuffers[device->drawTarget]);
    ++device->framesPresented;
    framePresented();
    return S_OK_;
}

void writeFinalCapture(Device* device) {
    BackendState& s = backendState();
    if (device == nullptr || device->finalCaptureDone || s.harness.finalCapture.empty()) return;
    if (!useDevice(device)) return;
    device->finalCaptureDone = true;
    s.harness.finalCaptureTried = true;
    if (device->framesPresented == 0) {
        std::fprintf(stderr, "capture: no frame was drawn, so '%s' was not written\n",
                     s.harness.finalCapture.c_str());
        ++s.harness.capturesFailed;
        return;
    }
    writeCapture(device, 1 - device->drawTarget, s.harness.finalCapture);
}

void detachDevice(Device* device) {
    if (device == nullptr || device->lost) return;
    writeFinalCapture(device);
    useDevice(device);
    freeDeviceObjects(device);
    SDL_GL_MakeCurrent(device->window->sdl, nullptr);
    SDL_GL_DeleteContext(device->context);
    device->context = nullptr;
    device->lost = true;
    device->window->device = nullptr;
}

void release(VertexBuffer* buffer) {
    if (buffer == nullptr) return;
    if (buffer->device != nullptr && useDevice(buffer->device)) {
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
