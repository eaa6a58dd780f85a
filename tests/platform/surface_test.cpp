// Pixel-exact checks of the software surfaces on tiny surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/surface.h"

namespace {

constexpr Color BLANK = 0x00102030;
constexpr Color PEN = 0x000000FF;
constexpr Color BRUSH = 0x0000FF00;

struct SurfaceDeleter {
    void operator()(Surface* surface) const { destroySurface(surface); }
};
using SurfacePtr = std::unique_ptr<Surface, SurfaceDeleter>;

SurfacePtr makeSurface(int32_t width, int32_t height, Color fill = BLANK) {
    SurfacePtr surface(createSurface(width, height));
    fillRect(*surface, Rect{0, 0, width, height}, fill);
    return surface;
}

// A surface whose every pixel differs from every other.
SurfacePtr makePatterned(int32_t width, int32_t height, Color base) {
    SurfacePtr surface = makeSurface(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            setPixel(*surface, x, y, base + Color(y * 1000 + x));
        }
    }
    return surface;
}

using PixelSet = std::set<std::pair<int32_t, int32_t>>;

PixelSet pixelsOfColor(const Surface& surface, Color color) {
    PixelSet found;
    for (int32_t y = 0; y < surface.height; ++y) {
        for (int32_t x = 0; x < surface.width; ++x) {
            if (getPixel(surface, x, y) == color) {
                found.insert({x, y});
            }
        }
    }
    return found;
}

std::string describe(const PixelSet& pixels) {
    std::string text;
    for (const auto& [x, y] : pixels) {
        text += "(" + std::to_string(x) + "," + std::to_string(y) + ") ";
    }
    return text;
}

PixelSet drawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    SurfacePtr surface = makeSurface(20, 20);
    setPenColor(*surface, PEN);
    moveTo(*surface, x0, y0);
    lineTo(*surface, x1, y1);
    EXPECT_EQ(surface->penX, x1);
    EXPECT_EQ(surface->penY, y1);
    return pixelsOfColor(*surface, PEN);
}

PixelSet horizontalRun(int32_t fromX, int32_t toX, int32_t y) {
    PixelSet run;
    for (int32_t x = std::min(fromX, toX); x <= std::max(fromX, toX); ++x) {
        run.insert({x, y});
    }
    return run;
}

PixelSet verticalRun(int32_t x, int32_t fromY, int32_t toY) {
    PixelSet run;
    for (int32_t y = std::min(fromY, toY); y <= std::max(fromY, toY); ++y) {
        run.insert({x, y});
    }
    return run;
}

}  // namespace

// --- Lines -------------------------------------------------------------------

