// The service interface on the real Win32, Direct3D 9 and D3DX 9.
//
// Every service is the Win32 or Direct3D call of the same name with the program's
// arguments, so a program linked with this backend behaves as if it called them
// itself. The opaque handles are the native ones: Window is an HWND, Direct3D an
// IDirect3D9, Device an IDirect3DDevice9. VertexBuffer is the backend's record
// around an IDirect3DVertexBuffer9 (so that a reset can make it anew), Font
// around an ID3DXFont, or around glyphs of its own where d3dx9_43.dll is missing.
//
// In a window the back buffer follows the client area: when the client area's
// size differs from the back buffer's at the start of a frame (after a WM_SIZE
// to a shown size; a minimised window draws no frames), the device is first
// reset at the new size, so the picture is drawn at the window's own size,
// sharp, instead of stretched by Present; the programs' projection keeps the
// proportions (shell/scene.h). A lost device (Present says so: a locked
// screen, a change of display mode) draws nothing until TestCooperativeLevel
// lets it be reset. A reset needs every default-pool object gone: the vertex
// buffers are released and made anew (their contents are lost, as Direct3D's
// are; the programs fill them before every draw), D3DX's fonts are told, and
// the render states the program set are set again. Headless, the back buffer
// keeps the headless surface size.
//
// D3DX 9 is not part of a stock Windows (it comes with the DirectX End-User
// Runtime), so it is loaded at run time, and only d3d9.dll and Windows' own
// libraries are imported. Where it is missing, fonts are the backend's own
// (glyph_font.h) and stderr says so once; everything else never needed it: the
// matrix operations are the project's own (common/math.h) on every backend.
//
// Unattended runs (configureRun) add, through the shared harness:
//  - scripted events posted to the program's window as the real messages, in the
//    message poll, before the queue is read;
//  - a frame limit, after which the window is closed as by its close button;
//  - captures: the back buffer is copied into system memory after the scene is
//    ended and before Present, and written as PNG;
//  - headless: a virtual tick count advanced after each presented frame, a
//    back buffer of the headless surface size, a window that is created but never
//    shown (Direct3D 9 needs one; a hidden window gets no real input), and a
//    virtual cursor whose moves are echoed as the mouse-move message a real window
//    would receive.
//
// services.h comes before <windows.h>: our names are lower camel case or
// namespaced, and must not meet the Win32 macros.
#include "shell/services.h"

#include "shell/harness/png_writer.h"
#include "shell/harness/run_harness.h"
#include "shell/program_main.h"
#include "shell/run_options.h"
#include "shell/window_frame.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Direct3D 9 after windows.h.
#include <d3d9.h>
#include <d3dx9.h>

#include "shell/win32_d3d9/glyph_font.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// Headless geometry is shell/window_frame.h's, whatever frame the window
// system in use draws.

struct RegisteredClass {
    std::string name;
    ATOM atom = 0;
    WindowProc proc = nullptr;
};

struct BackendVertexBuffer;
struct BackendFont;

struct Backend {
    RunHarness harness;
    VirtualCursor cursor;
    std::vector<RegisteredClass> classes;
    HWND programWindow = nullptr;        // receives scripted events; the last window created
    RECT programRect{};                  // headless: its outer rectangle as created (never moves)
    WPARAM buttons = 0;                  // MK_ flags of the mouse buttons the script holds down
    bool closeAtFirstPoll = false;       // a frame limit of 0
    MSG lastMessage{};                   // the message peekMessage handed out last
    IDirect3DDevice9* device = nullptr;  // the device whose frames are captured
    IDirect3DSurface9* readback = nullptr;  // system-memory copy of its back buffer
    std::vector<uint8_t> frame;             // last captured frame, RGBA rows top-down
    int frameWidth = 0, frameHeight = 0;
    bool finalCaptureWritten = false;
    std::vector<ScriptEvent> due;
    // The program's device (`device`) as made or last reset, and what a reset
    // must release and make anew.
    D3DPRESENT_PARAMETERS presentParameters{};
    std::vector<BackendVertexBuffer*> buffers;
    std::vector<BackendFont*> fonts;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> renderStates;  // the last value of each
    bool lost = false;  // draws nothing until reset (lost, or a reset failed)
    bool resetFailureSaid = false;
};

Backend& backend() {
    static Backend b;
    return b;
}

