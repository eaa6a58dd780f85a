// The login dialogs on the headless backend: the dialog is created, events
// are injected as a user would cause them, then its modal loop runs. Also the
// edit field's text model on its own, with a fixed-width font.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/text.h"
#include "platform/window.h"
#include "startup/dialog.h"
#include "startup/edit_field.h"
#include "startup/login_dialog.h"
#include "tests/startup/settings_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes storedSettings(const std::string& nick, const std::string& address) {
    Bytes bytes;
    auto length = [&bytes](size_t value) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(value >> shift));
    };
    length(nick.size());
    bytes.insert(bytes.end(), nick.begin(), nick.end());
    length(address.size());
    bytes.insert(bytes.end(), address.begin(), address.end());
    return bytes;
}

struct FreeText {
    void operator()(char* text) const { free(text); }
};
using Result = std::unique_ptr<char, FreeText>;

class LoginDialog : public SettingsDirectory {
protected:
    void SetUp() override {
        SettingsDirectory::SetUp();
        headlessReset();
        resetClientState();
        ASSERT_TRUE(platformInit());
        ASSERT_TRUE(textInit());
    }
    void TearDown() override {
        // A dialog a test left open ends through its close box, so that its
        // records are released.
        if (window) {
            headlessInject(window, WM_CLOSE, 0, 0);
            free(reinterpret_cast<char*>(runDialog(window)));
        }
        headlessReset();
        SettingsDirectory::TearDown();
    }

    Window* open(LoginDialogKind kind) {
        window = createLoginDialog(kind);
        EXPECT_NE(window, nullptr);
        return window;
    }
    void type(const char32_t* text) {
        for (; *text; ++text) headlessInject(window, WM_CHAR, uintptr_t(*text), 0);
    }
    void press(uint32_t key) {
        headlessInject(window, WM_KEYDOWN, key, 0);
        headlessInject(window, WM_KEYUP, key, 0);
    }
    void withShift(uint32_t key) {
        headlessInject(window, WM_KEYDOWN, VK_SHIFT, 0);
        press(key);
        headlessInject(window, WM_KEYUP, VK_SHIFT, 0);
    }
    void mouse(uint32_t code, int32_t x, int32_t y) { headlessInject(window, code, 0, pointParam(x, y)); }
    // Handles everything queued, paints included, without ending the dialog.
    void pump() {
        WindowEvent event;
        while (peekEvent(event)) dispatchEvent(event);
    }
    Result run() {
        Result result(reinterpret_cast<char*>(runDialog(window)));
        window = nullptr;
        return result;
    }
    std::string fieldText() {
        const EditField* field = dialogEditField(window, LOGIN_EDIT_ID);
        return field ? field->text : "<no field>";
    }
    Rect itemRect(int32_t id) {
        Rect rect{};
        EXPECT_TRUE(dialogItemRect(window, id, rect));
        return rect;
    }

    Window* window = nullptr;
};

// --- Preload ------------------------------------------------------------------------

TEST_F(LoginDialog, PreloadedNickIsSelectedWholeAndReplacedByTheFirstKey) {
    writeSettingsFile(storedSettings("Bob", "10.0.0.1"));
    open(LoginDialogKind::Nick);
    pump();
    EXPECT_EQ(fieldText(), "Bob");
    const EditField* field = dialogEditField(window, LOGIN_EDIT_ID);
    EXPECT_EQ(editSelectionStart(*field), 0);
    EXPECT_EQ(editSelectionEnd(*field), 3);
    type(U"x");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "x");
}

TEST_F(LoginDialog, EachDialogPreloadsItsOwnField) {
    struct Case {
        LoginDialogKind kind;
        Bytes file;
        const char* shown;
    };
    const Case cases[] = {
        {LoginDialogKind::Nick, storedSettings("Bob", "10.0.0.1"), "Bob"},
        {LoginDialogKind::ServerAddress, storedSettings("Bob", "10.0.0.1"), "10.0.0.1"},
        {LoginDialogKind::ServerAddress, storedSettings("Bob", ""), ""},
        {LoginDialogKind::Nick, storedSettings("", "1.2.3.4"), ""},
        {LoginDialogKind::ServerAddress, storedSettings("", "1.2.3.4"), "1.2.3.4"},
        {LoginDialogKind::Nick, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("expect '") + c.shown + "'");
        headlessReset();
        writeSettingsFile(c.file);
        open(c.kind);
        press(VK_RETURN);
        Result result = run();
        ASSERT_NE(result, nullptr);
        EXPECT_STREQ(result.get(), c.shown);
    }
}

