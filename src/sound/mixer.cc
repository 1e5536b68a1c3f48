// The mixing channels, the mixing pass with its fades, catch-up, starving and
// ducking, and the track-script interpreter.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "base/bytes.h"
#include "base/switches.h"
#include "sound/internal.h"
#include "base/mem.h"

namespace sound_internal {

SoundEngine& Engine() {
  static SoundEngine engine;
  return engine;
}

void CaptureTail(const LockHeld&, ChannelSlot& slot) {
  MixCursor& c = slot.cursor;
  std::memset(slot.record.fade_buffer, 127, kFadeBytes);
  if (c.ring_start == nullptr || c.ring_size < 1) return;
  int64_t at = RingIndex(c.read_position, c.ring_size);
  int64_t count = std::min<int64_t>(kFadeBytes, c.ring_size - at);
  std::memcpy(slot.record.fade_buffer, c.ring_start + at, static_cast<size_t>(count));
}

}  // namespace sound_internal

using namespace sound_internal;

namespace {

// Script blocks and data pieces one channel may go through in one pass: a
// script that loops without playing anything gives up the pass instead of
// hanging the output (it goes on at the next pass).
constexpr int32_t kStepsPerPass = 65536;

SoundEngine& E() { return Engine(); }

bool Audible(uint16_t flags) {
  switch (flags & 0xC0) {
    case 0x80:
      return GetSwitch(kSwitchVoice) != 0;
    case 0x40:
      return GetSwitch(kSwitchMusic) != 0;
    case 0x00:
      return GetSwitch(kSwitchEffects) != 0;
    default:
      return false;
  }
}

// Effective volume. A master volume raised past 127 by a script saturates at
// full volume rather than wrapping into a quiet level in the mix-in.
int32_t EffectiveVolume(const SoundChannel& r) {
  int32_t e = static_cast<int16_t>(int32_t{r.volume} * E().master_volume / 127);
  e = std::clamp(e, -127, 127);
  if ((r.flags & 0xC0) == 0x40) e = (e * E().duck_gain) >> 8;
  return e;
}

void StopChannel(SoundChannel& r) {
  r.state = 0;
  r.id = kIdleSoundId;
}

uint8_t ReadVariable(const SoundChannel& r, uint8_t index) {
  switch (index) {
    case 255:
      return static_cast<uint8_t>(E().master_volume & 0xFF);
    case 254:
      return static_cast<uint8_t>(r.volume);
    case 253:
      return static_cast<uint8_t>(r.pan);
    default:
      return E().variables[index];
  }
}

void WriteVariable(SoundChannel& r, uint8_t target, uint8_t value, bool add) {
  switch (target) {
    case 255:
      E().master_volume =
          add ? static_cast<int16_t>(E().master_volume + value) : static_cast<int16_t>(value);
      break;
    case 254:
      r.volume = static_cast<int8_t>(add ? r.volume + value : value);
      break;
    case 253:
      r.pan = static_cast<int8_t>(add ? r.pan + value : value);
      break;
    default:
      E().variables[target] = static_cast<uint8_t>(add ? E().variables[target] + value : value);
      break;
  }
}

// After a data block: a read position older than the ring still holds is
// moved forward, or the channel stops when the block is gone altogether.
bool CheckDataValid(SoundChannel& r, MixCursor& c) {
  const int64_t margin = r.written < r.total ? kStreamMargin : 0;
  if (c.read_position < r.written - c.ring_size + margin) {
    const int64_t advance = r.written - c.read_position - c.ring_size + kStreamMargin;
    if (c.remaining < advance) {
      StopChannel(r);
      return false;
    }
    c.read_position += advance;
    c.remaining -= advance;
  }
  return true;
}

// Executes the script block at the cursor. false: the channel stopped.
bool ExecuteBlock(ChannelSlot& slot, int32_t& e) {
  SoundChannel& r = slot.record;
  MixCursor& c = slot.cursor;
  const int64_t at = c.script_at;
  // A block (with the fields its type reads) must lie inside the script.
  auto fits = [&](int64_t bytes) {
    return c.script != nullptr && at >= 0 && at + bytes <= c.script_size;
  };
  if (!fits(2)) {
    StopChannel(r);
    return false;
  }
  const uint8_t* b = c.script + at;
  const uint8_t type = b[0];
  const int64_t next = at + b[1] + 2;
  const uint8_t* f = b + 2;
  static constexpr int8_t kFieldBytes[12] = {-1, 8, 3, 2, 2, -1, 12, 18, 4, 4, 4, 4};
  if (type > 11 || kFieldBytes[type] < 0 || !fits(2 + kFieldBytes[type])) {
    StopChannel(r);
    return false;
  }
  switch (type) {
    case 1:
    case 6:
      c.read_position = ReadBE32s(f);
      c.remaining = ReadBE32s(f + 4);
      c.rate = type == 1 ? E().output_rate : ReadBE32s(f + 8);
      c.repeat_count = 0;
      c.script_at = next;
      // A block that can never play (no positive rate) ends the sound.
      if (c.rate < 1) {
        StopChannel(r);
        return false;
      }
      return CheckDataValid(r, c);
    case 7: {
      if (c.repeat_count == 0) {
        c.repeat_count = ReadBE32s(f + 4);
        c.repeat_offset = 0;
      }
      c.read_position = int64_t{ReadBE32s(f)} + c.repeat_offset;
      c.remaining = std::min<int64_t>(ReadBE32s(f + 12), c.repeat_count);
      c.rate = ReadBE32s(f + 8);
      c.repeat_count -= c.remaining;
      c.repeat_offset += c.remaining;
      c.script_at = c.repeat_count != 0 ? next : at + ReadBE16s(f + 16);
      if (c.rate < 1) {
        StopChannel(r);
        return false;
      }
      return CheckDataValid(r, c);
    }
    case 2: {
      const uint8_t index = f[2];
      c.script_at = index == 0 || ReadVariable(r, index) != 0 ? at + ReadBE16s(f) : next;
      return true;
    }
    case 3:
    case 4:
      WriteVariable(r, f[0], f[1], type == 4);
      if (type == 3 && f[0] == 254) e = EffectiveVolume(r);
      c.script_at = next;
      return true;
    default: {  // 8 to 11
      const uint8_t variable = ReadVariable(r, f[2]);
      const uint8_t value = f[3];
      bool jump = type == 8    ? value < variable
                  : type == 9  ? variable < value
                  : type == 10 ? value == variable
                               : value != variable;
      c.script_at = jump ? at + ReadBE16s(f) : next;
      return true;
    }
  }
}

// One channel of a pass. Returns true when a voice delivered data.
bool MixChannel(const LockHeld& lock, ChannelSlot& slot, int32_t block_length,
                MixInProc mix_in) {
  SoundChannel& r = slot.record;
  MixCursor& c = slot.cursor;
  const int32_t output_rate = E().output_rate;
  const bool audible = Audible(r.flags);
  bool speaking = false;
  int32_t e = EffectiveVolume(r);

  if (r.state == 2 && c.previous_state == 1) {
    // A new sound on a playing channel: the old tail fades out.
    if (!slot.tail_captured) CaptureTail(lock, slot);
    c.fade_remaining = kFadeBytes;
    c.fade_rate = c.rate;
    c.fade_level = 0;
  } else if (r.state == 1 && r.written < r.total &&
             c.read_position < r.written - c.ring_size + kStreamMargin) {
    // The writer is about to overrun the reader: jump ahead, fading the old
    // place out.
    c.fade_level = 0;
    int64_t skip = r.written - c.read_position - kStreamMargin;
    skip = std::min(skip, c.remaining);
    skip = std::min(skip, (r.total - c.ring_size) - c.read_position);
    if (skip > 0) {
      std::memset(r.fade_buffer, 127, kFadeBytes);
      int64_t at = RingIndex(c.read_position, c.ring_size);
      int64_t count = std::min<int64_t>(kFadeBytes, c.ring_size - at);
      std::memcpy(r.fade_buffer, c.ring_start + at, static_cast<size_t>(count));
      c.fade_remaining = kFadeBytes;
      c.fade_rate = c.rate;
      c.read_position += skip;
      c.remaining -= skip;
    }
  }

  if (c.fade_remaining > 0 && c.fade_rate > 0) {
    const int64_t need = int64_t{c.fade_rate} * block_length / output_rate;
    int64_t n = std::min<int64_t>(need, c.fade_remaining);
    int32_t index = 0;
    while (n > 0) {
      const int32_t piece = static_cast<int32_t>(std::min<int64_t>(n, kPieceBytes));
      const int32_t volume = c.fade_remaining * e / kFadeBytes;
      const int32_t count = piece == need
                                ? block_length
                                : static_cast<int32_t>(int64_t{piece} * output_rate / c.fade_rate);
      if (audible)
        mix_in(r.fade_buffer + kFadeBytes - c.fade_remaining, index, count, piece, 1, volume,
               r.pan);
      c.fade_remaining -= piece;
      index += count;
      n -= piece;
    }
  }

  if (r.state == 2) {
    if (c.previous_state != 1) c.fade_level = 16;
    c.script = r.script_start;
    c.script_size = r.script_size;
    c.script_at = 0;
    c.ring_start = r.ring_start;
    c.ring_size = r.ring_size;
    c.remaining = 0;
    c.repeat_count = 0;
    r.state = 1;
    slot.held_cursor.swap(slot.held_record);
    slot.tail_captured = false;
  }

  if (r.state != 0 && c.ring_size > 0) {
    int64_t left = block_length;
    int32_t index = 0;
    int32_t steps = 0;
    while (left > 0) {
      if (c.remaining > 0) {
        if (++steps > kStepsPerPass) break;
        const int64_t want = int64_t{c.rate} * left / output_rate;
        int64_t at = RingIndex(c.read_position, c.ring_size);
        int64_t n = std::min({want, c.remaining, c.ring_size - at});
        if (r.written >= c.read_position + n) {
          if (c.fade_level < 16) ++c.fade_level;
          n = std::min<int64_t>(n, kPieceBytes);
          r.state = 1;
          if ((r.flags & 0xC0) == 0x80) speaking = true;
        } else {
          // Data that is not there when the whole sound has arrived never
          // will be: stop rather than starve for ever.
          if (r.written >= r.total) {
            StopChannel(r);
            break;
          }
          if (c.fade_level > 0) --c.fade_level;
          r.state = 3;
          n = std::min<int64_t>(n, kPieceBytes);
          // Play the last bytes again, never reaching back across the
          // ring's start.
          if (at > 0) n = std::min(n, at);
          c.read_position -= n;
          c.remaining += n;
          at = RingIndex(c.read_position, c.ring_size);
        }
        const int64_t count = n == want ? left : n * output_rate / c.rate;
        if (audible && n > 0)
          mix_in(c.ring_start + at, index, static_cast<int32_t>(count), static_cast<int32_t>(n), 1,
                 (c.fade_level * e) >> 4, r.pan);
        c.remaining -= n;
        c.read_position += n;
        left -= count;
        index += static_cast<int32_t>(count);
      }
      bool stopped = false;
      while (c.remaining < 1) {
        if (left <= 0 || ++steps > kStepsPerPass) break;
        if (!ExecuteBlock(slot, e)) {
          stopped = true;
          break;
        }
      }
      if (stopped || (c.remaining < 1) || steps > kStepsPerPass) break;
    }
  }

  r.position = c.read_position;
  c.previous_state = r.state;
  return speaking;
}

int16_t AddChannel(int32_t size, int32_t reserve) {
  SoundEngine& g = E();
  assert(g.channel_count >= 0 && g.channel_count < kMaxSoundChannels);
  ChannelSlot& slot = g.channels[g.channel_count];
  slot = ChannelSlot();
  SoundChannel& r = slot.record;
  if (MemAlloc(&r.fade_buffer, kFadeBytes) != 0) return -1;
  bool ok = size > 0 && MemAlloc(&r.buffer, static_cast<size_t>(size)) == 0;
  if (!ok && size > reserve) {
    // Take what leaves the reserve free for the rest of the system.
    for (int32_t s = size; s > reserve; s -= 10000) {
      void* probe = nullptr;
      if (MemAlloc(&probe, static_cast<size_t>(s)) == 0) {
        MemFree(&probe);
        size = s - reserve;
        ok = MemAlloc(&r.buffer, static_cast<size_t>(size)) == 0;
        break;
      }
    }
  }
  if (!ok) {
    MemFree(&r.fade_buffer);
    return -2;
  }
  r.buffer_size = size;
  MemFill(r.buffer, 127, static_cast<size_t>(size));
  ++g.channel_count;
  return 0;
}

void FreeChannels() {
  SoundEngine& g = E();
  for (int i = 0; i < kMaxSoundChannels; ++i) {
    ChannelSlot& slot = g.channels[i];
    MemFree(&slot.record.buffer);
    MemFree(&slot.record.fade_buffer);
    slot = ChannelSlot();
  }
  g.channel_count = 0;
}

}  // namespace

