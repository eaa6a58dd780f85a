// The SDL window backend on a real X display: painted frames reach SDL's
// window surface and the X server, an uncovered window shows its frame again,
// and what the X server delivers from xdotool arrives as window events with
// the right codes and coordinates.
//
// Runs under tests/sdl/run_under_xvfb.sh, on a private Xvfb. Input goes
// through the helpers of tests/e2e/lib.sh; the X server's copy of a window is
// read back with ImageMagick's import, a client of its own.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/surface.h"
#include "platform/window.h"
#include "platform/window_core.h"  // Window::sdlWindow: the SDL window behind a record
#include "x11_window_id.h"

namespace {

// --- The test windows' procedure -------------------------------------------------

std::vector<WindowEvent> received;    // every event the procedure saw, in order
std::optional<Color> paintColor;      // a paint fills all it may with it; none: draws nothing
bool quitOnDestroy = false;           // WM_DESTROY posts WM_QUIT with QUIT_CODE
constexpr int QUIT_CODE = 3;

intptr_t recordingProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    received.push_back(WindowEvent{window, code, wParam, lParam});
    if (code == WM_PAINT && paintColor) {
        Rect update;
        Surface* frame = beginPaint(window, update);
        fillRect(*frame, Rect{0, 0, 10000, 10000}, *paintColor);  // the clip keeps it to the update
        endPaint(window);
        return 0;
    }
    if (code == WM_DESTROY && quitOnDestroy) {
        postQuitMessage(QUIT_CODE);
        return 0;
    }
    return defaultWindowProc(window, code, wParam, lParam);
}

// --- Pumping the queue ---------------------------------------------------------------

// Dispatches events until the procedure receives one that matches, for at
// most limitMs on the real clock. Only events received from now on count.
template <typename Match>
bool pumpUntil(Match match, uint64_t limitMs = 5000) {
    size_t next = received.size();
    uint64_t endMs = clockMs() + limitMs;
    while (clockMs() < endMs) {
        WindowEvent event;
        if (!peekEvent(event)) {
            sleepMs(5);
            continue;
        }
        dispatchEvent(event);
        for (; next < received.size(); ++next) {
            if (match(received[next])) {
                return true;
            }
        }
    }
    return false;
}

bool pumpUntilCode(uint32_t code) {
    return pumpUntil([code](const WindowEvent& event) { return event.code == code; });
}

void pumpFor(uint64_t ms) {
    pumpUntil([](const WindowEvent&) { return false; }, ms);
}

std::vector<const WindowEvent*> receivedWithCode(uint32_t code) {
    std::vector<const WindowEvent*> found;
    for (const WindowEvent& event : received) {
        if (event.code == code) {
            found.push_back(&event);
        }
    }
    return found;
}

// --- Shell tools -----------------------------------------------------------------------

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Standard output of a shell command that exits with status 0.
std::optional<std::string> commandOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    size_t length;
    while ((length = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, length);
    }
    if (pclose(pipe) != 0) {
        return std::nullopt;
    }
    return output;
}

// Runs one helper of tests/e2e/lib.sh (e2e_key, e2e_type, e2e_click,
// e2e_close_window ...) with its arguments; true when it succeeded.
bool runE2eHelper(const std::vector<std::string>& words) {
    std::string command = "timeout -s KILL 30 bash -c 'source \"$0\" && \"$@\"' " +
                          shellQuoted(PLUMO_SOURCE_DIR "/tests/e2e/lib.sh");
    for (const std::string& word : words) {
        command += ' ' + shellQuoted(word);
    }
    return std::system(command.c_str()) == 0;
}

std::string xWindowText(Window* window) {
    return std::to_string(x11WindowId(window->sdlWindow));
}

// --- Pixels ----------------------------------------------------------------------------

constexpr Color NO_PIXEL = 0xFF000000;  // not a colour: top byte set

std::string colorText(Color color) {
    if (color == NO_PIXEL) {
        return "no pixel";
    }
    char text[32];
    std::snprintf(text, sizeof text, "rgb(%u,%u,%u)", color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF);
    return text;
}

struct ExpectedPixel {
    int32_t x;
    int32_t y;
    Color color;
};

// A pixel of SDL's window surface: what SDL last handed to the display.
Color windowSurfacePixel(Window* window, int32_t x, int32_t y) {
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdlWindow);
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->w || y >= surface->h) {
        return NO_PIXEL;
    }
    uint32_t value = 0;
    const uint8_t* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
    std::memcpy(&value, row + x * surface->format->BytesPerPixel, surface->format->BytesPerPixel);
    uint8_t red, green, blue;
    SDL_GetRGB(value, surface->format, &red, &green, &blue);
    return rgb(red, green, blue);
}