TEST_F(LoginDialog, PreloadHappensOnceAndFocusReturnsAtEveryActivation) {
    writeSettingsFile(storedSettings("Bob", ""));
    open(LoginDialogKind::Nick);
    pump();
    ClientState& s = clientState();
    EXPECT_FALSE(s.preloadNick);
    EXPECT_FALSE(s.preloadAddress);
    EXPECT_EQ(dialogFocusId(window), LOGIN_EDIT_ID);

    press(VK_TAB);
    pump();
    EXPECT_EQ(dialogFocusId(window), LOGIN_OK_ID);
    writeSettingsFile(storedSettings("Eve", ""));
    headlessInject(window, WM_ACTIVATE, 0, 0);
    pump();
    EXPECT_EQ(dialogFocusId(window), LOGIN_EDIT_ID);
    headlessInject(window, WM_ACTIVATE, 1, 0);
    pump();
    EXPECT_EQ(fieldText(), "Bob");
}

TEST_F(LoginDialog, FlagIsClearedAlsoWithoutASettingsFile) {
    open(LoginDialogKind::ServerAddress);
    EXPECT_TRUE(clientState().preloadAddress);
    EXPECT_FALSE(clientState().preloadNick);
    pump();
    EXPECT_FALSE(clientState().preloadAddress);
    EXPECT_EQ(fieldText(), "");
}

TEST_F(LoginDialog, LongPreloadIsShownWholeButOkReturnsFifteen) {
    writeSettingsFile(storedSettings("ABCDEFGHIJKLMNOPQRSTUVWXYZ", ""));
    open(LoginDialogKind::Nick);
    pump();
    EXPECT_EQ(fieldText(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "ABCDEFGHIJKLMNO");
}

// --- Ending -----------------------------------------------------------------------------

TEST_F(LoginDialog, TypedTextOfSixteenOrMoreIsCutToFifteen) {
    open(LoginDialogKind::Nick);
    type(U"0123456789abcdefghij");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "0123456789abcde");
}

TEST_F(LoginDialog, OkOnAnEmptyFieldGivesAnEmptyText) {
    open(LoginDialogKind::ServerAddress);
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "");
}

TEST_F(LoginDialog, EscapeDoesNothing) {
    open(LoginDialogKind::Nick);
    type(U"ab");
    press(VK_ESCAPE);
    pump();
    EXPECT_EQ(windowFrame(window) != nullptr, true);  // still open
    type(U"c");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "abc");
}

TEST_F(LoginDialog, CloseBoxEndsWithoutResultAndWritesNothing) {
    writeSettingsFile(storedSettings("Bob", "1.2.3.4"));
    open(LoginDialogKind::Nick);
    type(U"new");
    headlessInject(window, WM_CLOSE, 0, 0);
    press(VK_RETURN);  // never reaches the destroyed dialog
    Result result = run();
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(windowFrame(window), nullptr);
    EXPECT_EQ(readSettingsFile(), storedSettings("Bob", "1.2.3.4"));
}

TEST_F(LoginDialog, ClickOnOkNeedsPressAndReleaseInside) {
    open(LoginDialogKind::Nick);
    pump();
    Rect ok = itemRect(LOGIN_OK_ID);
    int32_t x = (ok.left + ok.right) / 2;
    int32_t y = (ok.top + ok.bottom) / 2;
    type(U"ab");
    mouse(WM_LBUTTONDOWN, x, y);
    mouse(WM_MOUSEMOVE, ok.right + 5, y);
    mouse(WM_LBUTTONUP, ok.right + 5, y);  // released outside: no click
    pump();
    ASSERT_NE(windowFrame(window), nullptr);
    // The click moved the focus to the button; typing needs the field again.
    press(VK_TAB);
    type(U"c");
    mouse(WM_LBUTTONDOWN, x, y);
    mouse(WM_LBUTTONUP, x, y);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "c");  // Tab into the field selected "ab"
}

