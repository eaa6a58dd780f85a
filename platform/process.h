// Starting outside programs detached and hidden.
#pragma once

// Starts program (a bare name such as "kobalserv") with one parameter text,
// standard streams to /dev/null, in its own session, not waited for. The
// program is looked up beside the running executable first, then on PATH.
// Returns false when it could not be found or started.
bool startDetached(const char* program, const char* parameter);

// Directory of the running executable, with a trailing '/'.
const char* executableDirectory();
