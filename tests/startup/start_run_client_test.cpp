// The whole client run headless: without a nick it ends at once with -1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "core/client_state.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "startup/start.h"

namespace {

TEST(StartRunClientTest, NoNickEndsWithMinusOneBeforeAnythingIsWrittenOrOpened) {
    char pattern[] = "/tmp/plumo-run-XXXXXX";
    std::filesystem::path directory = mkdtemp(pattern);
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(directory);
    resetClientState();
    headlessReset();

    // Headless with the virtual clock and no input, the nick dialog can only
    // end without a nick.
    uint32_t before = uint32_t(std::time(nullptr));
    consoleCaptureBegin();
    int status = runClient();
    std::string console = consoleCaptureEnd();
    uint32_t after = uint32_t(std::time(nullptr));

    EXPECT_EQ(status, -1);
    EXPECT_EQ(console, "");
    EXPECT_FALSE(std::filesystem::exists(directory / "plumo.conf"));
    ClientState& s = clientState();
    EXPECT_EQ(s.sock, INVALID_SOCKET_HANDLE);
    EXPECT_EQ(s.serverAddress, nullptr);
    EXPECT_EQ(s.mainWindow, nullptr);
    // The generator was seeded with the calendar time before the dialogs.
    EXPECT_GE(s.randomState, before);
    EXPECT_LE(s.randomState, after);

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(directory);
    headlessReset();
    resetClientState();
}

}  // namespace
