// The settings file: the bytes saveSettings writes and what the preloads make
// of well-formed and damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "startup/login.h"
#include "startup/settings.h"
#include "tests/startup/settings_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes le32(int32_t value) {
    uint32_t v = uint32_t(value);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes text(const char* characters) {
    return Bytes(characters, characters + strlen(characters));
}

class SettingsFile : public SettingsDirectory {
protected:
    void SetUp() override {
        SettingsDirectory::SetUp();
        resetClientState();
    }
    void TearDown() override {
        ClientState& s = clientState();
        free(s.serverAddress);
        s.serverAddress = nullptr;
        SettingsDirectory::TearDown();
    }
    void setNick(const char* nick) {
        ClientState& s = clientState();
        memset(s.nickName, 0, sizeof s.nickName);
        strncpy(s.nickName, nick, 15);
        s.nickLength = int32_t(strlen(s.nickName));
    }
    void setAddress(const char* address, bool defaulted) {
        ClientState& s = clientState();
        free(s.serverAddress);
        s.serverAddress = strdup(address);
        s.addressDefaulted = defaulted;
    }
};

TEST_F(SettingsFile, SavesNickAndAddressWithLittleEndianLengths) {
    setNick("Bob");
    setAddress("10.0.0.1", false);
    saveSettings();
    Bytes expected = concat({le32(3), text("Bob"), le32(8), text("10.0.0.1")});
    EXPECT_EQ(expected.size(), 19u);
    EXPECT_EQ(readSettingsFile(), expected);
}

TEST_F(SettingsFile, DefaultedAddressIsStoredAsZeroLengthOnly) {
    setNick("fifteen_chars_x");
    setAddress("127.0.0.1", true);
    saveSettings();
    EXPECT_EQ(readSettingsFile(), concat({le32(15), text("fifteen_chars_x"), le32(0)}));
}

TEST_F(SettingsFile, SavingReplacesTheWholeFile) {
    writeSettingsFile(Bytes(100, 'x'));
    setNick("\xE4");  // Windows-1252 bytes go to the file unchanged
    setAddress("1.2.3.4", false);
    saveSettings();
    EXPECT_EQ(readSettingsFile(), concat({le32(1), Bytes{0xE4}, le32(7), text("1.2.3.4")}));
}

TEST_F(SettingsFile, SavedSettingsPreloadBothFields) {
    setNick("Anna");
    setAddress("192.168.1.20", false);
    saveSettings();
    EXPECT_EQ(readStoredNick(), "Anna");
    EXPECT_EQ(readStoredAddress(), "192.168.1.20");
}

TEST_F(SettingsFile, AnUnwritableFileIsSkippedSilently) {
    // A directory of the file's name cannot be opened for writing.
    std::filesystem::create_directory("plumo.conf");
    setNick("Bob");
    setAddress("1.2.3.4", false);
    saveSettings();
    EXPECT_TRUE(std::filesystem::is_directory("plumo.conf"));
    EXPECT_EQ(readStoredNick(), "");
}

TEST_F(SettingsFile, NickLengthOutsideItsBufferIsClamped) {
    ClientState& s = clientState();
    memcpy(s.nickName, "ABCDEFGHIJKLMNO", 16);
    s.nickLength = 40;
    setAddress("1.2.3.4", true);
    saveSettings();
    EXPECT_EQ(readSettingsFile(), concat({le32(15), text("ABCDEFGHIJKLMNO"), le32(0)}));
}

struct PreloadCase {
    const char* name;
    bool fileExists;
    Bytes bytes;
    std::string nick;
    std::string address;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PreloadCase& c, std::ostream* out) {
    *out << c.name;
}

class PreloadTable : public SettingsDirectory, public testing::WithParamInterface<PreloadCase> {};

TEST_P(PreloadTable, ShowsOnlyWhatTheFileHolds) {
    const PreloadCase& c = GetParam();
    if (c.fileExists) {
        writeSettingsFile(c.bytes);
    }
    EXPECT_EQ(readStoredNick(), c.nick);
    EXPECT_EQ(readStoredAddress(), c.address);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PreloadTable,
    testing::Values(
        PreloadCase{"MissingFile", false, {}, "", ""},
        PreloadCase{"EmptyFile", true, {}, "", ""},
        PreloadCase{"Complete", true, concat({le32(3), text("Bob"), le32(8), text("10.0.0.1")}), "Bob", "10.0.0.1"},
        PreloadCase{"AddressDefaulted", true, concat({le32(3), text("Bob"), le32(0)}), "Bob", ""},
        PreloadCase{"NickZeroThenAddress", true, concat({le32(0), le32(7), text("1.2.3.4")}), "", "1.2.3.4"},
        PreloadCase{"NickNegative", true, concat({le32(-3), text("Bob"), le32(7), text("1.2.3.4")}), "", ""},
        PreloadCase{"AddressNegative", true, concat({le32(3), text("Bob"), le32(-1), text("1.2.3.4")}), "Bob", ""},
        PreloadCase{"EndsAfterNick", true, concat({le32(3), text("Bob")}), "Bob", ""},
        PreloadCase{"EndsInsideAddressLength", true, concat({le32(3), text("Bob"), Bytes{7, 0}}), "Bob", ""},
        PreloadCase{"EndsInsideNickLength", true, Bytes{3, 0}, "", ""},
        // Only the bytes actually read are shown.
        PreloadCase{"EndsInsideNick", true, concat({le32(10), text("Bob")}), "Bob", ""},
        PreloadCase{"EndsInsideAddress", true, concat({le32(3), text("Bob"), le32(12), text("10.0")}), "Bob", "10.0"},
        // A huge length must neither allocate nor read past the end.
        PreloadCase{"HugeNick", true, concat({le32(0x7FFFFFFF), text("Bob")}), "Bob", ""},
        PreloadCase{"HugeAddress", true, concat({le32(1), text("B"), le32(0x7FFFFFFF), text("1.2")}), "B", "1.2"},
        // Longer texts than the client writes are shown whole.
        PreloadCase{"NickOver15", true, concat({le32(20), text("ABCDEFGHIJKLMNOPQRST"), le32(3), text("x.y")}),
                    "ABCDEFGHIJKLMNOPQRST", "x.y"},
        PreloadCase{"NulEndsText", true, concat({le32(5), Bytes{'A', 'b', 0, 'c', 'd'}, le32(4), Bytes{'1', 0, '2', '3'}}),
                    "Ab", "1"},
        PreloadCase{"TrailingBytesIgnored", true, concat({le32(2), text("Al"), le32(3), text("a.b"), text("junk")}),
                    "Al", "a.b"}),
    [](const testing::TestParamInfo<PreloadCase>& info) { return std::string(info.param.name); });

}  // namespace
