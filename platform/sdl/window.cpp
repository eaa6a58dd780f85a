// The SDL window backend: real windows on screen, input from SDL, the
// monotonic clock.
//
// Each window's pixel frame (0x00BBGGRR) is its real content; the screen is a
// copy of it. endPaint and every exposure present the whole frame: it is
// wrapped as an SDL surface of format SDL_PIXELFORMAT_XBGR8888 (a packed
// 32-bit value, red in the lowest byte, the top byte ignored, so it is our
// Color exactly on any byte order) and blitted to the window surface, which
// converts to whatever the display uses. Window surfaces need no renderer, so
// this works on a bare X server such as Xvfb; the texture path of SDL's
// framebuffer is switched off to keep OpenGL out of it.
//
// Timers run on the real clock and are checked whenever the queue is read;
// like Windows, a timer whose tick is still queued gets no second one, so a
// busy program sees one late tick rather than a backlog.
#include <SDL.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/window_core.h"
#include "platform/keymap.h"
#include "platform/text.h"
#include "platform/window.h"

namespace {

bool sdlReady = false;
Window* focusWindow = nullptr;  // the window that last gained the keyboard focus

// Windows' key message bits: repeat count 1 in the low word; bit 30 the key
// was already down (auto-repeat, and always on release); bit 31 a release.
constexpr intptr_t KEY_REPEAT_COUNT_ONE = 1;
constexpr intptr_t KEY_WAS_DOWN = intptr_t(1) << 30;
constexpr intptr_t KEY_RELEASED = intptr_t(1) << 31;
constexpr int WAIT_NAP_MS = 4;  // longest nap of waitEvent between two looks at the input

uint64_t monotonicMs() {
    static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count());
}

void presentFrame(Window* window) {
    if (window == nullptr || window->sdlWindow == nullptr) {
        return;
    }
    SDL_Surface* target = SDL_GetWindowSurface(window->sdlWindow);
    if (target == nullptr) {
        return;
    }
    Surface& frame = *window->frame;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        frame.pixels.data(), frame.width, frame.height, 32, frame.width * int(sizeof(Color)),
        SDL_PIXELFORMAT_XBGR8888);
    if (source == nullptr) {
        return;
    }
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(window->sdlWindow);
}

Window* windowFromSdlId(uint32_t sdlWindowId) {
    for (Window* window : windowCore().windows) {
        if (window->sdlWindowId == sdlWindowId && !window->destroying) {
            return window;
        }
    }
    return nullptr;
}

// Keyboard events go to the window they name, else to the focused one.
Window* keyboardTarget(uint32_t sdlWindowId) {
    Window* window = windowFromSdlId(sdlWindowId);
    if (window == nullptr && coreAcceptsEvents(focusWindow)) {
        window = focusWindow;
    }
    return window;
}

// Pointer events outside the client area are dropped: the client does not
// capture the pointer, so, as on Windows, a release outside is not seen.
void queuePointer(uint32_t sdlWindowId, uint32_t code, int32_t x, int32_t y) {
    Window* window = windowFromSdlId(sdlWindowId);
    if (window == nullptr || x < 0 || y < 0 || x >= window->frame->width || y >= window->frame->height) {
        return;
    }
    coreQueueEvent(window, code, 0, pointParam(x, y));
}

// One WM_CHAR per code point of UTF-8 text; malformed bytes are skipped.
void queueText(Window* window, const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        uint32_t codePoint = 0;
        int length = 0;
        if (*p < 0x80) {
            codePoint = *p;
            length = 1;
        } else if ((*p & 0xE0) == 0xC0) {
            codePoint = *p & 0x1F;
            length = 2;
        } else if ((*p & 0xF0) == 0xE0) {
            codePoint = *p & 0x0F;
            length = 3;
        } else if ((*p & 0xF8) == 0xF0) {
            codePoint = *p & 0x07;
            length = 4;
        } else {
            ++p;
            continue;
        }
        int i = 1;
        for (; i < length && (p[i] & 0xC0) == 0x80; ++i) {
            codePoint = codePoint << 6 | (p[i] & 0x3F);
        }
        if (i < length) {
            p += i;  // truncated sequence
            continue;
        }
        p += length;
        coreQueueEvent(window, WM_CHAR, codePoint, 0);
    }
}

void translateWindowEvent(const SDL_WindowEvent& event) {
    Window* window = windowFromSdlId(event.windowID);
    if (window == nullptr) {
        return;
    }
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        coreQueueEvent(window, WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        focusWindow = window;
        coreQueueEvent(window, WM_ACTIVATE, 1, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        coreQueueEvent(window, WM_ACTIVATE, 0, 0);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        presentFrame(window);  // the frame holds everything the window shows
        break;
    default:
        break;
    }
}

void translate(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT: {
        // Only a signal (SIGINT, SIGTERM) gets here: closing a window is
        // SDL_WINDOWEVENT_CLOSE. It closes the main window, the first one.
        WindowCore& core = windowCore();
        if (!core.windows.empty()) {
            coreQueueEvent(core.windows.front(), WM_CLOSE, 0, 0);
        } else {
            corePostQuit(0);
        }
        break;
    }
    case SDL_WINDOWEVENT:
        translateWindowEvent(event.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        Window* window = keyboardTarget(event.key.windowID);
        uint32_t key = virtualKeyFromSdl(event.key.keysym.sym, event.key.keysym.scancode);
        if (window == nullptr || key == 0) {
            break;
        }
        if (event.type == SDL_KEYDOWN) {
            coreQueueEvent(window, WM_KEYDOWN, key,
                           KEY_REPEAT_COUNT_ONE | (event.key.repeat != 0 ? KEY_WAS_DOWN : 0));
        } else {
            coreQueueEvent(window, WM_KEYUP, key, KEY_REPEAT_COUNT_ONE | KEY_WAS_DOWN | KEY_RELEASED);
        }
        break;
    }
    case SDL_TEXTINPUT: {
        Window* window = keyboardTarget(event.text.windowID);
        if (window != nullptr) {
            queueText(window, event.text.text);
        }
        break;
    }
    case SDL_MOUSEMOTION:
        queuePointer(event.motion.windowID, WM_MOUSEMOVE, event.motion.x, event.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT) {
            queuePointer(event.button.windowID,
                         event.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                         event.button.x, event.button.y);
        }
        break;
    default:
        break;
    }
}