void expectWindowSurfaceShows(Window* window, const std::vector<ExpectedPixel>& expected) {
    for (const ExpectedPixel& pixel : expected) {
        EXPECT_EQ(colorText(windowSurfacePixel(window, pixel.x, pixel.y)), colorText(pixel.color))
            << "window surface at (" << pixel.x << ", " << pixel.y << ")";
    }
}

// A window's pixels as the X server holds them.
struct XCapture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Color> pixels;  // row-major; NO_PIXEL where import gave none

    Color at(int32_t x, int32_t y) const {
        return x >= 0 && y >= 0 && x < width && y < height ? pixels[size_t(y) * size_t(width) + size_t(x)]
                                                           : NO_PIXEL;
    }
};

// What import reads from the X server: a window's own pixels, or a part of
// the screen as it is seen, with whatever lies on top. (A window's own pixels
// are undefined where another window covers it.)
std::string windowSource(unsigned long xWindow) {
    return "-window " + std::to_string(xWindow);
}

std::string screenSource(const Rect& area) {
    return "-window root -crop " + std::to_string(area.right - area.left) + "x" +
           std::to_string(area.bottom - area.top) + "+" + std::to_string(area.left) + "+" +
           std::to_string(area.top) + " +repage";
}

// import's text format: a header "# ImageMagick pixel enumeration: W,H,255,srgb",
// then one line "x,y: (r,g,b)  #RRGGBB  name" per pixel.
std::optional<XCapture> captureFromXServer(const std::string& source) {
    std::optional<std::string> text =
        commandOutput("timeout -s KILL 20 import " + source + " -depth 8 txt:- 2>/dev/null");
    if (!text) {
        return std::nullopt;
    }
    std::istringstream lines(*text);
    std::string line;
    XCapture capture;
    if (!std::getline(lines, line) ||
        std::sscanf(line.c_str(), "# ImageMagick pixel enumeration: %d,%d", &capture.width,
                    &capture.height) != 2 ||
        capture.width <= 0 || capture.height <= 0) {
        return std::nullopt;
    }
    capture.pixels.assign(size_t(capture.width) * size_t(capture.height), NO_PIXEL);
    while (std::getline(lines, line)) {
        int x, y;
        unsigned red, green, blue;
        if (std::sscanf(line.c_str(), "%d,%d: (%u,%u,%u", &x, &y, &red, &green, &blue) == 5 && x >= 0 &&
            y >= 0 && x < capture.width && y < capture.height) {
            capture.pixels[size_t(y) * size_t(capture.width) + size_t(x)] =
                rgb(uint8_t(red), uint8_t(green), uint8_t(blue));
        }
    }
    return capture;
}

bool captureShows(const XCapture& capture, const std::vector<ExpectedPixel>& expected) {
    for (const ExpectedPixel& pixel : expected) {
        if (capture.at(pixel.x, pixel.y) != pixel.color) {
            return false;
        }
    }
    return true;
}

// Captures from the X server, dispatching events in between, until the
// capture shows the expected pixels or limitMs passed. The last capture, for
// the test to compare.
std::optional<XCapture> captureWhenShowing(const std::string& source,
                                           const std::vector<ExpectedPixel>& expected, uint64_t limitMs = 5000) {
    uint64_t endMs = clockMs() + limitMs;
    std::optional<XCapture> capture = captureFromXServer(source);
    while (!(capture && captureShows(*capture, expected)) && clockMs() < endMs) {
        pumpFor(50);
        capture = captureFromXServer(source);
    }
    return capture;
}

void expectXServerShows(const XCapture& capture, const std::vector<ExpectedPixel>& expected) {
    for (const ExpectedPixel& pixel : expected) {
        EXPECT_EQ(colorText(capture.at(pixel.x, pixel.y)), colorText(pixel.color))
            << "X server at (" << pixel.x << ", " << pixel.y << ")";
    }
}

constexpr Color RED = rgb(200, 10, 30);
constexpr Color BLUE = rgb(0, 0, 255);
constexpr Color GREEN = rgb(0, 255, 0);
constexpr Color GREY = rgb(128, 128, 128);
constexpr Color WHITE = rgb(255, 255, 255);

