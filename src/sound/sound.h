// The sound engine: a fixed set of mixing channels with their track scripts,
// mixed once per output block, and the starts of the animation's audio chunks.
#pragma once

#include <cstdint>

#include "sound/output.h"

// The driver's command entry (SoundDriverProc in the player).
using SoundDriver = int32_t (*)(int32_t command, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                                intptr_t e);

constexpr int kMaxSoundChannels = 16;
constexpr uint16_t kIdleSoundId = 0xFF01;
constexpr int16_t kAnySoundPlaying = -255;

// Starts the engine: one channel per size of `sizes` (closed by 0), a channel
// that cannot have its full size taking what leaves `reserve` bytes free.
// Returns 0 (also when the driver does not start: the system then runs
// silent) or -1 when the channels could not be allocated.
int16_t SoundInit(SoundDriver driver, int32_t output_rate, int32_t reserve,
                  const int32_t* sizes);
// Stops the driver, then frees every channel. Returns the passes mixed.
int32_t SoundShutdown();
// -255: 1 if any channel is not free. -1-c: channel c (0 free, else its
// position + 1). Otherwise the first channel whose id equals `which`.
int32_t SoundStatus(int16_t which);
// Stops every channel, as if each sound had ended; the channels stay.
void StopAllSounds();
// One mixing pass of `block_length` output samples through `mix_in`.
void MixChannels(int32_t block_length, MixInProc mix_in);

// Hands an audio chunk ("SAUD" or "PSAD", from its tag on) to the engine.
// `available` is the number of bytes readable from `chunk` (the chunk's own
// size is cut to it); negative trusts the chunk's size.
void PlayAudioChunk(const uint8_t* chunk, int16_t id, int16_t volume, int16_t pan,
                    int16_t flags, int64_t available = -1);
// Starts a sound (block 0) or appends a block of a stream (any other).
void StartSoundStream(const uint8_t* data, int32_t length, int16_t id, int16_t volume,
                      int16_t pan, int16_t flags, int32_t track, int32_t block, int32_t key,
                      bool copy);

// Inspection for tests and the overlay.
struct SoundChannelView {
  uint8_t state;
  uint16_t id;
  uint16_t flags;
  int8_t volume;
  int8_t pan;
  int32_t buffer_size;
  int32_t ring_size;
  int64_t written;
  int64_t total;
  int64_t position;
  uint32_t age;
  int16_t fade_level;
  int32_t fade_remaining;
  int64_t read_position;
  int64_t remaining;
  int32_t rate;
  const uint8_t* buffer;
  const uint8_t* ring_start;
};
int16_t SoundChannelCount();
bool GetSoundChannel(int index, SoundChannelView* view);
int16_t SoundMasterVolume();
int16_t SoundDuckGain();
uint8_t SoundVariable(int index);
bool SoundAvailable();
