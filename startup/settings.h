// The settings file "plumo.conf" in the working directory: the nick and the
// server address of the last start, read by the login dialogs to preload
// their fields and written anew by saveSettings (declared in startup/login.h).
//
// Layout, raw bytes, no line-end translation:
//   offset 0      4 bytes  N: nick length, signed 32-bit, little-endian
//   offset 4      N bytes  the nick (Windows-1252), no terminator
//   offset 4 + N  4 bytes  A: address length, signed 32-bit, little-endian;
//                          0 when the user gave no address
//   offset 8 + N  A bytes  the address, no terminator
// As the client writes it, N is 1..15 and A is 0..15.
#pragma once

#include <string>

// Reading a file that someone else may have written: a length field the file
// does not hold counts as 0; a length that reaches past the end of the file
// yields only the bytes the file holds; a NUL byte inside a text ends it.
// An empty result means there is nothing to preload.
std::string readStoredNick();
std::string readStoredAddress();
