// SDL keys to virtual-key codes.
//
// Letters follow the keycode, that is, what the key types in the active
// layout: on a German keyboard the key right of T is Z (0x5A), on AZERTY the
// key left of Z types A and gives 0x41, as the virtual-key codes of Windows
// do. Layouts whose letter keys type no Latin letter (Cyrillic, Greek) fall
// back to the letter printed at that position on a US keyboard, again as on
// Windows. Digits of the main keyboard are found by position as well, since
// AZERTY number keys type symbols but are still the digit keys. The keypad
// digits have keycodes of their own and are never the digit keys.
#include "platform/keymap.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include "platform/window.h"

namespace {

constexpr uint32_t VK_DIGIT_0 = 0x30;
constexpr uint32_t VK_LETTER_A = 0x41;

// The keypad digit 0..9 of a keycode, or -1.
int keypadDigitOfKeycode(int32_t keycode) {
    if (keycode >= SDLK_KP_1 && keycode <= SDLK_KP_9) {
        return int(keycode - SDLK_KP_1) + 1;
    }
    if (keycode == SDLK_KP_0) {
        return 0;
    }
    return -1;
}

// The keypad digit 0..9 of a scancode, or -1.
int keypadDigitOfScancode(int32_t scancode) {
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) {
        return scancode - SDL_SCANCODE_KP_1 + 1;
    }
    if (scancode == SDL_SCANCODE_KP_0) {
        return 0;
    }
    return -1;
}

}  // namespace

uint32_t virtualKeyFromSdl(int32_t sdlKeycode, int32_t sdlScancode) {
    int digit = keypadDigitOfKeycode(sdlKeycode);
    if (digit >= 0) {
        return VK_NUMPAD0 + uint32_t(digit);
    }
    if (sdlKeycode >= 'a' && sdlKeycode <= 'z') {
        return VK_LETTER_A + uint32_t(sdlKeycode - 'a');
    }
    if (sdlKeycode >= 'A' && sdlKeycode <= 'Z') {
        return VK_LETTER_A + uint32_t(sdlKeycode - 'A');
    }
    if (sdlKeycode >= '0' && sdlKeycode <= '9') {
        return VK_DIGIT_0 + uint32_t(sdlKeycode - '0');
    }
    if (sdlScancode >= SDL_SCANCODE_1 && sdlScancode <= SDL_SCANCODE_9) {
        return VK_DIGIT_0 + 1 + uint32_t(sdlScancode - SDL_SCANCODE_1);
    }
    if (sdlScancode == SDL_SCANCODE_0) {
        return VK_DIGIT_0;
    }

    switch (sdlKeycode) {
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_RETURN:
        case SDLK_RETURN2:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_DELETE: return VK_DELETE;
        default: break;
    }
    if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) {
        return VK_F1 + uint32_t(sdlKeycode - SDLK_F1);
    }

    // A keypad digit key that reports some other keycode. (Without Num Lock
    // the system may report the keypad keys as Home, Left and so on; those
    // were mapped above as the navigation keys they then are, as on Windows.)
    digit = keypadDigitOfScancode(sdlScancode);
    if (digit >= 0) {
        return VK_NUMPAD0 + uint32_t(digit);
    }

    // A letter key whose layout types something other than a Latin letter.
    if (sdlScancode >= SDL_SCANCODE_A && sdlScancode <= SDL_SCANCODE_Z &&
        (sdlKeycode & SDLK_SCANCODE_MASK) == 0 && sdlKeycode > 0x7F) {
        return VK_LETTER_A + uint32_t(sdlScancode - SDL_SCANCODE_A);
    }
    return 0;
}
