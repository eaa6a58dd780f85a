// The part of the window layer that both backends share: window records, the
// event queue, update regions, the paint cycle and the timer table.
//
// Included by platform/window_core.cpp and the two backends only.
// Each backend adds its clock, its source of input and, for SDL, the window
// on screen; the functions here call the backend's public functions
// (destroyWindow, beginPaint, endPaint, clockMs) where the backends differ.
//
// Queue order, as on Windows: posted, input and timer events in the order they
// were queued; WM_QUIT in its place among them; a WM_PAINT is produced only
// when nothing else is queued, for the first window (in creation order) whose
// update region is not empty. A paint event is not consumed until the window
// validates its region (beginPaint), so an unhandled paint repeats.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/surface.h"
#include "platform/window.h"

struct SDL_Window;

struct Window {
    WindowProc procedure;
    Surface* frame;          // the client area's pixels, 0x00BBGGRR
    Color background;        // class background: fills the frame and what a resize adds
    Rect update;             // bounding rectangle of the invalid area; empty when valid
    bool destroying;         // WM_DESTROY sent or being sent: no new events or timers
    SDL_Window* sdlWindow;   // SDL backend: the window on screen; null headless
    uint32_t sdlWindowId;    // SDL backend: the id its events carry
};

struct WindowTimer {
    Window* window;
    uint32_t id;
    uint32_t periodMs;
    uint64_t dueMs;   // clock time of the next expiry
    uint64_t order;   // when it was (last) set: breaks ties between equal due times
};

// Lifetime: from the first window to platformShutdown or headlessReset.
struct WindowCore {
    std::vector<Window*> windows;     // live windows, in creation order
    std::vector<Window*> retired;     // destroyed windows, freed at the next queue read
    std::deque<WindowEvent> queue;    // posted, input and timer events
    std::vector<WindowTimer> timers;  // running timers of live windows
    uint64_t timerOrder;              // counter behind WindowTimer::order
};

// Windows clamps shorter timer periods (also 0) to this minimum.
constexpr uint32_t TIMER_MINIMUM_MS = 10;
// Frames larger than this are refused rather than allocated.
constexpr int32_t WINDOW_MAXIMUM_SIDE = 16384;

inline WindowCore& windowCore() {
    static WindowCore core;
    return core;
}

// --- Rectangles -------------------------------------------------------------

inline bool rectIsEmpty(const Rect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

inline Rect rectIntersection(const Rect& a, const Rect& b) {
    Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
    return rectIsEmpty(result) ? Rect{0, 0, 0, 0} : result;
}

// Bounding rectangle; an empty operand does not count.
inline Rect rectUnion(const Rect& a, const Rect& b) {
    if (rectIsEmpty(a)) {
        return rectIsEmpty(b) ? Rect{0, 0, 0, 0} : b;
    }
    if (rectIsEmpty(b)) {
        return a;
    }
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

inline Rect clientRect(const Window* window) {
    return Rect{0, 0, window->frame->width, window->frame->height};
}

// --- Window list --------------------------------------------------------------

// True for a window that exists (also while its WM_DESTROY runs).
inline bool coreIsLive(const Window* window) {
    WindowCore& core = windowCore();
    return window != nullptr &&
           std::find(core.windows.begin(), core.windows.end(), window) != core.windows.end();
}

// Live and not being destroyed: may receive new events and timers.
inline bool coreAcceptsEvents(const Window* window) {
    return coreIsLive(window) && !window->destroying;
}

inline bool coreValidClientSize(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= WINDOW_MAXIMUM_SIDE && height <= WINDOW_MAXIMUM_SIDE;
}

inline void coreInvalidate(Window* window, const Rect* rect) {
    if (!coreAcceptsEvents(window)) {
        return;
    }
    Rect area = rect != nullptr ? rectIntersection(*rect, clientRect(window)) : clientRect(window);
    window->update = rectUnion(window->update, area);
}

// The record of a new window: white frame, whole area invalid, WM_ACTIVATE(1)
// queued. Null for a size that cannot be a window.
inline Window* coreCreateWindow(int32_t width, int32_t height, WindowProc procedure) {
    WindowCore& core = windowCore();
    if (!coreValidClientSize(width, height) || procedure == nullptr) {
        return nullptr;
    }
    Window* window = new Window{};
    window->procedure = procedure;
    window->frame = createSurface(width, height);
    window->background = rgb(255, 255, 255);
    std::fill(window->frame->pixels.begin(), window->frame->pixels.end(), window->background);
    window->update = Rect{0, 0, 0, 0};
    core.windows.push_back(window);
    coreInvalidate(window, nullptr);
    core.queue.push_back(WindowEvent{window, WM_ACTIVATE, 1, 0});
    return window;
}

inline void coreFreeWindow(Window* window) {
    destroySurface(window->frame);
    delete window;
}

inline void coreDropEvents(const Window* window) {
    std::deque<WindowEvent>& queue = windowCore().queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [window](const WindowEvent& event) { return event.window == window; }),
                queue.end());
}

