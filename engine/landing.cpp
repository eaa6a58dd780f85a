// What follows a landing: full rows removed and reported as an attack,
// received attacks inserted, the next piece spawned or the game lost. Also
// the fun-mode start patterns and the own board's part of a new game.
#include "engine/landing.h"

#include "core/client_state.h"
#include "core/random.h"
#include "engine/piece.h"
#include "platform/console.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "protocol/send.h"
#include "ui/layout.h"

const int32_t levelDelayMs[SPEED_LEVEL_MAX + 1] = {
    0,  // no level 0
    1500, 1200, 900, 700, 500, 350, 200, 120, 80,
};

uint32_t fallDelayMs(int32_t speedLevel) {
    if (speedLevel < SPEED_LEVEL_MIN) speedLevel = SPEED_LEVEL_MIN;
    if (speedLevel > SPEED_LEVEL_MAX) speedLevel = SPEED_LEVEL_MAX;
    return uint32_t(levelDelayMs[speedLevel]);
}

namespace {

// The cell area of a board image: x 1..160, y 1..320.
constexpr int32_t CELL_AREA_LEFT = 1;
constexpr int32_t CELL_AREA_TOP = 1;
constexpr int32_t CELL_AREA_WIDTH = BOARD_COLUMNS * CELL_SIZE;
constexpr int32_t CELL_AREA_HEIGHT = BOARD_ROWS * CELL_SIZE;

// Pixel y of the top of a cell row in a board image.
int32_t rowTop(int32_t row) {
    return CELL_AREA_TOP + CELL_SIZE * row;
}

// Paints one cell row of the own board image flat grey (pen and brush grey).
void paintRowGrey(int32_t row) {
    ClientState& s = clientState();
    if (s.ownBoardDc == nullptr) return;
    Surface& image = *s.ownBoardDc;
    setPenColor(image, BOARD_GREY);
    setBrushColor(image, BOARD_GREY);
    drawRectangle(image, CELL_AREA_LEFT, rowTop(row), CELL_AREA_LEFT + CELL_AREA_WIDTH, rowTop(row) + CELL_SIZE);
}

// Image side of collapseRows(row): cell rows 0..row-1 move down one, row 0 greys.
void imageRemoveRow(int32_t row) {
    ClientState& s = clientState();
    if (s.ownBoardDc != nullptr && row > 0) {
        Surface& image = *s.ownBoardDc;
        copyBlock(image, CELL_AREA_LEFT, rowTop(1), CELL_AREA_WIDTH, CELL_SIZE * row, image, CELL_AREA_LEFT,
                  CELL_AREA_TOP);
    }
    paintRowGrey(0);
}

// Image side of pushBoardUp: cell rows 1..19 move up one, row 19 greys.
void imagePushUp() {
    ClientState& s = clientState();
    if (s.ownBoardDc != nullptr) {
        Surface& image = *s.ownBoardDc;
        copyBlock(image, CELL_AREA_LEFT, CELL_AREA_TOP, CELL_AREA_WIDTH, CELL_AREA_HEIGHT - CELL_SIZE, image,
                  CELL_AREA_LEFT, rowTop(1));
    }
    paintRowGrey(BOARD_ROWS - 1);
}

void invalidateBoardArea() {
    ClientState& s = clientState();
    if (s.mainWindow == nullptr) return;
    Rect area = ownBoardArea();
    invalidateRect(s.mainWindow, &area);
}

void invalidateWindow() {
    ClientState& s = clientState();
    if (s.mainWindow == nullptr) return;
    invalidateRect(s.mainWindow, nullptr);
}

void restartFallTimer() {
    ClientState& s = clientState();
    if (s.mainWindow == nullptr) return;
    killTimer(s.mainWindow, FALL_TIMER_ID);
    setTimer(s.mainWindow, FALL_TIMER_ID, fallDelayMs(s.speedLevel));
}

bool rowIsEmpty(int32_t row) {
    ClientState& s = clientState();
    for (int32_t column = 0; column < BOARD_COLUMNS; ++column) {
        if (boardCell(s.board, column, row) != EMPTY_CELL) return false;
    }
    return true;
}

// Appends {column, row, code} to a list of count entries, first removing an
// entry for the same cell, so each cell is listed once with its last code.
void listReplace(CellChange* list, int32_t& count, int32_t column, int32_t row, int32_t code) {
    for (int32_t i = 0; i < count; ++i) {
        if (list[i].column == column && list[i].row == row) {
            for (int32_t j = i; j + 1 < count; ++j) list[j] = list[j + 1];
            --count;
            break;
        }
    }
    list[count] = CellChange{column, row, code};
    ++count;
}

// Drops the pending fun blocks one by one on the highest point of the stack.
// False when a block finds the topmost filled cell in row 0.
bool dropFunBlocks() {
    ClientState& s = clientState();
    while (s.pendingFunBlocks > 0) {
        int32_t column = BOARD_COLUMNS - 1;
        int32_t row = BOARD_ROWS;  // an empty board: the block lands in row 19
        for (int32_t j = 0; j < BOARD_ROWS && row == BOARD_ROWS; ++j) {
            for (int32_t k = 0; k < BOARD_COLUMNS; ++k) {
                if (boardCell(s.board, k, j) != EMPTY_CELL) {
                    column = k;
                    row = j;
                    break;
                }
            }
        }
        if (row == 0) return false;
        boardCell(s.board, column, row - 1) = GREY_CELL;
        CellChange list[2] = {{column, row - 1, GREY_CELL}, {-1, 0, 0}};
        applyChanges(list, false);
        s.pendingFunBlocks -= 1;
    }
    return true;
}

}  // namespace

