// Landing, line clearing, attacks in both directions, the loss of a game and
// the fun-mode start patterns; the start of the own board for a new game.
//
// Wire order of one landing: RowsCleared, Lines, per garbage row RowAdded then
// its CellChanges, one CellChanges per fun block, then the next piece's
// CellChanges, or Lost when a garbage row, a fun block or the next piece
// finds no room.
#pragma once

#include <cstdint>

#include "engine/board.h"

// The fall timer's period in milliseconds per speed level. Indexed by the
// level itself, 1..9; index 0 is no level and holds 0.
constexpr int SPEED_LEVEL_MIN = 1;
constexpr int SPEED_LEVEL_MAX = 9;
extern const int32_t levelDelayMs[SPEED_LEVEL_MAX + 1];
// levelDelayMs of a level limited to 1..9 (never the unused index 0).
uint32_t fallDelayMs(int32_t speedLevel);

// --- Landing ----------------------------------------------------------------

// After every landing and at a game's start: removes and reports full rows,
// restarts the fall timer, inserts pending attacks and spawns the next piece
// into list (shown with a whole-window repaint), or loses the game.
void lockAndContinue(CellChange* list);
// Pending garbage rows, then pending fun blocks. False when the game was lost
// on the way (a fun block that finds no room leaves loseGame to the caller).
bool insertAttacks();
// Sends Lost, stops the fall, logs, repaints and starts the own fade-out.
// Does nothing unless a game is being played.
void loseGame();

// --- Rows of the Board --------------------------------------------------------

// The first row from the top without an EMPTY_CELL, or -1.
int32_t findFullRow();
// Removes row r: the rows above move down one, row 0 becomes empty.
void collapseRows(int32_t row);
// Moves every row up one and empties row 19; false (and nothing changed) when
// row 0 holds a filled cell.
bool pushBoardUp();
// Fills an empty bottom row with random garbage (never all ten cells) and
// records the filled cells; the list stays empty if row 19 was not empty.
void fillBottomRow(CellChange* list);

// --- Fun-mode start patterns ----------------------------------------------------

// Random colours in columns 0 and 9 of rows 10..19 (20 entries).
void funPatternSides(CellChange* list);
// 24 random cells in rows 15..19, each cell listed once with its last code.
void funPatternScatter(CellChange* list);

// --- Game start ---------------------------------------------------------------------

// The own board's part of a new game, after the handler has logged it,
// stopped the fade-outs and reset the opponents: sets playing, zeroes the
// pending attacks and linesCleared, empties the Board and greys the image,
// repaints the window, sends BoardCleared, in fun mode lays and sends the two
// start patterns, draws the first preview and calls lockAndContinue.
void startOwnGame();
