// Windows, their event queue, timers, invalidation and the paint cycle.
//
// Two backends implement these functions with the same names, chosen at link
// time: platform/sdl (a real window on screen) and platform/headless (no
// display; a virtual clock, injected events and a readable frame, for tests
// and for the bot). Both run everything on the calling thread.
//
// Events carry the codes and parameter conventions of the Windows messages the
// client was designed around, so the window procedures read as written for them.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/surface.h"

struct Window;  // opaque; one per top-level window (the main window, each dialog)

// Event codes
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_ACTIVATE = 0x0006;     // wParam: 1 activated, 0 deactivated
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;      // wParam: virtual-key code; lParam bit 30: auto-repeat
constexpr uint32_t WM_KEYUP = 0x0101;        // wParam: virtual-key code
constexpr uint32_t WM_CHAR = 0x0102;         // wParam: Unicode code point of typed text
constexpr uint32_t WM_TIMER = 0x0113;        // wParam: timer id
constexpr uint32_t WM_MOUSEMOVE = 0x0200;    // lParam: x low 16 bits, y high 16 bits
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;  // lParam as WM_MOUSEMOVE
constexpr uint32_t WM_LBUTTONUP = 0x0202;    // lParam as WM_MOUSEMOVE

// Virtual-key codes (by key, not by the character typed)
constexpr uint32_t VK_BACK = 0x08;
constexpr uint32_t VK_TAB = 0x09;
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_SHIFT = 0x10;    // both Shift keys
constexpr uint32_t VK_CONTROL = 0x11;
constexpr uint32_t VK_MENU = 0x12;     // Alt
constexpr uint32_t VK_PAUSE = 0x13;
constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_SPACE = 0x20;
constexpr uint32_t VK_PRIOR = 0x21;
constexpr uint32_t VK_NEXT = 0x22;
constexpr uint32_t VK_END = 0x23;
constexpr uint32_t VK_HOME = 0x24;
constexpr uint32_t VK_LEFT = 0x25;
constexpr uint32_t VK_UP = 0x26;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t VK_DOWN = 0x28;
constexpr uint32_t VK_DELETE = 0x2E;
// '0'..'9' are 0x30..0x39 and 'A'..'Z' are 0x41..0x5A
constexpr uint32_t VK_NUMPAD0 = 0x60;  // .. VK_NUMPAD9 = 0x69
constexpr uint32_t VK_F1 = 0x70;       // .. VK_F12 = 0x7B
constexpr uint32_t VK_F2 = 0x71;
constexpr uint32_t VK_F3 = 0x72;
constexpr uint32_t VK_F4 = 0x73;

struct WindowEvent {
    Window* window;     // target; null for WM_QUIT
    uint32_t code;      // WM_*
    uintptr_t wParam;
    intptr_t lParam;
};

inline intptr_t pointParam(int32_t x, int32_t y) {
    return intptr_t((uint32_t(y) & 0xFFFF) << 16 | (uint32_t(x) & 0xFFFF));
}

using WindowProc = intptr_t (*)(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam);

// Backend lifetime. platformInit is idempotent; false when no display can be opened.
bool platformInit();
void platformShutdown();

// Windows. The client area has exactly the given size; decorations come on top.
Window* createWindow(const char* title, int32_t clientWidth, int32_t clientHeight, WindowProc procedure);
// Sends WM_DESTROY to the procedure, then frees the window. Timers of the window stop.
void destroyWindow(Window* window);
bool resizeWindowClient(Window* window, int32_t clientWidth, int32_t clientHeight);
int32_t windowClientWidth(const Window* window);
int32_t windowClientHeight(const Window* window);
// The class background: fills the whole frame now, and every area that a
// later resize adds (Windows erases newly exposed areas with the class brush).
// A new window's frame starts white.
void setWindowBackground(Window* window, Color color);
// Centres the window on the screen (dialogs).
void centerWindow(Window* window);
// Where the window's pixels live: painting draws into this frame.
Surface* windowFrame(Window* window);

// Event queue. peekEvent takes the next event of any window if there is one.
// Paint events are produced, as on Windows, only when nothing else is queued
// and some window has an update region. WM_QUIT is queued by postQuitMessage.
bool peekEvent(WindowEvent& event);
// Waits until an event is there (dialog loops). Headless with the virtual
// clock: advances the clock to the next timer; false when nothing can ever come.
bool waitEvent(WindowEvent& event);
intptr_t dispatchEvent(const WindowEvent& event);
// Calls the window's procedure at once, on this thread, and returns its result.
intptr_t sendEvent(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam);
intptr_t defaultWindowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam);
void postQuitMessage(int exitCode);

// Invalidation: accumulated into the window's update region, never erasing.
void invalidateRect(Window* window, const Rect* rect);  // null: the whole client area

// Paint cycle, inside the procedure's WM_PAINT handling.
bool getUpdateRect(Window* window, Rect& update);  // false when nothing is invalid
// Validates the update region and returns the frame with its clip set to the
// update rectangle.
Surface* beginPaint(Window* window, Rect& update);
// Removes the clip; the SDL backend then shows the frame on screen.
void endPaint(Window* window);

// Timers of a window, delivered as WM_TIMER events with their id. Setting an
// existing id restarts it with the new period. Returns false on failure.
bool setTimer(Window* window, uint32_t id, uint32_t periodMs);
bool killTimer(Window* window, uint32_t id);

// Clock
uint64_t clockMs();          // monotonic milliseconds (the virtual clock when headless)
void sleepMs(uint32_t ms);   // headless with the virtual clock: advances the clock