// Moves everything SDL has into the queue, then the timers that fell due.
void pumpInput() {
    if (sdlReady) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            translate(event);
        }
    }
    coreQueueDueTimers(clockMs());
}

}  // namespace

// --- Backend lifetime -------------------------------------------------------------

bool platformInit() {
    if (sdlReady) {
        return true;
    }
    // Closing the last window is the program's business (WM_CLOSE), not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // No pointer capture while a button is held, as in the client's design.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    // Window surfaces straight to the display, not through an OpenGL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        return false;
    }
    SDL_StartTextInput();
    sdlReady = true;
    return true;
}

void platformShutdown() {
    for (Window* window : windowCore().windows) {
        if (window->sdlWindow != nullptr) {
            SDL_DestroyWindow(window->sdlWindow);
        }
    }
    coreFreeAll();
    focusWindow = nullptr;
    if (sdlReady) {
        SDL_StopTextInput();
        SDL_Quit();
        sdlReady = false;
    }
}

// --- Windows ------------------------------------------------------------------------

Window* createWindow(const char* title, int32_t clientWidth, int32_t clientHeight, WindowProc procedure) {
    if (!platformInit()) {
        return nullptr;
    }
    Window* window = coreCreateWindow(clientWidth, clientHeight, procedure);
    if (window == nullptr) {
        return nullptr;
    }
    std::string utf8Title = title != nullptr ? cp1252ToUtf8(title, std::char_traits<char>::length(title)) : "";
    window->sdlWindow = SDL_CreateWindow(utf8Title.c_str(), 0, 0, clientWidth, clientHeight, SDL_WINDOW_SHOWN);
    if (window->sdlWindow == nullptr) {
        // Undo the record without a WM_DESTROY: the procedure never saw the window.
        WindowCore& core = windowCore();
        coreDropEvents(window);
        core.windows.erase(std::remove(core.windows.begin(), core.windows.end(), window),
                           core.windows.end());
        coreFreeWindow(window);
        return nullptr;
    }
    window->sdlWindowId = SDL_GetWindowID(window->sdlWindow);
    presentFrame(window);
    return window;
}

void destroyWindow(Window* window) {
    if (!coreBeginDestroy(window)) {
        return;
    }
    if (focusWindow == window) {
        focusWindow = nullptr;
    }
    if (window->sdlWindow != nullptr) {
        SDL_DestroyWindow(window->sdlWindow);
        window->sdlWindow = nullptr;
        window->sdlWindowId = 0;
    }
    coreFinishDestroy(window);
}

bool resizeWindowClient(Window* window, int32_t clientWidth, int32_t clientHeight) {
    if (!coreResize(window, clientWidth, clientHeight)) {
        return false;
    }
    SDL_SetWindowSize(window->sdlWindow, clientWidth, clientHeight);
    presentFrame(window);
    return true;
}

void centerWindow(Window* window) {
    if (coreIsLive(window) && window->sdlWindow != nullptr) {
        SDL_SetWindowPosition(window->sdlWindow, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

// --- Event queue --------------------------------------------------------------------

bool peekEvent(WindowEvent& event) {
    coreFreeRetired();
    pumpInput();
    return coreTakeEvent(event);
}

bool waitEvent(WindowEvent& event) {
    for (;;) {
        if (peekEvent(event)) {
            return true;
        }
        // Sleep until input arrives or the next timer falls due.
        int timeoutMs = -1;
        uint64_t dueMs = 0;
        if (coreNextDue(dueMs)) {
            uint64_t nowMs = clockMs();
            timeoutMs = dueMs > nowMs ? int(std::min<uint64_t>(dueMs - nowMs, INT32_MAX)) : 0;
        }
        if (!sdlReady) {
            if (timeoutMs < 0) {
                return false;  // no display and no timer: nothing can ever come
            }
            sleepMs(uint32_t(timeoutMs));
            continue;
        }
        // Poll in short naps instead of blocking in SDL_WaitEventTimeout: while
        // it blocks, SDL's X11 backend wakes itself by sending an event to a
        // window of ours over a second display connection, and when that
        // window is a dialog that has just been destroyed, the X server
        // answers with BadWindow on a connection whose default error handler
        // ends the process. A nap of a few milliseconds costs nothing here.
        SDL_Delay(uint32_t(timeoutMs < 0 ? WAIT_NAP_MS : std::min(timeoutMs, WAIT_NAP_MS)));
    }
}

// --- Invalidation and painting --------------------------------------------------------

void endPaint(Window* window) {
    if (!coreIsLive(window)) {
        return;
    }
    coreEndPaint(window);
    presentFrame(window);
}

// --- Timers and clock -------------------------------------------------------------------

uint64_t clockMs() {
    return monotonicMs();
}

void sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
