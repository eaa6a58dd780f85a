// The text model of a single-line edit field: Windows-1252 text, a caret, a
// selection and a horizontal scroll offset. No drawing and no platform calls;
// widths come from the caller, so the model can be tested with any font.
#pragma once

#include <cstdint>
#include <string>

struct EditField {
    std::string text;  // Windows-1252 bytes; never holds a NUL or a control character from typing
    int32_t caret;     // byte index 0..text.size(): the caret stands before this byte
    int32_t anchor;    // the selection's other end; equal to caret when nothing is selected
    int32_t scroll;    // pixels of the text scrolled out at the left, >= 0
};

// Width in pixels of a text drawn in the field's font.
using TextWidthFunction = int32_t (*)(const std::string& text);

enum class CaretMove { Left, Right, Home, End };
enum class Selection { Collapse, Extend };  // what a caret move does to the selection

// Text and selection
void editSetText(EditField& field, const std::string& text);  // caret at 0, no selection, no scroll
// Selects from start to end (end -1: to the end of the text); the caret goes
// to end. Out-of-range indices are clamped.
void editSelect(EditField& field, int32_t start, int32_t end);
bool editHasSelection(const EditField& field);
int32_t editSelectionStart(const EditField& field);
int32_t editSelectionEnd(const EditField& field);

// Typing: a Unicode code point, stored as its Windows-1252 byte in place of
// the selection. Refused (false, nothing changes) for control characters
// and for code points Windows-1252 cannot represent.
bool editTypeCharacter(EditField& field, uint32_t codePoint);
// Backspace and Delete: remove the selection, else one byte before or after
// the caret. False when nothing was removed.
bool editBackspace(EditField& field);
bool editDelete(EditField& field);

// Caret
void editMoveCaret(EditField& field, CaretMove move, Selection selection);
void editPlaceCaret(EditField& field, int32_t index, Selection selection);
// The caret index nearest to x, x measured from the text's origin with the
// scroll offset applied (x = 0 is the field's first visible pixel of text).
int32_t editIndexAt(const EditField& field, int32_t x, TextWidthFunction width);
// Pixel position of a caret index, relative to the first visible text pixel.
int32_t editCaretX(const EditField& field, int32_t index, TextWidthFunction width);

// Scrolls just far enough that the caret is within [0, visibleWidth), and
// no further right than needed to show the end of the text.
void editScrollToCaret(EditField& field, int32_t visibleWidth, TextWidthFunction width);
