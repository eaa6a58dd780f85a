// Constants shared by the client, the bot and the server.
#pragma once

#include <cstdint>

// Network
constexpr uint16_t SERVER_PORT = 19503;     // TCP port of the game server
constexpr int RECEIVE_CHUNK = 4096;         // bytes asked of one recv call

// Timers of the main window (ids)
constexpr uint32_t FALL_TIMER_ID = 34678;            // period levelDelayMs[speedLevel]
constexpr uint32_t OWN_FADE_TIMER_ID = 34679;        // own board fade-out, 50 ms
constexpr uint32_t OPPONENT_FADE_TIMER_BASE = 34680; // + opponent index, 50 ms
constexpr uint32_t FADE_PERIOD_MS = 50;

// Waits of the start sequence and the main loop
constexpr uint32_t LOCAL_SERVER_WAIT_MS = 1000; // after starting a local server
constexpr uint32_t LOOP_IDLE_MS = 1;            // after every polling pass

// The own board and every opponent board image
constexpr int BOARD_COLUMNS = 10;
constexpr int BOARD_ROWS = 20;
constexpr int CELL_SIZE = 16;             // pixels per cell side
constexpr int BOARD_IMAGE_WIDTH = 162;    // 10 cells + 1-pixel frame each side
constexpr int BOARD_IMAGE_HEIGHT = 322;   // 20 cells + 1-pixel frame each side
constexpr int BOARD_TOP = 6;              // y of every board image in the window

// Texts shown by the window and the dialogs (Windows-1252 bytes)
constexpr const char* WINDOW_TITLE = "plumo v1.0";
constexpr const char* WINDOW_CLASS_NAME = "plumoWindow";
constexpr const char* SETTINGS_FILE_NAME = "plumo.conf";
constexpr const char* DEFAULT_SERVER_ADDRESS = "127.0.0.1";

// Programs the client starts (looked up beside the plumo executable, then on PATH)
constexpr const char* SERVER_PROGRAM = "kobalserv";
constexpr const char* BOT_PROGRAM = "kobalbot";
