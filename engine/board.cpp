// The own board: shape table, palette, cell drawing, recorders and the one
// path (applyChanges) by which single-cell changes reach image and wire.
#include "engine/board.h"

#include "core/client_state.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "protocol/send.h"
#include "ui/layout.h"

const ShapeTable SHAPE_TABLE = {
    // 0: bar of four
    {{{1, 2}, {2, 2}, {3, 2}, {4, 2}},
     {{3, 0}, {3, 1}, {3, 2}, {3, 3}},
     {{1, 2}, {2, 2}, {3, 2}, {4, 2}},
     {{3, 0}, {3, 1}, {3, 2}, {3, 3}}},
    // 1: square
    {{{2, 3}, {3, 3}, {2, 2}, {3, 2}},
     {{2, 3}, {3, 3}, {2, 2}, {3, 2}},
     {{2, 3}, {3, 3}, {2, 2}, {3, 2}},
     {{2, 3}, {3, 3}, {2, 2}, {3, 2}}},
    // 2: T
    {{{2, 2}, {3, 2}, {4, 2}, {3, 3}},
     {{3, 2}, {3, 3}, {3, 4}, {4, 3}},
     {{3, 2}, {2, 3}, {3, 3}, {4, 3}},
     {{2, 3}, {3, 2}, {3, 3}, {3, 4}}},
    // 3: L
    {{{2, 2}, {3, 2}, {4, 2}, {2, 3}},
     {{3, 2}, {3, 3}, {3, 4}, {4, 4}},
     {{2, 3}, {3, 3}, {4, 2}, {4, 3}},
     {{2, 2}, {3, 2}, {3, 3}, {3, 4}}},
    // 4: J
    {{{2, 2}, {3, 2}, {4, 2}, {4, 3}},
     {{3, 2}, {3, 3}, {3, 4}, {4, 2}},
     {{2, 2}, {2, 3}, {3, 3}, {4, 3}},
     {{2, 4}, {3, 2}, {3, 3}, {3, 4}}},
    // 5: S
    {{{2, 3}, {3, 2}, {3, 3}, {4, 2}},
     {{3, 2}, {3, 3}, {4, 3}, {4, 4}},
     {{2, 3}, {3, 2}, {3, 3}, {4, 2}},
     {{3, 2}, {3, 3}, {4, 3}, {4, 4}}},
    // 6: Z
    {{{2, 2}, {3, 2}, {3, 3}, {4, 3}},
     {{3, 3}, {3, 4}, {4, 2}, {4, 3}},
     {{2, 2}, {3, 2}, {3, 3}, {4, 3}},
     {{3, 3}, {3, 4}, {4, 2}, {4, 3}}},
};

const Palette PALETTE = {
    {0x000000FA, 0x000000BC, 0x0000007D},  // 0 red
    {0x0000F000, 0x0000A800, 0x00007000},  // 1 green
    {0x00F08040, 0x00D86000, 0x007C4000},  // 2 blue
    {0x0000B0D0, 0x00008096, 0x00006070},  // 3 olive
    {0x00B0B000, 0x00808000, 0x00606000},  // 4 teal
    {0x00FA00FA, 0x00BC00BC, 0x007D007D},  // 5 magenta
    {0x00FA00BC, 0x00BC007D, 0x007D001F},  // 6 purple
    {BOARD_GREY, BOARD_GREY, BOARD_GREY},  // EMPTY_CELL: flat background
    {0x00FFFFFF, BOARD_GREY, 0x00808080},  // GREY_CELL
};

void drawCell(Surface& surface, int32_t code, int32_t column, int32_t row, int32_t originX, int32_t originY) {
    if (code < 0 || code >= CELL_CODES) return;
    const CellColors& colors = PALETTE[code];
    int32_t x = originX + CELL_SIZE * column;
    int32_t y = originY + CELL_SIZE * row;
    const int32_t last = CELL_SIZE - 1;

    // Light: the top row right to left, then the left column downwards.
    setPenColor(surface, colors.light);
    moveTo(surface, x + last, y);
    lineTo(surface, x, y);
    lineTo(surface, x, y + last);

    // Face: the inside, 14 x 14.
    setPenColor(surface, colors.face);
    setBrushColor(surface, colors.face);
    drawRectangle(surface, x + 1, y + 1, x + last, y + last);

    // Shadow: the bottom row left to right, then the right column upwards.
    setPenColor(surface, colors.shadow);
    moveTo(surface, x, y + last);
    lineTo(surface, x + last, y + last);
    lineTo(surface, x + last, y);
}

