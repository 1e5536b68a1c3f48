#include "stream/stream.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <cstring>
#include <mutex>

#include "base/log.h"
#include "base/mem.h"
#include "stream/slots.h"

namespace {

// Positions are offsets into the ring. The few fields StreamFillPercent reads
// without the lock are atomics; they are written only under the lock.
struct Engine {
  int16_t users = 0;
  uint8_t* buffer = nullptr;
  std::atomic<int32_t> ring_size{0};
  int32_t largest_frame = 0;
  std::atomic<int32_t> write{0};
  std::atomic<int32_t> read{0};
  int32_t last_block = 0;
  bool released = true;
  std::atomic<int16_t> current{0};
  std::atomic<int32_t> file_position{0};
  std::atomic<int32_t> file_size{0};
  int32_t first_block_skip = 0;
  bool switched = false;
  bool reached = false;
  int32_t switch_position = 0;
  char requested_name[kStreamNameChars + 1] = {};
  int32_t requested_offset = 0;
  bool request_pending = false;
  bool request_failed = false;
  // Where the bytes read from the current file end in the ring: the write
  // position, except after a last block shorter than the room it took.
  int32_t data_end = 0;
};

Engine g;
std::mutex g_lock;
// The lock as held by the caller: the helpers below run under it, and take
// one so that the compiler checks it.
using LockHeld = std::lock_guard<std::mutex>;

// The ring's offsets stay inside it.
void CheckRing(const LockHeld&) {
  assert(g.users >= 0);
  if (g.buffer == nullptr) return;
  assert(g.ring_size > 0 && g.ring_size % kSectorBytes == 0);
  assert(g.read >= 0 && g.read < g.ring_size);
  assert(g.write >= 0 && g.write < g.ring_size);
  assert(g.data_end >= 0 && g.data_end < g.ring_size);
  assert(g.switch_position >= 0 && g.switch_position < g.ring_size);
  assert(g.last_block >= 0 && g.last_block <= g.largest_frame);
}

int32_t Available(const LockHeld&) {
  int32_t read = g.read, write = g.write;
  return read > write ? g.ring_size - (read - write) : write - read;
}

// Bytes of the current file between `read` and the end of what was read of
// it (the zeros behind a file's last, partial block are not its bytes).
int32_t FileBytesFrom(const LockHeld&, int32_t read) {
  int32_t end = g.data_end;
  return read > end ? g.ring_size - (read - end) : end - read;
}

// Nothing more of the current file can come and no other file is coming.
bool NothingComing(const LockHeld&) {
  if (g.request_pending || g.switched) return false;
  if (g.current == 0) return g.request_failed;
  return g.file_position >= g.file_size;
}

void CloseCurrent(const LockHeld&) {
  FileClose(g.current);
  g.current = 0;
}

// Step 1 of a reader step: open or restart as asked. True when a file was
// (re)started, so that the first block is kept to one frame's size.
bool CarryOutRequest(const LockHeld& lock) {
  if (!g.request_pending) return false;
  if (g.requested_name[0] != 0) {
    int16_t slot = FileOpen(g.requested_name, 2);
    if (slot == 0) {
      // Repair: a file that could not be opened was dropped silently (the
      // consumer then waited for ever); it is recorded and the switch fails.
      RecordError("Cannot open file %s", g.requested_name);
      g.request_pending = false;
      g.request_failed = true;
      return false;
    }
    CloseCurrent(lock);
    g.current = slot;
    g.file_size = std::max<int32_t>(FileLength(slot), 0);
  }
  if (g.current == 0) {  // a restart with nothing to restart
    g.request_pending = false;
    g.request_failed = true;
    return false;
  }
  int32_t aligned = g.requested_offset - g.requested_offset % kSectorBytes;
  FileSeek(g.current, aligned, 0);
  g.file_position = aligned;
  g.first_block_skip = g.requested_offset % kSectorBytes;
  g.switch_position = g.write;
  g.data_end = g.write;
  g.reached = false;
  g.request_pending = false;
  g.switched = true;
  return true;
}

}  // namespace