inline void coreDropTimerEvents(const Window* window, uint32_t id) {
    std::deque<WindowEvent>& queue = windowCore().queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [window, id](const WindowEvent& event) {
                                   return event.window == window && event.code == WM_TIMER &&
                                          event.wParam == id;
                               }),
                queue.end());
}

inline void coreKillTimers(const Window* window) {
    std::vector<WindowTimer>& timers = windowCore().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [window](const WindowTimer& timer) { return timer.window == window; }),
                 timers.end());
}

// First half of destroying: WM_DESTROY to the procedure, then the window's
// timers and queued events go (also those the procedure made while handling
// WM_DESTROY). False when the window is unknown or already being destroyed.
inline bool coreBeginDestroy(Window* window) {
    if (!coreAcceptsEvents(window)) {
        return false;
    }
    window->destroying = true;
    window->procedure(window, WM_DESTROY, 0, 0);
    coreKillTimers(window);
    coreDropEvents(window);
    return true;
}

// Second half, after the backend has let go of its own resources: the window
// leaves the list. Its memory is kept until the next queue read, so that an
// event already taken for it is recognised as stale rather than delivered to
// a new window that happens to get the same address.
inline void coreFinishDestroy(Window* window) {
    WindowCore& core = windowCore();
    core.windows.erase(std::remove(core.windows.begin(), core.windows.end(), window),
                       core.windows.end());
    core.retired.push_back(window);
}

inline void coreFreeRetired() {
    WindowCore& core = windowCore();
    for (Window* window : core.retired) {
        coreFreeWindow(window);
    }
    core.retired.clear();
}

// Drops every window without calling procedures, every event and timer.
inline void coreFreeAll() {
    WindowCore& core = windowCore();
    for (Window* window : core.windows) {
        coreFreeWindow(window);
    }
    core.windows.clear();
    coreFreeRetired();
    core.queue.clear();
    core.timers.clear();
    core.timerOrder = 0;
}

// A new frame of the new size keeps the overlapping pixels; the rest is
// filled with the background. The whole client area becomes invalid.
inline bool coreResize(Window* window, int32_t width, int32_t height) {
    if (!coreAcceptsEvents(window) || !coreValidClientSize(width, height)) {
        return false;
    }
    Surface* old = window->frame;
    Surface* frame = createSurface(width, height);
    std::fill(frame->pixels.begin(), frame->pixels.end(), window->background);
    int32_t keepWidth = std::min(width, old->width);
    int32_t keepHeight = std::min(height, old->height);
    for (int32_t y = 0; y < keepHeight; ++y) {
        const Color* source = old->pixels.data() + size_t(y) * size_t(old->width);
        std::copy(source, source + keepWidth, frame->pixels.data() + size_t(y) * size_t(width));
    }
    window->frame = frame;
    destroySurface(old);
    window->update = Rect{0, 0, 0, 0};
    coreInvalidate(window, nullptr);
    return true;
}

inline void coreSetBackground(Window* window, Color color) {
    if (!coreIsLive(window)) {
        return;
    }
    window->background = color;
    std::fill(window->frame->pixels.begin(), window->frame->pixels.end(), color);
}

// --- Paint cycle ------------------------------------------------------------------

inline bool coreGetUpdateRect(Window* window, Rect& update) {
    if (!coreIsLive(window) || rectIsEmpty(window->update)) {
        update = Rect{0, 0, 0, 0};
        return false;
    }
    update = window->update;
    return true;
}

// Validates and clips the frame to what was invalid. With nothing invalid the
// clip is empty, so nothing drawn in this paint reaches the frame.
inline Surface* coreBeginPaint(Window* window, Rect& update) {
    if (!coreIsLive(window)) {
        update = Rect{0, 0, 0, 0};
        return nullptr;
    }
    coreGetUpdateRect(window, update);
    window->update = Rect{0, 0, 0, 0};
    setClipRect(*window->frame, &update);
    return window->frame;
}

inline void coreEndPaint(Window* window) {
    if (coreIsLive(window)) {
        setClipRect(*window->frame, nullptr);
    }
}

// --- Event queue ------------------------------------------------------------------

inline void corePostQuit(int exitCode) {
    WindowCore& core = windowCore();
    bool queued = std::any_of(core.queue.begin(), core.queue.end(),
                              [](const WindowEvent& event) { return event.code == WM_QUIT; });
    if (!queued) {
        core.queue.push_back(WindowEvent{nullptr, WM_QUIT, uintptr_t(intptr_t(exitCode)), 0});
    }
}

inline void coreQueueEvent(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr ? code == WM_QUIT : coreAcceptsEvents(window)) {
        windowCore().queue.push_back(WindowEvent{window, code, wParam, lParam});
    }
}

