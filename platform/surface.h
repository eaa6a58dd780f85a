// Software pixel surfaces: the stand-in for memory drawing contexts and bitmaps.
//
// A surface owns width * height pixels of 0x00BBGGRR colour, plus the drawing
// attributes a Windows drawing context carries: a one-pixel pen and a fill
// brush whose colours are set per call, a current position for lines, text
// colours, and a clip rectangle. Every primitive clips to the surface and to
// the clip rectangle; nothing is ever written outside the pixel array.
#pragma once

#include <cstdint>
#include <vector>

#include "core/types.h"

struct Surface {
    int32_t width;
    int32_t height;
    std::vector<Color> pixels;  // row-major, width * height, 0x00BBGGRR
    Color penColor;             // border of rectangles, lines
    Color brushColor;           // inside of rectangles
    Color textColor;            // glyphs
    Color textBackground;       // opaque cell behind every text line
    int32_t penX;               // current position for lineTo
    int32_t penY;
    bool hasClip;               // clip rectangle active
    Rect clip;                  // right and bottom exclusive
};

// Lifetime
Surface* createSurface(int32_t width, int32_t height);  // all pixels black, pen black, brush white
void destroySurface(Surface* surface);                  // accepts null

// Attributes
void setPenColor(Surface& surface, Color color);
void setBrushColor(Surface& surface, Color color);
void setTextColor(Surface& surface, Color color);
void setTextBackground(Surface& surface, Color color);
void setClipRect(Surface& surface, const Rect* clip);   // null removes the clip

// Primitives
Color getPixel(const Surface& surface, int32_t x, int32_t y);  // 0 outside the surface
void setPixel(Surface& surface, int32_t x, int32_t y, Color color);  // clipped
void moveTo(Surface& surface, int32_t x, int32_t y);
// Line from the current position to (x, y) with the pen: includes its start, excludes its end.
void lineTo(Surface& surface, int32_t x, int32_t y);
// Brush fills [left, right) x [top, bottom); the pen draws the border pixels
// x = left, x = right - 1, y = top, y = bottom - 1.
void drawRectangle(Surface& surface, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Fills [left, right) x [top, bottom) with one colour, no border (an erase).
void fillRect(Surface& surface, const Rect& rect, Color color);
// Copies width x height pixels from source (sourceX, sourceY) to target (x, y).
// Source and target may be the same surface and overlap: the result is that of
// a copy through a temporary. Clipped to both surfaces and the target's clip.
void copyBlock(Surface& target, int32_t x, int32_t y, int32_t width, int32_t height,
               const Surface& source, int32_t sourceX, int32_t sourceY);