// --- Fixture ----------------------------------------------------------------------------

bool germanLayout = false;  // the X server's keyboard has the German layout

class SdlWindow : public ::testing::Test {
protected:
    // In a German layout ä has a key of its own, so xdotool types it with one
    // press. In the default US layout xdotool binds ä to a spare key code just
    // for the moment of the press, and SDL reads no text from that. Set before
    // SDL connects; it lasts because the wrapper's Xvfb never resets.
    static void SetUpTestSuite() {
        germanLayout = std::system("timeout -s KILL 20 setxkbmap de && "
                                   "setxkbmap -query | grep -q '^layout: *de$'") == 0;
    }

    void SetUp() override {
        received.clear();
        paintColor = WHITE;
        quitOnDestroy = false;
        ASSERT_TRUE(platformInit()) << "no X display: run through tests/sdl/run_under_xvfb.sh";
    }

    void TearDown() override {
        platformShutdown();
    }

    // A window of the test procedure, created and painted once with color.
    // Null when it could not be created or no paint came.
    static Window* openPaintedWindow(const char* title, int32_t width, int32_t height, Color color) {
        paintColor = color;
        Window* window = createWindow(title, width, height, recordingProc);
        if (window == nullptr || !pumpUntilCode(WM_PAINT)) {
            return nullptr;
        }
        return window;
    }
};

// --- Painting and exposure ----------------------------------------------------------------

TEST_F(SdlWindow, PaintedFrameReachesTheWindowSurfaceAndTheXServer) {
    Window* window = openPaintedWindow("plumo paint \xE4", 120, 90, RED);  // title in Windows-1252
    ASSERT_NE(window, nullptr);
    unsigned long xWindow = x11WindowId(window->sdlWindow);
    ASSERT_NE(xWindow, 0u);

    EXPECT_STREQ(SDL_GetWindowTitle(window->sdlWindow), "plumo paint \xC3\xA4");
    std::optional<std::string> xTitle =
        commandOutput("xprop -id " + std::to_string(xWindow) + " -notype _NET_WM_NAME");
    ASSERT_TRUE(xTitle);
    EXPECT_EQ(*xTitle, "_NET_WM_NAME = \"plumo paint \xC3\xA4\"\n");
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(window->sdlWindow, &width, &height);
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 90);

    // A paint of part of the window: its fill is clipped to the update
    // rectangle, and only that rectangle changes on screen.
    paintColor = BLUE;
    Rect part{10, 20, 30, 40};
    invalidateRect(window, &part);
    ASSERT_TRUE(pumpUntilCode(WM_PAINT));

    const std::vector<ExpectedPixel> expected = {
        {10, 20, BLUE}, {29, 20, BLUE}, {10, 39, BLUE}, {29, 39, BLUE}, {15, 25, BLUE},  // inside
        {9, 20, RED},   {30, 39, RED},  {10, 19, RED},  {29, 40, RED},                   // just outside
        {0, 0, RED},    {119, 89, RED},                                                  // window corners
    };
    expectWindowSurfaceShows(window, expected);
    std::optional<XCapture> screen = captureWhenShowing(windowSource(xWindow), expected);
    ASSERT_TRUE(screen) << "import could not read the window";
    EXPECT_EQ(screen->width, 120);
    EXPECT_EQ(screen->height, 90);
    expectXServerShows(*screen, expected);
}

TEST_F(SdlWindow, UncoveredWindowShowsItsFrameAgain) {
    Window* window = openPaintedWindow("plumo covered", 120, 90, BLUE);
    ASSERT_NE(window, nullptr);
    int left = 0;
    int top = 0;
    SDL_GetWindowPosition(window->sdlWindow, &left, &top);
    const std::string onScreen = screenSource(Rect{left, top, left + 120, top + 90});
    const std::vector<ExpectedPixel> own = {{0, 0, BLUE}, {15, 25, BLUE}, {119, 89, BLUE}};
    std::optional<XCapture> screen = captureWhenShowing(onScreen, own);
    ASSERT_TRUE(screen) << "import could not read the screen";
    expectXServerShows(*screen, own);

    // Without a window manager every window opens at the screen's origin,
    // so the larger one hides all of the first.
    Window* cover = openPaintedWindow("plumo cover", 200, 200, GREEN);
    ASSERT_NE(cover, nullptr);
    int coverLeft = -1;
    int coverTop = -1;
    SDL_GetWindowPosition(cover->sdlWindow, &coverLeft, &coverTop);
    ASSERT_EQ(coverLeft, left);
    ASSERT_EQ(coverTop, top);
    const std::vector<ExpectedPixel> covered = {{0, 0, GREEN}, {15, 25, GREEN}, {119, 89, GREEN}};
    screen = captureWhenShowing(onScreen, covered);
    ASSERT_TRUE(screen);
    expectXServerShows(*screen, covered);

    // The X server keeps nothing of what was hidden: the window's pixels come
    // back only by presenting its frame again on the exposure.
    destroyWindow(cover);
    screen = captureWhenShowing(onScreen, own);
    ASSERT_TRUE(screen);
    expectXServerShows(*screen, own);
}

