// Software pixel surfaces: lines, rectangles, fills and block copies.
//
// Every primitive first intersects what it would touch with the surface and
// the clip rectangle, returns when that is empty, and only then walks rows
// through a pointer and a stride. Coordinates are computed in 64 bits so
// that extreme arguments clip instead of overflowing.
#include "platform/surface.h"

#include <algorithm>
#include <cstring>

namespace {

// A half-open box [left, right) x [top, bottom) in 64-bit coordinates.
struct Box {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

bool isEmpty(const Box& box) {
    return box.right <= box.left || box.bottom <= box.top;
}

Box intersect(const Box& a, const Box& b) {
    return Box{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
}

// Where the surface may be written: its pixels, narrowed by the clip rectangle.
Box writableBox(const Surface& surface) {
    Box box{0, 0, surface.width, surface.height};
    if (surface.hasClip) {
        box = intersect(box, Box{surface.clip.left, surface.clip.top, surface.clip.right,
                                 surface.clip.bottom});
    }
    return box;
}

bool contains(const Box& box, int64_t x, int64_t y) {
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

// Fills a box with one colour; the caller has already clipped it.
void fillClippedBox(Surface& surface, const Box& box, Color color) {
    int32_t width = int32_t(box.right - box.left);
    Color* row = surface.pixels.data() + box.top * surface.width + box.left;
    for (int64_t y = box.top; y < box.bottom; ++y, row += surface.width) {
        std::fill(row, row + width, color);
    }
}

// Fills [left, right) x [top, bottom), clipped to the writable area.
void fillBox(Surface& surface, const Box& box, Color color) {
    Box clipped = intersect(box, writableBox(surface));
    if (isEmpty(clipped)) {
        return;
    }
    fillClippedBox(surface, clipped, color);
}

}  // namespace

// Lifetime

Surface* createSurface(int32_t width, int32_t height) {
    Surface* surface = new Surface{};
    surface->width = std::max(width, 0);
    surface->height = std::max(height, 0);
    surface->pixels.assign(size_t(surface->width) * size_t(surface->height), rgb(0, 0, 0));
    surface->penColor = rgb(0, 0, 0);
    surface->brushColor = rgb(255, 255, 255);
    surface->textColor = rgb(0, 0, 0);
    surface->textBackground = rgb(255, 255, 255);
    surface->penX = 0;
    surface->penY = 0;
    surface->hasClip = false;
    surface->clip = Rect{0, 0, 0, 0};
    return surface;
}

void destroySurface(Surface* surface) {
    delete surface;
}

// Attributes

void setPenColor(Surface& surface, Color color) {
    surface.penColor = color;
}

void setBrushColor(Surface& surface, Color color) {
    surface.brushColor = color;
}

void setTextColor(Surface& surface, Color color) {
    surface.textColor = color;
}

void setTextBackground(Surface& surface, Color color) {
    surface.textBackground = color;
}

void setClipRect(Surface& surface, const Rect* clip) {
    if (clip == nullptr) {
        surface.hasClip = false;
        surface.clip = Rect{0, 0, 0, 0};
        return;
    }
    surface.hasClip = true;
    surface.clip = *clip;
}

// Primitives

Color getPixel(const Surface& surface, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= surface.width || y >= surface.height) {
        return 0;
    }
    return surface.pixels[size_t(y) * size_t(surface.width) + size_t(x)];
}

void setPixel(Surface& surface, int32_t x, int32_t y, Color color) {
    if (!contains(writableBox(surface), x, y)) {
        return;
    }
    surface.pixels[size_t(y) * size_t(surface.width) + size_t(x)] = color;
}

void moveTo(Surface& surface, int32_t x, int32_t y) {
    surface.penX = x;
    surface.penY = y;
}

// Bresenham from the current position towards (x, y), stopping before (x, y).
// The line takes one step per pixel along its longer (major) axis, so a line
// of length n sets n pixels and a zero-length line sets none. The minor
// coordinate of step i is round(i * minor / major) with halves rounded
// towards the start, the closed form of the usual error-term loop; having it
// in closed form lets the loop visit only the steps whose major coordinate
// lies inside the writable area, however far outside the line starts or ends.
void lineTo(Surface& surface, int32_t x, int32_t y) {
    int64_t x0 = surface.penX;
    int64_t y0 = surface.penY;
    int64_t x1 = x;
    int64_t y1 = y;
    surface.penX = x;
    surface.penY = y;

    Box writable = writableBox(surface);
    Box bounds{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
    if (isEmpty(writable) || isEmpty(intersect(bounds, writable))) {
        return;
    }

    int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
    int64_t dy = y1 > y0 ? y1 - y0 : y0 - y1;
    bool xMajor = dx >= dy;
    int64_t major = xMajor ? dx : dy;
    int64_t minor = xMajor ? dy : dx;
    int64_t majorStart = xMajor ? x0 : y0;
    int64_t minorStart = xMajor ? y0 : x0;
    int64_t majorStep = (xMajor ? x1 > x0 : y1 > y0) ? 1 : -1;
    int64_t minorStep = (xMajor ? y1 > y0 : x1 > x0) ? 1 : -1;
    int64_t majorLow = xMajor ? writable.left : writable.top;
    int64_t majorHigh = xMajor ? writable.right : writable.bottom;  // exclusive

    // Steps i in [0, major) whose major coordinate majorStart + majorStep * i
    // lies in [majorLow, majorHigh).
    int64_t first = 0;
    int64_t last = major;  // exclusive
    if (majorStep > 0) {
        first = std::max(first, majorLow - majorStart);
        last = std::min(last, majorHigh - majorStart);
    } else {
        first = std::max(first, majorStart - (majorHigh - 1));
        last = std::min(last, majorStart - majorLow + 1);
    }

    Color color = surface.penColor;
    Color* pixels = surface.pixels.data();
    int64_t stride = surface.width;
    for (int64_t i = first; i < last; ++i) {
        __int128 scaled = __int128(2) * i * minor + major - 1;
        int64_t offset = int64_t(scaled / (__int128(2) * major));
        int64_t majorCoordinate = majorStart + majorStep * i;
        int64_t minorCoordinate = minorStart + minorStep * offset;
        int64_t px = xMajor ? majorCoordinate : minorCoordinate;
        int64_t py = xMajor ? minorCoordinate : majorCoordinate;
        if (contains(writable, px, py)) {
            pixels[py * stride + px] = color;
        }
    }
}

void drawRectangle(Surface& surface, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (right <= left || bottom <= top) {
        return;
    }
    int64_t l = left;
    int64_t t = top;
    int64_t r = right;
    int64_t b = bottom;
    // Inside first, then the four border lines over it.
    fillBox(surface, Box{l + 1, t + 1, r - 1, b - 1}, surface.brushColor);
    Color pen = surface.penColor;
    fillBox(surface, Box{l, t, r, t + 1}, pen);
    fillBox(surface, Box{l, b - 1, r, b}, pen);
    fillBox(surface, Box{l, t, l + 1, b}, pen);
    fillBox(surface, Box{r - 1, t, r, b}, pen);
}

void fillRect(Surface& surface, const Rect& rect, Color color) {
    fillBox(surface, Box{rect.left, rect.top, rect.right, rect.bottom}, color);
}

// The target box is clipped to the target's writable area and, mapped into
// the source, to the source's pixels; the surviving box is copied row by
// row. When source and target are the same surface the rows are walked away
// from the overlap (bottom-up when moving down) and each row moves with
// memmove, which gives the result of a copy through a temporary.
void copyBlock(Surface& target, int32_t x, int32_t y, int32_t width, int32_t height,
               const Surface& source, int32_t sourceX, int32_t sourceY) {
    if (width <= 0 || height <= 0) {
        return;
    }
    int64_t offsetX = int64_t(sourceX) - x;  // source coordinate = target coordinate + offset
    int64_t offsetY = int64_t(sourceY) - y;
    Box box{x, y, int64_t(x) + width, int64_t(y) + height};
    box = intersect(box, writableBox(target));
    Box sourceInTarget{-offsetX, -offsetY, int64_t(source.width) - offsetX,
                       int64_t(source.height) - offsetY};
    box = intersect(box, sourceInTarget);
    if (isEmpty(box)) {
        return;
    }

    size_t rowBytes = size_t(box.right - box.left) * sizeof(Color);
    int64_t rows = box.bottom - box.top;
    Color* targetRow = target.pixels.data() + box.top * target.width + box.left;
    const Color* sourceRow =
        source.pixels.data() + (box.top + offsetY) * source.width + (box.left + offsetX);
    int64_t targetStride = target.width;
    int64_t sourceStride = source.width;
    if (&target == &source && offsetY < 0) {
        // Moving down within one surface: start at the last row.
        targetRow += (rows - 1) * targetStride;
        sourceRow += (rows - 1) * sourceStride;
        targetStride = -targetStride;
        sourceStride = -sourceStride;
    }
    for (int64_t i = 0; i < rows; ++i) {
        std::memmove(targetRow, sourceRow, rowBytes);
        targetRow += targetStride;
        sourceRow += sourceStride;
    }
}
