// The two login dialogs in parts, so that tests can drive them: create the
// dialog, inject events, then run its modal loop. runLoginDialog
// (startup/login.h) is createLoginDialog followed by runDialog.
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "startup/login.h"

constexpr int32_t LOGIN_EDIT_ID = 1005;
constexpr int32_t LOGIN_OK_ID = 1001;

// Sets the preload flag of the kind (and clears the other one), then makes
// the dialog window; null when no window can be made.
Window* createLoginDialog(LoginDialogKind kind);

// The procedure both dialogs share: focus to the edit field at every
// (de)activation and the one-time preload from the settings file; OK ends
// the dialog with a heap text of at most 15 characters; the close box
// destroys the dialog, which ends it without a result. Nonzero when handled.
intptr_t loginDialogProc(Window* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
