// Movement of the falling piece, clientState().currentPiece, over the Board.
//
// Every operation but pieceFits starts its list afresh and leaves it
// terminated; a refused move leaves it empty and changes nothing. A null list
// is accepted: the piece and the Board change, nothing is recorded. Callers:
//   1. ChangeList list;  2. one operation;  3. applyChanges(list, false);
//   4. after hardDrop, or stepDown returning false: lockAndContinue(list).
#pragma once

#include <cstdint>

#include "engine/board.h"

// Where a new piece appears.
constexpr int32_t SPAWN_X = 2;
constexpr int32_t SPAWN_Y = -2;

enum Direction : int32_t {
    DIRECTION_LEFT = -1,
    DIRECTION_RIGHT = 1,
};

// True when every cell lies in columns 0..9, rows 0..19, on an EMPTY_CELL.
// The cells are examined in ShapeTable order; aboveTop (optional) tells
// whether the first failing cell lies above the top row.
bool pieceFits(int32_t type, int32_t x, int32_t y, int32_t rotation, bool* aboveTop = nullptr);

// The preview becomes the falling piece at the spawn position and a new
// preview type is drawn (also when the spawn then fails). True with the four
// piece cells recorded if it fits; false with an empty list otherwise.
bool spawnPiece(CellChange* list);

// One column left or right.
void moveSideways(Direction direction, CellChange* list);
// As far as the piece fits, stopping before the first position that does not.
void slideToWall(Direction direction, CellChange* list);
// A quarter turn anticlockwise; pushed down below the top row when needed,
// never shifted sideways.
void rotatePiece(CellChange* list);
// One row down: true when moved; false when it landed (stamped into the Board,
// empty list).
bool stepDown(CellChange* list);
// Straight down as far as it fits, then stamped: the piece always lands.
void hardDrop(CellChange* list);