TEST_F(SdlWindow, ResizeKeepsThePictureAndShowsTheBackgroundInTheAddedArea) {
    Window* window = createWindow("plumo resize", 120, 90, recordingProc);
    ASSERT_NE(window, nullptr);
    setWindowBackground(window, GREY);
    paintColor = RED;
    ASSERT_TRUE(pumpUntilCode(WM_PAINT));
    unsigned long xWindow = x11WindowId(window->sdlWindow);
    ASSERT_NE(xWindow, 0u);

    // Wider and shorter: the columns from 120 on are new, the rows from 60 on are dropped.
    paintColor = std::nullopt;  // later paints leave the frame as it is
    ASSERT_TRUE(resizeWindowClient(window, 150, 60));
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(window->sdlWindow, &width, &height);
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 60);
    EXPECT_EQ(windowClientWidth(window), 150);
    EXPECT_EQ(windowClientHeight(window), 60);

    const std::vector<ExpectedPixel> expected = {
        {0, 0, RED}, {119, 59, RED}, {120, 0, GREY}, {149, 59, GREY},
    };
    expectWindowSurfaceShows(window, expected);
    std::optional<XCapture> screen = captureWhenShowing(windowSource(xWindow), expected);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->width, 150);
    EXPECT_EQ(screen->height, 60);
    expectXServerShows(*screen, expected);
}

// --- Input -----------------------------------------------------------------------------------

// lParam bits of key events, as on Windows.
constexpr intptr_t KEY_WAS_DOWN = intptr_t(1) << 30;  // auto-repeat, and always on release
constexpr intptr_t KEY_RELEASED = intptr_t(1) << 31;

TEST_F(SdlWindow, KeysArriveAsKeyDownAndKeyUpWithVirtualKeyCodes) {
    Window* window = openPaintedWindow("plumo keys", 200, 100, WHITE);
    ASSERT_NE(window, nullptr);
    struct Key {
        const char* keysym;  // X name, as xdotool takes it
        uint32_t virtualKey;
    };
    const Key keys[] = {
        {"Left", VK_LEFT}, {"Down", VK_DOWN},   {"Return", VK_RETURN}, {"Escape", VK_ESCAPE},
        {"F2", VK_F2},     {"space", VK_SPACE}, {"a", 'A'},            {"5", '5'},
    };
    std::vector<std::string> command = {"e2e_key", xWindowText(window)};
    std::vector<uintptr_t> expected;
    for (const Key& key : keys) {
        command.push_back(key.keysym);
        expected.push_back(key.virtualKey);
    }
    received.clear();
    ASSERT_TRUE(runE2eHelper(command));
    ASSERT_TRUE(pumpUntil([](const WindowEvent& event) {
        return event.code == WM_KEYUP && event.wParam == '5';  // the last key
    }));

    std::vector<uintptr_t> downs;
    for (const WindowEvent* event : receivedWithCode(WM_KEYDOWN)) {
        downs.push_back(event->wParam);
        EXPECT_EQ(event->window, window);
        EXPECT_EQ(event->lParam & KEY_WAS_DOWN, 0) << "a first press, not a repeat: key " << event->wParam;
    }
    std::vector<uintptr_t> ups;
    for (const WindowEvent* event : receivedWithCode(WM_KEYUP)) {
        ups.push_back(event->wParam);
        EXPECT_EQ(event->lParam & (KEY_WAS_DOWN | KEY_RELEASED), KEY_WAS_DOWN | KEY_RELEASED)
            << "was down, released: key " << event->wParam;
    }
    EXPECT_EQ(downs, expected);
    EXPECT_EQ(ups, expected);
}

