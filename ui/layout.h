// The window's layout: caption, preview, status text, the 13 buttons, the own
// board and one column per opponent. Fixed after computeLayout, except that
// the window widens and narrows by 166 pixels per opponent.
#pragma once

#include <cstdint>

#include "core/types.h"

constexpr Color BACKGROUND_COLOR = 0x00D8E9EC;  // red 236, green 233, blue 216

// Measures the texts with the platform font and fills nextLabelRect,
// infoTextHeight, buttonTextHeight and buttons.
void computeLayout();
// The arithmetic of computeLayout apart from measuring: the caption's width
// and line height, the height of a three-line info text. Fills the same
// fields; prints the button warning when the stack does not end at y 328.
void placeLayout(int32_t captionWidth, int32_t lineHeight, int32_t infoTextHeight);

// Derived positions
int32_t boardLeft();                 // x of the own board image
int32_t previewCenterX();            // x of the centre of caption and preview
int32_t opponentLeft(int32_t index); // x of opponent index's board image
Rect ownBoardArea();                 // (boardLeft, 6) - (boardLeft + 162, 328)

// Window size
int32_t windowWidthFor(int32_t opponentCount);
int32_t windowHeight();              // infoTextHeight + 372
bool resizeWindow(int32_t width);