int16_t SoundInit(SoundDriver driver, int32_t output_rate, int32_t reserve,
                  const int32_t* sizes) {
  SoundEngine& g = E();
  if (g.channel_count > 0 || g.driver != nullptr) SoundShutdown();
  {
    std::lock_guard<std::mutex> lock(g.lock);
    g.driver = driver;
    g.channel_count = 0;
    g.master_volume = 127;
    g.duck_gain = 256;
    std::memset(g.variables, 0, sizeof(g.variables));
    // The rate divides every block length; without a positive one nothing
    // could mix.
    bool failed = output_rate < 1;
    for (int i = 0; !failed && sizes != nullptr && sizes[i] != 0; ++i) {
      if (g.channel_count >= kMaxSoundChannels) break;  // at most 16 channels
      if (AddChannel(sizes[i], reserve) != 0) failed = true;
    }
    if (failed) {
      FreeChannels();
      g.driver = nullptr;
      return -1;
    }
    g.output_rate = output_rate;
    g.pass_counter = 0;
  }
  // Not under the lock: the driver's tick takes it.
  int32_t answer = driver != nullptr
                       ? driver(2, output_rate, g.channel_count,
                                reinterpret_cast<intptr_t>(&MixChannels), 0, 0)
                       : -1;
  // Repair: an output already open answered 1 with its count raised, and no
  // close ever lowered it again (the output then never closed); that open is
  // given back at once, and this start runs silent as any that is not 0.
  if (answer == 1) driver(3, 0, 0, 0, 0, 0);
  g.sound_available = answer == 0 ? 1 : 0;
  return 0;
}

