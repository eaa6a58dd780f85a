// The window layout: the worked examples of the arithmetic, the button stack
// for many line heights, window sizes, and the buttons' requests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "platform/net.h"
#include "platform/text.h"
#include "platform/window.h"
#include "protocol/wire.h"
#include "ui/layout.h"

namespace {

class Layout : public testing::Test {
protected:
    void SetUp() override { resetClientState(); }
};

struct Span {
    int32_t top;
    int32_t bottom;
};

TEST_F(Layout, LineHeight16GivesTheWorkedButtonRows) {
    placeLayout(100, 16, 48);
    ClientState& s = clientState();
    const Span rows[] = {{150, 172}, {176, 198}, {202, 224}, {228, 250}, {254, 276}, {280, 302}, {306, 328}};
    const int firstOfRow[] = {0, 1, 2, 5, 8, 11, 12};
    for (int row = 0; row < 7; ++row) {
        int first = firstOfRow[row];
        int last = row >= 2 && row <= 4 ? first + 2 : first;
        for (int index = first; index <= last; ++index) {
            SCOPED_TRACE("button " + std::to_string(index));
            EXPECT_EQ(s.buttons[index].rect.top, rows[row].top);
            EXPECT_EQ(s.buttons[index].rect.bottom, rows[row].bottom);
        }
    }
    EXPECT_EQ(s.buttonTextHeight, 16);
    EXPECT_EQ(s.infoTextHeight, 48);
}

TEST_F(Layout, Caption100WideNeedsNoShift) {
    placeLayout(100, 16, 48);
    ClientState& s = clientState();
    EXPECT_EQ(s.nextLabelRect, (Rect{6, 6, 106, 22}));
    EXPECT_EQ(previewCenterX(), 56);
    EXPECT_EQ(boardLeft(), 112);
    EXPECT_EQ(ownBoardArea(), (Rect{112, 6, 274, 328}));
    const int32_t lefts[] = {6, 40, 73};
    const int32_t rights[] = {36, 69, 106};
    for (int index = 2; index <= 10; ++index) {
        SCOPED_TRACE("button " + std::to_string(index));
        EXPECT_EQ(s.buttons[index].rect.left, lefts[(index - 2) % 3]);
        EXPECT_EQ(s.buttons[index].rect.right, rights[(index - 2) % 3]);
    }
    for (int index : {0, 1, 11, 12}) {
        EXPECT_EQ(s.buttons[index].rect.left, 6);
        EXPECT_EQ(s.buttons[index].rect.right, 106);  // B, inclusive
    }
    EXPECT_EQ(windowWidthFor(0), 286);
    EXPECT_EQ(windowWidthFor(2), 618);
}

TEST_F(Layout, NarrowCaptionMovesRightSoThePreviewStartsAtTheMargin) {
    placeLayout(40, 16, 48);
    ClientState& s = clientState();
    EXPECT_EQ(s.nextLabelRect, (Rect{18, 6, 58, 22}));
    EXPECT_EQ(previewCenterX() - 32, 6);
    EXPECT_EQ(boardLeft(), 76);
    EXPECT_EQ(windowWidthFor(0), 252);  // the minimum
    EXPECT_EQ(windowWidthFor(1), 252 + 166);

    struct Case {
        int32_t captionWidth;
        int32_t boardLeft;
    };
    const Case cases[] = {{0, 76}, {1, 77}, {40, 76}, {41, 77}, {62, 76}, {63, 77}, {64, 76}, {65, 77}, {66, 78}};
    for (const Case& c : cases) {
        SCOPED_TRACE("caption width " + std::to_string(c.captionWidth));
        placeLayout(c.captionWidth, 16, 48);
        EXPECT_EQ(boardLeft(), c.boardLeft);
        EXPECT_GE(previewCenterX() - 32, 6);
        EXPECT_EQ(s.nextLabelRect.right - s.nextLabelRect.left, c.captionWidth);
    }
}

TEST_F(Layout, ButtonStackEndsAt328ForEveryLineHeight) {
    ClientState& s = clientState();
    for (int32_t w = 1; w <= 40; ++w) {
        for (int32_t captionWidth : {30, 100, 171}) {
            SCOPED_TRACE("W " + std::to_string(w) + ", caption " + std::to_string(captionWidth));
            consoleCaptureBegin();
            placeLayout(captionWidth, w, 3 * w);
            EXPECT_EQ(consoleCaptureEnd(), "");
            int32_t b = boardLeft() - 6;
            EXPECT_EQ(s.buttons[12].rect.bottom, 328);
            EXPECT_EQ(s.buttons[0].rect.top, 262 - 7 * w);
            for (int index = 0; index < BUTTON_COUNT; ++index) {
                const Button& button = s.buttons[index];
                EXPECT_EQ(button.rect.bottom - button.rect.top, w + 6);
                EXPECT_GE(button.rect.left, 6);
                EXPECT_LE(button.rect.right, b);
                EXPECT_FALSE(button.pressed);
                EXPECT_FALSE(button.hover);
                EXPECT_NE(button.onClick, nullptr);
            }
            // Digit rows: 4 pixels apart horizontally and vertically, last one ends at B.
            for (int index = 2; index <= 10; ++index) {
                const Rect& rect = s.buttons[index].rect;
                if ((index - 2) % 3 > 0) {
                    EXPECT_EQ(rect.left, s.buttons[index - 1].rect.right + 4);
                }
                if ((index - 2) % 3 == 2) {
                    EXPECT_EQ(rect.right, b);
                }
                if (index >= 5) {
                    EXPECT_EQ(rect.top, s.buttons[index - 3].rect.bottom + 4);
                }
            }
            EXPECT_EQ(s.buttons[2].rect.right - s.buttons[2].rect.left, (b - 14) / 3);
            EXPECT_EQ(s.buttons[3].rect.right - s.buttons[3].rect.left, (b - 18) / 3);
        }
    }
}

TEST_F(Layout, ButtonLabelsInIndexOrder) {
    placeLayout(100, 16, 48);
    const char* labels[] = {"Start", "Pause", "1", "2", "3", "4", "5", "6", "7", "8", "9", "Modus", "Reset"};
    for (int index = 0; index < BUTTON_COUNT; ++index) {
        EXPECT_STREQ(clientState().buttons[index].label, labels[index]);
    }
}

TEST_F(Layout, WindowGrowsBy166PerOpponentAndBoardsFollowThePitch) {
    placeLayout(120, 18, 54);
    EXPECT_EQ(windowWidthFor(0), 126 + 180);
    for (int32_t n = 1; n <= 6; ++n) {
        EXPECT_EQ(windowWidthFor(n) - windowWidthFor(n - 1), 166);
    }
    EXPECT_EQ(opponentLeft(0), boardLeft() + 168);
    EXPECT_EQ(opponentLeft(1), boardLeft() + 168 + 166);
    EXPECT_EQ(opponentLeft(5) - opponentLeft(4), 166);
    EXPECT_EQ(windowHeight(), 54 + 372);
    // The width for n opponents holds the last opponent's board and the
    // height holds the info texts below the boards.
    for (int32_t n = 1; n <= 4; ++n) {
        EXPECT_GE(windowWidthFor(n), opponentLeft(n - 1) + 162);
    }
    EXPECT_GE(windowHeight(), 334 + clientState().infoTextHeight);
}

TEST_F(Layout, ResizeGivesTheClientAreaTheLayoutsSize) {
    placeLayout(100, 16, 48);
    EXPECT_FALSE(resizeWindow(windowWidthFor(1)));  // no window yet

    headlessReset();
    ClientState& s = clientState();
    s.mainWindow = createWindow("plumo v1.0", windowWidthFor(0), windowHeight(),
                                [](Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
                                    return defaultWindowProc(window, code, wParam, lParam);
                                });
    ASSERT_NE(s.mainWindow, nullptr);
    EXPECT_TRUE(resizeWindow(windowWidthFor(2)));
    EXPECT_EQ(windowClientWidth(s.mainWindow), 618);
    EXPECT_EQ(windowClientHeight(s.mainWindow), 48 + 372);
    EXPECT_TRUE(resizeWindow(windowWidthFor(0)));
    EXPECT_EQ(windowClientWidth(s.mainWindow), 286);
    headlessReset();
    s.mainWindow = nullptr;
}

TEST_F(Layout, ComputedWithTheRealFont) {
    ASSERT_TRUE(textInit());
    computeLayout();
    ClientState& s = clientState();
    int32_t line = textLineHeight();
    Rect caption = measureText("N\xE4" "chster Stein:", 0, 0);
    EXPECT_GT(caption.right, 0);
    EXPECT_EQ(s.buttonTextHeight, line);
    EXPECT_EQ(s.infoTextHeight, 3 * line);
    EXPECT_EQ(s.nextLabelRect.top, 6);
    EXPECT_EQ(s.nextLabelRect.bottom, 6 + line);
    EXPECT_EQ(s.nextLabelRect.right - s.nextLabelRect.left, caption.right);
    EXPECT_GE(previewCenterX() - 32, 6);
    EXPECT_EQ(s.buttons[12].rect.bottom, 328);
    // The status text (three lines below the preview) ends above the buttons.
    EXPECT_LE(s.nextLabelRect.bottom + 40 + 3 * line, s.buttons[0].rect.top);
    // Every label fits its button.
    for (const Button& button : s.buttons) {
        Rect label = measureText(button.label, 0, 0);
        EXPECT_LT(label.right, button.rect.right - button.rect.left) << button.label;
    }
}

// --- The buttons' requests, read from a real loopback connection -------------

class ButtonRequests : public Layout {
protected:
    void SetUp() override {
        Layout::SetUp();
        listener = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(listener, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        socklen_t length = sizeof address;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        ClientState& s = clientState();
        s.sock = socketOpen();
        ASSERT_TRUE(socketConnect(s.sock, "127.0.0.1", ntohs(address.sin_port)));
        peer = accept(listener, nullptr, nullptr);
        ASSERT_GE(peer, 0);
        placeLayout(100, 16, 48);
    }
    void TearDown() override {
        ClientState& s = clientState();
        socketClose(s.sock);
        s.sock = INVALID_SOCKET_HANDLE;
        if (peer >= 0) close(peer);
        if (listener >= 0) close(listener);
    }
    // The next frame's message bytes.
    std::vector<uint8_t> receiveMessage() {
        uint8_t header[4];
        if (!receiveExactly(header, 4)) return {};
        std::vector<uint8_t> message(header[3]);
        if (!receiveExactly(message.data(), int(message.size()))) return {};
        return message;
    }
    bool receiveExactly(uint8_t* buffer, int count) {
        int got = 0;
        while (got < count) {
            ssize_t n = recv(peer, buffer + got, size_t(count - got), 0);
            if (n <= 0) return false;
            got += int(n);
        }
        return true;
    }
    void click(int index) { clientState().buttons[index].onClick(index); }

    int listener = -1;
    int peer = -1;
};

TEST_F(ButtonRequests, EachButtonSendsItsRequest) {
    click(0);
    EXPECT_EQ(receiveMessage(), (std::vector<uint8_t>{0, MSG_NEW_GAME}));
    click(1);
    EXPECT_EQ(receiveMessage(), (std::vector<uint8_t>{0, MSG_PAUSE}));
    for (int index = 2; index <= 10; ++index) {
        click(index);
        EXPECT_EQ(receiveMessage(), (std::vector<uint8_t>{0, MSG_LEVEL, uint8_t(index - 1)}));
    }
    click(11);
    std::vector<uint8_t> mode = receiveMessage();
    ASSERT_GE(mode.size(), 2u);
    EXPECT_EQ(mode[1], MSG_MODE);
    click(12);
    EXPECT_EQ(receiveMessage(), (std::vector<uint8_t>{0, MSG_RESET_SCORES}));
}

TEST_F(ButtonRequests, PauseButtonAsksToResumeWhilePaused) {
    clientState().paused = true;
    click(1);
    EXPECT_EQ(receiveMessage(), (std::vector<uint8_t>{0, MSG_RESUME}));
}

}  // namespace
