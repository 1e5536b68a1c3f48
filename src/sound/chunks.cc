// Audio chunks of the animation: whole sounds ("SAUD") and streams spread
// over many frames ("PSAD"), the choice of a channel and the filling of its
// record.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "diag/log.h"
#include "sound/internal.h"
#include "base/mem.h"
#include "base/bytes.h"
#include "base/tags.h"
#include "base/trace.h"

using namespace sound_internal;

namespace {

constexpr int32_t kImageHeader = 24;  // the image's headers around the script

// The channel a new sound of `need` bytes with `flags` goes to.
int ChooseChannel(const LockHeld&, SoundEngine& g, int64_t need, uint16_t flags) {
  int32_t largest = 0;
  for (int i = 0; i < g.channel_count; ++i)
    largest = std::max(largest, g.channels[i].record.buffer_size);
  int32_t size_class = largest;
  if ((flags & 0xC0) != 0x40) {
    int best = -1;
    int64_t best_difference = 0;
    for (int i = g.channel_count - 1; i >= 0; --i) {
      const int64_t size = g.channels[i].record.buffer_size;
      if (size * 3 / 2 <= need) continue;
      const int64_t difference = std::llabs(size - need);
      if (best < 0 || difference < best_difference) {
        best = i;
        best_difference = difference;
      }
    }
    if (best >= 0) size_class = g.channels[best].record.buffer_size;
  }
  int chosen = -1;
  int64_t best_score = -1;
  for (int i = g.channel_count - 1; i >= 0; --i) {
    const SoundChannel& r = g.channels[i].record;
    int64_t score = 0;
    if (r.buffer_size == size_class) {
      if (r.state == 0)
        score = 4096 + r.age;
      else
        score = (r.flags & 15) > (flags & 15) ? 0 : r.age;
    }
    if (score > best_score) {
      best_score = score;
      chosen = i;
    }
  }
  for (int i = 0; i < g.channel_count; ++i)
    g.channels[i].record.age = std::min<uint32_t>(g.channels[i].record.age + 1, 256);
  if (chosen >= 0) g.channels[chosen].record.age = 0;
  return chosen;
}

void StartFirstBlock(const uint8_t* data, int32_t length, int16_t id, int16_t volume, int16_t pan,
                     int16_t flags, int32_t track, int32_t key, bool copy) {
  SoundEngine& g = Engine();
  // The image's headers and its whole script must lie inside the data.
  const int64_t script_size =
      data != nullptr && length >= kImageHeader ? static_cast<int32_t>(ReadBE32(data + 12)) : -1;
  const bool whole = script_size >= 0 && script_size <= length - kImageHeader;
  const int64_t need = whole && copy ? int64_t{ReadBE32(data + 4)} : 0;
  // An in-place sound plays from a copy of its own: the chunk's memory (the
  // stream ring) is refilled long before the sound ends.
  std::vector<uint8_t> image;
  if (whole && !copy) image.assign(data, data + length);
  std::vector<uint8_t> old_image;  // freed after the lock is released

  std::lock_guard<std::mutex> lock(g.lock);
  // Every start is traced, also one whose image is refused.
  WriteLog(3, 0, "LOG: Sound start stream 1st block\n");
  if (!whole) return;
  const int chosen = ChooseChannel(lock, g, need, static_cast<uint16_t>(flags));
  if (chosen < 0) return;
  ChannelSlot& slot = g.channels[chosen];
  SoundChannel& r = slot.record;
  // The ring needs a positive size: a sound whose headers and script leave
  // no room for samples in this channel is not started.
  const int64_t copied = copy ? std::min<int64_t>(r.buffer_size, length) : length;
  const int64_t ring_size =
      (copy ? int64_t{r.buffer_size} : int64_t{length}) - script_size - kImageHeader;
  if (ring_size < 1 || copied < script_size + kImageHeader) return;

  // The tail of a sound that played at the last pass is kept before the new
  // data overwrites the buffer, for the cross-fade.
  if (slot.cursor.previous_state == 1 && !slot.tail_captured) {
    CaptureTail(lock, slot);
    slot.tail_captured = true;
  }
  r.state = 0;
  slot.keys = StreamKeys{track, 0, key};
  uint8_t* base;
  if (copy) {
    MemCopy(r.buffer, data, static_cast<size_t>(copied));
    old_image.swap(slot.held_record);
    base = r.buffer;
  } else {
    old_image.swap(slot.held_record);
    slot.held_record.swap(image);
    base = slot.held_record.data();
  }
  r.script_start = base + 16;
  r.script_size = static_cast<int32_t>(script_size);
  r.ring_start = r.script_start + script_size + 8;
  r.ring_size = static_cast<int32_t>(ring_size);
  r.written = copied - script_size - kImageHeader;
  trace::Sound(chosen, 0);
  r.total = static_cast<int32_t>(ReadBE32(data + 20 + script_size));
  r.id = static_cast<uint16_t>(id);
  r.volume = 127;
  r.pan = 0;
  if (volume >= 0 && volume <= 127) r.volume = static_cast<int8_t>(volume);
  if (pan >= -127 && pan <= 127) r.pan = static_cast<int8_t>(pan);
  r.flags = static_cast<uint16_t>(flags);
  r.position = 0;
  r.state = 2;
}

void AppendBlock(const uint8_t* data, int32_t length, int16_t volume, int16_t pan,
                 int32_t track, int32_t block, int32_t key) {
  SoundEngine& g = Engine();
  std::lock_guard<std::mutex> lock(g.lock);
  WriteLog(3, 0, "LOG: Sound start stream add block\n");
  if (data == nullptr || length < 0) return;
  for (int i = g.channel_count - 1; i >= 0; --i) {
    ChannelSlot& slot = g.channels[i];
    SoundChannel& r = slot.record;
    if (r.state == 0 || slot.keys.track != track || slot.keys.block != int64_t{block} - 1 ||
        slot.keys.key != key)
      continue;
    slot.keys.block = block;
    if (r.ring_start != nullptr && r.ring_size > 0) {
      // A block longer than the ring keeps only its newest ring-size bytes,
      // which is what the ring would hold after wrapping.
      const int64_t keep = std::min<int64_t>(length, r.ring_size);
      const uint8_t* from = data + (length - keep);
      int64_t at = RingIndex(r.written + (length - keep), r.ring_size);
      int64_t first = std::min<int64_t>(keep, r.ring_size - at);
      std::memcpy(r.ring_start + at, from, static_cast<size_t>(first));
      std::memcpy(r.ring_start, from + first, static_cast<size_t>(keep - first));
    }
    if (volume >= 0 && volume <= 126) r.volume = static_cast<int8_t>(volume);
    if (pan >= -127 && pan <= 127) r.pan = static_cast<int8_t>(pan);
    trace::Sound(i, r.written);
    r.written += length;
    return;
  }
}

}  // namespace

