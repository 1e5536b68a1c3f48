#include "platform/sdl/audio.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::sdl {

namespace {

std::atomic<int> g_open_buffers{0};

// The device pulls bytes from the looping buffer on its own thread; the
// driver's timer thread locks, writes and moves the cursor. One mutex guards
// the bytes, the cursor and the playing flag, so no SDL call is needed
// outside the thread that opens and closes the device.
class SdlSoundBuffer final : public IDirectSoundBuffer {
 public:
  SdlSoundBuffer(DWORD bytes, uint8_t silence) : data_(bytes, silence), staging_(bytes), silence_(silence) {}

  bool Open(const WAVEFORMATEX& format) {
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    // About 23 ms a pull at 22050 Hz: the driver keeps up to four 1024-byte
    // blocks ahead, so the cursor must move in steps well below a block.
    want.samples = 512;
    want.callback = &SdlSoundBuffer::Pull;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) return false;
    ++g_open_buffers;
    SDL_PauseAudioDevice(device_, 0);  // pulls silence until Play
    return true;
  }

  HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
               DWORD flags) override {
    const DWORD size = static_cast<DWORD>(data_.size());
    std::lock_guard<std::mutex> lock(mutex_);
    if (locked_) return DSERR_INVALIDCALL;
    if (flags & DSBLOCK_FROMWRITECURSOR) offset = WriteCursor();
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (part1 == nullptr || bytes1 == nullptr || offset >= size || bytes == 0 || bytes > size)
      return DSERR_INVALIDPARAM;
    // The caller writes into a copy; Unlock moves it in under the lock.
    std::memcpy(staging_.data(), data_.data(), size);
    const DWORD first = std::min(bytes, size - offset);
    *part1 = staging_.data() + offset;
    *bytes1 = first;
    if (part2) *part2 = first < bytes ? staging_.data() : nullptr;
    if (bytes2) *bytes2 = bytes - first;
    if (first < bytes && (part2 == nullptr || bytes2 == nullptr)) return DSERR_INVALIDPARAM;
    locked_ = true;
    return DS_OK;
  }

  HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!locked_) return DSERR_INVALIDCALL;
    locked_ = false;
    if (!Copy(part1, bytes1) || !Copy(part2, bytes2)) return DSERR_INVALIDPARAM;
    return DS_OK;
  }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = true;
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
  }

  HRESULT Stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
    return DS_OK;
  }

  HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (play_cursor) *play_cursor = cursor_;
    if (write_cursor) *write_cursor = WriteCursor();
    return DS_OK;
  }

  HRESULT SetCurrentPosition(DWORD position) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (position >= data_.size()) return DSERR_INVALIDPARAM;
    cursor_ = position;
    return DS_OK;
  }

  // The memory is ours and never taken away.
  HRESULT Restore() override { return DS_OK; }

  uint32_t Release() override {
    if (--references_ > 0) return references_;
    if (device_ != 0) {
      SDL_CloseAudioDevice(device_);  // waits for a running pull
      --g_open_buffers;
    }
    delete this;
    return 0;
  }

 private:
  DWORD WriteCursor() const {
    // One pull ahead of the play cursor: what the device may already hold.
    return static_cast<DWORD>((cursor_ + 512) % data_.size());
  }

  bool Copy(const void* part, DWORD bytes) {
    if (part == nullptr || bytes == 0) return true;
    const uint8_t* p = static_cast<const uint8_t*>(part);
    const uint8_t* base = staging_.data();
    if (p < base || p + bytes > base + staging_.size()) return false;
    std::memcpy(data_.data() + (p - base), p, bytes);
    return true;
  }

  static void Pull(void* user, Uint8* stream, int length) {
    auto* self = static_cast<SdlSoundBuffer*>(user);
    std::lock_guard<std::mutex> lock(self->mutex_);
    const size_t size = self->data_.size();
    for (int i = 0; i < length; ++i) {
      if (!self->playing_) {
        std::memset(stream + i, self->silence_, static_cast<size_t>(length - i));
        return;
      }
      stream[i] = self->data_[self->cursor_];
      if (++self->cursor_ == size) {
        self->cursor_ = 0;
        if (!self->looping_) self->playing_ = false;
      }
    }
  }

  std::vector<uint8_t> data_;
  std::vector<uint8_t> staging_;
  uint8_t silence_;
  std::mutex mutex_;
  DWORD cursor_ = 0;
  bool playing_ = false;
  bool looping_ = false;
  bool locked_ = false;
  SDL_AudioDeviceID device_ = 0;
  uint32_t references_ = 1;
};

class SdlDirectSound final : public IDirectSound {
 public:
  HRESULT SetCooperativeLevel(HWND, DWORD level) override {
    return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, void* outer) override {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (desc == nullptr || desc->lpwfxFormat == nullptr || (desc->dwFlags & DSBCAPS_PRIMARYBUFFER))
      return DSERR_INVALIDPARAM;
    const WAVEFORMATEX& f = *desc->lpwfxFormat;
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels < 1 || f.nChannels > 2 ||
        (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nSamplesPerSec < 1000 ||
        f.nSamplesPerSec > 192000)
      return DSERR_BADFORMAT;
    // Whole frames only, and a size that fits the device's pulls.
    const DWORD frame = static_cast<DWORD>(f.nChannels) * (f.wBitsPerSample / 8);
    if (desc->dwBufferBytes < 4 || desc->dwBufferBytes > (1u << 24) || desc->dwBufferBytes % frame)
      return DSERR_INVALIDPARAM;
    auto* made = new SdlSoundBuffer(desc->dwBufferBytes, f.wBitsPerSample == 8 ? 0x80 : 0);
    if (!made->Open(f)) {
      std::fprintf(stderr, "morvane-demos: no audio device (%s); playing without sound\n",
                   SDL_GetError());
      made->Release();
      return DSERR_NODRIVER;
    }
    *buffer = made;
    return DS_OK;
  }

  uint32_t Release() override {
    if (--references_ > 0) return references_;
    delete this;
    return 0;
  }

 private:
  uint32_t references_ = 1;
};

}  // namespace

HRESULT CreateDirectSound(LPDIRECTSOUND* object) {
  if (object == nullptr) return DSERR_INVALIDPARAM;
  *object = nullptr;
  if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "morvane-demos: no audio (%s); playing without sound\n", SDL_GetError());
    return DSERR_NODRIVER;
  }
  *object = new SdlDirectSound();
  return DS_OK;
}

int OpenAudioBuffers() { return g_open_buffers.load(); }

}  // namespace platform::sdl
