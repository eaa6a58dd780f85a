// Controls of the headless backend, for tests and the bot.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Virtual clock (the default): time moves only by headlessAdvance and sleepMs.
// Real clock: clockMs reads the monotonic clock and timers fire as time passes.
void headlessUseRealClock(bool real);
// Moves the virtual clock forward; every timer that falls due is queued as a
// WM_TIMER event in due order (a timer due several times is queued that often).
void headlessAdvance(uint64_t ms);
// Appends an event to the queue, as if the user had caused it.
void headlessInject(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam);
// Drops every window, queued event and timer, and resets the clock to 0.
void headlessReset();
// Inspection
bool headlessTimerActive(const Window* window, uint32_t id);
uint32_t headlessTimerPeriod(const Window* window, uint32_t id);  // 0 when not active
Rect headlessUpdateRect(const Window* window);                   // empty when valid
Window* headlessLastWindow();                                    // the newest window
