// Memory blocks owned through a pointer variable, byte fill and copy, whole
// files in memory, and plain file access without slots or checksums.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

constexpr int16_t kErrNoMemory = -101;
constexpr int16_t kErrCannotOpen = -103;
constexpr int16_t kErrBadIndex = -105;
constexpr int16_t kErrNoDisplay = -200;

// Allocates `count` bytes into *variable: 0, or -101 (the variable is then
// left untouched). A block of 0 bytes is a valid block.
int16_t MemAlloc(void* variable, size_t count);
// Frees the block in *variable and sets it to null; null is left alone.
void MemFree(void* variable);
void MemFill(void* destination, uint8_t value, size_t count);
void MemCopy(void* destination, const void* source, size_t count);

// Loads a whole file: 0, -103 (cannot open; variables untouched) or -101
// (the size variable holds the length, the pointer variable is untouched).
// `size` may be null.
int16_t LoadWholeFile(void* variable, int32_t* size, const char* name);
void FreeWholeFile(void* variable);

// Plain file access. Modes: 0 "r", 1 "w", 2 "rb", 3 "wb" (deletes an
// existing file first), 4 "rb+".
platform::File* PlainOpen(const char* name, int mode);
void PlainClose(platform::File* file);
size_t PlainRead(platform::File* file, void* buffer, size_t count);
size_t PlainWrite(platform::File* file, const void* buffer, size_t count);
// origin 0 start, 1 current, anything else end.
int PlainSeek(platform::File* file, long offset, int origin);
long PlainTell(platform::File* file);

// The standard open-mode string of a mode index 0 to 4 ("rb" otherwise).
const char* OpenModeString(int mode);
