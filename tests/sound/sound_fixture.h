// Builders of sound images, track scripts and audio chunks, and a mixer
// fixture that records what each pass hands to the mix-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "shell/switches.h"
#include "sound/sound.h"

namespace soundtest {

using Bytes = std::vector<uint8_t>;

inline void PutBe32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
inline void PutBe16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
inline void PutLe16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// Track script blocks.
inline Bytes Data(int32_t offset, int32_t length) {
  Bytes b{1, 8};
  PutBe32(b, static_cast<uint32_t>(offset));
  PutBe32(b, static_cast<uint32_t>(length));
  return b;
}
inline Bytes DataAt(int32_t offset, int32_t length, int32_t rate) {
  Bytes b{6, 12};
  PutBe32(b, static_cast<uint32_t>(offset));
  PutBe32(b, static_cast<uint32_t>(length));
  PutBe32(b, static_cast<uint32_t>(rate));
  return b;
}
inline Bytes Repeat(int32_t offset, int32_t count, int32_t rate, int32_t length, int16_t jump) {
  Bytes b{7, 18};
  PutBe32(b, static_cast<uint32_t>(offset));
  PutBe32(b, static_cast<uint32_t>(count));
  PutBe32(b, static_cast<uint32_t>(rate));
  PutBe32(b, static_cast<uint32_t>(length));
  PutBe16(b, static_cast<uint16_t>(jump));
  return b;
}
inline Bytes Jump(int16_t offset, uint8_t variable) {
  Bytes b{2, 3};
  PutBe16(b, static_cast<uint16_t>(offset));
  b.push_back(variable);
  return b;
}
inline Bytes Set(uint8_t target, uint8_t value) { return Bytes{3, 2, target, value}; }
inline Bytes Add(uint8_t target, uint8_t value) { return Bytes{4, 2, target, value}; }
inline Bytes Compare(uint8_t type, int16_t offset, uint8_t variable, uint8_t value) {
  Bytes b{type, 4};
  PutBe16(b, static_cast<uint16_t>(offset));
  b.push_back(variable);
  b.push_back(value);
  return b;
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
  PutBe32(b, static_cast<uint32_t>(body));
  Append(b, Bytes{'S', 'T', 'R', 'K'});
  PutBe32(b, static_cast<uint32_t>(script.size()));
  Append(b, script);
  Append(b, Bytes{'S', 'D', 'A', 'T'});
  PutBe32(b, static_cast<uint32_t>(total));
  Append(b, samples);
  return b;
}

// "PSAD" with 32-bit fields.
inline Bytes Psad32(int32_t track, int32_t block, int32_t key, const Bytes& data) {
  Bytes b{'P', 'S', 'A', 'D'};
  PutBe32(b, static_cast<uint32_t>(12 + data.size()));
  PutBe32(b, static_cast<uint32_t>(track));
  PutBe32(b, static_cast<uint32_t>(block));
  PutBe32(b, static_cast<uint32_t>(key));
  Append(b, data);
  return b;
}

// "PSAD" with 16-bit fields.
inline Bytes Psad16(int16_t track, int16_t block, int16_t key, uint16_t flags, uint8_t volume,
                    uint8_t pan, const Bytes& data) {
  Bytes b{'P', 'S', 'A', 'D'};
  PutBe32(b, static_cast<uint32_t>(10 + data.size()));
  PutLe16(b, static_cast<uint16_t>(track));
  PutLe16(b, static_cast<uint16_t>(block));
  PutLe16(b, static_cast<uint16_t>(key));
  PutLe16(b, flags);
  b.push_back(volume);
  b.push_back(pan);
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

inline void RecordingMixIn(const uint8_t* source, int32_t index, int32_t out, int32_t in,
                           int32_t, int32_t volume, int32_t) {
  // Touches every input byte, so that the sanitizers see any read past a ring.
  volatile uint32_t sum = 0;
  for (int32_t k = 0; k < in; ++k) sum = sum + source[k];
  Calls().push_back(MixCall{in > 0 ? source[0] : uint8_t{0}, source, index, out, in, volume});
}

inline int32_t SilentDriver(int32_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) {
  return 0;
}

constexpr int32_t kSessionSizes[] = {100, 100, 100000, 100000, 80000, 80000, 800000, 0};

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
  void Play(const Bytes& chunk, int16_t id = 0, int16_t flags = 0, int16_t volume = 127) {
    PlayAudioChunk(chunk.data(), id, volume, 0, flags, static_cast<int64_t>(chunk.size()));
  }
};

}  // namespace soundtest
