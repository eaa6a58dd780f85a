// The X window behind an SDL window, for tools that address windows by id
// (xdotool, import, the close message of tests/e2e/lib.sh).
//
// Kept apart from the tests because the X headers declare a type named
// Window, as the platform layer does.
#pragma once

struct SDL_Window;

// The X window id, or 0 when the window does not live on an X display.
unsigned long x11WindowId(SDL_Window* window);
