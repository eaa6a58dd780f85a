// Movement of the falling piece. The piece is not part of the Board while it
// falls, so fit tests never collide with the piece itself.
#include "engine/piece.h"

#include "core/client_state.h"
#include "core/random.h"

namespace {

// Starts a list afresh: no entries, terminated.
int32_t startList(CellChange* list) {
    terminateList(list, 0);
    return 0;
}

}  // namespace

bool pieceFits(int32_t type, int32_t x, int32_t y, int32_t rotation, bool* aboveTop) {
    ClientState& s = clientState();
    if (aboveTop != nullptr) *aboveTop = false;
    for (const ShapeOffset& offset : SHAPE_TABLE[type][rotation]) {
        int32_t column = x + offset.dx;
        int32_t row = y + offset.dy;
        bool fails = column < 0 || column >= BOARD_COLUMNS || row < 0 || row >= BOARD_ROWS ||
                     boardCell(s.board, column, row) != EMPTY_CELL;
        if (fails) {
            if (aboveTop != nullptr) *aboveTop = row < 0;
            return false;
        }
    }
    return true;
}

bool spawnPiece(CellChange* list) {
    ClientState& s = clientState();
    int32_t count = startList(list);
    s.currentPiece = s.nextPiece;
    s.currentPiece.rotation = 0;
    s.currentPiece.x = SPAWN_X;
    s.currentPiece.y = SPAWN_Y;
    // The preview is drawn before the fit test, also for a spawn that fails.
    s.nextPiece.type = randomDraw() % SHAPE_TYPES;

    const PieceState& piece = s.currentPiece;
    if (!pieceFits(piece.type, piece.x, piece.y, piece.rotation)) return false;
    recordPiece(count, list);
    return true;
}

void moveSideways(Direction direction, CellChange* list) {
    ClientState& s = clientState();
    PieceState& piece = s.currentPiece;
    int32_t count = startList(list);
    recordErase(count, list);
    piece.x += direction;
    if (pieceFits(piece.type, piece.x, piece.y, piece.rotation)) {
        recordPiece(count, list);
    } else {
        piece.x -= direction;
        startList(list);
    }
}

void slideToWall(Direction direction, CellChange* list) {
    ClientState& s = clientState();
    PieceState& piece = s.currentPiece;
    int32_t count = startList(list);
    recordErase(count, list);
    int32_t x = piece.x;
    while (pieceFits(piece.type, x + direction, piece.y, piece.rotation)) x += direction;
    if (x != piece.x) {
        piece.x = x;
        recordPiece(count, list);
    } else {
        startList(list);
    }
}

void rotatePiece(CellChange* list) {
    ClientState& s = clientState();
    PieceState& piece = s.currentPiece;
    int32_t count = startList(list);
    recordErase(count, list);
    int32_t rotation = (piece.rotation + 1) % SHAPE_ROTATIONS;
    // A turn that only sticks out above the top row is pushed down; the rows
    // of every cell grow with y, so this ends after at most two more rows.
    for (int32_t y = piece.y;; ++y) {
        bool aboveTop = false;
        if (pieceFits(piece.type, piece.x, y, rotation, &aboveTop)) {
            piece.y = y;
            piece.rotation = rotation;
            recordPiece(count, list);
            return;
        }
        if (!aboveTop) break;
    }
    startList(list);
}

bool stepDown(CellChange* list) {
    ClientState& s = clientState();
    PieceState& piece = s.currentPiece;
    int32_t count = startList(list);
    recordErase(count, list);
    if (pieceFits(piece.type, piece.x, piece.y + 1, piece.rotation)) {
        piece.y += 1;
        recordPiece(count, list);
        return true;
    }
    stampPiece(piece.type, piece.x, piece.y, piece.rotation);
    startList(list);
    return false;
}

void hardDrop(CellChange* list) {
    ClientState& s = clientState();
    PieceState& piece = s.currentPiece;
    int32_t count = startList(list);
    recordErase(count, list);
    while (pieceFits(piece.type, piece.x, piece.y + 1, piece.rotation)) piece.y += 1;
    recordPiece(count, list);
    stampPiece(piece.type, piece.x, piece.y, piece.rotation);
}