int16_t StreamInit(int32_t ring_size_request, int32_t largest_frame) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g.users++ > 0) return 0;
  int32_t ring_size = ring_size_request - ring_size_request % kSectorBytes;
  // The reader keeps a sector free before the read position, so a ring needs
  // at least two.
  if (ring_size_request < 2 * kSectorBytes || largest_frame < 0 ||
      MemAlloc(&g.buffer, static_cast<size_t>(ring_size_request) + largest_frame) != 0) {
    g.users = 0;
    return kErrNoMemory;
  }
  MemFill(g.buffer, 0, static_cast<size_t>(ring_size_request) + largest_frame);
  g.ring_size = ring_size;
  g.largest_frame = largest_frame;
  g.write = 0;
  g.read = 0;
  g.last_block = 0;
  g.released = true;
  g.current = 0;
  g.file_position = 0;
  g.file_size = 0;
  g.first_block_skip = 0;
  g.switched = false;
  g.reached = false;
  g.switch_position = 0;
  g.requested_name[0] = 0;
  g.requested_offset = 0;
  g.request_pending = false;
  g.request_failed = false;
  g.data_end = 0;
  return 0;
}

void StreamShutdown() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g.users <= 0 || --g.users > 0) return;
  CloseCurrent(lock);
  MemFree(&g.buffer);
  g.ring_size = 0;
  g.request_pending = false;
}

void StreamReset() {
  std::lock_guard<std::mutex> lock(g_lock);
  g.write = 0;
  g.read = 0;
  g.switched = false;
  g.reached = false;
  g.last_block = 0;
  g.first_block_skip = 0;
  g.request_pending = false;
  g.request_failed = false;
  g.data_end = 0;
  CloseCurrent(lock);
}

int16_t StreamRequestOpen(const char* name, int32_t offset) {
  std::lock_guard<std::mutex> lock(g_lock);
  size_t length = name == nullptr ? 0 : std::strlen(name);
  if (length > static_cast<size_t>(kStreamNameChars) || offset < 0) {
    g.request_pending = false;
    g.request_failed = true;
    RecordError("File Streamer:  Cannot request %s (offset %ld)", name ? name : "",
                static_cast<long>(offset));
    return kErrCannotOpen;
  }
  std::memcpy(g.requested_name, length ? name : "", length + 1);
  g.requested_offset = offset;
  g.request_pending = true;
  g.request_failed = false;
  return 0;
}

// Where the next block may go: the bytes from the write position up to the
// ring's end or up to a sector short of the read position, in whole sectors
// when it is the latter; 0 when there is no room.
int32_t Room(const LockHeld&) {
  int32_t ring_size = g.ring_size;
  int32_t read = g.read, write = g.write;
  if (read <= write && read != 0) return ring_size - write;
  if (read == 0 && ring_size - write > kSectorBytes) return ring_size - write - kSectorBytes;
  int32_t room = read - write - kSectorBytes;
  room -= room % kSectorBytes;
  return room < kSectorBytes ? 0 : room;
}

void StreamReadAhead(int32_t maximum_bytes) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g.buffer == nullptr) return;
  CheckRing(lock);
  bool opened = CarryOutRequest(lock);
  if (g.current == 0 || g.file_position >= g.file_size) return;

  int32_t ring_size = g.ring_size;
  int32_t write = g.write;
  int32_t room = Room(lock);
  if (room == 0) return;

  // Whole sectors only, so file and ring positions stay sector-aligned and
  // every sector of the file is verified in one piece.
  int32_t limit = opened ? std::max(g.largest_frame - g.largest_frame % kSectorBytes, kSectorBytes)
                         : maximum_bytes - maximum_bytes % kSectorBytes;
  room = std::min(room, limit);
  if (room <= 0) return;

  int32_t n = std::min(room, g.file_size - g.file_position);
  int32_t got = FileReadChecked(g.current, g.buffer + write, n);
  if (got == n) {
    // The positions move by the whole block even past the file's end; the
    // bytes no file filled are zeroed so that an old file's data never
    // passes for this one's.
    if (n < room) MemFill(g.buffer + write + n, 0, static_cast<size_t>(room - n));
    g.data_end = write + n >= ring_size ? write + n - ring_size : write + n;
    g.file_position = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(g.file_position) + room, INT32_MAX));
    write += room;
    g.write = write >= ring_size ? write - ring_size : write;
    if (g.switched) g.reached = true;
    CheckRing(lock);
  } else {
    FileSeek(g.current, g.file_position, 0);
  }
}

