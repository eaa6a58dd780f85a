// A small dialog manager: modal dialogs built from templates of static
// texts, single-line edit fields and push buttons, placed in dialog units.
//
// A dialog's procedure sees the events of its window first (WM_ACTIVATE,
// WM_COMMAND, WM_CLOSE, WM_DESTROY, WM_INITDIALOG, WM_PAINT, WM_TIMER) and
// returns nonzero when it handled one; for 0 the manager does the default:
// painting, and WM_CLOSE as a Cancel command. Keyboard and mouse input goes
// to the controls: typing and editing keys to the focused edit field, Tab and
// Shift+Tab through the controls with a tab stop in template order, Enter
// clicks the focused button or else the default button, Escape sends the
// Cancel command, Space and the mouse click buttons. A click sends
// WM_COMMAND with the button's id in the low word of wParam.
//
// Dialog units: x_px = x * baseX / 4, y_px = y * baseY / 8, where baseX is
// the average character width of the font and baseY its line height.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/window.h"
#include "startup/edit_field.h"

constexpr uint32_t WM_INITDIALOG = 0x0110;  // lParam: the value given to createDialog
constexpr uint32_t WM_COMMAND = 0x0111;     // wParam low word: control id
constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;             // Escape, and the default of WM_CLOSE

constexpr Color DIALOG_FACE_COLOR = rgb(240, 240, 240);
constexpr Color DIALOG_HIGHLIGHT_COLOR = rgb(0, 120, 215);  // selected text's background

enum class ControlKind : uint8_t { StaticText, EditField, PushButton };

struct DialogItemTemplate {
    ControlKind kind;
    int32_t id;          // -1 for controls nobody addresses
    const char* text;    // Windows-1252; the caption, or an edit field's initial text
    int16_t x, y;        // dialog units
    int16_t width, height;
    bool tabStop;
    bool defaultButton;  // Enter clicks it when no button has the focus
};

struct DialogTemplate {
    const char* title;
    int16_t width, height;  // client area, dialog units
    const DialogItemTemplate* items;
    int32_t itemCount;
};

struct DialogBaseUnits {
    int32_t x;  // average character width of the font
    int32_t y;  // line height of the font
};

// Geometry
DialogBaseUnits dialogBaseUnits();
Rect dialogUnitsToPixels(const DialogBaseUnits& base, int32_t x, int32_t y, int32_t width, int32_t height);

// Lifetime. createDialog makes the window (centred, face colour), sends
// WM_INITDIALOG and returns it; null when no window can be made. runDialog
// runs the modal loop until endDialog or until the window is destroyed,
// destroys the window if it still exists, and returns the result (0 when the
// window went away without endDialog, or when no event can come any more).
Window* createDialog(const DialogTemplate& dialogTemplate, WindowProc procedure, intptr_t initParam);
intptr_t runDialog(Window* dialog);
// Ends the modal loop with a result. Only the first call counts: false when
// the dialog has already ended (the caller keeps ownership of its result).
bool endDialog(Window* dialog, intptr_t result);

// Controls by id
bool setDialogItemText(Window* dialog, int32_t id, const char* text);
// Copies at most size - 1 bytes and a terminating zero; returns the bytes copied.
int32_t getDialogItemText(Window* dialog, int32_t id, char* buffer, int32_t size);
bool setDialogFocus(Window* dialog, int32_t id);
int32_t dialogFocusId(Window* dialog);  // 0 when no control has the focus
// Selection of an edit field: end -1 means the end of the text.
bool selectDialogItemText(Window* dialog, int32_t id, int32_t start, int32_t end);

// Inspection (tests, painting checks)
bool dialogItemRect(Window* dialog, int32_t id, Rect& rect);
const EditField* dialogEditField(Window* dialog, int32_t id);
