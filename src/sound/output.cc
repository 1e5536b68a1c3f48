// The sound output driver: a looping DirectSound buffer of five 1024-byte
// blocks, refilled one block a tick ahead of the card, and the table-driven
// integer mixing the passes use.
#include "sound/output.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#include "base/trace.h"
#include "platform/dsound.h"
#include "platform/mmsystem.h"
#include "sound/sound.h"
#include "base/mem.h"

namespace {

constexpr int16_t kStateStarting = 0;
constexpr int16_t kStateIdle = 1;
constexpr int16_t kStateRunning = 2;
constexpr int32_t kMaxTableChannels = 64;

// A volume of 0..127 (by fours) to a table level.
constexpr uint8_t kVolumeCurve[32] = {0,  2,  4,  6,  8,  10, 12, 14, 16, 18, 19,
                                      20, 21, 22, 23, 24, 24, 25, 26, 26, 27, 28,
                                      28, 29, 30, 30, 31, 31, 32, 32, 32, 32};

struct Driver {
  // Read by the tick while the main thread opens a second time.
  std::atomic<uint16_t> open_count{0};
  int32_t output_rate = 0;
  int32_t block_length = kOutputBlockLength;
  int32_t buffer_length = kOutputBlockLength * kOutputBlockCount;
  int16_t next_block = 0;
  int16_t output_state = kStateIdle;
  uint8_t mix_buffer[kOutputBlockLength] = {};
  int32_t* accumulator = nullptr;
  int32_t accumulator_length = 0;
  int16_t* volume_tables = nullptr;  // 33 x 256
  uint8_t* clip_table = nullptr;     // 4096 x N, centred
  int32_t clip_channels = 0;
  SoundBlockCallback callback = nullptr;
  int16_t user_word = 0;
  LPDIRECTSOUND sound = nullptr;
  LPDIRECTSOUNDBUFFER buffer = nullptr;
  UINT timer = 0;
  SoundWindowSource window_source = nullptr;
  std::atomic<bool> muted{false};  // set by the main thread, read by the tick
  // The card's samples played since the open, brought up to date from the
  // play cursor by the tick and by the trace (any thread).
  std::mutex played_lock;
  uint64_t played = 0;
  DWORD last_cursor = 0;
};

Driver g;

// The played count, brought up to the cursor; the cursor is then moved to
// `move_to` when it is not negative (a jump is not playing).
uint64_t UpdatePlayed(int64_t move_to = -1) {
  std::lock_guard<std::mutex> lock(g.played_lock);
  if (g.buffer == nullptr) return g.played;
  DWORD cursor = 0;
  g.buffer->GetCurrentPosition(&cursor, nullptr);
  const DWORD length = static_cast<DWORD>(g.buffer_length);
  g.played += (cursor + length - g.last_cursor % length) % length;
  g.last_cursor = cursor;
  if (move_to >= 0) {
    g.buffer->SetCurrentPosition(static_cast<DWORD>(move_to));
    g.last_cursor = static_cast<DWORD>(move_to);
  }
  return g.played;
}

uint64_t PlayedForTrace() { return UpdatePlayed(); }

// Mixes a block; with the trace on, also says which stream bytes of each
// channel went into it and when the card plays it.
void MixTracedBlock(DWORD play_cursor, int16_t block) {
  if (!trace::On()) {
    MixOneBlock();
    return;
  }
  int64_t before[kMaxSoundChannels];
  const int count = std::min<int>(SoundChannelCount(), kMaxSoundChannels);
  SoundChannelView view{};
  for (int c = 0; c < count; ++c) before[c] = GetSoundChannel(c, &view) ? view.position : -1;
  MixOneBlock();
  const uint64_t played = UpdatePlayed();
  const DWORD length = static_cast<DWORD>(g.buffer_length);
  const DWORD ahead =
      (static_cast<DWORD>(block * g.block_length) + length - play_cursor % length) % length;
  for (int c = 0; c < count; ++c) {
    if (!GetSoundChannel(c, &view) || before[c] < 0 || view.position == before[c]) continue;
    trace::Mixed(c, before[c], view.position, played + ahead, g.block_length, g.output_rate);
  }
}

void StartTick() {
  if (g.timer == 0)
    g.timer = timeSetEvent(kOutputTickMs, kOutputTickMs, OutputTimerProc, 0, TIME_PERIODIC);
}

// Returns only when no tick runs any more.
void StopTick() {
  if (g.timer != 0) timeKillEvent(g.timer);
  g.timer = 0;
}

void ReleaseBuffer() {
  if (g.buffer != nullptr) {
    g.buffer->Stop();
    std::lock_guard<std::mutex> lock(g.played_lock);
    g.buffer->Release();
    g.buffer = nullptr;
  }
}

void ConvertAccumulator() {
  for (int32_t k = 0; k < g.block_length; ++k) g.mix_buffer[k] = ClipTableAt(g.accumulator[k]);
}

}  // namespace