TEST(SurfaceLine, AxisAndDiagonalLinesIncludeStartAndExcludeEnd) {
    struct Case {
        const char* name;
        int32_t x0, y0, x1, y1;
        PixelSet expected;
    };
    const Case cases[] = {
        {"right to left", 17, 2, 2, 2, horizontalRun(17, 3, 2)},
        {"left to right", 2, 2, 17, 2, horizontalRun(2, 16, 2)},
        {"top to bottom", 4, 1, 4, 16, verticalRun(4, 1, 15)},
        {"bottom to top", 4, 16, 4, 1, verticalRun(4, 16, 2)},
        {"diagonal down right", 1, 1, 6, 6, {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
        {"diagonal up left", 6, 6, 1, 1, {{6, 6}, {5, 5}, {4, 4}, {3, 3}, {2, 2}}},
        {"diagonal down left", 6, 1, 1, 6, {{6, 1}, {5, 2}, {4, 3}, {3, 4}, {2, 5}}},
        {"diagonal up right", 1, 6, 6, 1, {{1, 6}, {2, 5}, {3, 4}, {4, 3}, {5, 2}}},
        {"one pixel long", 7, 7, 8, 7, {{7, 7}}},
        {"one pixel long upwards", 7, 7, 7, 6, {{7, 7}}},
        {"zero length", 7, 7, 7, 7, {}},
    };
    for (const Case& c : cases) {
        PixelSet drawn = drawLine(c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(drawn, c.expected) << c.name << ": drew " << describe(drawn);
    }
}

// Any slope: one pixel per step of the longer axis, never the end point, each
// pixel within half a pixel of the ideal line, and the pixels connected.
TEST(SurfaceLine, SlopedLinesFollowTheIdealLine) {
    const int32_t ends[][4] = {{2, 3, 15, 7}, {15, 7, 2, 3}, {3, 2, 7, 17}, {7, 17, 3, 2},
                               {2, 15, 17, 9}, {17, 9, 2, 15}, {10, 1, 4, 18}, {0, 0, 19, 1}};
    for (const auto& e : ends) {
        int32_t x0 = e[0], y0 = e[1], x1 = e[2], y1 = e[3];
        SCOPED_TRACE(testing::Message() << "(" << x0 << "," << y0 << ")->(" << x1 << "," << y1 << ")");
        PixelSet drawn = drawLine(x0, y0, x1, y1);
        int32_t dx = x1 - x0;
        int32_t dy = y1 - y0;
        bool xMajor = std::abs(dx) >= std::abs(dy);
        int32_t steps = std::max(std::abs(dx), std::abs(dy));
        EXPECT_EQ(int32_t(drawn.size()), steps);
        EXPECT_TRUE(drawn.count({x0, y0}));
        EXPECT_FALSE(drawn.count({x1, y1}));
        std::set<int32_t> majorValues;
        for (const auto& [x, y] : drawn) {
            majorValues.insert(xMajor ? x : y);
            double t = xMajor ? double(x - x0) / dx : double(y - y0) / dy;
            double ideal = xMajor ? y0 + t * dy : x0 + t * dx;
            double actual = xMajor ? y : x;
            EXPECT_LE(std::fabs(actual - ideal), 0.5) << "pixel (" << x << "," << y << ")";
            bool hasNeighbour = drawn.size() == 1;
            for (const auto& [ox, oy] : drawn) {
                if ((ox != x || oy != y) && std::abs(ox - x) <= 1 && std::abs(oy - y) <= 1) {
                    hasNeighbour = true;
                }
            }
            EXPECT_TRUE(hasNeighbour) << "isolated pixel (" << x << "," << y << ")";
        }
        EXPECT_EQ(int32_t(majorValues.size()), steps) << "two pixels on one major step";
    }
}

// The bevelled 16 x 16 cell of the board: three lines, a rectangle, three lines.
TEST(SurfaceLine, BevelledCellCoversEverySquarePixelOnce) {
    const Color light = 0x00FFFFFF, face = 0x000000C0, shadow = 0x00000060;
    SurfacePtr surface = makeSurface(20, 20);
    const int32_t x = 2, y = 3;
    setPenColor(*surface, light);
    moveTo(*surface, x + 15, y);
    lineTo(*surface, x, y);
    lineTo(*surface, x, y + 15);
    setBrushColor(*surface, face);
    setPenColor(*surface, face);
    drawRectangle(*surface, x + 1, y + 1, x + 15, y + 15);
    setPenColor(*surface, shadow);
    moveTo(*surface, x, y + 15);
    lineTo(*surface, x + 15, y + 15);
    lineTo(*surface, x + 15, y);

    for (int32_t py = 0; py < 20; ++py) {
        for (int32_t px = 0; px < 20; ++px) {
            Color expected = BLANK;
            if (px >= x && px <= x + 15 && py >= y && py <= y + 15) {
                if (py == y || (px == x && py < y + 15)) {
                    expected = light;
                } else if (py == y + 15 || px == x + 15) {
                    expected = shadow;
                } else {
                    expected = face;
                }
            }
            ASSERT_EQ(getPixel(*surface, px, py), expected) << "at (" << px << "," << py << ")";
        }
    }
}

// --- Rectangles and fills ----------------------------------------------------------

TEST(SurfaceRectangle, PenBorderBrushInsideRightAndBottomExcluded) {
    SurfacePtr surface = makeSurface(10, 12);
    setPenColor(*surface, PEN);
    setBrushColor(*surface, BRUSH);
    drawRectangle(*surface, 2, 3, 7, 9);
    for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            Color expected = BLANK;
            if (x >= 2 && x < 7 && y >= 3 && y < 9) {
                bool border = x == 2 || x == 6 || y == 3 || y == 8;
                expected = border ? PEN : BRUSH;
            }
            ASSERT_EQ(getPixel(*surface, x, y), expected) << "at (" << x << "," << y << ")";
        }
    }
}

TEST(SurfaceRectangle, ThinRectanglesAreAllBorderAndEmptyOnesDrawNothing) {
    struct Case {
        Rect rect;
        int pixels;  // pen pixels expected; the brush never shows
    };
    const Case cases[] = {
        {{3, 3, 4, 4}, 1},   {{3, 3, 5, 5}, 4},  {{3, 3, 4, 8}, 5}, {{2, 6, 8, 7}, 6},
        {{3, 3, 3, 8}, 0},   {{3, 3, 8, 3}, 0},  {{5, 3, 2, 8}, 0}, {{3, 8, 8, 2}, 0},
    };
    for (const Case& c : cases) {
        SurfacePtr surface = makeSurface(10, 10);
        setPenColor(*surface, PEN);
        setBrushColor(*surface, BRUSH);
        drawRectangle(*surface, c.rect.left, c.rect.top, c.rect.right, c.rect.bottom);
        EXPECT_EQ(int(pixelsOfColor(*surface, PEN).size()), c.pixels)
            << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
        EXPECT_TRUE(pixelsOfColor(*surface, BRUSH).empty());
        EXPECT_EQ(int(pixelsOfColor(*surface, BLANK).size()), 100 - c.pixels);
    }
}

TEST(SurfaceRectangle, FillRectCoversExactlyItsArea) {
    SurfacePtr surface = makeSurface(8, 8);
    fillRect(*surface, Rect{1, 2, 4, 7}, BRUSH);
    PixelSet expected;
    for (int32_t y = 2; y < 7; ++y) {
        for (int32_t x = 1; x < 4; ++x) {
            expected.insert({x, y});
        }
    }
    EXPECT_EQ(pixelsOfColor(*surface, BRUSH), expected);
    fillRect(*surface, Rect{5, 5, 5, 8}, PEN);
    fillRect(*surface, Rect{6, 6, 2, 2}, PEN);
    EXPECT_TRUE(pixelsOfColor(*surface, PEN).empty());
}

TEST(SurfaceLifetime, NewSurfaceIsBlackWithBlackPenAndWhiteBrush) {
    SurfacePtr surface(createSurface(3, 2));
    ASSERT_EQ(surface->pixels.size(), 6u);
    for (Color pixel : surface->pixels) {
        EXPECT_EQ(pixel, 0u);
    }
    EXPECT_EQ(surface->penColor, 0u);
    EXPECT_EQ(surface->brushColor, 0x00FFFFFFu);
    EXPECT_FALSE(surface->hasClip);
    EXPECT_EQ(getPixel(*surface, -1, 0), 0u);
    EXPECT_EQ(getPixel(*surface, 3, 0), 0u);
    destroySurface(nullptr);
}

// --- Block copies --------------------------------------------------------------

// Copying within one surface must give what copying through a separate
// surface gives, for overlaps in every direction.
TEST(SurfaceCopy, OverlappingCopyWithinOneSurfaceActsThroughATemporary) {
    const int32_t shifts[][2] = {{0, 3},  {0, -3}, {3, 0},  {-3, 0}, {2, 2},
                                 {-2, -2}, {2, -2}, {-2, 2}, {0, 1},  {0, -1}, {1, 0}, {-1, 0}};
    for (const auto& shift : shifts) {
        int32_t dx = shift[0], dy = shift[1];
        SCOPED_TRACE(testing::Message() << "shift " << dx << "," << dy);
        SurfacePtr actual = makePatterned(12, 12, 0x00100000);
        SurfacePtr expected = makePatterned(12, 12, 0x00100000);
        SurfacePtr temporary = makeSurface(12, 12, 0);
        copyBlock(*temporary, 0, 0, 12, 12, *expected, 0, 0);
        copyBlock(*expected, 3 + dx, 3 + dy, 6, 5, *temporary, 3, 3);

        copyBlock(*actual, 3 + dx, 3 + dy, 6, 5, *actual, 3, 3);
        EXPECT_EQ(actual->pixels, expected->pixels);
    }
}

// The board's row scroll: everything above row r moves down by one cell.
TEST(SurfaceCopy, ScrollDownByOneRowKeepsEveryRow) {
    SurfacePtr surface = makePatterned(4, 6, 0x00200000);
    copyBlock(*surface, 0, 1, 4, 4, *surface, 0, 0);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            int32_t sourceY = (y >= 1 && y <= 4) ? y - 1 : y;
            EXPECT_EQ(getPixel(*surface, x, y), 0x00200000u + Color(sourceY * 1000 + x))
                << "at (" << x << "," << y << ")";
        }
    }
}

