// Translation of SDL key events to the virtual-key codes of platform/window.h.
#pragma once

#include <cstdint>

// The virtual-key code of a key, or 0 for a key the client has no code for.
// Keys are identified by key, not by the character they type: the keypad
// digits are VK_NUMPAD0..9 and never the digit keys' codes, both Shift keys
// are VK_SHIFT, and Shift does not change a letter's code.
uint32_t virtualKeyFromSdl(int32_t sdlKeycode, int32_t sdlScancode);
