// Small plain records shared across the client's subsystems.
#pragma once

#include <cstdint>

#include "core/constants.h"

// Colour as 0x00BBGGRR: red in the lowest byte.
using Color = uint32_t;

constexpr Color rgb(uint8_t red, uint8_t green, uint8_t blue) {
    return Color(red) | (Color(green) << 8) | (Color(blue) << 16);
}

// A rectangle in pixels; right and bottom are exclusive unless a caller says otherwise.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Cell codes of a board: 0..6 a shape colour, EMPTY_CELL, GREY_CELL.
constexpr uint8_t EMPTY_CELL = 7;
constexpr uint8_t GREY_CELL = 8;

// 200 cell codes stored column by column: column k, row j is cells[20 * k + j].
struct Board {
    uint8_t cells[BOARD_COLUMNS * BOARD_ROWS];
};

inline uint8_t& boardCell(Board& board, int column, int row) {
    return board.cells[column * BOARD_ROWS + row];
}

// The falling piece or the preview; cell i lies at (x + dx(i), y + dy(i)).
struct PieceState {
    int32_t type;     // shape 0..6, also its colour code
    int32_t x;        // column of the shape box's origin
    int32_t y;        // row of the shape box's origin (-2 at spawn)
    int32_t rotation; // 0..3, each step a quarter turn anticlockwise
};

// One push button of the window's left column.
struct Button {
    bool pressed;              // left button went down on it and is not yet released
    bool hover;                // drawn inverted: pressed and the pointer is over it
    Rect rect;                 // all four edges inclusive for hit tests
    char label[8];             // Windows-1252, NUL-terminated
    void (*onClick)(int32_t);  // called with the button's index on a release over it
};

constexpr int BUTTON_COUNT = 13;