TEST_F(LoginDialog, TabOrderFollowsTheTemplates) {
    for (LoginDialogKind kind : {LoginDialogKind::Nick, LoginDialogKind::ServerAddress}) {
        headlessReset();
        open(kind);
        pump();
        EXPECT_EQ(dialogFocusId(window), LOGIN_EDIT_ID);
        press(VK_TAB);
        pump();
        EXPECT_EQ(dialogFocusId(window), LOGIN_OK_ID);
        press(VK_TAB);
        pump();
        EXPECT_EQ(dialogFocusId(window), LOGIN_EDIT_ID);
        withShift(VK_TAB);
        pump();
        EXPECT_EQ(dialogFocusId(window), LOGIN_OK_ID);
        // Space on the focused button clicks it.
        press(VK_SPACE);
        Result result = run();
        ASSERT_NE(result, nullptr);
        EXPECT_STREQ(result.get(), "");
    }
}

TEST_F(LoginDialog, EnterOnTheFocusedButtonClicksIt) {
    open(LoginDialogKind::ServerAddress);
    type(U"1.2.3.4");
    press(VK_TAB);
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "1.2.3.4");
}

// --- Typing and editing --------------------------------------------------------------------

TEST_F(LoginDialog, CharactersAreStoredAsWindows1252) {
    open(LoginDialogKind::Nick);
    // ä, €, then characters that are refused: outside Windows-1252, control
    // characters (also Backspace and Enter as characters), DEL, a C1 control.
    type(U"\u00E4\u20AC\u4E2D\U0001F600\b\r\t\x7F\u0081z");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "\xE4\x80z");
}

TEST_F(LoginDialog, EditingKeys) {
    struct Step {
        const char32_t* typed;  // typed first, may be empty
        std::vector<uint32_t> keys;
        bool shift;             // the keys with Shift held
        const char* field;      // field text afterwards
    };
    const Step steps[] = {
        {U"abcd", {VK_LEFT, VK_LEFT, VK_BACK}, false, "acd"},
        {U"", {VK_DELETE}, false, "ad"},
        {U"", {VK_HOME}, false, "ad"},
        {U"X", {VK_BACK, VK_BACK}, false, "ad"},  // second Backspace at the start does nothing
        {U"Y", {VK_END}, false, "Yad"},
        {U"Z", {VK_DELETE, VK_RIGHT}, false, "YadZ"},
        {U"", {VK_LEFT, VK_LEFT}, true, "YadZ"},  // selects "dZ"
        {U"q", {}, false, "Yaq"},
        {U"", {VK_HOME}, true, "Yaq"},  // selects everything from the caret to the start
        {U"", {VK_RIGHT}, false, "Yaq"},  // collapses to the right end: caret at 3
        {U"!", {}, false, "Yaq!"},
        {U"", {VK_HOME, VK_DELETE, VK_END, VK_BACK}, false, "aq"},
    };
    open(LoginDialogKind::Nick);
    pump();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.field);
        type(step.typed);
        for (uint32_t key : step.keys) {
            if (step.shift) withShift(key); else press(key);
        }
        pump();
        EXPECT_EQ(fieldText(), step.field);
    }
}

TEST_F(LoginDialog, ControlASelectsAll) {
    open(LoginDialogKind::Nick);
    type(U"abc");
    headlessInject(window, WM_KEYDOWN, VK_CONTROL, 0);
    press('A');
    headlessInject(window, WM_KEYUP, VK_CONTROL, 0);
    type(U"z");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "z");
}

TEST_F(LoginDialog, MouseClickPlacesTheCaret) {
    open(LoginDialogKind::Nick);
    type(U"abcdef");
    pump();
    Rect field = itemRect(LOGIN_EDIT_ID);
    Rect before = measureText("abc", 0, 0);
    int32_t textLeft = field.left + 4;  // two pixels of frame, two of margin
    mouse(WM_LBUTTONDOWN, textLeft + before.right, (field.top + field.bottom) / 2);
    mouse(WM_LBUTTONUP, textLeft + before.right, (field.top + field.bottom) / 2);
    type(U"X");
    press(VK_RETURN);
    Result result = run();
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result.get(), "abcXdef");
}