// --- Rows of the Board --------------------------------------------------------

int32_t findFullRow() {
    ClientState& s = clientState();
    for (int32_t row = 0; row < BOARD_ROWS; ++row) {
        bool full = true;
        for (int32_t column = 0; column < BOARD_COLUMNS && full; ++column) {
            full = boardCell(s.board, column, row) != EMPTY_CELL;
        }
        if (full) return row;
    }
    return -1;
}

void collapseRows(int32_t row) {
    ClientState& s = clientState();
    if (row < 0 || row >= BOARD_ROWS) return;
    for (int32_t j = row; j >= 1; --j) {
        for (int32_t column = 0; column < BOARD_COLUMNS; ++column) {
            boardCell(s.board, column, j) = boardCell(s.board, column, j - 1);
        }
    }
    for (int32_t column = 0; column < BOARD_COLUMNS; ++column) boardCell(s.board, column, 0) = EMPTY_CELL;
}

bool pushBoardUp() {
    ClientState& s = clientState();
    if (!rowIsEmpty(0)) return false;
    for (int32_t j = 0; j < BOARD_ROWS - 1; ++j) {
        for (int32_t column = 0; column < BOARD_COLUMNS; ++column) {
            boardCell(s.board, column, j) = boardCell(s.board, column, j + 1);
        }
    }
    for (int32_t column = 0; column < BOARD_COLUMNS; ++column) {
        boardCell(s.board, column, BOARD_ROWS - 1) = EMPTY_CELL;
    }
    return true;
}

void fillBottomRow(CellChange* list) {
    ClientState& s = clientState();
    const int32_t bottom = BOARD_ROWS - 1;
    int32_t count = 0;
    terminateList(list, 0);
    if (!rowIsEmpty(bottom)) return;
    // One draw per column, a second for the colour of a filled one.
    for (int32_t column = 0; column < BOARD_COLUMNS; ++column) {
        if (randomDraw() % 7 < 3) {
            int32_t code = randomDraw() % SHAPE_TYPES;
            boardCell(s.board, column, bottom) = uint8_t(code);
            if (list != nullptr) list[count] = CellChange{column, bottom, code};
            ++count;
        }
    }
    // A garbage row is never full: all ten filled empties one again, whose
    // entry (the entry of column k is at index k) then carries EMPTY_CELL.
    if (count == BOARD_COLUMNS) {
        int32_t column = randomDraw() % BOARD_COLUMNS;
        boardCell(s.board, column, bottom) = EMPTY_CELL;
        if (list != nullptr) list[column].code = EMPTY_CELL;
    }
    terminateList(list, count);
}

// --- Landing ------------------------------------------------------------------

