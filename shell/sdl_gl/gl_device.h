// The device side of the SDL2 + OpenGL backend: what a Device owns and the
// helpers the text drawing shares with the primitive drawing.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "shell/font_atlas.h"
#include "shell/sdl_gl/internal.h"

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
    SDL_GLContext context = nullptr;
    bool lost = false;          // the window went away: everything becomes a no-op
    int width = 0, height = 0;  // back buffer, pixels
    // Two colour targets drawn in turn: the one not being drawn holds the frame
    // presented last, intact for a capture when the run ends.
    GLuint framebuffers[2] = {0, 0};
    GLuint colourBuffers[2] = {0, 0};
    int drawTarget = 0;
    int64_t framesPresented = 0;
    bool finalCaptureDone = false;

    GLuint lineProgram = 0, lineVao = 0;
    GLint viewProjectionLocation = -1, pixelShiftLocation = -1, lightingLocation = -1;
    Matrix4 view = matrixIdentity(), projection = matrixIdentity();
    bool transformDirty = true;
    uint32_t cullMode = 3;  // D3D's initial state: counter-clockwise faces culled
    bool lighting = true;   // D3D's initial state: lit, which turns unlit colours black
    VertexBuffer* stream = nullptr;
    uint32_t streamOffset = 0, stride = 0;
    uint32_t fvf = 0;
    bool inScene = false;
    bool warnedFormat = false, warnedRange = false;

    GLuint textProgram = 0, textVao = 0, textVbo = 0;
    GLint textSurfaceLocation = -1, textColourLocation = -1;
    std::vector<float> textVertices;

    std::vector<VertexBuffer*> buffers;
    std::vector<Font*> fonts;
};

// Makes the device's context current; false when the device is lost.
bool useDevice(Device* device);
// Compiles and links a vertex + fragment shader pair; 0 with a reason on failure.
GLuint buildProgram(const char* vertexSource, const char* fragmentSource, std::string& error);
// Frees the GL objects of a font (the device is current).
void destroyFontObjects(Font* font);