TEST_F(LoginDialog, LongTextScrollsToKeepTheCaretVisible) {
    open(LoginDialogKind::Nick);
    type(U"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    pump();
    Rect field = itemRect(LOGIN_EDIT_ID);
    int32_t visible = field.right - field.left - 8;
    const EditField* edit = dialogEditField(window, LOGIN_EDIT_ID);
    auto width = [](const std::string& text) {
        Rect extent = measureText(text.c_str(), 0, 0);
        return extent.right;
    };
    ASSERT_GT(width(edit->text), visible);
    EXPECT_GT(edit->scroll, 0);
    int32_t caretX = editCaretX(*edit, edit->caret, width);
    EXPECT_GE(caretX, 0);
    EXPECT_LT(caretX, visible);
    press(VK_HOME);
    pump();
    EXPECT_EQ(edit->scroll, 0);
}

// --- Geometry and pixels -----------------------------------------------------------------

TEST_F(LoginDialog, ControlsArePlacedInDialogUnits) {
    DialogBaseUnits base = dialogBaseUnits();
    ASSERT_GT(base.x, 0);
    EXPECT_EQ(base.y, textLineHeight());
    for (LoginDialogKind kind : {LoginDialogKind::Nick, LoginDialogKind::ServerAddress}) {
        headlessReset();
        open(kind);
        EXPECT_EQ(windowClientWidth(window), 156 * base.x / 4);
        EXPECT_EQ(windowClientHeight(window), 36 * base.y / 8);
        int32_t editRow = kind == LoginDialogKind::Nick ? 16 : 15;
        EXPECT_EQ(itemRect(LOGIN_EDIT_ID), dialogUnitsToPixels(base, 6, editRow, 90, 14));
        EXPECT_EQ(itemRect(LOGIN_OK_ID), dialogUnitsToPixels(base, 100, 16, 50, 14));
        EXPECT_EQ(itemRect(-1), dialogUnitsToPixels(base, 6, 6, 143, 8));
        headlessInject(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(run(), nullptr);
    }
    EXPECT_EQ(dialogUnitsToPixels(DialogBaseUnits{7, 16}, 6, 15, 90, 14), (Rect{10, 30, 167, 58}));
}

TEST_F(LoginDialog, PaintsFaceFieldSelectionCaretAndDefaultButton) {
    writeSettingsFile(storedSettings("Bob", ""));
    open(LoginDialogKind::Nick);
    pump();
    Surface* frame = windowFrame(window);
    ASSERT_NE(frame, nullptr);
    Rect field = itemRect(LOGIN_EDIT_ID);
    Rect ok = itemRect(LOGIN_OK_ID);
    EXPECT_EQ(getPixel(*frame, 1, 1), DIALOG_FACE_COLOR);
    EXPECT_EQ(getPixel(*frame, frame->width - 2, frame->height - 2), DIALOG_FACE_COLOR);
    // Sunken field: darker top-left edge, white inside at the right end.
    EXPECT_EQ(getPixel(*frame, field.left, field.top), rgb(160, 160, 160));
    EXPECT_EQ(getPixel(*frame, field.right - 4, field.bottom - 4), rgb(255, 255, 255));
    // The default button's black frame.
    EXPECT_EQ(getPixel(*frame, ok.left, (ok.top + ok.bottom) / 2), rgb(0, 0, 0));
    EXPECT_EQ(getPixel(*frame, ok.right - 1, (ok.top + ok.bottom) / 2), rgb(0, 0, 0));

    auto countInField = [&](Color color) {
        int count = 0;
        for (int32_t y = field.top + 2; y < field.bottom - 2; ++y)
            for (int32_t x = field.left + 2; x < field.right - 2; ++x) count += getPixel(*frame, x, y) == color;
        return count;
    };
    // "Bob" selected: highlighted background, white glyphs on it.
    EXPECT_GT(countInField(DIALOG_HIGHLIGHT_COLOR), 50);

    // After typing, the selection is gone and a caret stands after the text.
    type(U"i");
    pump();
    EXPECT_EQ(countInField(DIALOG_HIGHLIGHT_COLOR), 0);
    int32_t caretX = field.left + 4 + measureText("i", 0, 0).right;
    int32_t middle = (field.top + field.bottom) / 2;
    EXPECT_EQ(getPixel(*frame, caretX, middle), rgb(0, 0, 0));
    EXPECT_EQ(getPixel(*frame, caretX + 3, middle), rgb(255, 255, 255));
}

TEST_F(LoginDialog, PressedButtonIsDrawnSunken) {
    open(LoginDialogKind::Nick);
    pump();
    Surface* frame = windowFrame(window);
    Rect ok = itemRect(LOGIN_OK_ID);
    // Raised: white inner top-left edge inside the default frame.
    EXPECT_EQ(getPixel(*frame, ok.left + 1, ok.top + 3), rgb(255, 255, 255));
    mouse(WM_LBUTTONDOWN, ok.left + 5, ok.top + 5);
    pump();
    EXPECT_EQ(getPixel(*frame, ok.left + 1, ok.top + 3), rgb(160, 160, 160));
    mouse(WM_MOUSEMOVE, 1, 1);
    pump();
    EXPECT_EQ(getPixel(*frame, ok.left + 1, ok.top + 3), rgb(255, 255, 255));
}

TEST_F(LoginDialog, NothingMoreToComeEndsWithoutResult) {
    open(LoginDialogKind::Nick);
    type(U"abc");
    EXPECT_EQ(run(), nullptr);
}

// --- The edit field's model with a font of 10 pixels per character ---------------------------

int32_t tenPerCharacter(const std::string& text) {
    return int32_t(text.size()) * 10;
}

TEST(EditFieldModel, SelectionReplacementAndCaretMoves) {
    EditField field{};
    editSetText(field, "hello");
    EXPECT_EQ(field.caret, 0);
    editSelect(field, 0, -1);
    EXPECT_EQ(field.caret, 5);
    EXPECT_TRUE(editHasSelection(field));
    EXPECT_TRUE(editTypeCharacter(field, 'J'));
    EXPECT_EQ(field.text, "J");
    EXPECT_FALSE(editHasSelection(field));
    EXPECT_FALSE(editTypeCharacter(field, 0x263A));  // not in Windows-1252
    EXPECT_FALSE(editTypeCharacter(field, 0x1B));
    EXPECT_EQ(field.text, "J");
    editSelect(field, 7, 99);  // clamped
    EXPECT_EQ(field.caret, 1);
    EXPECT_EQ(field.anchor, 1);
    EXPECT_FALSE(editDelete(field));
    EXPECT_TRUE(editBackspace(field));
    EXPECT_FALSE(editBackspace(field));
    editSetText(field, std::string("ab\0cd", 5));
    EXPECT_EQ(field.text, "ab");
}

TEST(EditFieldModel, IndexAtPicksTheNearerEdge) {
    EditField field{};
    editSetText(field, "abcd");
    struct Case {
        int32_t x;
        int32_t index;
    };
    for (Case c : {Case{-5, 0}, Case{0, 0}, Case{4, 0}, Case{6, 1}, Case{25, 3}, Case{39, 4}, Case{400, 4}}) {
        EXPECT_EQ(editIndexAt(field, c.x, tenPerCharacter), c.index) << "x " << c.x;
    }
    field.scroll = 20;
    EXPECT_EQ(editIndexAt(field, 0, tenPerCharacter), 2);
}

TEST(EditFieldModel, ScrollFollowsTheCaret) {
    EditField field{};
    editSetText(field, "0123456789");  // 100 pixels
    editMoveCaret(field, CaretMove::End, Selection::Collapse);
    editScrollToCaret(field, 50, tenPerCharacter);
    EXPECT_EQ(field.scroll, 51);  // caret at 100 shows at x 49
    editMoveCaret(field, CaretMove::Left, Selection::Collapse);
    editScrollToCaret(field, 50, tenPerCharacter);
    EXPECT_EQ(field.scroll, 51);  // still visible: no scrolling
    editPlaceCaret(field, 3, Selection::Collapse);
    editScrollToCaret(field, 50, tenPerCharacter);
    EXPECT_EQ(field.scroll, 30);
    // Deleting text never leaves the field scrolled past the text's end.
    field.text = "012345";
    editPlaceCaret(field, 6, Selection::Collapse);
    field.scroll = 40;
    editScrollToCaret(field, 50, tenPerCharacter);
    EXPECT_EQ(field.scroll, 11);
    field.text = "01";
    editPlaceCaret(field, 2, Selection::Collapse);
    editScrollToCaret(field, 50, tenPerCharacter);
    EXPECT_EQ(field.scroll, 0);
}

}  // namespace
