// SDL keys to virtual-key codes: by key, not by character.
#include <gtest/gtest.h>

#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include "platform/keymap.h"
#include "platform/window.h"

TEST(KeyMap, KeysMapToTheirVirtualKeyCodes) {
    struct Case {
        const char* name;
        int32_t keycode;
        int32_t scancode;
        uint32_t virtualKey;
    };
    const Case cases[] = {
        {"a", SDLK_a, SDL_SCANCODE_A, 0x41},
        {"p", SDLK_p, SDL_SCANCODE_P, 0x50},
        {"z", SDLK_z, SDL_SCANCODE_Z, 0x5A},
        {"1", SDLK_1, SDL_SCANCODE_1, 0x31},
        {"9", SDLK_9, SDL_SCANCODE_9, 0x39},
        {"0", SDLK_0, SDL_SCANCODE_0, 0x30},
        {"keypad 0", SDLK_KP_0, SDL_SCANCODE_KP_0, VK_NUMPAD0},
        {"keypad 1", SDLK_KP_1, SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1},
        {"keypad 5", SDLK_KP_5, SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5},
        {"keypad 9", SDLK_KP_9, SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9},
        {"keypad 7 reported as a keypad key only by place", SDLK_UNKNOWN, SDL_SCANCODE_KP_7,
         VK_NUMPAD0 + 7},
        // Without Num Lock the keypad keys are the navigation keys they show.
        {"keypad 7 without Num Lock", SDLK_HOME, SDL_SCANCODE_KP_7, VK_HOME},
        {"keypad 4 without Num Lock", SDLK_LEFT, SDL_SCANCODE_KP_4, VK_LEFT},
        {"left Shift", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, VK_SHIFT},
        {"right Shift", SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, VK_SHIFT},
        {"left Ctrl", SDLK_LCTRL, SDL_SCANCODE_LCTRL, VK_CONTROL},
        {"right Ctrl", SDLK_RCTRL, SDL_SCANCODE_RCTRL, VK_CONTROL},
        {"left Alt", SDLK_LALT, SDL_SCANCODE_LALT, VK_MENU},
        {"right Alt", SDLK_RALT, SDL_SCANCODE_RALT, VK_MENU},
        {"Pause", SDLK_PAUSE, SDL_SCANCODE_PAUSE, VK_PAUSE},
        {"Escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, VK_ESCAPE},
        {"Return", SDLK_RETURN, SDL_SCANCODE_RETURN, VK_RETURN},
        {"keypad Enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN},
        {"Backspace", SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, VK_BACK},
        {"Tab", SDLK_TAB, SDL_SCANCODE_TAB, VK_TAB},
        {"Space", SDLK_SPACE, SDL_SCANCODE_SPACE, VK_SPACE},
        {"Page Up", SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, VK_PRIOR},
        {"Page Down", SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, VK_NEXT},
        {"End", SDLK_END, SDL_SCANCODE_END, VK_END},
        {"Home", SDLK_HOME, SDL_SCANCODE_HOME, VK_HOME},
        {"Left", SDLK_LEFT, SDL_SCANCODE_LEFT, VK_LEFT},
        {"Up", SDLK_UP, SDL_SCANCODE_UP, VK_UP},
        {"Right", SDLK_RIGHT, SDL_SCANCODE_RIGHT, VK_RIGHT},
        {"Down", SDLK_DOWN, SDL_SCANCODE_DOWN, VK_DOWN},
        {"Delete", SDLK_DELETE, SDL_SCANCODE_DELETE, VK_DELETE},
        {"F1", SDLK_F1, SDL_SCANCODE_F1, VK_F1},
        {"F2", SDLK_F2, SDL_SCANCODE_F2, VK_F2},
        {"F3", SDLK_F3, SDL_SCANCODE_F3, VK_F3},
        {"F12", SDLK_F12, SDL_SCANCODE_F12, 0x7B},
        // Layouts: letters follow what the key types, digits the key's place.
        {"German Z key (QWERTY Y place)", SDLK_z, SDL_SCANCODE_Y, 0x5A},
        {"AZERTY A key (QWERTY Q place)", SDLK_a, SDL_SCANCODE_Q, 0x41},
        {"AZERTY 1 key typing &", SDLK_AMPERSAND, SDL_SCANCODE_1, 0x31},
        {"Cyrillic letter on the P place", 0x0437, SDL_SCANCODE_P, 0x50},
        // Keys the client has no code for.
        {"comma", SDLK_COMMA, SDL_SCANCODE_COMMA, 0},
        {"keypad plus", SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 0},
        {"Caps Lock", SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK, 0},
        {"German umlaut key", 0x00E4, SDL_SCANCODE_APOSTROPHE, 0},
        {"F13", SDLK_F13, SDL_SCANCODE_F13, 0},
        {"unknown", SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(virtualKeyFromSdl(c.keycode, c.scancode), c.virtualKey) << c.name;
    }
}

// The keypad digits must never reach the digit keys' code (the level keys).
TEST(KeyMap, KeypadDigitsAreNeverMainKeyboardDigits) {
    const int32_t keycodes[] = {SDLK_KP_0, SDLK_KP_1, SDLK_KP_2, SDLK_KP_3, SDLK_KP_4,
                                SDLK_KP_5, SDLK_KP_6, SDLK_KP_7, SDLK_KP_8, SDLK_KP_9};
    const int32_t scancodes[] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2,
                                 SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5,
                                 SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8,
                                 SDL_SCANCODE_KP_9};
    for (int digit = 0; digit < 10; ++digit) {
        uint32_t code = virtualKeyFromSdl(keycodes[digit], scancodes[digit]);
        EXPECT_EQ(code, VK_NUMPAD0 + uint32_t(digit)) << digit;
        EXPECT_FALSE(code >= 0x30 && code <= 0x39) << digit;
    }
}
