// The main window's procedure: every window event of the client passes here.
#pragma once

#include <cstdint>

#include "platform/window.h"

intptr_t windowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam);
