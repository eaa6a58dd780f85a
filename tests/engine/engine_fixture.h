// Shared set-up of the engine tests: a fresh ClientState, a headless main
// window, the own board image with its black frame, and a socket pair whose
// far end shows the exact frames the engine sends.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "core/random.h"
#include "engine/board.h"
#include "engine/landing.h"
#include "engine/piece.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "protocol/wire.h"
#include "ui/layout.h"

using Bytes = std::vector<uint8_t>;

constexpr int32_t TEST_WINDOW_WIDTH = 640;
constexpr int32_t TEST_WINDOW_HEIGHT = 480;
// nextLabelRect {6, 6, 150, 20} puts the own board at x = 6 + 150.
constexpr Rect TEST_BOARD_AREA = {156, 6, 318, 328};
constexpr Rect TEST_WHOLE_WINDOW = {0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT};
constexpr Rect NO_UPDATE = {0, 0, 0, 0};

inline intptr_t plainWindowProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    return defaultWindowProc(window, code, wParam, lParam);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetClientState();
        headlessReset();
        ASSERT_TRUE(platformInit());
        ClientState& s = clientState();
        s.nextLabelRect = Rect{6, 6, 150, 20};
        s.mainWindow = createWindow("engine", TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, procedure());
        ASSERT_NE(s.mainWindow, nullptr);
        s.ownBoardDc = createSurface(BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
        setPenColor(*s.ownBoardDc, BOARD_FRAME_COLOR);
        setBrushColor(*s.ownBoardDc, BOARD_GREY);
        drawRectangle(*s.ownBoardDc, 0, 0, BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        s.sock = fds[0];
        peer = fds[1];
        clearBoard();
        seedRandom(1);
    }

    void TearDown() override {
        ClientState& s = clientState();
        close(s.sock);
        close(peer);
        destroySurface(s.ownBoardDc);
        headlessReset();
        resetClientState();
    }

    virtual WindowProc procedure() { return plainWindowProc; }

    // Every frame sent since the last call, as its message bytes; a frame
    // header must announce exactly the bytes that follow it.
    std::vector<Bytes> sentMessages() {
        Bytes raw;
        uint8_t buffer[4096];
        for (;;) {
            ssize_t got = recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) break;
            raw.insert(raw.end(), buffer, buffer + got);
        }
        std::vector<Bytes> messages;
        size_t at = 0;
        while (at < raw.size()) {
            EXPECT_LE(at + 4, raw.size()) << "truncated frame header";
            if (at + 4 > raw.size()) break;
            EXPECT_EQ(raw[at], 0);
            EXPECT_EQ(raw[at + 1], 0);
            EXPECT_EQ(raw[at + 2], 0);
            size_t length = raw[at + 3];
            EXPECT_LE(at + 4 + length, raw.size()) << "truncated message";
            if (at + 4 + length > raw.size()) break;
            messages.emplace_back(raw.begin() + long(at + 4), raw.begin() + long(at + 4 + length));
            at += 4 + length;
        }
        return messages;
    }

    // Validates the window's update region, as a paint would.
    void validateWindow() {
        Rect update;
        if (getUpdateRect(clientState().mainWindow, update)) {
            beginPaint(clientState().mainWindow, update);
            endPaint(clientState().mainWindow);
        }
    }

    Rect updateRect() { return headlessUpdateRect(clientState().mainWindow); }

    static void setCell(int column, int row, int code) {
        boardCell(clientState().board, column, row) = uint8_t(code);
    }
    static int cell(int column, int row) { return boardCell(clientState().board, column, row); }

    // Fills a row but for the listed columns, in colour 3.
    static void fillRowExcept(int row, std::initializer_list<int> holes) {
        for (int column = 0; column < BOARD_COLUMNS; ++column) {
            bool hole = false;
            for (int h : holes) hole = hole || h == column;
            setCell(column, row, hole ? EMPTY_CELL : 3);
        }
    }

    // Draws the whole Board into the image, as the engine keeps it.
    static void drawBoardImage() {
        ClientState& s = clientState();
        for (int column = 0; column < BOARD_COLUMNS; ++column)
            for (int row = 0; row < BOARD_ROWS; ++row) drawCell(*s.ownBoardDc, cell(column, row), column, row, 1, 1);
    }

    // Takes every queued event but paints; returns the fall timer events.
    static int dispatchTimers() {
        int ticks = 0;
        WindowEvent event;
        while (peekEvent(event) && event.code != WM_PAINT) {
            if (event.code == WM_TIMER && event.wParam == FALL_TIMER_ID) ++ticks;
            dispatchEvent(event);
        }
        return ticks;
    }

    static void placePiece(int type, int x, int y, int rotation) {
        clientState().currentPiece = PieceState{type, x, y, rotation};
    }

    int peer = -1;
};

