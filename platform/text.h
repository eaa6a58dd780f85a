// Text measuring and drawing in the one font of the client.
//
// Texts are Windows-1252 bytes; they are converted to UTF-8 only where glyphs
// are rendered. Lines break only at "\r\n"; there is no word wrap.
#pragma once

#include <cstddef>
#include <string>

#include "core/types.h"
#include "platform/surface.h"

// Opens the font (a sans-serif found through fontconfig, about 16 pixels per
// line). Returns false when no usable font exists. Idempotent.
bool textInit();
void textShutdown();
int32_t textLineHeight();

// The rectangle the text occupies when drawn with its top-left corner at
// (left, top): width of the widest line, height = lines * line height.
Rect measureText(const char* text, int32_t left, int32_t top);

// Draws left-aligned from (x, y): every line on an opaque cell of the surface's
// text background colour, glyphs in its text colour. Clipped like every primitive.
void drawText(Surface& surface, const char* text, int32_t x, int32_t y);
// Draws each line centred horizontally within [area.left, area.right), from area.top.
void drawTextCentered(Surface& surface, const char* text, const Rect& area);

// Encoding
std::string cp1252ToUtf8(const char* text, size_t length);
// The Windows-1252 byte of a Unicode code point, or -1 when it has none.
int unicodeToCp1252(uint32_t codePoint);
