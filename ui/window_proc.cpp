// The main window's procedure: every event of the window passes here.
#include "ui/window_proc.h"

#include "core/client_state.h"
#include "engine/fall.h"
#include "ui/paint.h"

intptr_t windowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    ClientState& s = clientState();
    switch (code) {
    case WM_PAINT:
        paintWindow(window);
        return 0;
    case WM_CLOSE:
        // The window is freed by destroyWindow; forget it so that the
        // shutdown does not touch it again.
        if (s.mainWindow != nullptr) {
            Window* closing = s.mainWindow;
            s.mainWindow = nullptr;
            destroyWindow(closing);
        }
        return 0;
    case WM_DESTROY:
        postQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (wParam == FALL_TIMER_ID && s.playing) {
            fallTick();
            return 0;
        }
        break;
    default:
        break;
    }
    return defaultWindowProc(window, code, wParam, lParam);
}
