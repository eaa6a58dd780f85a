// Text measuring and drawing in the real font, the Windows-1252 conversion and the console.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/console.h"
#include "platform/surface.h"
#include "platform/text.h"

namespace {

constexpr Color BLANK = 0x00102030;
constexpr Color INK = 0x00000080;
constexpr Color PAPER = 0x00E0F0FF;

struct SurfaceDeleter {
    void operator()(Surface* surface) const { destroySurface(surface); }
};
using SurfacePtr = std::unique_ptr<Surface, SurfaceDeleter>;

SurfacePtr makeSurface(int32_t width, int32_t height) {
    SurfacePtr surface(createSurface(width, height));
    fillRect(*surface, Rect{0, 0, width, height}, BLANK);
    setTextColor(*surface, INK);
    setTextBackground(*surface, PAPER);
    return surface;
}

int32_t widthOf(const char* text) {
    Rect r = measureText(text, 0, 0);
    return r.right - r.left;
}

// Counts pixels of a colour in [left, right) x [top, bottom).
int countColor(const Surface& s, Color color, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int count = 0;
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            count += getPixel(s, x, y) == color;
        }
    }
    return count;
}

// Pixels that are neither the paper nor the blank: glyph pixels, including
// the anti-aliased shades between ink and paper.
int countGlyphPixels(const Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int count = 0;
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            Color c = getPixel(s, x, y);
            count += c != PAPER && c != BLANK;
        }
    }
    return count;
}

// Leftmost column holding a glyph pixel, or -1.
int32_t firstInkColumn(const Surface& s) {
    for (int32_t x = 0; x < s.width; ++x) {
        if (countGlyphPixels(s, x, 0, x + 1, s.height) > 0) {
            return x;
        }
    }
    return -1;
}

class Text : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(textInit()) << "no sans-serif font on this machine"; }
};

}  // namespace

// --- Font and measuring --------------------------------------------------------

TEST_F(Text, FontHasALineHeightNearSixteen) {
    int32_t height = textLineHeight();
    EXPECT_LE(height, 16);
    EXPECT_GE(height, 12);
    EXPECT_TRUE(textInit());  // idempotent
    EXPECT_EQ(textLineHeight(), height);
}

TEST_F(Text, MeasuringBreaksOnlyAtCarriageReturnLineFeed) {
    const int32_t line = textLineHeight();
    struct Case {
        const char* text;
        int lines;
        const char* widestLine;  // measured alone, must give the text's width
    };
    const Case cases[] = {
        {"a\r\nbb", 2, "bb"},
        {"Start", 1, "Start"},
        {"a\nb", 1, "a\nb"},
        {"a\rb", 1, "a\rb"},
        {"Anna\r\n1 Linie\r\n2 Spiele", 3, "2 Spiele"},
        {"x\r\n", 2, "x"},
        {"\r\n\r\n", 3, ""},
    };
    for (const Case& c : cases) {
        Rect r = measureText(c.text, 6, 9);
        EXPECT_EQ(r.left, 6) << c.text;
        EXPECT_EQ(r.top, 9) << c.text;
        EXPECT_EQ(r.bottom - r.top, c.lines * line) << c.text;
        EXPECT_EQ(r.right - r.left, widthOf(c.widestLine)) << c.text;
    }
    EXPECT_GT(widthOf("bb"), widthOf("a") / 2);
    EXPECT_GT(widthOf("WWWW"), widthOf("W"));
    EXPECT_GT(widthOf("a\nb"), widthOf("ab"));  // the lone line feed stays in the line
}

TEST_F(Text, EmptyTextIsZeroWideAndOneLineHigh) {
    EXPECT_EQ(measureText("", 3, 4), (Rect{3, 4, 3, 4 + textLineHeight()}));
    EXPECT_EQ(measureText(nullptr, 3, 4), (Rect{3, 4, 3, 4 + textLineHeight()}));
}

// The caption of the window: the byte 0xE4 is measured as the umlaut, not as
// a replacement character or as nothing.
TEST_F(Text, Windows1252BytesAreMeasuredAsTheirCharacters) {
    EXPECT_GT(widthOf("N\xE4" "chster Stein:"), widthOf("Nchster Stein:"));
    EXPECT_GT(widthOf("\xE4"), 0);
    // Read as Windows-1252, the two UTF-8 bytes of "ä" are the two characters "Ã¤".
    EXPECT_GT(widthOf("\xC3\xA4"), widthOf("\xE4"));
    EXPECT_GT(widthOf("\x80"), 0);
}

// --- Drawing --------------------------------------------------------------------

