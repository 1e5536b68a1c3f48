#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/switches.h"

namespace {

// Engines record from the main thread, the reading thread and the sound
// tick, so the rings take a lock of their own.
struct Ring {
  char entries[kLogEntries][kLogEntryBytes] = {};
  int index = 0;
  int count = 0;
  int total = 0;
};

std::mutex g_mutex;
Ring g_errors;
Ring g_notes;

void Record(Ring& ring, const char* format, va_list args) {
  std::lock_guard<std::mutex> lock(g_mutex);
  vsnprintf(ring.entries[ring.index], kLogEntryBytes, format, args);
  ring.index = (ring.index + 1) % kLogEntries;
  if (ring.count < kLogEntries) ++ring.count;
  ++ring.total;
}

std::vector<std::string> Entries(const Ring& ring) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> out;
  int first = (ring.index - ring.count + kLogEntries) % kLogEntries;
  for (int i = 0; i < ring.count; ++i) out.emplace_back(ring.entries[(first + i) % kLogEntries]);
  return out;
}

}  // namespace

void RecordError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(g_errors, format, args);
  va_end(args);
}

void RecordNote(const char* format, ...) {
  if (GetSwitch(kSwitchDebugLevel) == 0) return;
  va_list args;
  va_start(args, format);
  Record(g_notes, format, args);
  va_end(args);
}

std::vector<std::string> ErrorLogEntries() { return Entries(g_errors); }
std::vector<std::string> NoteLogEntries() { return Entries(g_notes); }

int ErrorCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_errors.total;
}

void ClearLogs() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_errors = Ring{};
  g_notes = Ring{};
}
