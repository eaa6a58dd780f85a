// The window functions whose whole work lies in the shared window core, the
// same for both backends. Compiled into each backend library, not into the
// common platform library, since they use the backend's clock and window.
#include "platform/window.h"

#include "platform/window_core.h"

// --- Windows ---------------------------------------------------------------------------

int32_t windowClientWidth(const Window* window) {
    return coreIsLive(window) ? window->frame->width : 0;
}

int32_t windowClientHeight(const Window* window) {
    return coreIsLive(window) ? window->frame->height : 0;
}

void setWindowBackground(Window* window, Color color) {
    coreSetBackground(window, color);
}

Surface* windowFrame(Window* window) {
    return coreIsLive(window) ? window->frame : nullptr;
}

// --- Event queue ------------------------------------------------------------------------

intptr_t dispatchEvent(const WindowEvent& event) {
    return coreDispatch(event);
}

intptr_t sendEvent(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    return coreSend(window, code, wParam, lParam);
}

intptr_t defaultWindowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    (void)wParam;
    (void)lParam;
    return coreDefaultProc(window, code);
}

void postQuitMessage(int exitCode) {
    corePostQuit(exitCode);
}

// --- Invalidation and painting ----------------------------------------------------------

void invalidateRect(Window* window, const Rect* rect) {
    coreInvalidate(window, rect);
}

bool getUpdateRect(Window* window, Rect& update) {
    return coreGetUpdateRect(window, update);
}

Surface* beginPaint(Window* window, Rect& update) {
    return coreBeginPaint(window, update);
}

// --- Timers ------------------------------------------------------------------------------

bool setTimer(Window* window, uint32_t id, uint32_t periodMs) {
    return coreSetTimer(window, id, periodMs, clockMs());
}

bool killTimer(Window* window, uint32_t id) {
    return coreKillTimer(window, id);
}