TEST_F(SdlWindow, TypedTextArrivesAsCodePoints) {
    ASSERT_TRUE(germanLayout) << "setxkbmap de did not last (an X server without -noreset?)";
    Window* window = openPaintedWindow("plumo text", 200, 100, WHITE);
    ASSERT_NE(window, nullptr);
    received.clear();
    ASSERT_TRUE(runE2eHelper({"e2e_type", xWindowText(window), "a\xC3\xA4Z"}));
    ASSERT_TRUE(pumpUntil([](const WindowEvent& event) {
        return event.code == WM_CHAR && event.wParam == 'Z';  // the last character
    }));
    std::vector<uintptr_t> characters;
    for (const WindowEvent* event : receivedWithCode(WM_CHAR)) {
        characters.push_back(event->wParam);
        EXPECT_EQ(event->window, window);
    }
    EXPECT_EQ(characters, (std::vector<uintptr_t>{'a', 0xE4, 'Z'}));
}

TEST_F(SdlWindow, LeftClickArrivesWithClientCoordinates) {
    Window* window = openPaintedWindow("plumo click", 200, 100, WHITE);
    ASSERT_NE(window, nullptr);
    struct Point {
        int32_t x;
        int32_t y;
    };
    for (Point point : {Point{40, 30}, Point{0, 0}, Point{199, 99}}) {
        SCOPED_TRACE("click at (" + std::to_string(point.x) + ", " + std::to_string(point.y) + ")");
        received.clear();
        ASSERT_TRUE(runE2eHelper(
            {"e2e_click", xWindowText(window), std::to_string(point.x), std::to_string(point.y)}));
        ASSERT_TRUE(pumpUntilCode(WM_LBUTTONUP));
        std::vector<const WindowEvent*> downs = receivedWithCode(WM_LBUTTONDOWN);
        std::vector<const WindowEvent*> ups = receivedWithCode(WM_LBUTTONUP);
        ASSERT_EQ(downs.size(), 1u);
        ASSERT_EQ(ups.size(), 1u);
        EXPECT_EQ(downs[0]->lParam, pointParam(point.x, point.y));
        EXPECT_EQ(ups[0]->lParam, pointParam(point.x, point.y));
        EXPECT_EQ(downs[0]->window, window);
    }
}

// --- Timers and closing --------------------------------------------------------------------

TEST_F(SdlWindow, TimerTicksOnTheRealClockThroughWaitEvent) {
    Window* window = openPaintedWindow("plumo timer", 120, 90, WHITE);
    ASSERT_NE(window, nullptr);
    constexpr uint32_t TIMER_ID = 34678;
    constexpr uint32_t PERIOD_MS = 40;
    uint64_t startMs = clockMs();
    ASSERT_TRUE(setTimer(window, TIMER_ID, PERIOD_MS));
    for (uint64_t tick = 1; tick <= 2; ++tick) {
        WindowEvent event{};
        do {
            ASSERT_TRUE(waitEvent(event));
            dispatchEvent(event);
        } while (event.code != WM_TIMER);
        EXPECT_EQ(event.window, window);
        EXPECT_EQ(event.wParam, TIMER_ID);
        EXPECT_GE(clockMs() - startMs, tick * PERIOD_MS) << "tick " << tick;
    }
    EXPECT_TRUE(killTimer(window, TIMER_ID));
}

TEST_F(SdlWindow, CloseBoxClosesDestroysAndQuits) {
    quitOnDestroy = true;
    Window* window = openPaintedWindow("plumo close", 120, 90, WHITE);
    ASSERT_NE(window, nullptr);
    std::string xWindow = xWindowText(window);
    received.clear();
    ASSERT_TRUE(runE2eHelper({"e2e_close_window", xWindow}));
    ASSERT_TRUE(pumpUntilCode(WM_DESTROY));

    // WM_CLOSE goes to the default procedure, which destroys the window at once.
    std::vector<uint32_t> codes;
    for (const WindowEvent& event : received) {
        EXPECT_EQ(event.window, window);
        codes.push_back(event.code);
    }
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], WM_CLOSE);
    EXPECT_EQ(codes.back(), WM_DESTROY);
    EXPECT_EQ(windowFrame(window), nullptr) << "the window record is gone";

    WindowEvent event{};
    ASSERT_TRUE(waitEvent(event));
    EXPECT_EQ(event.code, WM_QUIT);
    EXPECT_EQ(event.wParam, uintptr_t(QUIT_CODE));
    EXPECT_TRUE(runE2eHelper({"e2e_wait_window_gone", xWindow, "5"})) << "the X window is gone";
}

}  // namespace
