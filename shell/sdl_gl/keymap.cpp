#include <SDL2/SDL.h>

#include "shell/sdl_gl/sdl_gl.h"

uint32_t sdlKeyToVirtualKey(int scancode, int keycode) {
    // Keys told apart by their place on the keyboard (keypad, function keys,
    // navigation): by scancode, so Num Lock and the layout do not change them.
    switch (scancode) {
        case SDL_SCANCODE_KP_PLUS:
            return vk::Add;
        case SDL_SCANCODE_KP_MINUS:
            return vk::Subtract;
        case SDL_SCANCODE_KP_MULTIPLY:
            return 0x6A;
        case SDL_SCANCODE_KP_DIVIDE:
            return 0x6F;
        case SDL_SCANCODE_KP_PERIOD:
            return 0x6E;
        case SDL_SCANCODE_KP_ENTER:
            return vk::Return;
        case SDL_SCANCODE_KP_0:
            return 0x60;
        case SDL_SCANCODE_RETURN:
            return vk::Return;
        case SDL_SCANCODE_ESCAPE:
            return vk::Escape;
        case SDL_SCANCODE_BACKSPACE:
            return 0x08;
        case SDL_SCANCODE_TAB:
            return 0x09;
        case SDL_SCANCODE_SPACE:
            return 0x20;
        case SDL_SCANCODE_PAGEUP:
            return vk::Prior;
        case SDL_SCANCODE_PAGEDOWN:
            return vk::Next;
        case SDL_SCANCODE_END:
            return 0x23;
        case SDL_SCANCODE_HOME:
            return 0x24;
        case SDL_SCANCODE_LEFT:
            return vk::Left;
        case SDL_SCANCODE_UP:
            return vk::Up;
        case SDL_SCANCODE_RIGHT:
            return vk::Right;
        case SDL_SCANCODE_DOWN:
            return vk::Down;
        case SDL_SCANCODE_INSERT:
            return 0x2D;
        case SDL_SCANCODE_DELETE:
            return 0x2E;
        case SDL_SCANCODE_LSHIFT:
        case SDL_SCANCODE_RSHIFT:
            return 0x10;
        case SDL_SCANCODE_LCTRL:
        case SDL_SCANCODE_RCTRL:
            return 0x11;
        case SDL_SCANCODE_LALT:
        case SDL_SCANCODE_RALT:
            return 0x12;
        default:
            break;
    }
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) {
        return 0x61 + static_cast<uint32_t>(scancode - SDL_SCANCODE_KP_1);
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
        return vk::F1 + static_cast<uint32_t>(scancode - SDL_SCANCODE_F1);
    }
    // Letters, digits and punctuation follow the layout, as virtual keys do.
    if (keycode >= 'a' && keycode <= 'z') return static_cast<uint32_t>(keycode - 'a' + 'A');
    if (keycode >= '0' && keycode <= '9') return static_cast<uint32_t>(keycode);
    switch (keycode) {
        case '=':
        case '+':
            return 0xBB;  // VK_OEM_PLUS
        case '-':
            return 0xBD;  // VK_OEM_MINUS
        case ',':
            return 0xBC;  // VK_OEM_COMMA
        case '.':
            return 0xBE;  // VK_OEM_PERIOD
        default:
            return 0;
    }
}
