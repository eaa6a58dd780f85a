// The dialog manager: controls, focus, keyboard and mouse, painting and the
// modal loop. One record per open dialog, found by its window.
#include "startup/dialog.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/surface.h"
#include "platform/text.h"

namespace {

// --- Records ----------------------------------------------------------------

struct DialogItem {
    const DialogItemTemplate* source;
    Rect rect;       // client pixels, right and bottom exclusive
    EditField edit;  // edit fields only
};

struct Dialog {
    Window* window;
    WindowProc procedure;
    std::vector<DialogItem> items;
    int32_t focus;          // index into items, -1: none
    bool ended;             // endDialog was called (or the window is gone)
    intptr_t result;        // the value of the first endDialog
    bool destroyed;         // WM_DESTROY has run: the window is gone
    int32_t mouseButton;    // button item held down by the mouse, -1: none
    bool mouseInside;       // the pointer is over that button
    bool mouseSelecting;    // the mouse went down in the focused edit field and is held
    bool spaceDown;         // Space went down on the focused button
    bool shiftHeld;
    bool controlHeld;
};

// Open dialogs; a modal dialog may in principle open another.
std::vector<Dialog*>& openDialogs() {
    static std::vector<Dialog*> dialogs;
    return dialogs;
}

Dialog* findDialog(const Window* window) {
    for (Dialog* dialog : openDialogs()) {
        if (dialog->window == window) {
            return dialog;
        }
    }
    return nullptr;
}

int32_t findItem(const Dialog& dialog, int32_t id) {
    for (size_t index = 0; index < dialog.items.size(); ++index) {
        if (dialog.items[index].source->id == id) {
            return int32_t(index);
        }
    }
    return -1;
}

bool isKind(const Dialog& dialog, int32_t index, ControlKind kind) {
    return index >= 0 && index < int32_t(dialog.items.size()) && dialog.items[size_t(index)].source->kind == kind;
}

// --- Geometry ---------------------------------------------------------------------

constexpr int32_t EDIT_BORDER = 2;   // sunken frame, two pixels each side
constexpr int32_t EDIT_MARGIN = 2;   // between the frame and the text

int32_t fontTextWidth(const std::string& text) {
    Rect extent = measureText(text.c_str(), 0, 0);
    return extent.right - extent.left;
}

// The area the edit field's text is drawn in.
Rect editTextArea(const DialogItem& item) {
    return Rect{item.rect.left + EDIT_BORDER + EDIT_MARGIN, item.rect.top + EDIT_BORDER,
                item.rect.right - EDIT_BORDER - EDIT_MARGIN, item.rect.bottom - EDIT_BORDER};
}

int32_t editTextTop(const DialogItem& item) {
    return item.rect.top + (item.rect.bottom - item.rect.top - textLineHeight()) / 2;
}

bool contains(const Rect& rect, int32_t x, int32_t y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
    if (result.right < result.left) result.right = result.left;
    if (result.bottom < result.top) result.bottom = result.top;
    return result;
}

void invalidateItem(Dialog& dialog, int32_t index) {
    if (!dialog.destroyed && index >= 0 && index < int32_t(dialog.items.size())) {
        invalidateRect(dialog.window, &dialog.items[size_t(index)].rect);
    }
}

void editChanged(Dialog& dialog, int32_t index) {
    DialogItem& item = dialog.items[size_t(index)];
    Rect area = editTextArea(item);
    editScrollToCaret(item.edit, area.right - area.left, fontTextWidth);
    invalidateItem(dialog, index);
}

// --- Focus and commands -------------------------------------------------------------

void moveFocus(Dialog& dialog, int32_t index) {
    if (index == dialog.focus) {
        return;
    }
    invalidateItem(dialog, dialog.focus);
    dialog.spaceDown = false;
    dialog.focus = index;
    invalidateItem(dialog, index);
}

// Tab and Shift+Tab: the next control with a tab stop, in template order,
// wrapping around. An edit field reached this way gets its text selected.
void tabFocus(Dialog& dialog, bool backwards) {
    int32_t count = int32_t(dialog.items.size());
    int32_t index = dialog.focus;
    for (int32_t step = 0; step < count; ++step) {
        index = backwards ? (index <= 0 ? count - 1 : index - 1) : (index + 1) % count;
        if (dialog.items[size_t(index)].source->tabStop) {
            moveFocus(dialog, index);
            if (isKind(dialog, index, ControlKind::EditField)) {
                editSelect(dialog.items[size_t(index)].edit, 0, -1);
                editChanged(dialog, index);
            }
            return;
        }
    }
}

// Sends the command of a control id; the procedure may end or destroy the dialog.
void sendCommand(Dialog& dialog, int32_t id) {
    sendEvent(dialog.window, WM_COMMAND, uintptr_t(uint32_t(id) & 0xFFFF), 0);
}

int32_t defaultButton(const Dialog& dialog) {
    for (size_t index = 0; index < dialog.items.size(); ++index) {
        const DialogItemTemplate& source = *dialog.items[index].source;
        if (source.kind == ControlKind::PushButton && source.defaultButton) {
            return int32_t(index);
        }
    }
    return -1;
}

// --- Keyboard ---------------------------------------------------------------------

void keyDown(Dialog& dialog, uint32_t key) {
    switch (key) {
    case VK_SHIFT:
        dialog.shiftHeld = true;
        return;
    case VK_CONTROL:
        dialog.controlHeld = true;
        return;
    case VK_TAB:
        tabFocus(dialog, dialog.shiftHeld);
        return;
    case VK_RETURN: {
        int32_t target = isKind(dialog, dialog.focus, ControlKind::PushButton) ? dialog.focus : defaultButton(dialog);
        sendCommand(dialog, target >= 0 ? dialog.items[size_t(target)].source->id : IDOK);
        return;
    }
    case VK_ESCAPE:
        sendCommand(dialog, IDCANCEL);
        return;
    default:
        break;
    }

    if (isKind(dialog, dialog.focus, ControlKind::PushButton)) {
        if (key == VK_SPACE && !dialog.spaceDown) {
            dialog.spaceDown = true;
            invalidateItem(dialog, dialog.focus);
        }
        return;
    }
    if (!isKind(dialog, dialog.focus, ControlKind::EditField)) {
        return;
    }
    EditField& edit = dialog.items[size_t(dialog.focus)].edit;
    Selection selection = dialog.shiftHeld ? Selection::Extend : Selection::Collapse;
    switch (key) {
    case VK_BACK:
        editBackspace(edit);
        break;
    case VK_DELETE:
        editDelete(edit);
        break;
    case VK_LEFT:
        editMoveCaret(edit, CaretMove::Left, selection);
        break;
    case VK_RIGHT:
        editMoveCaret(edit, CaretMove::Right, selection);
        break;
    case VK_HOME:
        editMoveCaret(edit, CaretMove::Home, selection);
        break;
    case VK_END:
        editMoveCaret(edit, CaretMove::End, selection);
        break;
    case 'A':
        if (!dialog.controlHeld) {
            return;
        }
        editSelect(edit, 0, -1);
        break;
    default:
        return;
    }
    editChanged(dialog, dialog.focus);
}

void keyUp(Dialog& dialog, uint32_t key) {
    if (key == VK_SHIFT) {
        dialog.shiftHeld = false;
    } else if (key == VK_CONTROL) {
        dialog.controlHeld = false;
    } else if (key == VK_SPACE && dialog.spaceDown) {
        dialog.spaceDown = false;
        invalidateItem(dialog, dialog.focus);
        if (isKind(dialog, dialog.focus, ControlKind::PushButton)) {
            sendCommand(dialog, dialog.items[size_t(dialog.focus)].source->id);
        }
    }
}

void character(Dialog& dialog, uint32_t codePoint) {
    if (!isKind(dialog, dialog.focus, ControlKind::EditField) || dialog.controlHeld) {
        return;
    }
    if (editTypeCharacter(dialog.items[size_t(dialog.focus)].edit, codePoint)) {
        editChanged(dialog, dialog.focus);
    }
}

// --- Mouse ------------------------------------------------------------------------

int32_t pointX(intptr_t lParam) {
    return int16_t(uint16_t(uintptr_t(lParam) & 0xFFFF));
}

int32_t pointY(intptr_t lParam) {
    return int16_t(uint16_t((uintptr_t(lParam) >> 16) & 0xFFFF));
}

void placeCaretAt(Dialog& dialog, int32_t index, int32_t x, Selection selection) {
    DialogItem& item = dialog.items[size_t(index)];
    int32_t position = editIndexAt(item.edit, x - editTextArea(item).left, fontTextWidth);
    editPlaceCaret(item.edit, position, selection);
    editChanged(dialog, index);
}

void mouseDown(Dialog& dialog, int32_t x, int32_t y) {
    for (size_t index = 0; index < dialog.items.size(); ++index) {
        const DialogItem& item = dialog.items[index];
        if (!contains(item.rect, x, y) || item.source->kind == ControlKind::StaticText) {
            continue;
        }
        moveFocus(dialog, int32_t(index));
        if (item.source->kind == ControlKind::EditField) {
            dialog.mouseSelecting = true;
            placeCaretAt(dialog, int32_t(index), x, dialog.shiftHeld ? Selection::Extend : Selection::Collapse);
        } else {
            dialog.mouseButton = int32_t(index);
            dialog.mouseInside = true;
            invalidateItem(dialog, int32_t(index));
        }
        return;
    }
}

void mouseMove(Dialog& dialog, int32_t x, int32_t y) {
    if (dialog.mouseSelecting && isKind(dialog, dialog.focus, ControlKind::EditField)) {
        placeCaretAt(dialog, dialog.focus, x, Selection::Extend);
    }
    if (dialog.mouseButton >= 0) {
        bool inside = contains(dialog.items[size_t(dialog.mouseButton)].rect, x, y);
        if (inside != dialog.mouseInside) {
            dialog.mouseInside = inside;
            invalidateItem(dialog, dialog.mouseButton);
        }
    }
}

void mouseUp(Dialog& dialog, int32_t x, int32_t y) {
    dialog.mouseSelecting = false;
    int32_t button = dialog.mouseButton;
    if (button < 0) {
        return;
    }
    dialog.mouseButton = -1;
    dialog.mouseInside = false;
    invalidateItem(dialog, button);
    if (contains(dialog.items[size_t(button)].rect, x, y)) {
        sendCommand(dialog, dialog.items[size_t(button)].source->id);
    }
}

// --- Painting -----------------------------------------------------------------------

constexpr Color BLACK = rgb(0, 0, 0);
constexpr Color WHITE = rgb(255, 255, 255);
constexpr Color SHADOW = rgb(160, 160, 160);
constexpr Color DARK_SHADOW = rgb(105, 105, 105);
constexpr Color LIGHT = rgb(227, 227, 227);

void horizontalLine(Surface& surface, int32_t left, int32_t right, int32_t y, Color color) {
    fillRect(surface, Rect{left, y, right, y + 1}, color);
}

void verticalLine(Surface& surface, int32_t x, int32_t top, int32_t bottom, Color color) {
    fillRect(surface, Rect{x, top, x + 1, bottom}, color);
}

// A one-pixel frame: top and left in one colour, bottom and right in another.
void bevel(Surface& surface, const Rect& rect, Color topLeft, Color bottomRight) {
    horizontalLine(surface, rect.left, rect.right - 1, rect.top, topLeft);
    verticalLine(surface, rect.left, rect.top, rect.bottom - 1, topLeft);
    horizontalLine(surface, rect.left, rect.right, rect.bottom - 1, bottomRight);
    verticalLine(surface, rect.right - 1, rect.top, rect.bottom, bottomRight);
}

Rect inset(const Rect& rect, int32_t by) {
    return Rect{rect.left + by, rect.top + by, rect.right - by, rect.bottom - by};
}

// Every other pixel of a rectangle's outline: the keyboard focus mark.
void dottedFrame(Surface& surface, const Rect& rect) {
    for (int32_t x = rect.left; x < rect.right; x += 2) {
        setPixel(surface, x, rect.top, BLACK);
        setPixel(surface, x, rect.bottom - 1, BLACK);
    }
    for (int32_t y = rect.top; y < rect.bottom; y += 2) {
        setPixel(surface, rect.left, y, BLACK);
        setPixel(surface, rect.right - 1, y, BLACK);
    }
}

void drawStaticText(Surface& surface, const DialogItem& item, const Rect& update) {
    Rect clip = intersect(update, item.rect);
    setClipRect(surface, &clip);
    setTextColor(surface, BLACK);
    setTextBackground(surface, DIALOG_FACE_COLOR);
    drawText(surface, item.source->text, item.rect.left, item.rect.top);
}

void drawTextPart(Surface& surface, const std::string& text, int32_t x, int32_t y, Color color, Color background) {
    if (text.empty()) {
        return;
    }
    setTextColor(surface, color);
    setTextBackground(surface, background);
    drawText(surface, text.c_str(), x, y);
}

void drawEditField(Surface& surface, const DialogItem& item, bool focused, const Rect& update) {
    Rect clip = intersect(update, item.rect);
    setClipRect(surface, &clip);
    bevel(surface, item.rect, SHADOW, WHITE);
    bevel(surface, inset(item.rect, 1), DARK_SHADOW, LIGHT);
    fillRect(surface, inset(item.rect, EDIT_BORDER), WHITE);

    Rect area = editTextArea(item);
    Rect textClip = intersect(clip, area);
    setClipRect(surface, &textClip);
    const EditField& edit = item.edit;
    int32_t origin = area.left - edit.scroll;
    int32_t top = editTextTop(item);
    // The selection shows only while the field has the focus.
    int32_t start = focused ? editSelectionStart(edit) : 0;
    int32_t end = focused ? editSelectionEnd(edit) : 0;
    std::string before = edit.text.substr(0, size_t(start));
    std::string selected = edit.text.substr(size_t(start), size_t(end - start));
    std::string after = edit.text.substr(size_t(end));
    int32_t selectedX = origin + fontTextWidth(before);
    int32_t afterX = origin + fontTextWidth(edit.text.substr(0, size_t(end)));
    drawTextPart(surface, before, origin, top, BLACK, WHITE);
    drawTextPart(surface, selected, selectedX, top, WHITE, DIALOG_HIGHLIGHT_COLOR);
    drawTextPart(surface, after, afterX, top, BLACK, WHITE);
    if (focused) {
        int32_t caretX = area.left + editCaretX(edit, edit.caret, fontTextWidth);
        // Just inside the text area also at the very end of a scrolled text.
        caretX = std::min(caretX, area.right - 1);
        verticalLine(surface, caretX, top, top + textLineHeight(), BLACK);
    }
}

void drawPushButton(Surface& surface, const DialogItem& item, bool focused, bool pushed, const Rect& update) {
    Rect clip = intersect(update, item.rect);
    setClipRect(surface, &clip);
    Rect face = item.rect;
    if (item.source->defaultButton || focused) {
        // The default button carries an extra black frame.
        bevel(surface, face, BLACK, BLACK);
        face = inset(face, 1);
    }
    if (pushed) {
        bevel(surface, face, SHADOW, SHADOW);
        fillRect(surface, inset(face, 1), DIALOG_FACE_COLOR);
    } else {
        bevel(surface, face, WHITE, BLACK);
        bevel(surface, inset(face, 1), DIALOG_FACE_COLOR, SHADOW);
        fillRect(surface, inset(face, 2), DIALOG_FACE_COLOR);
    }
    int32_t shift = pushed ? 1 : 0;
    Rect captionArea{face.left + shift, face.top + (face.bottom - face.top - textLineHeight()) / 2 + shift,
                     face.right + shift, face.bottom};
    setTextColor(surface, BLACK);
    setTextBackground(surface, DIALOG_FACE_COLOR);
    drawTextCentered(surface, item.source->text, captionArea);
    if (focused) {
        dottedFrame(surface, inset(face, 3));
    }
}

void paintDialog(Dialog& dialog) {
    Rect update;
    Surface* surface = beginPaint(dialog.window, update);
    if (!surface) {
        return;
    }
    fillRect(*surface, update, DIALOG_FACE_COLOR);
    for (size_t index = 0; index < dialog.items.size(); ++index) {
        const DialogItem& item = dialog.items[index];
        bool focused = dialog.focus == int32_t(index);
        switch (item.source->kind) {
        case ControlKind::StaticText:
            drawStaticText(*surface, item, update);
            break;
        case ControlKind::EditField:
            drawEditField(*surface, item, focused, update);
            break;
        case ControlKind::PushButton: {
            bool pushed = (dialog.mouseButton == int32_t(index) && dialog.mouseInside) || (focused && dialog.spaceDown);
            drawPushButton(*surface, item, focused, pushed, update);
            break;
        }
        }
    }
    setClipRect(*surface, &update);
    endPaint(dialog.window);
}

// --- The window procedure of every dialog ------------------------------------------------

intptr_t dialogWindowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    Dialog* dialog = findDialog(window);
    if (!dialog) {
        return defaultWindowProc(window, code, wParam, lParam);
    }
    switch (code) {
    case WM_KEYDOWN:
        keyDown(*dialog, uint32_t(wParam));
        return 0;
    case WM_KEYUP:
        keyUp(*dialog, uint32_t(wParam));
        return 0;
    case WM_CHAR:
        character(*dialog, uint32_t(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        mouseDown(*dialog, pointX(lParam), pointY(lParam));
        return 0;
    case WM_MOUSEMOVE:
        mouseMove(*dialog, pointX(lParam), pointY(lParam));
        return 0;
    case WM_LBUTTONUP:
        mouseUp(*dialog, pointX(lParam), pointY(lParam));
        return 0;
    default:
        break;
    }

    intptr_t handled = dialog->procedure(window, code, wParam, lParam);
    switch (code) {
    case WM_DESTROY:
        dialog->destroyed = true;
        dialog->ended = true;
        return 0;
    case WM_ACTIVATE:
        // Keys held while the dialog was inactive are not known to be down.
        dialog->shiftHeld = false;
        dialog->controlHeld = false;
        if (!handled && dialog->focus < 0) {
            tabFocus(*dialog, false);
        }
        return 0;
    case WM_PAINT:
        if (!handled) {
            paintDialog(*dialog);
        }
        return 0;
    case WM_CLOSE:
        if (!handled) {
            sendCommand(*dialog, IDCANCEL);
        }
        return 0;
    default:
        return handled;
    }
}

}  // namespace

// --- Geometry -------------------------------------------------------------------------

DialogBaseUnits dialogBaseUnits() {
    // The average width of the 52 Latin letters, rounded as Windows rounds it.
    Rect letters = measureText("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 0, 0);
    int32_t averageWidth = ((letters.right - letters.left) / 26 + 1) / 2;
    return DialogBaseUnits{std::max(averageWidth, 1), std::max(textLineHeight(), 1)};
}

Rect dialogUnitsToPixels(const DialogBaseUnits& base, int32_t x, int32_t y, int32_t width, int32_t height) {
    int32_t left = x * base.x / 4;
    int32_t top = y * base.y / 8;
    return Rect{left, top, left + width * base.x / 4, top + height * base.y / 8};
}

// --- Lifetime ---------------------------------------------------------------------------

Window* createDialog(const DialogTemplate& dialogTemplate, WindowProc procedure, intptr_t initParam) {
    DialogBaseUnits base = dialogBaseUnits();
    Rect client = dialogUnitsToPixels(base, 0, 0, dialogTemplate.width, dialogTemplate.height);
    Window* window = createWindow(dialogTemplate.title, client.right, client.bottom, dialogWindowProc);
    if (!window) {
        return nullptr;
    }
    setWindowBackground(window, DIALOG_FACE_COLOR);
    centerWindow(window);

    Dialog* dialog = new Dialog{};
    dialog->window = window;
    dialog->procedure = procedure;
    dialog->focus = -1;
    dialog->mouseButton = -1;
    for (int32_t index = 0; index < dialogTemplate.itemCount; ++index) {
        const DialogItemTemplate& source = dialogTemplate.items[index];
        DialogItem item{};
        item.source = &source;
        item.rect = dialogUnitsToPixels(base, source.x, source.y, source.width, source.height);
        editSetText(item.edit, source.kind == ControlKind::EditField && source.text ? source.text : "");
        dialog->items.push_back(item);
    }
    openDialogs().push_back(dialog);
    invalidateRect(window, nullptr);
    sendEvent(window, WM_INITDIALOG, 0, initParam);
    return window;
}

intptr_t runDialog(Window* window) {
    Dialog* dialog = findDialog(window);
    if (!dialog) {
        return 0;
    }
    while (!dialog->ended) {
        WindowEvent event;
        if (!waitEvent(event)) {
            break;  // nothing can arrive any more
        }
        if (event.code == WM_QUIT) {
            // Leave the quit request for the loop that owns it.
            postQuitMessage(int(intptr_t(event.wParam)));
            break;
        }
        dispatchEvent(event);
    }
    // The result is taken before the window goes: WM_DESTROY may call
    // endDialog again, which must not replace it.
    intptr_t result = dialog->ended ? dialog->result : 0;
    dialog->ended = true;
    if (!dialog->destroyed) {
        destroyWindow(window);
    }
    std::vector<Dialog*>& dialogs = openDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
    delete dialog;
    return result;
}

bool endDialog(Window* window, intptr_t result) {
    Dialog* dialog = findDialog(window);
    if (!dialog || dialog->ended) {
        return false;
    }
    dialog->ended = true;
    dialog->result = result;
    return true;
}

// --- Controls ------------------------------------------------------------------------------

bool setDialogItemText(Window* window, int32_t id, const char* text) {
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0 || !isKind(*dialog, index, ControlKind::EditField)) {
        return false;
    }
    editSetText(dialog->items[size_t(index)].edit, text ? text : "");
    editChanged(*dialog, index);
    return true;
}

int32_t getDialogItemText(Window* window, int32_t id, char* buffer, int32_t size) {
    if (!buffer || size <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0) {
        return 0;
    }
    const DialogItem& item = dialog->items[size_t(index)];
    std::string text = item.source->kind == ControlKind::EditField ? item.edit.text
                                                                    : std::string(item.source->text ? item.source->text : "");
    int32_t count = std::min(int32_t(text.size()), size - 1);
    std::copy(text.begin(), text.begin() + count, buffer);
    buffer[count] = '\0';
    return count;
}

bool setDialogFocus(Window* window, int32_t id) {
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0 || isKind(*dialog, index, ControlKind::StaticText)) {
        return false;
    }
    moveFocus(*dialog, index);
    return true;
}

int32_t dialogFocusId(Window* window) {
    Dialog* dialog = findDialog(window);
    if (!dialog || dialog->focus < 0) {
        return 0;
    }
    return dialog->items[size_t(dialog->focus)].source->id;
}

bool selectDialogItemText(Window* window, int32_t id, int32_t start, int32_t end) {
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0 || !isKind(*dialog, index, ControlKind::EditField)) {
        return false;
    }
    editSelect(dialog->items[size_t(index)].edit, start, end);
    editChanged(*dialog, index);
    return true;
}

bool dialogItemRect(Window* window, int32_t id, Rect& rect) {
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0) {
        return false;
    }
    rect = dialog->items[size_t(index)].rect;
    return true;
}

const EditField* dialogEditField(Window* window, int32_t id) {
    Dialog* dialog = findDialog(window);
    int32_t index = dialog ? findItem(*dialog, id) : -1;
    if (index < 0 || !isKind(*dialog, index, ControlKind::EditField)) {
        return nullptr;
    }
    return &dialog->items[size_t(index)].edit;
}
