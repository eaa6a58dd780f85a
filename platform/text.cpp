// The client's one font: measuring and opaque drawing of Windows-1252 texts.
//
// The font is a sans-serif face found through fontconfig (DejaVu Sans when
// fontconfig finds nothing), opened at the point size whose line skip comes
// closest to 16 pixels without exceeding it, the line height the window
// layout was designed around. Opening it needs no display: SDL_ttf only uses
// FreeType, not the video subsystem. Every measuring or drawing call opens the
// font lazily, so callers need not call textInit first.
//
// Lines break only at "\r\n"; a lone "\n" or "\r" stays inside its line.
#include "platform/text.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int32_t WANTED_LINE_HEIGHT = 16;
constexpr int32_t FALLBACK_LINE_HEIGHT = 16;  // used only when no font can be opened
constexpr int SMALLEST_POINT_SIZE = 6;
constexpr int LARGEST_POINT_SIZE = 32;
const char* const FALLBACK_FONT_FILES[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
};

struct TextState {
    bool attempted;      // textInit ran since the last textShutdown
    bool ttfStarted;     // TTF_Init succeeded
    TTF_Font* font;      // null when no usable font was found
    int32_t lineHeight;  // TTF_FontLineSkip of the font
};

TextState& textState() {
    static TextState state{};
    return state;
}

