// The Direct3D 9 subset on OpenGL, shared by the backends that draw with GL:
// shell/sdl_gl (OpenGL 3.3 core) and shell/web (WebGL 2, OpenGL ES 3.0). Only
// the subset common to both is used; the shaders differ in their version line.
//
// Here: buffers and their locks, draw validation, transforms, render states,
// clear, scenes, text from a glyph atlas, and reading a frame back. Each
// backend keeps its own context creation, present and capture, and defines the
// two functions at the end of this file.
#pragma once

#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h>
#else
#include <epoxy/gl.h>
#endif

#include <string>
#include <vector>

#include "shell/font_atlas.h"
#include "shell/services.h"

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

// What a backend's device holds of its own: its GL context and whatever it
// draws frames into. Each backend defines it; its detachDevice frees it.
struct DeviceContext;

struct Device {
    Window* window = nullptr;
    DeviceContext* context = nullptr;
    bool lost = false;          // the window went away: everything becomes a no-op
    int width = 0, height = 0;  // back buffer, pixels
    // Back-buffer pixels per pixel of the program's (2 on a desktop at scale 2):
    // text positions and font sizes are multiplied by it, so text keeps its size
    // on the screen. 1 headless and in the browser.
    double textScale = 1.0;
    bool depthBuffer = false;  // made with autoDepthStencil: its targets have depth

    GLuint lineProgram = 0, lineVao = 0;
    GLint viewProjectionLocation = -1, lightingLocation = -1;
    Matrix4 view = matrixIdentity(), projection = matrixIdentity();
    bool transformDirty = true;
    VertexBuffer* stream = nullptr;
    uint32_t streamOffset = 0, stride = 0;
    uint32_t fvf = 0;
    bool inScene = false;
    bool warnedFormat = false, warnedRange = false;

    GLuint textProgram = 0, textVao = 0, textVbo = 0;
    GLint textColourLocation = -1;
    std::vector<float> textVertices;

    std::vector<VertexBuffer*> buffers;
    std::vector<Font*> fonts;
};

// Builds the shaders and sets Direct3D's initial state for a device whose
// context is current and whose width and height are set. False with a reason.
bool setUpGlDevice(Device* device, std::string& error);
// Makes the device draw into a target of width x height pixels from now on: the
// viewport and the pixel-size uniforms of its shaders (text keeps its pixel size).
void setGlSurfaceSize(Device* device, int width, int height);
// Frees every GL object the device made and leaves its buffers and fonts
// without a device (their handles stay valid for release). The context is current.
void freeGlObjects(Device* device);

// Makes `atlas` the font's texture and hands out the font; its pixels are
// dropped once uploaded. E_FAIL_ with a reason on stderr.
HResult addFont(Device* device, FontAtlas&& atlas, Font** out);

// Writes the frame in the bound read framebuffer as a PNG. False with the
// reason on stderr.
bool writeFramePng(Device* device, const std::string& path);

// Defined by each backend:
// makes the device's context current; false when the device is lost.
bool useDevice(Device* device);
// Frees the device's GL objects and context and leaves it lost (every later
// call on it does nothing); the device itself stays until released.
void detachDevice(Device* device);
