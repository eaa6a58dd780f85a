// The own board: shapes, cell colours, the drawing of one cell, and the change
// lists through which every single-cell change of the own board is drawn into
// the own board image and broadcast as one CellChanges message.
//
// The Board itself, EMPTY_CELL, GREY_CELL and PieceState live in core/types.h.
// Whole-row effects (cleared rows, garbage rows, a new game, the fade-out) move
// the image directly and are reported by their own messages; see landing.h.
#pragma once

#include <cstdint>

#include "core/types.h"

struct Surface;

// --- Shapes -----------------------------------------------------------------

constexpr int SHAPE_TYPES = 7;
constexpr int SHAPE_ROTATIONS = 4;
constexpr int SHAPE_CELLS = 4;

// A cell's offset from the origin of its piece's box.
struct ShapeOffset {
    int32_t dx;  // 1..4
    int32_t dy;  // 0..4
};

// ShapeTable[type][rotation][cell]. The cell order is the order in which fit
// tests look at the cells and the order of the recorders' entries, hence of
// the bytes on the wire: it must never be changed. Rotation r + 1 is rotation
// r turned a quarter turn anticlockwise on the screen.
using ShapeTable = ShapeOffset[SHAPE_TYPES][SHAPE_ROTATIONS][SHAPE_CELLS];
extern const ShapeTable SHAPE_TABLE;

// --- Colours ----------------------------------------------------------------

constexpr int CELL_CODES = 9;                   // 0..6 shapes, EMPTY_CELL, GREY_CELL
constexpr Color BOARD_GREY = 0x00B2B2B2;        // board background, EMPTY_CELL
constexpr Color BOARD_FRAME_COLOR = 0x00000000; // the one-pixel frame of a board image

struct CellColors {
    Color light;   // top row and left column
    Color face;    // inside
    Color shadow;  // bottom row and right column
};

// Palette[code]: the three colours of each cell code.
using Palette = CellColors[CELL_CODES];
extern const Palette PALETTE;

// Draws the bevelled 16 x 16 square of one cell at
// (originX + 16 * column, originY + 16 * row): light top row and left column,
// shadow bottom row and right column, face inside; the top-right pixel is
// light, the bottom-left one shadow. Board images use origin (1, 1). Sets
// every colour it uses. A code outside 0..8 (a peer's bad byte) draws nothing.
void drawCell(Surface& surface, int32_t code, int32_t column, int32_t row, int32_t originX, int32_t originY);

// --- Board ------------------------------------------------------------------

// All 200 cells become EMPTY_CELL; neither the image nor any list is touched.
void clearBoard();

// Sets the cells of a piece of that shape into the Board. No bounds are
// tested: callers stamp only positions that passed a fit test.
void stampPiece(int32_t type, int32_t x, int32_t y, int32_t rotation);

// --- Change lists -----------------------------------------------------------

// One cell that changes to a new code.
struct CellChange {
    int32_t column;  // 0..9; negative in the terminator
    int32_t row;     // 0..19
    int32_t code;    // 0..8
};

// The largest list the engine builds holds 24 entries (funPatternScatter); a
// move builds at most 8. Lists are caller-owned buffers, never allocated:
//     ChangeList list;
//     moveSideways(DIRECTION_LEFT, list);
//     applyChanges(list, false);
// A list ends at its terminator, the first entry with a negative column.
constexpr int CHANGE_LIST_CAPACITY = 25;
using ChangeList = CellChange[CHANGE_LIST_CAPACITY];

// Writes the terminator at index count.
void terminateList(CellChange* list, int32_t count);
// Number of entries before the terminator.
int32_t listLength(const CellChange* list);

// The recorders work on clientState().currentPiece. Both append behind the
// first count entries, update count and leave the list terminated; a null
// list is accepted and then nothing at all happens. The caller's buffer must
// have room for count + 5 entries.
//
// recordErase: the piece leaves its cells; each becomes an EMPTY_CELL entry.
// Cells above the top row or left of the board are not recorded.
void recordErase(int32_t& count, CellChange* list);
// recordPiece: the piece now covers its cells. A cell that an entry already
// present on entry names (an erase of a cell the piece still covers) cancels
// that entry instead of being appended, so an unmoved piece gives no entries.
void recordPiece(int32_t& count, CellChange* list);

// Sends the entries as one CellChanges message on clientState().sock (nothing
// for an empty list; the warning instead for more than 84 entries), draws each
// into the own board image, then invalidates the own board area when something
// was drawn, or the whole window when wholeWindow is set (a newly shown piece
// also changes the preview).
void applyChanges(const CellChange* list, bool wholeWindow);
