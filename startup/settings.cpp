// The settings file: writing it at each start, reading it for the preloads.
#include "startup/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/client_state.h"
#include "core/constants.h"
#include "startup/login.h"

namespace {

void writeLength(FILE* file, int32_t length) {
    uint32_t value = uint32_t(length);
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    fwrite(bytes, 1, sizeof bytes, file);
}

// An open settings file with its size, read front to back.
struct SettingsReader {
    FILE* file;
    long size;      // bytes in the file
    long position;  // bytes consumed so far (skips may pass the end)
};

bool openReader(SettingsReader& reader) {
    reader.file = fopen(SETTINGS_FILE_NAME, "rb");
    if (!reader.file) {
        return false;
    }
    reader.position = 0;
    reader.size = -1;
    if (fseek(reader.file, 0, SEEK_END) == 0) {
        reader.size = ftell(reader.file);
    }
    if (reader.size < 0 || fseek(reader.file, 0, SEEK_SET) != 0) {
        fclose(reader.file);
        return false;
    }
    return true;
}

// A length field; 0 when the file ends before its four bytes.
int32_t readLength(SettingsReader& reader) {
    uint8_t bytes[4];
    if (reader.position > reader.size - 4 || fread(bytes, 1, 4, reader.file) != 4) {
        reader.position = reader.size;
        return 0;
    }
    reader.position += 4;
    return int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
}

// Skips length bytes; a skip past the end leaves nothing more to read.
void skipBytes(SettingsReader& reader, int32_t length) {
    if (length > reader.size - reader.position) {
        reader.position = reader.size;
        fseek(reader.file, 0, SEEK_END);
        return;
    }
    reader.position += length;
    fseek(reader.file, reader.position, SEEK_SET);
}

// Up to length bytes of text: never more than the file still holds, so a
// corrupt length field cannot ask for a huge allocation. Ends at a NUL byte.
std::string readText(SettingsReader& reader, int32_t length) {
    long available = reader.size - reader.position;
    long wanted = length < available ? long(length) : available;
    std::string text(size_t(wanted), '\0');
    size_t got = wanted > 0 ? fread(text.data(), 1, size_t(wanted), reader.file) : 0;
    reader.position += long(got);
    text.resize(got);
    size_t end = text.find('\0');
    if (end != std::string::npos) {
        text.resize(end);
    }
    return text;
}

}  // namespace

void saveSettings() {
    ClientState& s = clientState();
    FILE* file = fopen(SETTINGS_FILE_NAME, "wb");
    if (!file) {
        return;
    }
    // nickName holds 16 bytes; a length outside 0..15 would write past it.
    int32_t nickLength = s.nickLength < 0 ? 0 : s.nickLength > 15 ? 15 : s.nickLength;
    writeLength(file, nickLength);
    fwrite(s.nickName, 1, size_t(nickLength), file);
    if (s.addressDefaulted || !s.serverAddress) {
        writeLength(file, 0);
    } else {
        size_t addressLength = strlen(s.serverAddress);
        writeLength(file, int32_t(addressLength));
        fwrite(s.serverAddress, 1, addressLength, file);
    }
    fclose(file);
}

std::string readStoredNick() {
    SettingsReader reader;
    if (!openReader(reader)) {
        return {};
    }
    std::string text;
    int32_t nickLength = readLength(reader);
    if (nickLength > 0) {
        text = readText(reader, nickLength);
    }
    fclose(reader.file);
    return text;
}

std::string readStoredAddress() {
    SettingsReader reader;
    if (!openReader(reader)) {
        return {};
    }
    std::string text;
    int32_t nickLength = readLength(reader);
    if (nickLength >= 0) {
        skipBytes(reader, nickLength);
        int32_t addressLength = readLength(reader);
        if (addressLength > 0) {
            text = readText(reader, addressLength);
        }
    }
    fclose(reader.file);
    return text;
}
