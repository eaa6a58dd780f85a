// The nick dialog and the server-address dialog.
//
// Both are 156 x 36 dialog units: a caption line at (6, 6), an edit field
// 90 x 14 and the default button "OK" 50 x 14 at (100, 16). They differ in
// the caption, in the edit field's row (16 in the nick dialog, 15 in the
// address dialog) and in the tab order (nick: field, OK; address: OK, field).
#include "startup/login_dialog.h"

#include <cstdlib>
#include <string>

#include "core/client_state.h"
#include "core/constants.h"
#include "platform/console.h"
#include "platform/text.h"
#include "startup/dialog.h"
#include "startup/settings.h"

namespace {

constexpr int32_t RESULT_SIZE = 16;  // at most 15 characters and the terminator

const DialogItemTemplate NICK_ITEMS[] = {
    {ControlKind::StaticText, -1, "Bitte gib deinen (Nick-)Namen hier ein:", 6, 6, 143, 8, false, false},
    {ControlKind::EditField, LOGIN_EDIT_ID, "", 6, 16, 90, 14, true, false},
    {ControlKind::PushButton, LOGIN_OK_ID, "OK", 100, 16, 50, 14, true, true},
};

const DialogItemTemplate ADDRESS_ITEMS[] = {
    {ControlKind::StaticText, -1, "IP-Adresse des kobal-Servers:", 6, 6, 143, 8, false, false},
    {ControlKind::PushButton, LOGIN_OK_ID, "OK", 100, 16, 50, 14, true, true},
    {ControlKind::EditField, LOGIN_EDIT_ID, "", 6, 15, 90, 14, true, false},
};

const DialogTemplate NICK_DIALOG = {WINDOW_TITLE, 156, 36, NICK_ITEMS, 3};
const DialogTemplate ADDRESS_DIALOG = {WINDOW_TITLE, 156, 36, ADDRESS_ITEMS, 3};

// Shows a stored text in the field, selected whole so that typing replaces it.
void preload(Window* dialog, const std::string& text) {
    if (text.empty()) {
        return;
    }
    setDialogItemText(dialog, LOGIN_EDIT_ID, text.c_str());
    selectDialogItemText(dialog, LOGIN_EDIT_ID, 0, -1);
}

}  // namespace

intptr_t loginDialogProc(Window* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ClientState& s = clientState();
    (void)lParam;
    switch (message) {
    case WM_ACTIVATE:
        setDialogFocus(dialog, LOGIN_EDIT_ID);
        if (s.preloadNick) {
            s.preloadNick = false;
            preload(dialog, readStoredNick());
        } else if (s.preloadAddress) {
            s.preloadAddress = false;
            preload(dialog, readStoredAddress());
        }
        return 0;
    case WM_COMMAND: {
        if ((wParam & 0xFFFF) != uintptr_t(LOGIN_OK_ID)) {
            return 0;  // Escape's Cancel and everything else do nothing
        }
        char* text = static_cast<char*>(malloc(RESULT_SIZE));
        if (!text) {
            return 1;  // the dialog stays open; OK can be tried again
        }
        getDialogItemText(dialog, LOGIN_EDIT_ID, text, RESULT_SIZE);
        if (!endDialog(dialog, reinterpret_cast<intptr_t>(text))) {
            free(text);
        }
        return 1;
    }
    case WM_CLOSE:
        destroyWindow(dialog);
        return 1;
    case WM_DESTROY:
        endDialog(dialog, 0);
        return 1;
    default:
        return 0;
    }
}

Window* createLoginDialog(LoginDialogKind kind) {
    ClientState& s = clientState();
    bool nick = kind == LoginDialogKind::Nick;
    s.preloadNick = nick;
    s.preloadAddress = !nick;
    return createDialog(nick ? NICK_DIALOG : ADDRESS_DIALOG, loginDialogProc, 0);
}

char* runLoginDialog(LoginDialogKind kind) {
    Window* dialog = nullptr;
    if (platformInit() && textInit()) {
        dialog = createLoginDialog(kind);
    }
    if (!dialog) {
        consolePrintf("Warnung: Der Dialog kann nicht angezeigt werden.\n");
        return nullptr;
    }
    return reinterpret_cast<char*>(runDialog(dialog));
}
