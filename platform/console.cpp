// The console log: printf-style lines of Windows-1252 bytes, written as UTF-8.
#include "platform/console.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"

namespace {

struct ConsoleCapture {
    bool active;       // lines go to text instead of standard output
    std::string text;  // UTF-8 collected since consoleCaptureBegin
};

ConsoleCapture& consoleCapture() {
    static ConsoleCapture capture{};
    return capture;
}

// Formats into a buffer that grows to whatever vsnprintf asks for.
std::string formatBytes(const char* format, va_list arguments) {
    std::vector<char> buffer(256);
    while (true) {
        va_list copy;
        va_copy(copy, arguments);
        int needed = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (needed < 0) {
            return std::string();  // an encoding error: print nothing rather than garbage
        }
        if (size_t(needed) < buffer.size()) {
            return std::string(buffer.data(), size_t(needed));
        }
        buffer.resize(size_t(needed) + 1);
    }
}

}  // namespace

void consoleVprintf(const char* format, va_list arguments) {
    if (format == nullptr) {
        return;
    }
    std::string bytes = formatBytes(format, arguments);
    std::string utf8 = cp1252ToUtf8(bytes.data(), bytes.size());
    ConsoleCapture& capture = consoleCapture();
    if (capture.active) {
        capture.text += utf8;
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

void consolePrintf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    consoleVprintf(format, arguments);
    va_end(arguments);
}

void consoleCaptureBegin() {
    ConsoleCapture& capture = consoleCapture();
    capture.active = true;
    capture.text.clear();
}

std::string consoleCaptureEnd() {
    ConsoleCapture& capture = consoleCapture();
    capture.active = false;
    std::string text;
    text.swap(capture.text);
    return text;
}
