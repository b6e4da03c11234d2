// What the SDL2 + OpenGL backend shows beyond the shared service interface:
// the state a headless run records instead of touching a real cursor, and the
// key translation, so tests can check them. Programs never include this.
#pragma once

#include <cstdint>

#include "shell/harness/run_harness.h"
#include "shell/window_frame.h"

// The cursor as the program has driven it (every mode; headless it is the only
// cursor there is).
const VirtualCursor& sdlGlCursor();

// Win32 virtual-key code of an SDL key (SDL_Scancode, SDL_Keycode as plain
// ints so this header needs no SDL); 0 when the key has no code worth sending.
// Keypad + and - give Add and Subtract; the main keyboard's + and - give the
// OEM codes Win32 gives them, so they never act as the keypad keys.
uint32_t sdlKeyToVirtualKey(int scancode, int keycode);