// The code whose drawn cell the image shows at (column, row), or -1 when the
// 16 x 16 square matches no palette entry pixel for pixel.
inline int imageCellCode(const Surface& image, int column, int row) {
    int x = 1 + CELL_SIZE * column;
    int y = 1 + CELL_SIZE * row;
    for (int code = 0; code < CELL_CODES; ++code) {
        const CellColors& c = PALETTE[code];
        bool same = true;
        for (int dy = 0; dy < CELL_SIZE && same; ++dy) {
            for (int dx = 0; dx < CELL_SIZE && same; ++dx) {
                Color expected = c.face;
                if (dy == 0 || (dx == 0 && dy < 15)) expected = c.light;
                if (dy == 15 || (dx == 15 && dy > 0)) expected = c.shadow;
                same = getPixel(image, x + dx, y + dy) == expected;
            }
        }
        if (same) return code;
    }
    return -1;
}

// True when the frame of a board image is black all round.
inline bool frameIsBlack(const Surface& image) {
    for (int x = 0; x < BOARD_IMAGE_WIDTH; ++x)
        if (getPixel(image, x, 0) != 0 || getPixel(image, x, BOARD_IMAGE_HEIGHT - 1) != 0) return false;
    for (int y = 0; y < BOARD_IMAGE_HEIGHT; ++y)
        if (getPixel(image, 0, y) != 0 || getPixel(image, BOARD_IMAGE_WIDTH - 1, y) != 0) return false;
    return true;
}

// The image shows every Board cell, and the falling piece when asked to,
// pixel for pixel, inside an untouched frame.
inline void expectImageShowsBoard(bool withPiece) {
    ClientState& s = clientState();
    int expected[BOARD_COLUMNS][BOARD_ROWS];
    for (int column = 0; column < BOARD_COLUMNS; ++column)
        for (int row = 0; row < BOARD_ROWS; ++row) expected[column][row] = boardCell(s.board, column, row);
    if (withPiece) {
        const PieceState& p = s.currentPiece;
        for (const ShapeOffset& o : SHAPE_TABLE[p.type][p.rotation]) expected[p.x + o.dx][p.y + o.dy] = p.type;
    }
    for (int column = 0; column < BOARD_COLUMNS; ++column)
        for (int row = 0; row < BOARD_ROWS; ++row)
            EXPECT_EQ(imageCellCode(*s.ownBoardDc, column, row), expected[column][row])
                << "cell (" << column << ", " << row << ")";
    EXPECT_TRUE(frameIsBlack(*s.ownBoardDc));
}

// The message bytes of a CellChanges with these triples.
inline Bytes cellChanges(std::initializer_list<CellChange> cells) {
    Bytes message{0, 4};
    for (const CellChange& c : cells) {
        message.push_back(uint8_t(c.column));
        message.push_back(uint8_t(c.row));
        message.push_back(uint8_t(c.code));
    }
    return message;
}

// Entries of a list up to its terminator.
inline std::vector<CellChange> entries(const CellChange* list) {
    return std::vector<CellChange>(list, list + listLength(list));
}

inline bool operator==(const CellChange& a, const CellChange& b) {
    return a.column == b.column && a.row == b.row && a.code == b.code;
}

inline std::ostream& operator<<(std::ostream& out, const CellChange& c) {
    return out << "{" << c.column << ", " << c.row << ", " << c.code << "}";
}