HWND toNative(Window* window) {
    return reinterpret_cast<HWND>(window);
}
Window* fromNative(HWND window) {
    return reinterpret_cast<Window*>(window);
}
IDirect3D9* toNative(Direct3D* d3d) {
    return reinterpret_cast<IDirect3D9*>(d3d);
}
IDirect3DDevice9* toNative(Device* device) {
    return reinterpret_cast<IDirect3DDevice9*>(device);
}

// A default-pool vertex buffer and what it was made with, to make it anew after
// a reset. `native` is null while it could not be.
struct BackendVertexBuffer {
    IDirect3DVertexBuffer9* native = nullptr;
    IDirect3DDevice9* device = nullptr;
    UINT bytes = 0;
    DWORD usage = 0, fvf = 0;
};

BackendVertexBuffer* toBackend(VertexBuffer* buffer) {
    return reinterpret_cast<BackendVertexBuffer*>(buffer);
}
IDirect3DVertexBuffer9* toNative(VertexBuffer* buffer) {
    return buffer != nullptr ? toBackend(buffer)->native : nullptr;
}

// A font of either kind; exactly one of the two is set. The own glyphs' texture
// is a managed one, which a reset keeps.
struct BackendFont {
    ID3DXFont* d3dx = nullptr;
    GlyphFont* own = nullptr;
};

template <typename T>
void forget(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// d3dx9_43.dll, looked up at the first font: its font constructor, or null.
using CreateFontFunction = HRESULT(WINAPI*)(IDirect3DDevice9*, INT, UINT, UINT, UINT, BOOL, DWORD,
                                            DWORD, DWORD, DWORD, LPCSTR, ID3DXFont**);
CreateFontFunction d3dxCreateFont() {
    static const CreateFontFunction function = [] {
        CreateFontFunction found = nullptr;
        if (HMODULE d3dx = LoadLibraryA("d3dx9_43.dll"))
            found = reinterpret_cast<CreateFontFunction>(
                reinterpret_cast<void*>(GetProcAddress(d3dx, "D3DXCreateFontA")));
        if (found == nullptr)
            std::fprintf(stderr,
                         "d3dx9_43.dll is not installed (DirectX End-User Runtime): the text is "
                         "drawn with the program's own glyphs\n");
        return found;
    }();
    return function;
}

// The window procedure of every class registered through registerWindowClass:
// finds the program's procedure by the window's class and calls it.
LRESULT CALLBACK windowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const ATOM atom = static_cast<ATOM>(GetClassLongPtrA(window, GCW_ATOM));
    for (const RegisteredClass& c : backend().classes)
        if (c.atom == atom) return c.proc(fromNative(window), message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Posts every scripted event that is due to the program's window.
void postDueEvents() {
    Backend& b = backend();
    if (b.closeAtFirstPoll && b.programWindow != nullptr) {
        b.closeAtFirstPoll = false;
        PostMessageA(b.programWindow, WM_CLOSE, 0, 0);
    }
    if (b.harness.nextEvent >= b.harness.script.size()) return;
    b.due.clear();
    harnessTakeDueEvents(b.harness, getTickCount(), b.due);
    for (const ScriptEvent& e : b.due) {
        if (b.programWindow == nullptr || !IsWindow(b.programWindow)) continue;
        if (e.kind == ScriptEvent::Kind::Close) {
            PostMessageA(b.programWindow, WM_CLOSE, 0, 0);
            continue;
        }
        WPARAM wParam = e.wParam;
        const bool mouse = e.message >= WM_MOUSEMOVE && e.message <= WM_RBUTTONUP;
        if (mouse) {
            // Mouse messages carry the buttons held, as the real ones do, and
            // headless they move the cursor to where the message says it is.
            switch (e.message) {
                case WM_LBUTTONDOWN:
                    b.buttons |= MK_LBUTTON;
                    break;
                case WM_LBUTTONUP:
                    b.buttons &= ~static_cast<WPARAM>(MK_LBUTTON);
                    break;
                case WM_RBUTTONDOWN:
                    b.buttons |= MK_RBUTTON;
                    break;
                case WM_RBUTTONUP:
                    b.buttons &= ~static_cast<WPARAM>(MK_RBUTTON);
                    break;
                default:
                    break;
            }
            wParam = b.buttons;
            if (b.harness.headless) {
                b.cursor.x = b.programRect.left + kFrameLeft + mouseX(e.lParam);
                b.cursor.y = b.programRect.top + kFrameTop + mouseY(e.lParam);
            }
        }
        PostMessageA(b.programWindow, e.message, wParam, e.lParam);
    }
}

bool captureWanted() {
    const Backend& b = backend();
    return !b.harness.pendingCaptures.empty() || !b.harness.finalCapture.empty();
}

// Copies the back buffer of `device` into b.frame as RGBA. False with a message
// on stderr when the format is not a 32-bit RGB one or a copy step fails.
bool readBackBuffer(IDirect3DDevice9* device) {
    Backend& b = backend();
    IDirect3DSurface9* backBuffer = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
        std::fprintf(stderr, "capture: cannot get the back buffer\n");
        return false;
    }
    D3DSURFACE_DESC desc{};
    backBuffer->GetDesc(&desc);
    if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8) {
        std::fprintf(stderr, "capture: unsupported back-buffer format %u\n",
                     static_cast<unsigned>(desc.Format));
        backBuffer->Release();
        return false;
    }
    if (b.readback != nullptr) {
        D3DSURFACE_DESC have{};
        b.readback->GetDesc(&have);
        if (have.Width != desc.Width || have.Height != desc.Height || have.Format != desc.Format) {
            b.readback->Release();
            b.readback = nullptr;
        }
    }
    if (b.readback == nullptr &&
        FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                   D3DPOOL_SYSTEMMEM, &b.readback, nullptr))) {
        std::fprintf(stderr, "capture: cannot create a system-memory surface\n");
        backBuffer->Release();
        return false;
    }
    const HRESULT copied = device->GetRenderTargetData(backBuffer, b.readback);
    backBuffer->Release();
    D3DLOCKED_RECT locked{};
    if (FAILED(copied) || FAILED(b.readback->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        std::fprintf(stderr, "capture: cannot read the back buffer\n");
        return false;
    }
    b.frameWidth = static_cast<int>(desc.Width);
    b.frameHeight = static_cast<int>(desc.Height);
    b.frame.resize(static_cast<size_t>(b.frameWidth) * b.frameHeight * 4);
    for (int y = 0; y < b.frameHeight; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        uint8_t* dst = b.frame.data() + static_cast<size_t>(y) * b.frameWidth * 4;
        for (int x = 0; x < b.frameWidth; ++x) {
            // Memory order of X8R8G8B8 is B, G, R, X.
            dst[4 * x + 0] = src[4 * x + 2];
            dst[4 * x + 1] = src[4 * x + 1];
            dst[4 * x + 2] = src[4 * x + 0];
            dst[4 * x + 3] = 255;
        }
    }
    b.readback->UnlockRect();
    return true;
}

