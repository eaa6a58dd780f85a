// The window's layout: measured once at start-up, then fixed.
//
// Left column (x 6 .. B, B = boardLeft - 6): the caption "Nächster Stein:",
// the 66 x 34 preview box below it, the status text, and at the bottom a
// stack of 13 buttons ending at y 328 (Start, Pause, a 3 x 3 grid of speed
// levels, Modus, Reset; each W + 6 high with 4 pixels between rows). Then the
// own board at x boardLeft and one opponent column every 166 pixels from
// boardLeft + 168; all boards span y 6..327, the info texts start at y 334.
#include "ui/layout.h"

#include <cstring>

#include "core/client_state.h"
#include "platform/console.h"
#include "platform/text.h"
#include "platform/window.h"
#include "protocol/send.h"

namespace {

constexpr int32_t MARGIN = 6;           // left edge of the column, top of the boards
constexpr int32_t BUTTON_GAP = 4;       // between button rows and between digit buttons
constexpr int32_t STACK_BOTTOM = 328;   // bottom of the last button = bottom of the boards
constexpr int32_t PREVIEW_HALF = 32;    // half the width of the preview's 4 cells
constexpr int32_t MIN_WINDOW_WIDTH = 252;
constexpr int32_t OPPONENT_PITCH = 166;
constexpr int32_t FIRST_OPPONENT_OFFSET = 168;

const char* const NEXT_CAPTION = "N\xE4" "chster Stein:";
// Measured for its height only: three lines, as every info text has.
const char* const INFO_FORMAT = "%s\r\n%d %s\r\n%d %s";

// onClick adapters: the buttons pass their index, most senders take none.
void clickNewGame(int32_t) {
    sendNewGame();
}
void clickPause(int32_t) {
    sendPauseToggle();
}
void clickResetScores(int32_t) {
    sendResetScores();
}

void setButton(Button& button, const char* label, void (*onClick)(int32_t), int32_t left, int32_t right,
               int32_t top, int32_t height) {
    button.pressed = false;
    button.hover = false;
    strncpy(button.label, label, sizeof button.label - 1);
    button.label[sizeof button.label - 1] = '\0';
    button.onClick = onClick;
    button.rect = Rect{left, top, right, top + height};
}

}  // namespace

void placeLayout(int32_t captionWidth, int32_t lineHeight, int32_t infoTextHeight) {
    ClientState& s = clientState();
    s.nextLabelRect = Rect{MARGIN, MARGIN, MARGIN + captionWidth, MARGIN + lineHeight};
    // The preview's first cell must not start left of the margin: a narrow
    // caption moves right until its centre is 32 pixels past x 6.
    int32_t firstCellX = previewCenterX() - PREVIEW_HALF;
    if (firstCellX < MARGIN) {
        s.nextLabelRect.left += MARGIN - firstCellX;
        s.nextLabelRect.right += MARGIN - firstCellX;
    }
    s.infoTextHeight = infoTextHeight;
    s.buttonTextHeight = lineHeight;

    const int32_t w = lineHeight;
    const int32_t height = w + 6;
    const int32_t b = boardLeft() - MARGIN;  // right edge of the column, inclusive
    Button* buttons = s.buttons;

    setButton(buttons[0], "Start", clickNewGame, MARGIN, b, 262 - 7 * w, height);
    setButton(buttons[1], "Pause", clickPause, MARGIN, b, buttons[0].rect.bottom + BUTTON_GAP, height);

    // First row of digits: the only left and right edges computed; the other
    // rows copy them from the button three places before.
    int32_t rowTop = buttons[1].rect.bottom + BUTTON_GAP;
    int32_t leftRight = (b - 14) / 3 + MARGIN;
    int32_t middleLeft = leftRight + BUTTON_GAP;
    int32_t middleRight = middleLeft + (b - 18) / 3;
    setButton(buttons[2], "1", sendLevel, MARGIN, leftRight, rowTop, height);
    setButton(buttons[3], "2", sendLevel, middleLeft, middleRight, rowTop, height);
    setButton(buttons[4], "3", sendLevel, middleRight + BUTTON_GAP, b, rowTop, height);
    static const char* const DIGITS[] = {"4", "5", "6", "7", "8", "9"};
    for (int index = 5; index <= 10; ++index) {
        const Rect& above = buttons[index - 3].rect;
        setButton(buttons[index], DIGITS[index - 5], sendLevel, above.left, above.right,
                  above.bottom + BUTTON_GAP, height);
    }
    setButton(buttons[11], "Modus", sendModeButton, MARGIN, b, buttons[10].rect.bottom + BUTTON_GAP, height);
    setButton(buttons[12], "Reset", clickResetScores, MARGIN, b, buttons[11].rect.bottom + BUTTON_GAP, height);

    if (buttons[12].rect.bottom != STACK_BOTTOM) {
        consolePrintf("Warnung: Die Button-Positionen sind anders aus als geplant.\n");
    }
}

void computeLayout() {
    textInit();
    Rect caption = measureText(NEXT_CAPTION, MARGIN, MARGIN);
    Rect info = measureText(INFO_FORMAT, 0, 0);
    Rect start = measureText("Start", 0, 0);
    placeLayout(caption.right - caption.left, start.bottom - start.top, info.bottom - info.top);
}

int32_t boardLeft() {
    ClientState& s = clientState();
    return s.nextLabelRect.left + s.nextLabelRect.right;
}

int32_t previewCenterX() {
    ClientState& s = clientState();
    return s.nextLabelRect.left + (s.nextLabelRect.right - s.nextLabelRect.left) / 2;
}

int32_t opponentLeft(int32_t index) {
    return boardLeft() + FIRST_OPPONENT_OFFSET + OPPONENT_PITCH * index;
}

Rect ownBoardArea() {
    int32_t left = boardLeft();
    return Rect{left, BOARD_TOP, left + BOARD_IMAGE_WIDTH, BOARD_TOP + BOARD_IMAGE_HEIGHT};
}

int32_t windowWidthFor(int32_t opponentCount) {
    ClientState& s = clientState();
    int32_t width = s.nextLabelRect.right + 180;
    if (width < MIN_WINDOW_WIDTH) {
        width = MIN_WINDOW_WIDTH;
    }
    return width + OPPONENT_PITCH * opponentCount;
}

int32_t windowHeight() {
    ClientState& s = clientState();
    return s.infoTextHeight + 372;
}

// The client area gets the whole outer size the layout asks for, so it holds
// every board and info text with room to spare; decorations come on top.
bool resizeWindow(int32_t width) {
    ClientState& s = clientState();
    if (!s.mainWindow) {
        return false;
    }
    return resizeWindowClient(s.mainWindow, width, windowHeight());
}
