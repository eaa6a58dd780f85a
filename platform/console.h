// The console log: formatted printing to standard output, flushed per call.
// The formatted bytes are Windows-1252 (nicks, chat) and are written as UTF-8.
#pragma once

#include <cstdarg>

void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleVprintf(const char* format, va_list arguments);

// Tests capture the console: while a capture is set, lines go to it instead
// of standard output (as the UTF-8 that would have been printed).
#include <string>
void consoleCaptureBegin();
std::string consoleCaptureEnd();
