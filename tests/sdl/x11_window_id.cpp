#include "x11_window_id.h"

#include <SDL.h>
#include <SDL_syswm.h>

unsigned long x11WindowId(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11) {
        return 0;
    }
    return static_cast<unsigned long>(info.info.x11.window);
}