int32_t SoundDriverProc(int32_t command, intptr_t a, intptr_t b, intptr_t c, intptr_t,
                        intptr_t) {
  switch (command) {
    case 1:
      return 0;
    case 2:
      return OpenSoundOutput(static_cast<int32_t>(a), static_cast<int32_t>(b),
                             reinterpret_cast<SoundBlockCallback>(c));
    case 3:
      CloseSoundOutput();
      return 0;
    case 5:
      g.user_word = static_cast<int16_t>(a);
      return 0;
    case 6:
      return g.user_word;
    case 7: {
      // The tick uses the buffer: keep it away while the buffer changes.
      bool ticking = g.timer != 0;
      StopTick();
      int32_t result = CreateOutputBuffer(static_cast<int32_t>(a));
      if (ticking && g.buffer != nullptr) StartTick();
      return result;
    }
    case 8:
      return g.output_rate;
    default:
      return -1;
  }
}

int32_t OpenSoundOutput(int32_t rate, int32_t channel_count, SoundBlockCallback callback) {
  if (g.open_count.fetch_add(1) != 0) return 1;
  g.callback = callback;
  g.output_rate = rate;
  g.output_state = kStateIdle;
  g.next_block = 0;
  if (rate <= 0 || DirectSoundCreate(nullptr, &g.sound, nullptr) != DS_OK || g.sound == nullptr) {
    g.sound = nullptr;
    CloseSoundOutput();
    return -1;
  }
  HWND window = g.window_source != nullptr ? g.window_source() : nullptr;
  if (g.sound->SetCooperativeLevel(window, DSSCL_PRIORITY) != DS_OK ||
      CreateOutputBuffer(rate) != 0 || BuildMixTables(channel_count, kOutputBlockLength) != 0) {
    CloseSoundOutput();
    return -1;
  }
  StartTick();
  if (g.timer == 0) {
    CloseSoundOutput();
    return -1;
  }
  trace::SetSamplesSource(PlayedForTrace);
  return 0;
}

void CloseSoundOutput() {
  // A close without an open must not wrap the count.
  if (g.open_count.load() == 0) return;
  if (g.open_count.fetch_sub(1) != 1) return;
  trace::SetSamplesSource(nullptr);
  StopTick();
  ReleaseBuffer();
  if (g.sound != nullptr) g.sound->Release();
  g.sound = nullptr;
  FreeMixTables();
}

int32_t CreateOutputBuffer(int32_t rate) {
  if (g.sound == nullptr || rate <= 0) return -1;
  g.output_rate = rate;
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.nAvgBytesPerSec = static_cast<DWORD>(rate);
  format.nBlockAlign = 1;
  format.wBitsPerSample = 8;
  format.cbSize = 0;
  g.buffer_length = kOutputBlockLength * kOutputBlockCount;
  g.block_length = kOutputBlockLength;
  ReleaseBuffer();
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  desc.dwBufferBytes = static_cast<DWORD>(g.buffer_length);
  desc.lpwfxFormat = &format;
  LPDIRECTSOUNDBUFFER buffer = nullptr;
  if (g.sound->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK || buffer == nullptr)
    return -1;
  {
    std::lock_guard<std::mutex> lock(g.played_lock);
    g.buffer = buffer;
    g.last_cursor = 0;
  }
  void* part1 = nullptr;
  void* part2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (g.buffer->Lock(0, static_cast<DWORD>(g.buffer_length), &part1, &bytes1, &part2, &bytes2,
                     0) == DS_OK) {
    if (part1 != nullptr) std::memset(part1, 0x80, bytes1);
    if (part2 != nullptr) std::memset(part2, 0x80, bytes2);
    g.buffer->Unlock(part1, bytes1, part2, bytes2);
  }
  g.buffer->SetCurrentPosition(0);
  g.buffer->Play(0, 0, DSBPLAY_LOOPING);
  return 0;
}