TEST_F(Text, DrawingFillsTheMeasuredCellsWithTheBackground) {
    SurfacePtr surface = makeSurface(120, 60);
    const char* text = "Speed: 5\r\nMo";
    Rect cell = measureText(text, 7, 5);
    drawText(*surface, text, 7, 5);
    const int32_t line = textLineHeight();
    const int32_t secondWidth = widthOf("Mo");

    for (int32_t y = 0; y < 60; ++y) {
        for (int32_t x = 0; x < 120; ++x) {
            Color c = getPixel(*surface, x, y);
            bool firstLine = x >= cell.left && x < cell.right && y >= 5 && y < 5 + line;
            bool secondLine = x >= 7 && x < 7 + secondWidth && y >= 5 + line && y < 5 + 2 * line;
            if (firstLine || secondLine) {
                EXPECT_NE(c, BLANK) << "unpainted inside the text at (" << x << "," << y << ")";
            } else {
                ASSERT_EQ(c, BLANK) << "painted outside the text at (" << x << "," << y << ")";
            }
        }
    }
    // Glyphs in the text colour inside each line, on mostly background.
    EXPECT_GT(countColor(*surface, INK, cell.left, 5, cell.right, 5 + line), 5);
    EXPECT_GT(countColor(*surface, INK, 7, 5 + line, 7 + secondWidth, 5 + 2 * line), 5);
    EXPECT_GT(countColor(*surface, PAPER, cell.left, cell.top, cell.right, cell.bottom),
              countGlyphPixels(*surface, cell.left, cell.top, cell.right, cell.bottom));
}

TEST_F(Text, DrawingHonoursTheClipAndTheSurfaceEdges) {
    const char* text = "Hallo Welt\r\nzweite Zeile";
    SurfacePtr full = makeSurface(100, 40);
    drawText(*full, text, 3, 2);

    // The same text half outside a smaller surface with a clip rectangle.
    SurfacePtr clipped = makeSurface(30, 20);
    Rect clip{4, 3, 25, 30};
    setClipRect(*clipped, &clip);
    drawText(*clipped, text, -17, -8);
    int compared = 0;
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            bool inside = x >= 4 && x < 25 && y >= 3;
            Color expected = inside ? getPixel(*full, x + 20, y + 10) : BLANK;
            ASSERT_EQ(getPixel(*clipped, x, y), expected) << "at (" << x << "," << y << ")";
            compared += inside && expected != BLANK;
        }
    }
    EXPECT_GT(compared, 20);

    // Entirely outside: nothing at all.
    SurfacePtr untouched = makeSurface(10, 10);
    drawText(*untouched, text, 10, 0);
    drawText(*untouched, text, -500, 0);
    drawText(*untouched, text, 0, -100);
    EXPECT_EQ(countColor(*untouched, BLANK, 0, 0, 10, 10), 100);
}

TEST_F(Text, CentredLinesSitInTheMiddleOfTheArea) {
    const char* text = "Anna\r\n12 Linien\r\n1 Spiel";
    Rect measured = measureText(text, 0, 0);
    const int32_t line = textLineHeight();
    const char* lines[] = {"Anna", "12 Linien", "1 Spiel"};
    const int32_t areaLeft = 20;
    Rect area{areaLeft, 4, areaLeft + measured.right, 4 + measured.bottom};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(lines[i]);
        SurfacePtr centred = makeSurface(160, 60);
        drawTextCentered(*centred, text, area);
        int32_t width = widthOf(lines[i]);
        int32_t left = areaLeft + (measured.right - width) / 2;
        int32_t top = 4 + i * line;
        // The line's background cell starts and ends exactly there.
        EXPECT_EQ(getPixel(*centred, left - 1, top + 1), BLANK);
        EXPECT_NE(getPixel(*centred, left, top + 1), BLANK);
        EXPECT_NE(getPixel(*centred, left + width - 1, top + 1), BLANK);
        EXPECT_EQ(getPixel(*centred, left + width, top + 1), BLANK);
        // And it holds the same pixels as the line drawn left-aligned there.
        SurfacePtr alone = makeSurface(160, 60);
        drawText(*alone, lines[i], left, top);
        for (int32_t y = top; y < top + line; ++y) {
            for (int32_t x = 0; x < 160; ++x) {
                ASSERT_EQ(getPixel(*centred, x, y), getPixel(*alone, x, y)) << "at (" << x << "," << y << ")";
            }
        }
    }
    // A line wider than the area sticks out on both sides, evenly.
    SurfacePtr wide = makeSurface(160, 20);
    int32_t width = widthOf("Sehr lange Zeile");
    drawTextCentered(*wide, "Sehr lange Zeile", Rect{70, 0, 90, 20});
    int32_t left = 70 + (20 - width) / 2;
    EXPECT_NE(getPixel(*wide, left, 1), BLANK);
    EXPECT_EQ(getPixel(*wide, left - 1, 1), BLANK);
    EXPECT_GE(firstInkColumn(*wide), left);
}

