// Builders of sound images, track scripts and audio chunks, and a mixer
// fixture that records what each pass hands to the mix-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "base/switches.h"
#include "engines/engines.h"
#include "sound/sound.h"

namespace soundtest {

using Bytes = std::vector<uint8_t>;

// Appends the low `width` bytes of v, big-endian unless `little`.
inline void Put(Bytes& b, int64_t v, int width, bool little = false) {
  for (int i = 0; i < width; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * (little ? i : width - 1 - i))));
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A script block: type, body size, big-endian fields of the given widths.
inline Bytes Block(uint8_t type, std::initializer_list<std::pair<int64_t, int>> fields) {
  Bytes b{type, 0};
  for (auto [v, width] : fields) Put(b, v, width);
  b[1] = static_cast<uint8_t>(b.size() - 2);
  return b;
}
inline Bytes Data(int32_t offset, int32_t length) { return Block(1, {{offset, 4}, {length, 4}}); }
inline Bytes DataAt(int32_t offset, int32_t length, int32_t rate) {
  return Block(6, {{offset, 4}, {length, 4}, {rate, 4}});
}
inline Bytes Repeat(int32_t offset, int32_t count, int32_t rate, int32_t length, int16_t jump) {
  return Block(7, {{offset, 4}, {count, 4}, {rate, 4}, {length, 4}, {jump, 2}});
}
inline Bytes Jump(int16_t offset, uint8_t variable) {
  return Block(2, {{offset, 2}, {variable, 1}});
}
inline Bytes Set(uint8_t target, uint8_t value) { return Bytes{3, 2, target, value}; }
inline Bytes Add(uint8_t target, uint8_t value) { return Bytes{4, 2, target, value}; }
inline Bytes Compare(uint8_t type, int16_t offset, uint8_t variable, uint8_t value) {
  return Block(type, {{offset, 2}, {variable, 1}, {value, 1}});
}
inline Bytes End() { return Bytes{0, 0}; }
inline Bytes Script(std::initializer_list<Bytes> blocks) {
  Bytes s;
  for (const Bytes& b : blocks) Append(s, b);
  return s;
}

// A sound image: "SAUD" tag, body size (the whole sound unless given), the
// script sub-chunk, the sample sub-chunk header with the total, the samples.
inline Bytes Image(const Bytes& script, const Bytes& samples, int64_t total = -1,
                   int64_t body = -1) {
  if (total < 0) total = static_cast<int64_t>(samples.size());
  if (body < 0) body = 16 + static_cast<int64_t>(script.size()) + total;
  Bytes b{'S', 'A', 'U', 'D'};
  Put(b, body, 4);
  Append(b, Bytes{'S', 'T', 'R', 'K'});
  Put(b, static_cast<int64_t>(script.size()), 4);
  Append(b, script);
  Append(b, Bytes{'S', 'D', 'A', 'T'});
  Put(b, total, 4);
  Append(b, samples);
  return b;
}

// "PSAD" with big-endian 32-bit track, block and key.
inline Bytes Psad32(int32_t track, int32_t block, int32_t key, const Bytes& data) {
  Bytes b{'P', 'S', 'A', 'D'};
  Put(b, static_cast<int64_t>(12 + data.size()), 4);
  for (int32_t v : {track, block, key}) Put(b, v, 4);
  Append(b, data);
  return b;
}

// "PSAD" with little-endian 16-bit track, block, key and flags, then volume and pan bytes.
inline Bytes Psad16(int16_t track, int16_t block, int16_t key, uint16_t flags, uint8_t volume,
                    uint8_t pan, const Bytes& data) {
  Bytes b{'P', 'S', 'A', 'D'};
  Put(b, static_cast<int64_t>(10 + data.size()), 4);
  for (int v : {int(track), int(block), int(key), int(flags)}) Put(b, v, 2, true);
  Append(b, Bytes{volume, pan});
  Append(b, data);
  return b;
}

inline Bytes Fill(size_t n, uint8_t v) { return Bytes(n, v); }
inline Bytes Ramp(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

// One call of the mix-in as a pass made it.
struct MixCall {
  uint8_t first;
  const uint8_t* source;
  int32_t index, out, in, volume;
};

inline std::vector<MixCall>& Calls() {
  static std::vector<MixCall> calls;
  return calls;
}

inline void RecordingMixIn(const uint8_t* source, int32_t index, int32_t out, int32_t in, int32_t,
                           int32_t volume, int32_t) {
  // Touches every input byte, so that the sanitizers see any read past a ring.
  volatile uint32_t sum = 0;
  for (int32_t k = 0; k < in; ++k) sum = sum + source[k];
  Calls().push_back(MixCall{in > 0 ? source[0] : uint8_t{0}, source, index, out, in, volume});
}

inline int32_t SilentDriver(int32_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { return 0; }

inline void Play(const Bytes& chunk, int16_t id = 0, int16_t flags = 0, int16_t volume = 127) {
  PlayAudioChunk(chunk.data(), id, volume, 0, flags, static_cast<int64_t>(chunk.size()));
}

constexpr const int32_t* kSessionSizes = kEngineSizes.channel_sizes;

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSwitches(); }
  void TearDown() override { SoundShutdown(); }

  void Init(const int32_t* sizes = kSessionSizes) {
    ASSERT_EQ(SoundInit(SilentDriver, 22050, 200000, sizes), 0);
    ASSERT_TRUE(SoundAvailable());
  }
  // One pass; returns the calls it made to the mix-in.
  std::vector<MixCall> Pass(int32_t block = 1024) {
    Calls().clear();
    MixChannels(block, RecordingMixIn);
    return Calls();
  }
  SoundChannelView Channel(int i) {
    SoundChannelView v{};
    EXPECT_TRUE(GetSoundChannel(i, &v));
    return v;
  }
};

}  // namespace soundtest
