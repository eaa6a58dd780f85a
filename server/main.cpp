// kobalserv's command line and the life of the process.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/constants.h"
#include "server/server.h"

static const char* USAGE =
    "usage: kobalserv [-once] [--port PORT] [--bind ADDRESS] [--verbose]\n"
    "                 [--idle-timeout SECONDS] [--handshake-timeout SECONDS]\n"
    "                 [--queue-limit KIB] [--speed-step SECONDS]\n"
    "                 [--help] [--version]\n"
    "\n"
    "  -once, --once              end when the last player has left (after one joined),\n"
    "                             or when nobody joined within the idle timeout\n"
    "  --port PORT                TCP port to listen on (default 19503; 0: any free port)\n"
    "  --bind ADDRESS             IPv4 address to listen on (default 0.0.0.0, all)\n"
    "  --verbose                  also log one line per frame received and sent\n"
    "  --idle-timeout SECONDS     with -once: how long to wait for a first player (default 60)\n"
    "  --handshake-timeout SECONDS  time a connection has to send Nick or Version (default 10)\n"
    "  --queue-limit KIB          output queued for one client before it is dropped\n"
    "                             (default 256, at least 16)\n"
    "  --speed-step SECONDS       speed mode: play time per level step (default 30)\n"
    "  --help                     this text\n"
    "  --version                  the server's protocol version\n";

// Parses a whole decimal number in [low, high]; false on anything else.
static bool parseNumber(const char* text, long low, long high, long& out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

// Splits "--name=value" and "--name value"; returns the value or nullptr.
static const char* optionValue(int argc, char** argv, int& i, const char* name) {
    size_t nameLength = strlen(name);
    const char* arg = argv[i];
    if (strncmp(arg, name, nameLength) != 0) return nullptr;
    if (arg[nameLength] == '=') return arg + nameLength + 1;
    if (arg[nameLength] != '\0') return nullptr;
    if (i + 1 >= argc) return "";
    return argv[++i];
}

static bool isOption(const char* arg, const char* name) {
    size_t n = strlen(name);
    return strncmp(arg, name, n) == 0 && (arg[n] == '\0' || arg[n] == '=');
}

// 0 to run, 1 on a usage error, 2 when done (help or version printed).
static int parseCommandLine(int argc, char** argv, ServerOptions& options) {
    options.port = SERVER_PORT;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        long value = 0;
        if (strcmp(arg, "-once") == 0 || strcmp(arg, "--once") == 0) {
            options.once = true;
        } else if (strcmp(arg, "--verbose") == 0 || strcmp(arg, "-v") == 0) {
            options.verbose = true;
        } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            fputs(USAGE, stdout);
            return 2;
        } else if (strcmp(arg, "--version") == 0) {
            printf("kobalserv %d.%d.%d\n", PROTOCOL_MAJOR, PROTOCOL_MINOR, PROTOCOL_PATCH);
            return 2;
        } else if (isOption(arg, "--port")) {
            if (!parseNumber(optionValue(argc, argv, i, "--port"), 0, 65535, value)) {
                fprintf(stderr, "kobalserv: --port needs a number 0..65535\n");
                return 1;
            }
            options.port = static_cast<uint16_t>(value);
        } else if (isOption(arg, "--bind")) {
            const char* address = optionValue(argc, argv, i, "--bind");
            if (address == nullptr || *address == '\0') {
                fprintf(stderr, "kobalserv: --bind needs an IPv4 address\n");
                return 1;
            }
            options.bindAddress = address;
        } else if (isOption(arg, "--idle-timeout")) {
            if (!parseNumber(optionValue(argc, argv, i, "--idle-timeout"), 0, 86400, value)) {
                fprintf(stderr, "kobalserv: --idle-timeout needs seconds 0..86400\n");
                return 1;
            }
            options.idleTimeoutSeconds = static_cast<int>(value);
        } else if (isOption(arg, "--handshake-timeout")) {
            if (!parseNumber(optionValue(argc, argv, i, "--handshake-timeout"), 1, 3600, value)) {
                fprintf(stderr, "kobalserv: --handshake-timeout needs seconds 1..3600\n");
                return 1;
            }
            options.handshakeTimeoutSeconds = static_cast<int>(value);
        } else if (isOption(arg, "--queue-limit")) {
            if (!parseNumber(optionValue(argc, argv, i, "--queue-limit"), 16, 65536, value)) {
                fprintf(stderr, "kobalserv: --queue-limit needs KiB 16..65536\n");
                return 1;
            }
            options.queueLimitBytes = static_cast<size_t>(value) * 1024;
        } else if (isOption(arg, "--speed-step")) {
            if (!parseNumber(optionValue(argc, argv, i, "--speed-step"), 1, 3600, value)) {
                fprintf(stderr, "kobalserv: --speed-step needs seconds 1..3600\n");
                return 1;
            }
            options.speedStepSeconds = static_cast<int>(value);
        } else {
            fprintf(stderr, "kobalserv: unknown option %s\n%s", arg, USAGE);
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    Server& s = server();
    int parsed = parseCommandLine(argc, argv, s.options);
    if (parsed == 2) return 0;
    if (parsed != 0) return 2;
    if (!openListener(s)) return 1;
    logLine("kobalserv %d.%d.%d listening on %s:%u%s", PROTOCOL_MAJOR, PROTOCOL_MINOR,
            PROTOCOL_PATCH, s.options.bindAddress.c_str(), s.boundPort,
            s.options.once ? " (-once)" : "");
    return runLoop(s);
}