TEST(SurfaceCopy, BetweenSurfacesClipsToSourceAndTarget) {
    SurfacePtr source = makePatterned(5, 5, 0x00300000);
    SurfacePtr target = makeSurface(6, 6);
    // The block hangs off the source's left/top and the target's right/bottom.
    copyBlock(*target, 3, 2, 6, 6, *source, -2, -1);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 6; ++x) {
            int32_t sx = x - 3 - 2;
            int32_t sy = y - 2 - 1;
            bool copied = x >= 3 && y >= 2 && sx >= 0 && sy >= 0 && sx < 5 && sy < 5;
            Color expected = copied ? 0x00300000u + Color(sy * 1000 + sx) : BLANK;
            EXPECT_EQ(getPixel(*target, x, y), expected) << "at (" << x << "," << y << ")";
        }
    }
    copyBlock(*target, 0, 0, 0, 4, *source, 0, 0);
    copyBlock(*target, 0, 0, 4, -1, *source, 0, 0);
    copyBlock(*target, 0, 0, 4, 4, *source, 5, 0);
    EXPECT_EQ(getPixel(*target, 0, 0), BLANK);
}

// --- Clipping --------------------------------------------------------------------

// Every primitive is drawn twice: on a small surface with a clip rectangle,
// and on a large unclipped surface shifted by a margin. Inside the small
// surface's clip the pixels must agree with the large drawing; everywhere
// else the small surface must be untouched.
namespace {

constexpr int32_t SMALL = 12;
constexpr int32_t MARGIN = 40;

struct ClipCase {
    const char* name;
    std::function<void(Surface&, int32_t offset)> draw;
};

// Returns how many pixels the drawing changed on the small surface.
int expectClippedLike(const ClipCase& c, const Rect* clip) {
    SurfacePtr small = makeSurface(SMALL, SMALL);
    SurfacePtr large = makeSurface(SMALL + 2 * MARGIN, SMALL + 2 * MARGIN);
    setClipRect(*small, clip);
    c.draw(*small, 0);
    c.draw(*large, MARGIN);
    int changed = 0;
    for (int32_t y = 0; y < SMALL; ++y) {
        for (int32_t x = 0; x < SMALL; ++x) {
            bool inside = clip == nullptr || (x >= clip->left && x < clip->right &&
                                              y >= clip->top && y < clip->bottom);
            Color expected = inside ? getPixel(*large, x + MARGIN, y + MARGIN) : BLANK;
            EXPECT_EQ(getPixel(*small, x, y), expected) << c.name << " at (" << x << "," << y << ")";
            if (getPixel(*small, x, y) != expected) {
                return -1;
            }
            changed += expected != BLANK;
        }
    }
    return changed;
}

}  // namespace