int32_t BuildMixTables(int32_t channel_count, int32_t block_length) {
  FreeMixTables();
  if (channel_count < 1 || channel_count > kMaxTableChannels || block_length < 1 ||
      block_length > kOutputBlockLength)
    return -1;
  const int32_t n = channel_count;
  if (MemAlloc(&g.clip_table, static_cast<size_t>(4096) * n) != 0 ||
      MemAlloc(&g.accumulator, static_cast<size_t>(block_length) * 4) != 0 ||
      MemAlloc(&g.volume_tables, static_cast<size_t>(33) * 256 * 2) != 0) {
    FreeMixTables();
    return -1;
  }
  g.clip_channels = n;
  g.accumulator_length = block_length;
  g.block_length = block_length;
  std::memset(g.accumulator, 0, static_cast<size_t>(block_length) * 4);
  // A rational soft limiter whose knee moves with the channel count; the
  // negative side goes second so that the sum 0 maps to 127.
  uint8_t* centre = g.clip_table + 2048 * n;
  const double c = 128.0;
  for (int32_t i = 0; i <= 2032 * n; ++i) {
    double v = c + 0.5 * (254.0 * n * i / (2032.0 * n + (n - 1.0) * i) + 1.0);
    centre[i] = static_cast<uint8_t>(std::trunc(v));
  }
  for (int32_t i = 0; i <= 2048 * n; ++i) {
    double v = c - 0.5 * (256.0 * n * i / (2048.0 * n + (n - 1.0) * i) + 1.0);
    centre[-i] = static_cast<uint8_t>(static_cast<int32_t>(std::trunc(v)));
  }
  for (int32_t k = 0; k <= 32; ++k)
    for (int32_t s = 0; s < 256; ++s)
      g.volume_tables[k * 256 + s] = static_cast<int16_t>((k * (s - 128)) / 2);
  return 0;
}

void FreeMixTables() {
  MemFree(&g.clip_table);
  MemFree(&g.accumulator);
  MemFree(&g.volume_tables);
  g.clip_channels = 0;
  g.accumulator_length = 0;
}

void OutputTimerProc(UINT, UINT, uintptr_t, uintptr_t, uintptr_t) {
  if (g.open_count.load() == 0 || g.buffer == nullptr) return;
  const bool active = SoundStatus(-255) != 0;
  DWORD play = 0;
  g.buffer->GetCurrentPosition(&play, nullptr);
  const int16_t playing = static_cast<int16_t>((play / static_cast<DWORD>(g.block_length)) %
                                               kOutputBlockCount);
  if (!((active && g.output_state == kStateIdle) || playing != g.next_block)) return;
  if (active) {
    if (g.output_state == kStateIdle) {
      g.next_block = static_cast<int16_t>(playing - 1 < 0 ? kOutputBlockCount - 1 : playing - 1);
      // The cursor is moved onto this block: it plays from now on.
      MixTracedBlock(static_cast<DWORD>(g.next_block * g.block_length), g.next_block);
      g.output_state = kStateStarting;
    } else if (g.output_state == kStateRunning) {
      MixTracedBlock(play, g.next_block);
    }
  } else if (g.output_state == kStateIdle) {
    std::memset(g.mix_buffer, 0x80, sizeof(g.mix_buffer));
  } else if (g.output_state == kStateRunning) {
    // The last mixed block is already queued; writing it again would repeat
    // it audibly, so the card gets silence here.
    g.output_state = kStateIdle;
    std::memset(g.mix_buffer, 0x80, sizeof(g.mix_buffer));
  }
  if (g.muted.load(std::memory_order_relaxed)) std::memset(g.mix_buffer, 0x80, sizeof(g.mix_buffer));
  void* part1 = nullptr;
  void* part2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (g.buffer->Lock(static_cast<DWORD>(g.next_block * g.block_length),
                     static_cast<DWORD>(g.block_length), &part1, &bytes1, &part2, &bytes2,
                     0) != DS_OK)
    return;  // the next tick tries again
  if (part1 != nullptr) std::memcpy(part1, g.mix_buffer, std::min<DWORD>(bytes1, g.block_length));
  g.buffer->Unlock(part1, bytes1, part2, bytes2);
  if (g.output_state == kStateStarting) {
    UpdatePlayed(g.next_block * g.block_length);
    g.output_state = kStateRunning;
  }
  g.next_block = static_cast<int16_t>((g.next_block + 1) % kOutputBlockCount);
}