int32_t SoundShutdown() {
  SoundEngine& g = E();
  // The driver stops first, so that no pass runs while the channels go.
  if (g.sound_available.load() != 0 && g.driver != nullptr) g.driver(3, 0, 0, 0, 0, 0);
  g.sound_available = 0;
  g.driver = nullptr;
  {
    std::lock_guard<std::mutex> lock(g.lock);
    FreeChannels();
  }
  return static_cast<int32_t>(g.pass_counter.load());
}

int32_t SoundStatus(int16_t which) {
  SoundEngine& g = E();
  std::lock_guard<std::mutex> lock(g.lock);
  auto answer = [](const SoundChannel& r) -> int32_t {
    return r.state == 0 ? 0 : static_cast<int32_t>(r.position + 1);
  };
  if (which == kAnySoundPlaying) {
    for (int i = 0; i < g.channel_count; ++i)
      if (g.channels[i].record.state != 0) return 1;
    return 0;
  }
  if (which < 0) {
    int index = -which - 1;
    if (index < g.channel_count) return answer(g.channels[index].record);
  }
  for (int i = 0; i < g.channel_count; ++i)
    if (g.channels[i].record.id == static_cast<uint16_t>(which))
      return answer(g.channels[i].record);
  return 0;
}

void StopAllSounds() {
  SoundEngine& g = E();
  std::lock_guard<std::mutex> lock(g.lock);
  for (int i = 0; i < g.channel_count; ++i) StopChannel(g.channels[i].record);
}

