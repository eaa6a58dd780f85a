// Timestamped log lines on stdout, flushed one by one so that a reader of a
// pipe (a test, a supervisor) sees each event as it happens.
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "server/server.h"

void logLine(const char* format, ...) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[40];
    size_t n = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(stamp + n, sizeof stamp - n, ".%03ld", now.tv_nsec / 1000000);

    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printf("%s %s\n", stamp, text);
    fflush(stdout);
}

// Code points of the bytes 0x80..0x9F in Windows-1252; 0 where the byte is unassigned.
static const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

std::string cp1252ToUtf8(const uint8_t* bytes, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = bytes[i];
        if (code >= 0x80 && code < 0xA0) code = CP1252_HIGH[code - 0x80];
        if (code < 0x20 || code == 0x7F || code == 0) {
            out += '?';  // never let a peer write control sequences into the log
        } else if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

const char* messageName(int opcode) {
    switch (opcode) {
    case MSG_NICK: return "Nick";
    case MSG_NEW_GAME: return "NewGame";
    case MSG_ROWS_CLEARED: return "RowsCleared";
    case MSG_CELL_CHANGES: return "CellChanges";
    case MSG_LOST: return "Lost";
    case MSG_PLAYER_LEFT: return "PlayerLeft";
    case MSG_BOARD_CLEARED: return "BoardCleared";
    case MSG_PLAYER_JOINED: return "PlayerJoined";
    case MSG_LINES: return "Lines";
    case MSG_ROW_ADDED: return "RowAdded";
    case MSG_MODE: return "Mode";
    case MSG_LEVEL: return "Level";
    case MSG_KILL_REQUEST: return "KillRequest";
    case MSG_PAUSE: return "Pause";
    case MSG_RESUME: return "Resume";
    case MSG_VERSION: return "Version";
    case MSG_VERSION_MISMATCH: return "VersionMismatch";
    case MSG_CHAT: return "Chat";
    case MSG_YOU_ARE: return "YouAre";
    case MSG_LINES_SENT: return "LinesSent";
    case MSG_WON: return "Won";
    case MSG_RESET_SCORES: return "ResetScores";
    default: return "unknown";
    }
}

std::string playerLabel(const Connection& c) {
    std::string label = "player " + std::to_string(c.number);
    if (c.hasNick) {
        label += " (";
        label += cp1252ToUtf8(reinterpret_cast<const uint8_t*>(c.nick.data()), c.nick.size());
        label += ")";
    }
    return label;
}