void clearBoard() {
    ClientState& s = clientState();
    for (uint8_t& cell : s.board.cells) cell = EMPTY_CELL;
}

void stampPiece(int32_t type, int32_t x, int32_t y, int32_t rotation) {
    ClientState& s = clientState();
    for (const ShapeOffset& offset : SHAPE_TABLE[type][rotation]) {
        boardCell(s.board, x + offset.dx, y + offset.dy) = uint8_t(type);
    }
}

void terminateList(CellChange* list, int32_t count) {
    if (list == nullptr) return;
    list[count].column = -1;
}

int32_t listLength(const CellChange* list) {
    int32_t count = 0;
    if (list == nullptr) return 0;
    while (list[count].column >= 0) ++count;
    return count;
}

void recordErase(int32_t& count, CellChange* list) {
    ClientState& s = clientState();
    if (list == nullptr) return;
    const PieceState& piece = s.currentPiece;
    for (const ShapeOffset& offset : SHAPE_TABLE[piece.type][piece.rotation]) {
        int32_t column = piece.x + offset.dx;
        int32_t row = piece.y + offset.dy;
        list[count] = CellChange{column, row, EMPTY_CELL};
        // A cell outside the board to the left or above is written but not
        // counted, so the next entry (or the terminator) overwrites it.
        if (column >= 0 && row >= 0) ++count;
    }
    terminateList(list, count);
}

void recordPiece(int32_t& count, CellChange* list) {
    ClientState& s = clientState();
    if (list == nullptr) return;
    const PieceState& piece = s.currentPiece;
    // Entries that were there on entry and not yet cancelled lie in
    // [0, earlier); this call's own appends lie behind them.
    int32_t earlier = count;
    for (const ShapeOffset& offset : SHAPE_TABLE[piece.type][piece.rotation]) {
        int32_t column = piece.x + offset.dx;
        int32_t row = piece.y + offset.dy;
        int32_t found = -1;
        for (int32_t i = 0; i < earlier; ++i) {
            if (list[i].column == column && list[i].row == row) {
                found = i;
                break;
            }
        }
        if (found >= 0) {
            // The image already shows this cell in the piece's colour.
            for (int32_t i = found; i + 1 < count; ++i) list[i] = list[i + 1];
            --count;
            --earlier;
        } else {
            list[count] = CellChange{column, row, piece.type};
            ++count;
        }
    }
    terminateList(list, count);
}

void applyChanges(const CellChange* list, bool wholeWindow) {
    ClientState& s = clientState();
    int32_t count = listLength(list);

    if (count > 0) {
        // Entries beyond what a frame can carry are still counted, so that
        // sendMessage sees the true length and refuses it with its warning.
        uint8_t message[MAX_MESSAGE_LENGTH];
        message[0] = 0;
        message[1] = MSG_CELL_CHANGES;
        int length = MESSAGE_HEADER_SIZE + 3 * count;
        if (length <= MAX_MESSAGE_LENGTH) {
            for (int32_t i = 0; i < count; ++i) {
                message[MESSAGE_HEADER_SIZE + 3 * i] = uint8_t(list[i].column);
                message[MESSAGE_HEADER_SIZE + 3 * i + 1] = uint8_t(list[i].row);
                message[MESSAGE_HEADER_SIZE + 3 * i + 2] = uint8_t(list[i].code);
            }
        }
        sendMessage(message, length);

        if (s.ownBoardDc != nullptr) {
            for (int32_t i = 0; i < count; ++i) {
                drawCell(*s.ownBoardDc, list[i].code, list[i].column, list[i].row, 1, 1);
            }
        }
    }

    if (s.mainWindow == nullptr) return;
    if (wholeWindow) {
        invalidateRect(s.mainWindow, nullptr);
    } else if (count > 0) {
        Rect area = ownBoardArea();
        invalidateRect(s.mainWindow, &area);
    }
}
