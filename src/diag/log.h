// The diagnostics log, "logfile.txt": trace lines and the names of DirectDraw
// and DirectSound error codes. Closed until an open; every other operation
// does nothing while it is closed, so engines may call it freely.
#pragma once

#include <cstdint>

// Operations: 0 open (text: the directory, none for "C:\"), 1 DirectDraw
// error (text, then the code's name), 2 DirectSound error, 3 text, 4 close.
// Others do nothing.
void WriteLog(int16_t operation, int32_t code, const char* text);

// The name written for a code ("...\n"), as operations 1 and 2 write it.
const char* DirectDrawErrorName(int32_t code);
const char* DirectSoundErrorName(int32_t code);
// Whether the log is open now, and the engine path the last open built
// (empty when it was refused).
bool LogIsOpen();
const char* LogPath();
