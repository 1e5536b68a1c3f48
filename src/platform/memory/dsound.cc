// The in-memory DirectSound: buffers in memory whose play cursor follows the
// multimedia clock (real or virtual) at the format's byte rate. What the
// cursor passes over while playing can be captured, so tests hear the card.
#include "platform/dsound.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/backend.h"
#include "platform/memory/model.h"
#include "platform/mmsystem.h"
#include "platform/faults.h"
#include "platform/testing.h"

namespace {

class MemoryBuffer;

// One lock for the whole backend: buffers are touched by the output timer's
// thread while tests read the capture from theirs.
std::mutex g_mutex;
bool g_fail_create = false;
bool g_fail_lock = false;
bool g_capture = false;
std::vector<uint8_t> g_captured;
size_t g_capture_limit = platform::memory::kDefaultAudioCaptureLimit;
bool g_capture_overflowed = false;
std::set<MemoryBuffer*> g_buffers;

// Bounded, so a run that never ends cannot eat the memory; what passes the
// limit is dropped and the overflow reported.
void Capture(const uint8_t* bytes, size_t count) {
  size_t room = g_capture_limit - std::min(g_capture_limit, g_captured.size());
  if (count > room) {
    g_capture_overflowed = true;
    count = room;
  }
  g_captured.insert(g_captured.end(), bytes, bytes + count);
}

class MemoryBuffer final : public IDirectSoundBuffer {
 public:
  MemoryBuffer(DWORD bytes, DWORD rate)
      : data_(bytes, 0), staging_(bytes, 0), rate_(rate == 0 ? 1 : rate) {
    g_buffers.insert(this);
  }

  HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2,
               DWORD* bytes2, DWORD flags) override {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (part1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
    if (g_fail_lock) return DSERR_BUFFERLOST;
    const DWORD size = static_cast<DWORD>(data_.size());
    if (flags & DSBLOCK_FROMWRITECURSOR) {
      CatchUp();
      offset = cursor_;
    }
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    // The caller writes into a copy; Unlock hands it to the card, so the
    // capture never sees a half-written block.
    std::memcpy(staging_.data(), data_.data(), size);
    DWORD first = std::min(bytes, size - offset);
    *part1 = staging_.data() + offset;
    *bytes1 = first;
    if (part2 != nullptr) *part2 = first < bytes ? staging_.data() : nullptr;
    if (bytes2 != nullptr) *bytes2 = bytes - first;
    return DS_OK;
  }

  HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) override {
    std::lock_guard<std::mutex> lock(g_mutex);
    CatchUp();
    Commit(part1, bytes1);
    Commit(part2, bytes2);
    return DS_OK;
  }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    std::lock_guard<std::mutex> lock(g_mutex);
    CatchUp();
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    if (!playing_) Restart();
    playing_ = true;
    return DS_OK;
  }

  HRESULT Stop() override {
    std::lock_guard<std::mutex> lock(g_mutex);
    CatchUp();
    playing_ = false;
    return DS_OK;
  }

  HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) override {
    std::lock_guard<std::mutex> lock(g_mutex);
    CatchUp();
    if (play_cursor != nullptr) *play_cursor = cursor_;
    if (write_cursor != nullptr) *write_cursor = cursor_;
    return DS_OK;
  }

  HRESULT SetCurrentPosition(DWORD position) override {
    std::lock_guard<std::mutex> lock(g_mutex);
    CatchUp();
    if (position >= data_.size()) return DSERR_INVALIDPARAM;
    cursor_ = position;
    Restart();
    return DS_OK;
  }

  HRESULT Restore() override { return DS_OK; }

  uint32_t Release() override {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (--refs_ > 0) return static_cast<uint32_t>(refs_);
    CatchUp();
    g_buffers.erase(this);
    lock.unlock();
    delete this;
    return 0;
  }

  // Brings the cursor up to the clock, capturing what it passes (lock held).
  void CatchUp() {
    if (!playing_) return;
    uint64_t elapsed = static_cast<DWORD>(timeGetTime() - start_time_);
    uint64_t target = elapsed * rate_ / 1000;
    uint64_t delta = target - played_;
    played_ = target;
    // Whole seconds map exactly onto whole byte counts: rebase on them so
    // the counters stay small and the clock's wrap does no harm.
    if (elapsed >= 1000) {
      uint64_t seconds = elapsed / 1000;
      start_time_ += static_cast<DWORD>(seconds * 1000);
      played_ -= seconds * rate_;
    }
    const uint64_t size = data_.size();
    while (delta > 0) {
      uint64_t piece = std::min<uint64_t>(delta, size - cursor_);
      if (g_capture) Capture(data_.data() + cursor_, static_cast<size_t>(piece));
      cursor_ += static_cast<DWORD>(piece);
      delta -= piece;
      if (cursor_ == size) {
        cursor_ = 0;
        if (!looping_) {
          playing_ = false;
          break;
        }
      }
    }
  }

 private:
  ~MemoryBuffer() override = default;

  void Restart() {
    start_time_ = timeGetTime();
    played_ = 0;
  }

  void Commit(void* part, DWORD bytes) {
    if (part == nullptr || bytes == 0) return;
    uint8_t* p = static_cast<uint8_t*>(part);
    if (p < staging_.data() || p >= staging_.data() + staging_.size()) return;
    size_t offset = static_cast<size_t>(p - staging_.data());
    size_t count = std::min<size_t>(bytes, staging_.size() - offset);
    std::memcpy(data_.data() + offset, p, count);
  }

  std::vector<uint8_t> data_;
  std::vector<uint8_t> staging_;
  uint64_t rate_;
  bool playing_ = false;
  bool looping_ = false;
  DWORD cursor_ = 0;
  DWORD start_time_ = 0;
  uint64_t played_ = 0;  // bytes played since start_time_
  int refs_ = 1;
};

