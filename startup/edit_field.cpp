// The single-line edit field's text model.
#include "startup/edit_field.h"

#include <algorithm>

#include "platform/text.h"

namespace {

int32_t textLength(const EditField& field) {
    return int32_t(field.text.size());
}

int32_t clampIndex(const EditField& field, int32_t index) {
    return std::clamp(index, 0, textLength(field));
}

void removeSelection(EditField& field) {
    int32_t start = editSelectionStart(field);
    field.text.erase(size_t(start), size_t(editSelectionEnd(field) - start));
    field.caret = start;
    field.anchor = start;
}

// C0 controls, DEL and the C1 controls are never inserted.
bool isControlCharacter(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

void editSetText(EditField& field, const std::string& text) {
    field.text = text.substr(0, text.find('\0'));
    field.caret = 0;
    field.anchor = 0;
    field.scroll = 0;
}

void editSelect(EditField& field, int32_t start, int32_t end) {
    if (end < 0) {
        end = textLength(field);
    }
    field.anchor = clampIndex(field, start);
    field.caret = clampIndex(field, end);
}

bool editHasSelection(const EditField& field) {
    return field.caret != field.anchor;
}

int32_t editSelectionStart(const EditField& field) {
    return std::min(field.caret, field.anchor);
}

int32_t editSelectionEnd(const EditField& field) {
    return std::max(field.caret, field.anchor);
}

bool editTypeCharacter(EditField& field, uint32_t codePoint) {
    if (isControlCharacter(codePoint)) {
        return false;
    }
    int byte = unicodeToCp1252(codePoint);
    if (byte <= 0) {
        return false;
    }
    removeSelection(field);
    field.text.insert(field.text.begin() + field.caret, char(byte));
    field.caret += 1;
    field.anchor = field.caret;
    return true;
}

bool editBackspace(EditField& field) {
    if (editHasSelection(field)) {
        removeSelection(field);
        return true;
    }
    if (field.caret == 0) {
        return false;
    }
    field.text.erase(size_t(field.caret - 1), 1);
    field.caret -= 1;
    field.anchor = field.caret;
    return true;
}

bool editDelete(EditField& field) {
    if (editHasSelection(field)) {
        removeSelection(field);
        return true;
    }
    if (field.caret >= textLength(field)) {
        return false;
    }
    field.text.erase(size_t(field.caret), 1);
    return true;
}

void editMoveCaret(EditField& field, CaretMove move, Selection selection) {
    int32_t target = field.caret;
    switch (move) {
    case CaretMove::Left:
        // Without Shift a selection collapses to its left end.
        target = selection == Selection::Collapse && editHasSelection(field) ? editSelectionStart(field)
                                                                             : field.caret - 1;
        break;
    case CaretMove::Right:
        target = selection == Selection::Collapse && editHasSelection(field) ? editSelectionEnd(field)
                                                                             : field.caret + 1;
        break;
    case CaretMove::Home:
        target = 0;
        break;
    case CaretMove::End:
        target = textLength(field);
        break;
    }
    editPlaceCaret(field, target, selection);
}

void editPlaceCaret(EditField& field, int32_t index, Selection selection) {
    field.caret = clampIndex(field, index);
    if (selection == Selection::Collapse) {
        field.anchor = field.caret;
    }
}

int32_t editCaretX(const EditField& field, int32_t index, TextWidthFunction width) {
    index = clampIndex(field, index);
    return width(field.text.substr(0, size_t(index))) - field.scroll;
}

int32_t editIndexAt(const EditField& field, int32_t x, TextWidthFunction width) {
    int32_t target = x + field.scroll;
    int32_t previous = 0;
    for (int32_t index = 1; index <= textLength(field); ++index) {
        int32_t next = width(field.text.substr(0, size_t(index)));
        if (target < next) {
            // Nearer to which edge of this character?
            return target - previous < next - target ? index - 1 : index;
        }
        previous = next;
    }
    return textLength(field);
}

void editScrollToCaret(EditField& field, int32_t visibleWidth, TextWidthFunction width) {
    if (visibleWidth < 1) {
        visibleWidth = 1;
    }
    int32_t caretX = width(field.text.substr(0, size_t(clampIndex(field, field.caret))));
    if (caretX < field.scroll) {
        field.scroll = caretX;
    } else if (caretX >= field.scroll + visibleWidth) {
        field.scroll = caretX - visibleWidth + 1;
    }
    // Never leave blank space at the right while text is scrolled out at the left.
    int32_t total = width(field.text);
    int32_t maximum = std::max(0, total - visibleWidth + 1);
    field.scroll = std::clamp(field.scroll, 0, maximum);
}
