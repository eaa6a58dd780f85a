// The headless window backend: windows without a display, for tests and the bot.
//
// Frames are plain surfaces that tests read back. Input comes only from
// headlessInject. Time is virtual by default: it stands still until
// headlessAdvance, sleepMs or waitEvent moves it, and then every timer
// expiry on the way is queued in due order. With the virtual clock, ticks are
// not coalesced: a timer due three times within one advance queues three
// WM_TIMER events, because the advance stands for a stretch of time in which
// a responsive program would have handled each tick (a test can dispatch
// between advances to see them one at a time). With the real clock
// (headlessUseRealClock) timers behave as in the SDL backend: checked when
// the queue is read, one pending tick per timer at most.
#include <chrono>
#include <thread>

#include "platform/headless.h"
#include "platform/window_core.h"
#include "platform/window.h"

namespace {

struct HeadlessClock {
    bool real;            // read the monotonic clock instead of virtualMs
    uint64_t virtualMs;   // the virtual clock
    int64_t realOffsetMs; // real mode: clockMs = monotonic ms - realOffsetMs
};

HeadlessClock& headlessClock() {
    static HeadlessClock clock{false, 0, 0};
    return clock;
}

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Real clock: queues the ticks that fell due since the last look.
void queueRealTimers() {
    if (headlessClock().real) {
        coreQueueDueTimers(clockMs());
    }
}

}  // namespace

// --- Backend lifetime -------------------------------------------------------------

bool platformInit() {
    return true;
}

void platformShutdown() {
    coreFreeAll();
}

// --- Windows ------------------------------------------------------------------------

Window* createWindow(const char* title, int32_t clientWidth, int32_t clientHeight, WindowProc procedure) {
    (void)title;
    return coreCreateWindow(clientWidth, clientHeight, procedure);
}

void destroyWindow(Window* window) {
    if (coreBeginDestroy(window)) {
        coreFinishDestroy(window);
    }
}

bool resizeWindowClient(Window* window, int32_t clientWidth, int32_t clientHeight) {
    return coreResize(window, clientWidth, clientHeight);
}

void centerWindow(Window* window) {
    (void)window;  // no screen to centre on
}

// --- Event queue --------------------------------------------------------------------

bool peekEvent(WindowEvent& event) {
    coreFreeRetired();
    queueRealTimers();
    return coreTakeEvent(event);
}

bool waitEvent(WindowEvent& event) {
    HeadlessClock& clock = headlessClock();
    for (;;) {
        if (peekEvent(event)) {
            return true;
        }
        uint64_t dueMs = 0;
        if (!coreNextDue(dueMs)) {
            return false;  // no event, no timer, no user: nothing can ever come
        }
        uint64_t nowMs = clockMs();
        uint64_t waitMs = dueMs > nowMs ? dueMs - nowMs : 0;
        if (clock.real) {
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        } else {
            headlessAdvance(waitMs);
        }
    }
}

// --- Invalidation and painting --------------------------------------------------------

void endPaint(Window* window) {
    coreEndPaint(window);
}

// --- Timers and clock -------------------------------------------------------------------

uint64_t clockMs() {
    HeadlessClock& clock = headlessClock();
    if (!clock.real) {
        return clock.virtualMs;
    }
    return uint64_t(monotonicMs() - clock.realOffsetMs);
}

void sleepMs(uint32_t ms) {
    if (headlessClock().real) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else {
        headlessAdvance(ms);
    }
}

// --- Headless controls --------------------------------------------------------------------

// Switching keeps the clock continuous, so running timers keep their phase.
void headlessUseRealClock(bool real) {
    HeadlessClock& clock = headlessClock();
    if (real == clock.real) {
        return;
    }
    if (real) {
        clock.realOffsetMs = monotonicMs() - int64_t(clock.virtualMs);
    } else {
        clock.virtualMs = clockMs();
    }
    clock.real = real;
}

// Steps the virtual clock from expiry to expiry: each due timer queues one
// WM_TIMER and moves on by its period. Ignored with the real clock, which
// only time itself moves.
void headlessAdvance(uint64_t ms) {
    HeadlessClock& clock = headlessClock();
    if (clock.real) {
        return;
    }
    uint64_t targetMs = clock.virtualMs + ms;
    while (WindowTimer* timer = coreFirstDue(targetMs)) {
        clock.virtualMs = std::max(clock.virtualMs, timer->dueMs);
        windowCore().queue.push_back(WindowEvent{timer->window, WM_TIMER, timer->id, 0});
        timer->dueMs += timer->periodMs;
    }
    clock.virtualMs = targetMs;
}

void headlessInject(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    coreQueueEvent(window, code, wParam, lParam);
}

void headlessReset() {
    HeadlessClock& clock = headlessClock();
    coreFreeAll();
    clock.real = false;
    clock.virtualMs = 0;
    clock.realOffsetMs = 0;
}

bool headlessTimerActive(const Window* window, uint32_t id) {
    return coreFindTimer(window, id) != nullptr;
}

uint32_t headlessTimerPeriod(const Window* window, uint32_t id) {
    const WindowTimer* timer = coreFindTimer(window, id);
    return timer != nullptr ? timer->periodMs : 0;
}

Rect headlessUpdateRect(const Window* window) {
    if (!coreIsLive(window) || rectIsEmpty(window->update)) {
        return Rect{0, 0, 0, 0};
    }
    return window->update;
}

Window* headlessLastWindow() {
    WindowCore& core = windowCore();
    return core.windows.empty() ? nullptr : core.windows.back();
}