void lockAndContinue(CellChange* list) {
    ClientState& s = clientState();
    // The list only ever carries the next piece: empty also when none comes.
    terminateList(list, 0);
    uint8_t rowsCleared[BOARD_ROWS];
    int32_t cleared = 0;
    // A removal leaves a full row fewer, so this ends after 20 at the most.
    for (int32_t row = findFullRow(); row >= 0; row = findFullRow()) {
        collapseRows(row);
        imageRemoveRow(row);
        rowsCleared[cleared] = uint8_t(row);
        ++cleared;
    }

    if (cleared > 0) {
        invalidateBoardArea();
        s.linesCleared += cleared;
        sendRowsCleared(rowsCleared, cleared);
        if (s.funMode || cleared > 1) sendLines(cleared);
    }

    // The next piece always gets a full period before its first tick.
    restartFallTimer();

    if (insertAttacks() && spawnPiece(list)) {
        applyChanges(list, true);
        return;
    }
    loseGame();
}

bool insertAttacks() {
    ClientState& s = clientState();
    while (s.pendingLines > 0) {
        if (!pushBoardUp()) {
            loseGame();
            s.pendingLines = 0;
            return false;
        }
        imagePushUp();
        invalidateBoardArea();
        sendRowAdded();
        ChangeList garbage;
        fillBottomRow(garbage);
        applyChanges(garbage, false);
        s.pendingLines -= 1;
    }
    return dropFunBlocks();
}

void loseGame() {
    ClientState& s = clientState();
    if (!s.playing) return;
    sendLost();
    s.playing = false;
    if (s.mainWindow != nullptr) killTimer(s.mainWindow, FALL_TIMER_ID);
    consolePrintf("Ich habe verloren... -_-\n");
    invalidateWindow();
    s.ownFadeStep = -1;
    if (s.mainWindow != nullptr) setTimer(s.mainWindow, OWN_FADE_TIMER_ID, FADE_PERIOD_MS);
    s.ownFadeActive = true;
}

// --- Fun-mode start patterns ----------------------------------------------------

void funPatternSides(CellChange* list) {
    ClientState& s = clientState();
    int32_t count = 0;
    for (int32_t row = BOARD_ROWS / 2; row < BOARD_ROWS; ++row) {
        int32_t left = randomDraw() % SHAPE_TYPES;
        boardCell(s.board, 0, row) = uint8_t(left);
        int32_t right = randomDraw() % SHAPE_TYPES;
        boardCell(s.board, BOARD_COLUMNS - 1, row) = uint8_t(right);
        if (list != nullptr) {
            list[count++] = CellChange{0, row, left};
            list[count++] = CellChange{BOARD_COLUMNS - 1, row, right};
        }
    }
    terminateList(list, count);
}

void funPatternScatter(CellChange* list) {
    ClientState& s = clientState();
    constexpr int SCATTER_CELLS = 24;
    constexpr int32_t SCATTER_TOP_ROW = 15;
    int32_t count = 0;
    for (int i = 0; i < SCATTER_CELLS; ++i) {
        int32_t column = randomDraw() % BOARD_COLUMNS;
        int32_t row = SCATTER_TOP_ROW + randomDraw() % (BOARD_ROWS - SCATTER_TOP_ROW);
        int32_t code = randomDraw() % SHAPE_TYPES;
        boardCell(s.board, column, row) = uint8_t(code);
        if (list != nullptr) listReplace(list, count, column, row, code);
    }
    terminateList(list, count);
}

// --- Game start ---------------------------------------------------------------------

void startOwnGame() {
    ClientState& s = clientState();
    s.playing = true;
    s.pendingLines = 0;
    s.pendingFunBlocks = 0;
    s.linesCleared = 0;

    clearBoard();
    if (s.ownBoardDc != nullptr) {
        setPenColor(*s.ownBoardDc, BOARD_GREY);
        setBrushColor(*s.ownBoardDc, BOARD_GREY);
        drawRectangle(*s.ownBoardDc, CELL_AREA_LEFT, CELL_AREA_TOP, CELL_AREA_LEFT + CELL_AREA_WIDTH,
                      CELL_AREA_TOP + CELL_AREA_HEIGHT);
    }
    invalidateWindow();
    sendBoardCleared();

    ChangeList list;
    if (s.funMode) {
        funPatternSides(list);
        applyChanges(list, false);
        funPatternScatter(list);
        applyChanges(list, false);
    }
    s.nextPiece.type = randomDraw() % SHAPE_TYPES;
    lockAndContinue(list);
}