void MixChannels(int32_t block_length, MixInProc mix_in) {
  SoundEngine& g = E();
  g.pass_counter.fetch_add(1);
  if (block_length < 1 || mix_in == nullptr) return;
  bool speaking = false;
  {
    std::lock_guard<std::mutex> lock(g.lock);
    if (g.output_rate < 1) return;
    assert(g.channel_count >= 0 && g.channel_count <= kMaxSoundChannels);
    for (int i = 0; i < g.channel_count; ++i)
      speaking = MixChannel(lock, g.channels[i], block_length, mix_in) || speaking;
  }
  // Speech at the floor holds the music there: recovering only once no voice
  // delivers data keeps the gain from wobbling between floor and floor + 8.
  if (speaking && g.duck_gain > g.duck_floor) {
    int32_t gain = g.duck_gain - ((block_length * g.duck_speed) >> 13);
    g.duck_gain = static_cast<int16_t>(std::max<int32_t>(gain, g.duck_floor));
  } else if (!speaking && g.duck_gain < 256) {
    int32_t gain = g.duck_gain + ((block_length * g.duck_speed) >> 15);
    g.duck_gain = static_cast<int16_t>(std::min<int32_t>(gain, 256));
  }
}

int16_t SoundChannelCount() { return E().channel_count; }

bool GetSoundChannel(int index, SoundChannelView* view) {
  SoundEngine& g = E();
  std::lock_guard<std::mutex> lock(g.lock);
  if (view == nullptr || index < 0 || index >= g.channel_count) return false;
  const ChannelSlot& s = g.channels[index];
  const SoundChannel& r = s.record;
  const MixCursor& c = s.cursor;
  *view = SoundChannelView{r.state,        r.id,          r.flags,          r.volume,
                           r.pan,          r.buffer_size, r.ring_size,      r.written,
                           r.total,        r.position,    r.age,            c.fade_level,
                           c.fade_remaining, c.read_position, c.remaining,  c.rate,
                           r.buffer,       r.ring_start};
  return true;
}

int16_t SoundMasterVolume() { return E().master_volume; }
int16_t SoundDuckGain() { return E().duck_gain; }
uint8_t SoundVariable(int index) { return E().variables[index & 0xFF]; }
bool SoundAvailable() { return E().sound_available.load() != 0; }