int32_t VolumeCurveLevel(int32_t volume) {
  int32_t v = static_cast<int8_t>(volume);
  if (v < 0) return (63 - 32 * v) / 127;
  return kVolumeCurve[v / 4];
}

void MixIn(const uint8_t* source, int32_t output_index, int32_t output_count,
           int32_t input_count, int32_t, int32_t volume, int32_t) {
  // Never outside the accumulator nor past the input, whatever the caller
  // computed.
  if (g.accumulator == nullptr || g.volume_tables == nullptr || source == nullptr) return;
  if (output_index < 0 || output_index >= g.accumulator_length) return;
  const int32_t out = std::min(output_count, g.accumulator_length - output_index);
  const int32_t in = input_count;
  if (out <= 0 || in <= 0) return;
  const int16_t* table = g.volume_tables + 256 * VolumeCurveLevel(volume);
  int32_t* acc = g.accumulator + output_index;
  if (in == out) {
    for (int32_t k = 0; k < out; ++k) acc[k] += table[source[k]];
  } else if (2 * in == out) {
    for (int32_t k = 0; k < in; ++k) {
      int32_t v = table[source[k]];
      acc[2 * k] += v;
      acc[2 * k + 1] += v;
    }
  } else if (2 * out == in) {
    for (int32_t k = 0; k < out; ++k) acc[k] += table[source[2 * k]];
  } else {
    // Nearest sample by an error term; the last input sample is held rather
    // than stepping past it.
    int32_t error = -in;
    int32_t at = 0;
    const int32_t last = in - 1;
    for (int32_t k = 0; k < out; ++k) {
      acc[k] += table[source[at]];
      error += in;
      while (error >= 0) {
        error -= out;
        if (at < last) ++at;
      }
    }
  }
}

void SetSoundOutputActive(int32_t flag) {
  if (g.open_count.load() == 0 || g.buffer == nullptr) return;
  if (flag != 0) {
    g.buffer->Restore();
    g.buffer->Play(0, 0, DSBPLAY_LOOPING);
    StartTick();
  } else {
    StopTick();
    g.buffer->Stop();
  }
}

void SetSoundOutputMuted(bool muted) { g.muted = muted; }

void SetSoundOutputWindowSource(SoundWindowSource source) { g.window_source = source; }

int16_t VolumeTableEntry(int32_t level, int32_t sample) {
  if (g.volume_tables == nullptr || level < 0 || level > 32 || sample < 0 || sample > 255) return 0;
  return g.volume_tables[level * 256 + sample];
}

uint8_t ClipTableAt(int32_t sum) {
  const int32_t n = g.clip_channels;
  if (g.clip_table == nullptr) return 0x80;
  sum = std::clamp(sum, -2048 * n, 2032 * n);
  return g.clip_table[2048 * n + sum];
}

int32_t* MixAccumulator() { return g.accumulator; }

const uint8_t* MixOneBlock() {
  if (g.accumulator == nullptr) return g.mix_buffer;
  std::memset(g.accumulator, 0, static_cast<size_t>(g.accumulator_length) * 4);
  if (g.callback != nullptr) g.callback(g.accumulator_length, MixIn);
  ConvertAccumulator();
  return g.mix_buffer;
}

const uint8_t* ConvertMixBlock() {
  if (g.accumulator != nullptr) ConvertAccumulator();
  return g.mix_buffer;
}

int16_t OutputState() { return g.output_state; }
int16_t NextOutputBlock() { return g.next_block; }
uint16_t OutputOpenCount() { return g.open_count.load(); }