TEST_F(Text, TextColourAndBackgroundComeFromTheSurface) {
    SurfacePtr surface = makeSurface(60, 20);
    setTextColor(*surface, 0x00FFFFFF);
    setTextBackground(*surface, 0x00000000);
    drawText(*surface, "Reset", 0, 0);
    Rect cell = measureText("Reset", 0, 0);
    EXPECT_GT(countColor(*surface, 0x00FFFFFF, 0, 0, cell.right, cell.bottom), 5);
    EXPECT_GT(countColor(*surface, 0x00000000, 0, 0, cell.right, cell.bottom), cell.right * 4);
    EXPECT_EQ(countColor(*surface, INK, 0, 0, 60, 20), 0);
}

// --- Encoding -------------------------------------------------------------------

TEST(Cp1252, ConvertsToUtf8AndBack) {
    struct Case {
        uint8_t byte;
        uint32_t codePoint;
        const char* utf8;
    };
    const Case cases[] = {
        {0x41, 0x41, "A"},
        {0xE4, 0xE4, "\xC3\xA4"},                  // ä
        {0xDF, 0xDF, "\xC3\x9F"},                  // ß
        {0x80, 0x20AC, "\xE2\x82\xAC"},            // €
        {0x84, 0x201E, "\xE2\x80\x9E"},            // „
        {0x9F, 0x0178, "\xC5\xB8"},                // Ÿ
        {0x8A, 0x0160, "\xC5\xA0"},                // Š
        {0x81, 0x0081, "\xC2\x81"},                // undefined: its C1 code point
        {0x9D, 0x009D, "\xC2\x9D"},
        {0xA0, 0xA0, "\xC2\xA0"},
        {0xFF, 0xFF, "\xC3\xBF"},
    };
    for (const Case& c : cases) {
        char byte = char(c.byte);
        EXPECT_EQ(cp1252ToUtf8(&byte, 1), c.utf8) << int(c.byte);
        EXPECT_EQ(unicodeToCp1252(c.codePoint), int(c.byte)) << int(c.byte);
    }
    for (int b = 0; b < 256; ++b) {
        char byte = char(b);
        std::string utf8 = cp1252ToUtf8(&byte, 1);
        // Decode the one code point again and map it back.
        uint32_t cp = uint8_t(utf8[0]);
        if (utf8.size() == 2) {
            cp = ((cp & 0x1F) << 6) | (uint8_t(utf8[1]) & 0x3F);
        } else if (utf8.size() == 3) {
            cp = ((cp & 0x0F) << 12) | ((uint8_t(utf8[1]) & 0x3F) << 6) | (uint8_t(utf8[2]) & 0x3F);
        }
        EXPECT_EQ(unicodeToCp1252(cp), b);
    }
    EXPECT_EQ(cp1252ToUtf8("N\xE4" "chster", 8), "N\xC3\xA4" "chster");
    EXPECT_EQ(cp1252ToUtf8("a\0b", 3), std::string("a\0b", 3));
    EXPECT_EQ(cp1252ToUtf8(nullptr, 4), "");
}

TEST(Cp1252, CodePointsWithoutAByteGiveMinusOne) {
    for (uint32_t cp : {0x80u, 0x9Fu, 0x100u, 0x20ADu, 0x263Au, 0xFFFDu, 0x1F600u, 0x110000u}) {
        EXPECT_EQ(unicodeToCp1252(cp), -1) << cp;
    }
}

// --- Console ---------------------------------------------------------------------

TEST(Console, CaptureReceivesFormattedLinesAsUtf8) {
    consoleCaptureBegin();
    consolePrintf("%s hat %d Linien geschafft.\n", "J\xFCrgen", 4);
    consolePrintf("Kosten: 5 \x80\n");
    std::string captured = consoleCaptureEnd();
    EXPECT_EQ(captured, "J\xC3\xBCrgen hat 4 Linien geschafft.\nKosten: 5 \xE2\x82\xAC\n");
    // The capture ended: nothing more collects into the next one.
    consoleCaptureBegin();
    EXPECT_EQ(consoleCaptureEnd(), "");
}

TEST(Console, LongLinesAreNotCut) {
    std::string nick(5000, 'x');
    nick += "\xE4";
    consoleCaptureBegin();
    consolePrintf("<%s>", nick.c_str());
    EXPECT_EQ(consoleCaptureEnd(), "<" + std::string(5000, 'x') + "\xC3\xA4>");
}

TEST(Console, PrintsToStandardOutputWithoutCapture) {
    testing::internal::CaptureStdout();
    consolePrintf("Warnung: %s\n", "gr\xF6\xDF" "er");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warnung: gr\xC3\xB6\xC3\x9F" "er\n");
}