TEST(SurfaceClip, EveryPrimitiveClipsAtSurfaceAndClipEdges) {
    SurfacePtr pattern = makePatterned(30, 30, 0x00400000);
    const ClipCase cases[] = {
        {"pixels",
         [](Surface& s, int32_t o) {
             for (int32_t i = -3; i < SMALL + 3; ++i) {
                 setPixel(s, o + i, o + i, PEN);
                 setPixel(s, o + SMALL - 1 - i, o + i, PEN);
             }
         }},
        {"lines across every edge",
         [](Surface& s, int32_t o) {
             setPenColor(s, PEN);
             moveTo(s, o - 5, o + 1);
             lineTo(s, o + SMALL + 5, o + 4);
             moveTo(s, o + 6, o - 7);
             lineTo(s, o + 2, o + SMALL + 7);
             moveTo(s, o + SMALL + 3, o + SMALL + 3);
             lineTo(s, o - 3, o - 3);
             moveTo(s, o - 4, o + SMALL - 2);
             lineTo(s, o + SMALL + 4, o + SMALL - 2);
         }},
        {"rectangle hanging over all sides",
         [](Surface& s, int32_t o) {
             setPenColor(s, PEN);
             setBrushColor(s, BRUSH);
             drawRectangle(s, o - 3, o - 2, o + SMALL + 2, o + SMALL + 3);
         }},
        {"rectangles at the corners",
         [](Surface& s, int32_t o) {
             setPenColor(s, PEN);
             setBrushColor(s, BRUSH);
             drawRectangle(s, o - 4, o - 4, o + 3, o + 3);
             drawRectangle(s, o + SMALL - 3, o + SMALL - 3, o + SMALL + 4, o + SMALL + 4);
         }},
        {"fill over all sides",
         [](Surface& s, int32_t o) { fillRect(s, Rect{o - 6, o + 2, o + SMALL + 6, o + SMALL + 1}, PEN); }},
        {"copy over all sides",
         [&pattern](Surface& s, int32_t o) { copyBlock(s, o - 4, o - 3, 30, 30, *pattern, 0, 0); }},
    };
    const Rect clips[] = {{3, 2, 9, 10}, {-5, -5, 4, 30}, {8, 0, 40, 5}, {0, 0, SMALL, SMALL}};
    for (const ClipCase& c : cases) {
        EXPECT_GT(expectClippedLike(c, nullptr), 0) << c.name << ": the case draws nothing visible";
        for (const Rect& clip : clips) {
            SCOPED_TRACE(testing::Message() << "clip " << clip.left << "," << clip.top << ","
                                            << clip.right << "," << clip.bottom);
            expectClippedLike(c, &clip);
        }
    }
}