StreamChunk StreamFetch(int32_t n) {
  std::lock_guard<std::mutex> lock(g_lock);
  // Repair: with no file, or at its end, and nothing coming (a refused or
  // failed request) the consumer was told "not yet" for ever; now: the end.
  if (g.current == 0) return {NothingComing(lock) ? kStreamEnd : kStreamNotYet, nullptr};
  if (n < 0 || n > g.largest_frame) {
    RecordError("File Streamer:  Invalid frame size %ld", static_cast<long>(n));
    return {kStreamError, nullptr};
  }
  int32_t ring_size = g.ring_size;
  CheckRing(lock);
  if (!g.switched && NothingComing(lock)) {
    // The last block stays held at the end, so a consumer may show it again.
    int32_t next = g.read + (g.released ? 0 : g.last_block);
    if (next >= ring_size) next -= ring_size;
    int32_t left = FileBytesFrom(lock, next);
    if (left == 0) return {kStreamEnd, nullptr};
    // The block can never arrive (a cut-off file): damage, not a wait.
    if (static_cast<int64_t>(n) + g.first_block_skip > left) {
      RecordError("File Streamer:  Read past end of file %ld", static_cast<long>(n));
      return {kStreamError, nullptr};
    }
  }
  if (!g.released) {
    int32_t read = g.read + g.last_block;
    g.read = read >= ring_size ? read - ring_size : read;
    g.last_block = 0;
    g.released = true;
  }
  if (g.switched) {
    g.switched = false;
    g.reached = false;
    g.read = g.switch_position;
    g.last_block = 0;
    g.released = false;
    return {kStreamSwitched, nullptr};
  }
  int32_t available = Available(lock);
  // The zeros behind a file's last block are never handed out as its bytes.
  if (g.file_position >= g.file_size) available = std::min(available, FileBytesFrom(lock, g.read));
  int32_t skip = g.first_block_skip;
  if (static_cast<int64_t>(n) + skip > available) return {kStreamNotYet, nullptr};
  // The skipped bytes are dropped first, so the handed-out block itself is at
  // most the largest frame and its wrapped part always fits the overflow area.
  int32_t read = g.read + skip;
  if (read >= ring_size) read -= ring_size;
  g.read = read;
  g.first_block_skip = 0;
  g.last_block = n;
  g.released = false;
  if (read + n > ring_size) {
    MemCopy(g.buffer + ring_size, g.buffer, static_cast<size_t>(read + n - ring_size));
  }
  return {kStreamData, g.buffer + read};
}

int16_t StreamFillPercent() {
  int16_t current = g.current.load(std::memory_order_relaxed);
  int32_t position = g.file_position.load(std::memory_order_relaxed);
  int32_t size = g.file_size.load(std::memory_order_relaxed);
  int32_t ring_size = g.ring_size.load(std::memory_order_relaxed);
  if (current == 0 || ring_size <= 0 || static_cast<int64_t>(position) + kSectorBytes >= size) {
    return 100;
  }
  int64_t read = g.read.load(std::memory_order_relaxed);
  int64_t write = g.write.load(std::memory_order_relaxed);
  int64_t filled = read <= write ? write - read : write - read + ring_size;
  return static_cast<int16_t>(std::clamp<int64_t>(filled * 100 / ring_size, 0, 100));
}

bool StreamReadAheadHasWork() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g.buffer == nullptr) return false;
  if (g.request_pending) return true;
  return g.current != 0 && g.file_position < g.file_size && Room(lock) > 0;
}

bool StreamSwitchDone() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g.switched && g.reached;
}

bool StreamSwitchFailed() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g.request_failed && !g.request_pending && !g.switched;
}

StreamState StreamInspect() {
  std::lock_guard<std::mutex> lock(g_lock);
  return StreamState{
      g.buffer,        g.ring_size, g.largest_frame,    g.write,    g.read,    g.current,
      g.file_position, g.file_size, g.first_block_skip, g.switched, g.reached, g.request_pending,
      g.request_failed, g.data_end};
}