class MemorySound final : public IDirectSound {
 public:
  HRESULT SetCooperativeLevel(HWND, DWORD level) override {
    return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                            void* outer) override {
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (desc == nullptr || buffer == nullptr) return DSERR_INVALIDPARAM;
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) return DSERR_UNSUPPORTED;
    const WAVEFORMATEX* format = desc->lpwfxFormat;
    if (format == nullptr || format->wFormatTag != WAVE_FORMAT_PCM) return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < 4 || desc->dwBufferBytes > (1u << 24)) return DSERR_INVALIDPARAM;
    if (platform::AllocationRefused()) return DSERR_OUTOFMEMORY;
    std::lock_guard<std::mutex> lock(g_mutex);
    *buffer = new MemoryBuffer(desc->dwBufferBytes, format->nAvgBytesPerSec);
    return DS_OK;
  }

  uint32_t Release() override {
    if (--refs_ > 0) return static_cast<uint32_t>(refs_);
    delete this;
    return 0;
  }

 private:
  ~MemorySound() override = default;
  int refs_ = 1;
};

}  // namespace

HRESULT DirectSoundCreate(const void* /*device*/, LPDIRECTSOUND* object, void* outer) {
  if (object == nullptr) return DSERR_INVALIDPARAM;
  *object = nullptr;
  if (outer != nullptr) return DSERR_NOAGGREGATION;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fail_create) return DSERR_NODRIVER;
  }
  const auto backend = platform::detail::Installed();
  if (backend->create_direct_sound) return backend->create_direct_sound(object);
  *object = new MemorySound();
  return DS_OK;
}

namespace platform::memory {

void SetDirectSoundFailure(bool fail) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_fail_create = fail;
}

void SetDirectSoundLockFailure(bool fail) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_fail_lock = fail;
}

void SetAudioCapture(bool on) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = on;
  g_capture_overflowed = false;
  if (!on) g_captured.clear();
}

void SetAudioCaptureLimit(size_t bytes) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture_limit = bytes;
}

bool AudioCaptureOverflowed() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_capture_overflowed;
}

std::vector<uint8_t> TakeCapturedAudio() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (MemoryBuffer* buffer : g_buffers) buffer->CatchUp();
  std::vector<uint8_t> out;
  out.swap(g_captured);
  return out;
}

int LiveSoundBuffers() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<int>(g_buffers.size());
}

}  // namespace platform::memory