TEST(SurfaceClip, EmptyClipOrFarAwayDrawingWritesNothing) {
    SurfacePtr surface = makeSurface(8, 8);
    Rect empty{5, 5, 5, 9};
    setClipRect(*surface, &empty);
    setPenColor(*surface, PEN);
    setBrushColor(*surface, BRUSH);
    drawRectangle(*surface, 0, 0, 8, 8);
    fillRect(*surface, Rect{0, 0, 8, 8}, PEN);
    setPixel(*surface, 5, 5, PEN);
    moveTo(*surface, 0, 5);
    lineTo(*surface, 8, 5);
    setClipRect(*surface, nullptr);
    // Extreme coordinates clip without overflow and without walking the whole line.
    moveTo(*surface, INT32_MIN, INT32_MIN);
    lineTo(*surface, INT32_MAX, INT32_MIN + 7);
    moveTo(*surface, INT32_MAX, 3);
    lineTo(*surface, INT32_MIN, 3);
    drawRectangle(*surface, INT32_MIN, INT32_MIN, INT32_MIN + 5, INT32_MIN + 5);
    fillRect(*surface, Rect{INT32_MAX - 3, 0, INT32_MAX, 8}, PEN);
    copyBlock(*surface, INT32_MAX - 2, 0, INT32_MAX, 8, *surface, 0, 0);
    PixelSet pen = pixelsOfColor(*surface, PEN);
    EXPECT_EQ(pen, horizontalRun(0, 7, 3));
    EXPECT_TRUE(pixelsOfColor(*surface, BRUSH).empty());
}