// Writes one capture; a failure is said on stderr and counted for the run's end.
void writeFrame(const std::string& path) {
    Backend& b = backend();
    std::string error;
    if (!writePngRgb(path, b.frameWidth, b.frameHeight, b.frame.data(), b.frameWidth * 4, error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        ++b.harness.capturesFailed;
    }
}

// The --capture file: the last frame presented before the device goes away.
void writeFinalCapture() {
    Backend& b = backend();
    if (b.finalCaptureWritten || b.harness.finalCapture.empty() || b.frame.empty()) return;
    b.finalCaptureWritten = true;
    b.harness.finalCaptureTried = true;
    writeFrame(b.harness.finalCapture);
}

// The default presentation interval waits for the display's refresh where the
// driver honours it. Where it does not (Wine on a display without vsync), the
// loop would draw thousands of frames a second that no display shows: then the
// rest of the refresh period is slept here. A present that returns early by
// less than the slack is taken as synchronised (its return time jitters).
void paceFrame() {
    static LARGE_INTEGER frequency{}, last{};
    static int64_t periodTicks = 0;
    if (periodTicks == 0) {
        QueryPerformanceFrequency(&frequency);
        const HDC screen = GetDC(nullptr);
        const int hz = screen != nullptr ? GetDeviceCaps(screen, VREFRESH) : 0;
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        periodTicks = frequency.QuadPart / (hz > 1 ? hz : 60);  // 0 and 1 mean "the default"
    }
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    if (last.QuadPart != 0) {
        const int64_t early = last.QuadPart + periodTicks - now.QuadPart;
        if (early > frequency.QuadPart / 500) {  // 2 ms
            Sleep(static_cast<DWORD>(early * 1000 / frequency.QuadPart));
            QueryPerformanceCounter(&now);
        }
    }
    last = now;
}

// Resets the program's device with a back buffer of width x height, releasing
// its default-pool objects first and making them anew after. False, with the
// device left to be reset again at the next frame, when that fails.
bool resetDevice(IDirect3DDevice9* device, UINT width, UINT height) {
    Backend& b = backend();
    // The device holds the buffer bound to its stream while it is bound.
    device->SetStreamSource(0, nullptr, 0, 0);
    for (BackendVertexBuffer* buffer : b.buffers) {
        if (buffer->native != nullptr) buffer->native->Release();
        buffer->native = nullptr;
    }
    for (BackendFont* font : b.fonts)
        if (font->d3dx != nullptr) font->d3dx->OnLostDevice();
    D3DPRESENT_PARAMETERS pp = b.presentParameters;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    HRESULT hr = device->Reset(&pp);
    if (SUCCEEDED(hr)) {
        b.presentParameters = pp;
        for (BackendVertexBuffer* buffer : b.buffers)
            if (FAILED(device->CreateVertexBuffer(buffer->bytes, buffer->usage, buffer->fvf,
                                                  D3DPOOL_DEFAULT, &buffer->native, nullptr))) {
                buffer->native = nullptr;
                hr = E_OUTOFMEMORY;
            }
        for (BackendFont* font : b.fonts)
            if (font->d3dx != nullptr) font->d3dx->OnResetDevice();
        for (const auto& [state, value] : b.renderStates) device->SetRenderState(state, value);
    }
    b.lost = FAILED(hr);
    if (b.lost && !b.resetFailureSaid) {
        // A device lost again meanwhile is no fault: it is tried again.
        if (hr != D3DERR_DEVICELOST)
            std::fprintf(stderr, "the graphics device cannot be reset at %u x %u (0x%08lx)\n",
                         width, height, static_cast<unsigned long>(hr));
        b.resetFailureSaid = hr != D3DERR_DEVICELOST;
    }
    if (!b.lost) b.resetFailureSaid = false;
    return !b.lost;
}

// Before a frame's first drawing on `device`: a lost device is reset once it
// may be, and in a window the back buffer takes the client area's size. False
// while the device cannot draw; the frame then draws nothing.
bool readyToDraw(IDirect3DDevice9* device) {
    Backend& b = backend();
    if (device != b.device) return true;
    if (b.lost) {
        const HRESULT level = device->TestCooperativeLevel();
        if (level != D3DERR_DEVICENOTRESET && FAILED(level)) return false;  // still lost
    }
    UINT width = b.presentParameters.BackBufferWidth;
    UINT height = b.presentParameters.BackBufferHeight;
    RECT client{};
    if (!b.harness.headless && b.programWindow != nullptr &&
        GetClientRect(b.programWindow, &client) && client.right > 0 && client.bottom > 0) {
        width = static_cast<UINT>(client.right);
        height = static_cast<UINT>(client.bottom);
    }
    const bool resized = width != b.presentParameters.BackBufferWidth ||
                         height != b.presentParameters.BackBufferHeight;
    if (!b.lost && !resized) return true;
    return resetDevice(device, width, height);
}

}  // namespace