void StartSoundStream(const uint8_t* data, int32_t length, int16_t id, int16_t volume,
                      int16_t pan, int16_t flags, int32_t track, int32_t block, int32_t key,
                      bool copy) {
  if (block == 0)
    StartFirstBlock(data, length, id, volume, pan, flags, track, key, copy);
  else
    AppendBlock(data, length, volume, pan, track, block, key);
}

void PlayAudioChunk(const uint8_t* chunk, int16_t id, int16_t volume, int16_t pan,
                    int16_t flags, int64_t available) {
  if (!SoundAvailable() || chunk == nullptr) return;
  if (available >= 0 && available < 8) return;
  const uint32_t tag = ReadBE32(chunk);
  int64_t length = int64_t{ReadBE32(chunk + 4)} + 8;
  if (available >= 0) length = std::min(length, available);
  // Whatever a chunk claims, a sound is never longer than a 32-bit count.
  length = std::min<int64_t>(length, INT32_MAX);
  if (tag == kTagSAUD) {
    StartSoundStream(chunk, static_cast<int32_t>(length), id, volume, pan, flags, 0, 0, 1, false);
    return;
  }
  if (tag != kTagPSAD || length < 18) return;
  if (chunk[8] == 0 && chunk[9] == 0 && chunk[12] == 0 && chunk[13] == 0 && chunk[16] == 0 &&
      chunk[17] == 0) {
    if (length < 20) return;
    const int32_t track = static_cast<int32_t>(ReadBE32(chunk + 8));
    const int32_t block = static_cast<int32_t>(ReadBE32(chunk + 12));
    const int32_t key = static_cast<int32_t>(ReadBE32(chunk + 16));
    StartSoundStream(chunk + 20, static_cast<int32_t>(length - 20), id, volume, pan, flags, track,
                     block, key, true);
    return;
  }
  const int32_t track = ReadLE16s(chunk + 8);
  const int32_t block = ReadLE16s(chunk + 10);
  const int32_t key = ReadLE16s(chunk + 12);
  const int16_t block_flags = static_cast<int16_t>(flags | ReadLE16s(chunk + 14));
  const int16_t block_volume = static_cast<int16_t>((chunk[16] * volume) >> 7);
  // Pan byte 0x80: none; an out-of-range pan leaves the channel's pan as it is.
  const int16_t block_pan =
      chunk[17] == 0x80 ? int16_t{-128} : static_cast<int16_t>(static_cast<int8_t>(chunk[17]) + pan);
  StartSoundStream(chunk + 18, static_cast<int32_t>(length - 18), id, block_volume, block_pan,
                   block_flags, track, block, key, true);
}