// The file of the best fontconfig match for "sans-serif", or "" when none.
std::string findSansSerifFile() {
    std::string path;
    if (!FcInit()) {
        return path;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (pattern == nullptr) {
        return path;
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match != nullptr) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
            path = reinterpret_cast<const char*>(file);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

// Opens the file at the point size with the largest line skip not above 16.
// When even the smallest size is taller, that smallest size is kept.
TTF_Font* openAtLineHeight(const std::string& file, int32_t& lineHeight) {
    TTF_Font* best = nullptr;
    int32_t bestSkip = 0;
    for (int size = SMALLEST_POINT_SIZE; size <= LARGEST_POINT_SIZE; ++size) {
        TTF_Font* font = TTF_OpenFont(file.c_str(), size);
        if (font == nullptr) {
            break;  // the file is unusable (or stopped being so): keep what opened
        }
        int32_t skip = TTF_FontLineSkip(font);
        if (best == nullptr || skip <= WANTED_LINE_HEIGHT) {
            if (best != nullptr) {
                TTF_CloseFont(best);
            }
            best = font;
            bestSkip = skip;
        } else {
            TTF_CloseFont(font);
        }
        if (skip >= WANTED_LINE_HEIGHT) {
            break;  // line skips only grow with the size
        }
    }
    lineHeight = bestSkip;
    return best;
}

TTF_Font* ensureFont() {
    TextState& t = textState();
    if (!t.attempted) {
        textInit();
    }
    return t.font;
}

// The Unicode code points of the bytes 0x80..0x9F. The five bytes Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control code
// points of the same value, as Windows' own conversion does, so every byte
// converts and converts back unchanged.
constexpr uint16_t HIGH_CONTROL_RANGE[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

uint32_t cp1252CodePoint(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return HIGH_CONTROL_RANGE[byte - 0x80];
    }
    return byte;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(char(0xC0 | (codePoint >> 6)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(char(0xE0 | (codePoint >> 12)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

// One line of a text: its bytes [begin, begin + length).
struct LineSpan {
    const char* begin;
    size_t length;
};

std::vector<LineSpan> splitLines(const char* text) {
    std::vector<LineSpan> lines;
    if (text == nullptr) {
        text = "";
    }
    const char* start = text;
    const char* p = text;
    while (*p != '\0') {
        if (p[0] == '\r' && p[1] == '\n') {
            lines.push_back(LineSpan{start, size_t(p - start)});
            p += 2;
            start = p;
        } else {
            ++p;
        }
    }
    lines.push_back(LineSpan{start, size_t(p - start)});
    return lines;
}

int32_t lineWidth(TTF_Font* font, const std::string& utf8) {
    if (font == nullptr || utf8.empty()) {
        return 0;
    }
    int width = 0;
    int height = 0;
    if (TTF_SizeUTF8(font, utf8.c_str(), &width, &height) != 0) {
        return 0;
    }
    return width;
}

// Draws one line's cell at (x, y): width x line height of the background
// colour, with the rendered glyphs over it, clipped to the writable area.
void drawLine(Surface& surface, TTF_Font* font, const std::string& utf8, int32_t width, int64_t x,
              int64_t y) {
    int32_t height = textLineHeight();
    int64_t left = std::max<int64_t>(x, 0);
    int64_t top = std::max<int64_t>(y, 0);
    int64_t right = std::min<int64_t>(x + width, surface.width);
    int64_t bottom = std::min<int64_t>(y + height, surface.height);
    if (surface.hasClip) {
        left = std::max<int64_t>(left, surface.clip.left);
        top = std::max<int64_t>(top, surface.clip.top);
        right = std::min<int64_t>(right, surface.clip.right);
        bottom = std::min<int64_t>(bottom, surface.clip.bottom);
    }
    if (right <= left || bottom <= top) {
        return;
    }

    Color background = surface.textBackground;
    Color* row = surface.pixels.data() + top * surface.width;
    for (int64_t py = top; py < bottom; ++py, row += surface.width) {
        std::fill(row + left, row + right, background);
    }
    if (font == nullptr || utf8.empty()) {
        return;
    }

    Color foreground = surface.textColor;
    SDL_Color text{Uint8(foreground & 0xFF), Uint8((foreground >> 8) & 0xFF),
                   Uint8((foreground >> 16) & 0xFF), 255};
    SDL_Color back{Uint8(background & 0xFF), Uint8((background >> 8) & 0xFF),
                   Uint8((background >> 16) & 0xFF), 255};
    // Shaded rendering gives an 8-bit surface whose palette runs from the
    // background to the text colour: anti-aliased and opaque.
    SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, utf8.c_str(), text, back);
    if (rendered == nullptr) {
        return;
    }
    if (rendered->format->BytesPerPixel == 1 && rendered->format->palette != nullptr &&
        SDL_LockSurface(rendered) == 0) {
        const SDL_Palette* palette = rendered->format->palette;
        int64_t glyphRight = std::min<int64_t>(right, x + rendered->w);
        int64_t glyphBottom = std::min<int64_t>(bottom, y + rendered->h);
        Color* target = surface.pixels.data() + top * surface.width;
        const Uint8* source = static_cast<const Uint8*>(rendered->pixels) + (top - y) * rendered->pitch;
        for (int64_t py = top; py < glyphBottom; ++py) {
            for (int64_t px = left; px < glyphRight; ++px) {
                Uint8 index = source[px - x];
                if (index >= palette->ncolors) {
                    continue;
                }
                const SDL_Color& c = palette->colors[index];
                target[px] = rgb(c.r, c.g, c.b);
            }
            target += surface.width;
            source += rendered->pitch;
        }
        SDL_UnlockSurface(rendered);
    }
    SDL_FreeSurface(rendered);
}

}  // namespace

bool textInit() {
    TextState& t = textState();
    if (t.font != nullptr) {
        return true;
    }
    t.attempted = true;
    if (!t.ttfStarted) {
        if (TTF_Init() != 0) {
            return false;
        }
        t.ttfStarted = true;
    }
    std::vector<std::string> candidates;
    std::string matched = findSansSerifFile();
    if (!matched.empty()) {
        candidates.push_back(matched);
    }
    for (const char* file : FALLBACK_FONT_FILES) {
        candidates.push_back(file);
    }
    for (const std::string& file : candidates) {
        int32_t lineHeight = 0;
        TTF_Font* font = openAtLineHeight(file, lineHeight);
        if (font != nullptr) {
            t.font = font;
            t.lineHeight = lineHeight;
            return true;
        }
    }
    return false;
}

void textShutdown() {
    TextState& t = textState();
    if (t.font != nullptr) {
        TTF_CloseFont(t.font);
        t.font = nullptr;
    }
    if (t.ttfStarted) {
        TTF_Quit();
        t.ttfStarted = false;
    }
    t.attempted = false;
    t.lineHeight = 0;
}

int32_t textLineHeight() {
    if (ensureFont() == nullptr) {
        return FALLBACK_LINE_HEIGHT;
    }
    return textState().lineHeight;
}

// An empty text is one empty line: 0 wide, one line high.
Rect measureText(const char* text, int32_t left, int32_t top) {
    TTF_Font* font = ensureFont();
    std::vector<LineSpan> lines = splitLines(text);
    int32_t width = 0;
    for (const LineSpan& line : lines) {
        width = std::max(width, lineWidth(font, cp1252ToUtf8(line.begin, line.length)));
    }
    int32_t height = int32_t(lines.size()) * textLineHeight();
    return Rect{left, top, left + width, top + height};
}

void drawText(Surface& surface, const char* text, int32_t x, int32_t y) {
    TTF_Font* font = ensureFont();
    int64_t lineTop = y;
    for (const LineSpan& line : splitLines(text)) {
        std::string utf8 = cp1252ToUtf8(line.begin, line.length);
        drawLine(surface, font, utf8, lineWidth(font, utf8), x, lineTop);
        lineTop += textLineHeight();
    }
}

// Each line starts at left + (area width - line width) / 2, the halving
// truncating towards zero; a line wider than the area sticks out on both sides.
void drawTextCentered(Surface& surface, const char* text, const Rect& area) {
    TTF_Font* font = ensureFont();
    int64_t lineTop = area.top;
    int64_t areaWidth = int64_t(area.right) - area.left;
    for (const LineSpan& line : splitLines(text)) {
        std::string utf8 = cp1252ToUtf8(line.begin, line.length);
        int32_t width = lineWidth(font, utf8);
        int64_t x = area.left + (areaWidth - width) / 2;
        drawLine(surface, font, utf8, width, x, lineTop);
        lineTop += textLineHeight();
    }
}

// Encoding

std::string cp1252ToUtf8(const char* text, size_t length) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    out.reserve(length + length / 2);
    for (size_t i = 0; i < length; ++i) {
        appendUtf8(out, cp1252CodePoint(uint8_t(text[i])));
    }
    return out;
}

int unicodeToCp1252(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return int(codePoint);
    }
    for (int i = 0; i < 32; ++i) {
        if (HIGH_CONTROL_RANGE[i] == codePoint) {
            return 0x80 + i;
        }
    }
    return -1;
}
