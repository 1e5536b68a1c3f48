#include "base/mem.h"

#include <cstdlib>
#include <cstring>

#include "platform/faults.h"

int16_t MemAlloc(void* variable, size_t count) {
  if (platform::AllocationRefused()) return kErrNoMemory;
  // malloc(0) may answer null; every block, even an empty one, is real.
  void* block = std::malloc(count == 0 ? 1 : count);
  if (block == nullptr) return kErrNoMemory;
  *static_cast<void**>(variable) = block;
  return 0;
}

void MemFree(void* variable) {
  void** slot = static_cast<void**>(variable);
  if (slot == nullptr || *slot == nullptr) return;
  std::free(*slot);
  *slot = nullptr;
}

void MemFill(void* destination, uint8_t value, size_t count) {
  if (count) std::memset(destination, value, count);
}

void MemCopy(void* destination, const void* source, size_t count) {
  if (count) std::memcpy(destination, source, count);
}

const char* OpenModeString(int mode) {
  static const char* const kModes[] = {"r", "w", "rb", "wb", "rb+"};
  return (mode >= 0 && mode <= 4) ? kModes[mode] : "rb";
}

platform::File* PlainOpen(const char* name, int mode) {
  if (mode == 3) DeleteFileA(name);  // a failure to delete is ignored
  return platform::OpenFile(name, OpenModeString(mode));
}

void PlainClose(platform::File* file) { platform::CloseFile(file); }
size_t PlainRead(platform::File* file, void* buffer, size_t count) {
  return platform::ReadFile(file, buffer, count);
}
size_t PlainWrite(platform::File* file, const void* buffer, size_t count) {
  return platform::WriteFile(file, buffer, count);
}
int PlainSeek(platform::File* file, long offset, int origin) {
  return platform::SeekFile(file, offset, origin);
}
long PlainTell(platform::File* file) { return platform::TellFile(file); }

int16_t LoadWholeFile(void* variable, int32_t* size, const char* name) {
  platform::File* file = PlainOpen(name, 2);
  if (file == nullptr) return kErrCannotOpen;
  PlainSeek(file, 0, 2);
  long length = PlainTell(file);
  PlainSeek(file, 0, 0);
  if (length < 0 || length > INT32_MAX) {
    PlainClose(file);
    return kErrCannotOpen;
  }
  // The length is handed back before the block is asked for, so a caller
  // whose memory ran out still learns how much it would have taken.
  if (size != nullptr) *size = static_cast<int32_t>(length);
  void* block = nullptr;
  if (MemAlloc(&block, static_cast<size_t>(length)) != 0) {
    PlainClose(file);
    return kErrNoMemory;
  }
  size_t got = PlainRead(file, block, static_cast<size_t>(length));
  PlainClose(file);
  // A file that shrank under us: the tail stays zero rather than undefined.
  if (got < static_cast<size_t>(length)) std::memset(static_cast<uint8_t*>(block) + got, 0, length - got);
  *static_cast<void**>(variable) = block;
  return 0;
}

void FreeWholeFile(void* variable) { MemFree(variable); }
