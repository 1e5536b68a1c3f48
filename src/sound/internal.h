// The sound engine's process-wide state, shared by the mixer and the chunk
// starts (not for other subsystems).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sound/sound.h"

namespace sound_internal {

constexpr int32_t kFadeBytes = 3072;
constexpr int32_t kStreamMargin = 15000;
constexpr int32_t kPieceBytes = 256;

// Stream positions are byte offsets into a sound's whole sample data; they
// are kept wide so that no value a chunk or script claims can overflow.
struct SoundChannel {
  uint8_t* buffer = nullptr;
  uint8_t* fade_buffer = nullptr;  // 3072 bytes
  uint8_t* script_start = nullptr;
  int32_t script_size = 0;
  uint8_t* ring_start = nullptr;
  int32_t buffer_size = 0;
  int8_t volume = 0;
  int8_t pan = 0;
  uint8_t state = 0;  // 0 free, 1 playing, 2 started, 3 starving
  uint16_t flags = 0;
  uint16_t id = kIdleSoundId;
  uint32_t age = 0;
  int32_t ring_size = 0;
  int64_t written = 0;
  int64_t total = 0;
  int64_t position = 0;
};

struct StreamKeys {
  int32_t track = 0;
  int64_t block = 0;
  int32_t key = 0;
};

struct MixCursor {
  const uint8_t* script = nullptr;
  int32_t script_size = 0;
  int64_t script_at = 0;  // offset of the next block in the script
  const uint8_t* ring_start = nullptr;
  int32_t ring_size = 0;
  int64_t read_position = 0;
  int64_t remaining = 0;
  int32_t rate = 0;
  uint16_t previous_state = 0;
  int32_t fade_rate = 0;
  int32_t fade_remaining = 0;
  int16_t fade_level = 0;
  int64_t repeat_offset = 0;
  int64_t repeat_count = 0;
};

struct ChannelSlot {
  SoundChannel record;
  StreamKeys keys;
  MixCursor cursor;
  // Copies of in-place sounds: the one the record names and the one the
  // cursor still plays until the next pass takes the start over.
  std::vector<uint8_t> held_record;
  std::vector<uint8_t> held_cursor;
  // The old sound's tail is already in the fade-out buffer (taken before a
  // start overwrote the channel buffer).
  bool tail_captured = false;
};

struct SoundEngine {
  int16_t channel_count = 0;
  int32_t output_rate = 0;
  int16_t master_volume = 127;
  uint8_t variables[256] = {};
  int16_t duck_gain = 256;
  int16_t duck_floor = 64;
  int16_t duck_speed = 256;
  std::atomic<int32_t> sound_available{0};
  std::atomic<uint32_t> pass_counter{0};
  SoundDriver driver = nullptr;
  std::mutex lock;  // guards the channel table
  ChannelSlot channels[kMaxSoundChannels];
};

SoundEngine& Engine();

// The engine's lock as held by the caller: functions that must run under it
// take one, so that the compiler checks the contract.
using LockHeld = std::lock_guard<std::mutex>;

// Copies the cursor's current tail into the fade-out buffer.
void CaptureTail(const LockHeld&, ChannelSlot& slot);
// Stream position to ring index.
inline int64_t RingIndex(int64_t position, int32_t ring_size) {
  int64_t r = position % ring_size;
  return r < 0 ? r + ring_size : r;
}

}  // namespace sound_internal