// The next queued event, else a paint event; false when there is neither.
inline bool coreTakeEvent(WindowEvent& event) {
    WindowCore& core = windowCore();
    if (!core.queue.empty()) {
        event = core.queue.front();
        core.queue.pop_front();
        return true;
    }
    for (Window* window : core.windows) {
        if (!window->destroying && !rectIsEmpty(window->update)) {
            event = WindowEvent{window, WM_PAINT, 0, 0};
            return true;
        }
    }
    return false;
}

inline bool coreHasPaint() {
    WindowCore& core = windowCore();
    return std::any_of(core.windows.begin(), core.windows.end(), [](const Window* window) {
        return !window->destroying && !rectIsEmpty(window->update);
    });
}

inline intptr_t coreSend(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    if (!coreIsLive(window)) {
        return 0;
    }
    return window->procedure(window, code, wParam, lParam);
}

inline intptr_t coreDispatch(const WindowEvent& event) {
    if (event.code == WM_QUIT || event.window == nullptr) {
        return 0;
    }
    return coreSend(event.window, event.code, event.wParam, event.lParam);
}

inline intptr_t coreDefaultProc(Window* window, uint32_t code) {
    if (code == WM_CLOSE) {
        destroyWindow(window);
    } else if (code == WM_PAINT) {
        Rect update;
        if (beginPaint(window, update) != nullptr) {
            endPaint(window);
        }
    }
    return 0;
}

// --- Timers -------------------------------------------------------------------------

inline WindowTimer* coreFindTimer(const Window* window, uint32_t id) {
    for (WindowTimer& timer : windowCore().timers) {
        if (timer.window == window && timer.id == id) {
            return &timer;
        }
    }
    return nullptr;
}

// Starts a timer, or restarts it with the new period: the next expiry is one
// period from now, and a tick of the old rhythm still queued is dropped.
inline bool coreSetTimer(Window* window, uint32_t id, uint32_t periodMs, uint64_t nowMs) {
    WindowCore& core = windowCore();
    if (!coreAcceptsEvents(window)) {
        return false;
    }
    periodMs = std::max(periodMs, TIMER_MINIMUM_MS);
    WindowTimer* timer = coreFindTimer(window, id);
    if (timer == nullptr) {
        core.timers.push_back(WindowTimer{window, id, 0, 0, 0});
        timer = &core.timers.back();
    } else {
        coreDropTimerEvents(window, id);
    }
    timer->periodMs = periodMs;
    timer->dueMs = nowMs + periodMs;
    timer->order = ++core.timerOrder;
    return true;
}

// Stops a timer; a tick of it still queued is dropped too, so that no
// WM_TIMER arrives after killTimer returned.
inline bool coreKillTimer(Window* window, uint32_t id) {
    WindowCore& core = windowCore();
    WindowTimer* timer = coreFindTimer(window, id);
    if (timer == nullptr) {
        return false;
    }
    core.timers.erase(core.timers.begin() + (timer - core.timers.data()));
    coreDropTimerEvents(window, id);
    return true;
}

// The timer that falls due first (ties: the one set first), if it is due by
// limitMs; null otherwise.
inline WindowTimer* coreFirstDue(uint64_t limitMs) {
    WindowTimer* first = nullptr;
    for (WindowTimer& timer : windowCore().timers) {
        if (timer.dueMs <= limitMs &&
            (first == nullptr || timer.dueMs < first->dueMs ||
             (timer.dueMs == first->dueMs && timer.order < first->order))) {
            first = &timer;
        }
    }
    return first;
}

inline bool coreNextDue(uint64_t& dueMs) {
    WindowCore& core = windowCore();
    if (core.timers.empty()) {
        return false;
    }
    dueMs = UINT64_MAX;
    for (const WindowTimer& timer : core.timers) {
        dueMs = std::min(dueMs, timer.dueMs);
    }
    return true;
}

inline bool coreTimerEventQueued(const WindowTimer& timer) {
    const std::deque<WindowEvent>& queue = windowCore().queue;
    return std::any_of(queue.begin(), queue.end(), [&timer](const WindowEvent& event) {
        return event.window == timer.window && event.code == WM_TIMER && event.wParam == timer.id;
    });
}

// Real clock: every timer due by now queues one WM_TIMER, in due order,
// unless a tick of it is still waiting in the queue (as on Windows, a busy
// program gets one tick, not a backlog). Expiries that passed unseen are
// skipped; the rhythm goes on from the schedule.
inline void coreQueueDueTimers(uint64_t nowMs) {
    while (WindowTimer* timer = coreFirstDue(nowMs)) {
        if (!coreTimerEventQueued(*timer)) {
            windowCore().queue.push_back(WindowEvent{timer->window, WM_TIMER, timer->id, 0});
        }
        timer->dueMs += timer->periodMs;
        if (timer->dueMs <= nowMs) {
            timer->dueMs = nowMs + timer->periodMs - (nowMs - timer->dueMs) % timer->periodMs;
        }
    }
}