// ---- Entry ----

void attachParentConsole() {
    // A handle that is a file, pipe or console already (output redirected by
    // the caller) stays; the others go to the parent's console, if it has one.
    const auto redirected = [](DWORD which) {
        const HANDLE h = GetStdHandle(which);
        return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
    };
    const bool out = redirected(STD_OUTPUT_HANDLE), err = redirected(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

// ---- Run options ----

void configureRun(const RunOptions& options) {
    Backend& b = backend();
    harnessConfigure(b.harness, options);
    b.cursor = VirtualCursor{};
    b.closeAtFirstPoll = b.harness.frameLimit == 0;
}

bool finishRun() {
    return harnessFinish(backend().harness);
}

// ---- Platform ----

bool registerWindowClass(const char* className, WindowProc proc) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = windowProcThunk;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    const ATOM atom = RegisterClassExA(&wc);
    if (atom == 0) return false;
    backend().classes.push_back({className, atom, proc});
    return true;
}

void unregisterWindowClass(const char* className) {
    writeFinalCapture();
    UnregisterClassA(className, GetModuleHandleA(nullptr));
    auto& classes = backend().classes;
    for (size_t i = 0; i < classes.size(); ++i) {
        if (classes[i].name == className) {
            classes.erase(classes.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, x, y, width, height,
                                  GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) {
        backend().programWindow = window;
        backend().programRect = RECT{x, y, x + width, y + height};
    }
    return fromNative(window);
}

void showWindow(Window* window) {
    // Headless: the window stays hidden, so no real input can reach it.
    if (backend().harness.headless) return;
    ShowWindow(toNative(window), SW_SHOWDEFAULT);
}

void updateWindow(Window* window) {
    UpdateWindow(toNative(window));
}

bool peekMessage(Message& out) {
    postDueEvents();
    MSG m{};
    if (!PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) return false;
    backend().lastMessage = m;
    out.window = fromNative(m.hwnd);
    out.message = m.message;
    out.wParam = m.wParam;
    out.lParam = m.lParam;
    return true;
}

bool isIconic(Window* window) {
    // Headless windows are never shown, yet draw every frame.
    if (backend().harness.headless) return false;
    const HWND hwnd = toNative(window);
    return IsWindow(hwnd) && (IsIconic(hwnd) || !IsWindowVisible(hwnd));
}

void waitMessage() {
    const Backend& b = backend();
    // A script still running wakes the loop when its next event may be due.
    if (b.harness.nextEvent < b.harness.script.size())
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    else
        WaitMessage();
}

namespace {

// The native record of `m`: the one peekMessage took (time and cursor position
// included) when it is that one, else one built from its fields.
MSG nativeMessage(const Message& m) {
    const MSG& last = backend().lastMessage;
    if (last.hwnd == toNative(m.window) && last.message == m.message && last.wParam == m.wParam &&
        last.lParam == m.lParam)
        return last;
    MSG native{};
    native.hwnd = toNative(m.window);
    native.message = m.message;
    native.wParam = m.wParam;
    native.lParam = m.lParam;
    return native;
}

}  // namespace

void translateMessage(const Message& m) {
    const MSG native = nativeMessage(m);
    TranslateMessage(&native);
}

intptr_t dispatchMessage(const Message& m) {
    const MSG native = nativeMessage(m);
    return DispatchMessageA(&native);
}

intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return DefWindowProcA(toNative(window), message, wParam, lParam);
}

void postQuitMessage(int exitCode) {
    PostQuitMessage(exitCode);
}

void clipCursor(const Rect* screenRect) {
    Backend& b = backend();
    if (b.harness.headless) {
        virtualCursorClip(b.cursor, screenRect);
        return;
    }
    if (screenRect == nullptr) {
        ClipCursor(nullptr);
        return;
    }
    const RECT r{screenRect->left, screenRect->top, screenRect->right, screenRect->bottom};
    ClipCursor(&r);
}

void setCursorPos(int screenX, int screenY) {
    Backend& b = backend();
    if (!b.harness.headless) {
        SetCursorPos(screenX, screenY);
        return;
    }
    virtualCursorMove(b.cursor, screenX, screenY);
    // The move a real window would receive, if the cursor lands on its client area.
    if (b.programWindow == nullptr || !IsWindow(b.programWindow)) return;
    const RECT& r = b.programRect;
    const int clientX = b.cursor.x - (r.left + kFrameLeft);
    const int clientY = b.cursor.y - (r.top + kFrameTop);
    const int width = r.right - r.left - kFrameExtraWidth;
    const int height = r.bottom - r.top - kFrameExtraHeight;
    if (clientX >= 0 && clientY >= 0 && clientX < width && clientY < height)
        PostMessageA(b.programWindow, WM_MOUSEMOVE, b.buttons, packMousePosition(clientX, clientY));
}

int showCursor(bool show) {
    Backend& b = backend();
    if (b.harness.headless) return virtualCursorShow(b.cursor, show);
    return ShowCursor(show ? TRUE : FALSE);
}

bool getWindowRect(Window* window, Rect& out) {
    const Backend& b = backend();
    if (b.harness.headless && toNative(window) == b.programWindow && IsWindow(b.programWindow)) {
        out = {b.programRect.left, b.programRect.top, b.programRect.right, b.programRect.bottom};
        return true;
    }
    RECT r{};
    if (!GetWindowRect(toNative(window), &r)) return false;
    out = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool getClientRect(Window* window, Rect& out) {
    const Backend& b = backend();
    if (b.harness.headless && toNative(window) == b.programWindow && IsWindow(b.programWindow)) {
        const RECT& r = b.programRect;
        out = {0, 0, r.right - r.left - kFrameExtraWidth, r.bottom - r.top - kFrameExtraHeight};
        return true;
    }
    RECT r{};
    if (!GetClientRect(toNative(window), &r)) return false;
    out = {r.left, r.top, r.right, r.bottom};
    return true;
}

uint32_t getTickCount() {
    const Backend& b = backend();
    return b.harness.headless ? b.harness.virtualTick : GetTickCount();
}

// ---- Graphics ----

Direct3D* direct3DCreate(uint32_t sdkVersion) {
    return reinterpret_cast<Direct3D*>(Direct3DCreate9(sdkVersion));
}

HResult createDevice(Direct3D* d3d, Window* focusWindow, const PresentParameters& params,
                     Device** out) {
    *out = nullptr;
    if (d3d == nullptr) return E_FAIL;
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = params.windowed ? TRUE : FALSE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.EnableAutoDepthStencil = params.autoDepthStencil ? TRUE : FALSE;
    if (params.autoDepthStencil) pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    pp.PresentationInterval = params.presentationInterval;
    if (backend().harness.headless) {
        // The headless surface: the client area of the 500 x 500 window on a
        // standard desktop, whatever frame sizes the window system uses.
        const RECT& r = backend().programRect;
        pp.BackBufferWidth = static_cast<UINT>(std::max(1L, r.right - r.left - kFrameExtraWidth));
        pp.BackBufferHeight = static_cast<UINT>(std::max(1L, r.bottom - r.top - kFrameExtraHeight));
    }
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr =
        toNative(d3d)->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, toNative(focusWindow),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    if (FAILED(hr)) return hr;
    Backend& b = backend();
    b.device = device;
    // The sizes the device chose (the client area's, in a window) are the ones
    // a resize is measured against.
    IDirect3DSwapChain9* chain = nullptr;
    if (SUCCEEDED(device->GetSwapChain(0, &chain))) {
        chain->GetPresentParameters(&pp);
        chain->Release();
    }
    b.presentParameters = pp;
    b.renderStates.clear();
    b.lost = false;
    *out = reinterpret_cast<Device*>(device);
    return S_OK;
}

void setRenderState(Device* device, RenderState state, uint32_t value) {
    const auto native = static_cast<D3DRENDERSTATETYPE>(state);
    toNative(device)->SetRenderState(native, value);
    Backend& b = backend();
    if (toNative(device) != b.device) return;
    for (auto& [kept, keptValue] : b.renderStates)
        if (kept == native) {
            keptValue = value;
            return;
        }
    b.renderStates.emplace_back(native, value);
}

HResult createVertexBuffer(Device* device, uint32_t bytes, uint32_t usage, uint32_t fvf,
                           VertexBuffer** out) {
    *out = nullptr;
    auto* made =
        new (std::nothrow) BackendVertexBuffer{nullptr, toNative(device), bytes, usage, fvf};
    if (made == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = toNative(device)->CreateVertexBuffer(bytes, usage, fvf, D3DPOOL_DEFAULT,
                                                            &made->native, nullptr);
    if (FAILED(hr)) {
        delete made;
        return hr;
    }
    if (made->device == backend().device) backend().buffers.push_back(made);
    *out = reinterpret_cast<VertexBuffer*>(made);
    return S_OK;
}

HResult lockVertexBuffer(VertexBuffer* buffer, uint32_t offset, uint32_t bytes, void** data,
                         uint32_t flags) {
    IDirect3DVertexBuffer9* native = toNative(buffer);
    if (native == nullptr) return D3DERR_INVALIDCALL;  // not made anew after a reset
    return native->Lock(offset, bytes, data, flags);
}

HResult unlockVertexBuffer(VertexBuffer* buffer) {
    IDirect3DVertexBuffer9* native = toNative(buffer);
    return native != nullptr ? native->Unlock() : D3DERR_INVALIDCALL;
}

void setTransform(Device* device, TransformState state, const Matrix4& matrix) {
    static_assert(sizeof(D3DMATRIX) == sizeof(Matrix4), "same 4x4 float layout");
    D3DMATRIX m;
    std::memcpy(&m, &matrix, sizeof(m));
    toNative(device)->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state), &m);
}

void setStreamSource(Device* device, uint32_t stream, VertexBuffer* buffer, uint32_t offset,
                     uint32_t stride) {
    toNative(device)->SetStreamSource(stream, toNative(buffer), offset, stride);
}

void setFvf(Device* device, uint32_t fvf) {
    toNative(device)->SetFVF(fvf);
}

void drawPrimitive(Device* device, PrimitiveType type, uint32_t startVertex,
                   uint32_t primitiveCount) {
    toNative(device)->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(type), startVertex,
                                    primitiveCount);
}

void clear(Device* device, uint32_t flags, uint32_t argb, float z, uint32_t stencil) {
    if (!readyToDraw(toNative(device))) return;
    toNative(device)->Clear(0, nullptr, flags, argb, z, stencil);
}

HResult beginScene(Device* device) {
    if (!readyToDraw(toNative(device))) return D3DERR_DEVICELOST;
    return toNative(device)->BeginScene();
}

HResult endScene(Device* device) {
    return toNative(device)->EndScene();
}

HResult present(Device* device) {
    Backend& b = backend();
    IDirect3DDevice9* native = toNative(device);
    HRESULT hr = D3DERR_DEVICELOST;
    // A lost device presents nothing (and its captures wait for a drawn frame),
    // but the frame counts: a frame limit still ends the run.
    if (!(native == b.device && b.lost)) {
        if (captureWanted() && readBackBuffer(native)) {
            for (const std::string& path : b.harness.pendingCaptures) writeFrame(path);
            b.harness.pendingCaptures.clear();
        }
        hr = native->Present(nullptr, nullptr, nullptr, nullptr);
        if (hr == D3DERR_DEVICELOST && native == b.device) b.lost = true;
    }
    if (!b.harness.headless) paceFrame();
    if (harnessFramePresented(b.harness) && b.programWindow != nullptr)
        PostMessageA(b.programWindow, WM_CLOSE, 0, 0);  // as the close button
    return hr;
}

HResult createFont(Device* device, int height, int width, int weight, int mipLevels, bool italic,
                   const char* faceName, Font** out) {
    *out = nullptr;
    BackendFont made;
    HRESULT hr = E_FAIL;
    if (CreateFontFunction create = d3dxCreateFont()) {
        hr = create(toNative(device), height, width, weight, mipLevels, italic ? TRUE : FALSE,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, faceName, &made.d3dx);
    } else {
        made.own = createGlyphFont(toNative(device), height, width, weight, italic, faceName);
        hr = made.own != nullptr ? S_OK : E_FAIL;
    }
    if (FAILED(hr)) return hr;
    BackendFont* kept = new (std::nothrow) BackendFont(made);
    if (kept == nullptr) {
        if (made.d3dx != nullptr) made.d3dx->Release();
        releaseGlyphFont(made.own);
        return E_OUTOFMEMORY;
    }
    if (toNative(device) == backend().device) backend().fonts.push_back(kept);
    *out = reinterpret_cast<Font*>(kept);
    return S_OK;
}

int drawText(Font* font, const char* text, int length, const Rect& rect, uint32_t format,
             uint32_t argb) {
    if (font == nullptr) return 0;
    const BackendFont& f = *reinterpret_cast<BackendFont*>(font);
    if (f.own != nullptr) return drawGlyphText(*f.own, text, length, rect.left, rect.top, argb);
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    return f.d3dx->DrawTextA(nullptr, text, length, &r, format, argb);
}

void release(Font* font) {
    if (font == nullptr) return;
    BackendFont* f = reinterpret_cast<BackendFont*>(font);
    forget(backend().fonts, f);
    if (f->d3dx != nullptr) f->d3dx->Release();
    releaseGlyphFont(f->own);
    delete f;
}

void release(VertexBuffer* buffer) {
    if (buffer == nullptr) return;
    BackendVertexBuffer* b = toBackend(buffer);
    forget(backend().buffers, b);
    if (b->native != nullptr) b->native->Release();
    delete b;
}

void release(Device* device) {
    if (device == nullptr) return;
    Backend& b = backend();
    if (toNative(device) == b.device) {
        writeFinalCapture();
        if (b.readback != nullptr) b.readback->Release();
        b.readback = nullptr;
        b.device = nullptr;
        b.buffers.clear();
        b.fonts.clear();
        b.renderStates.clear();
    }
    toNative(device)->Release();
}

void release(Direct3D* d3d) {
    if (d3d != nullptr) toNative(d3d)->Release();
}
