// Builders of sound images, track scripts and audio chunks, and a mixer
// fixture that records what each pass hands to the mix-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "authoring/audio.h"
#include "authoring/san_writer.h"
#include "base/bytes.h"
#include "base/switches.h"
#include "engines/engines.h"
#include "sound/sound.h"

namespace soundtest {

using authoring::Bytes;
using authoring::TrackScript;

// A script that plays `length` samples from the first and ends.
inline Bytes PlayAll(int32_t length) { return TrackScript().Data(0, length).End().bytes(); }

// The sound image of `script` and `samples`; `total` (the samples given
// unless set) and the body size (the whole sound unless set) may claim more.
inline Bytes Image(const Bytes& script, const Bytes& samples, int64_t total = -1,
                   int64_t body = -1) {
  Bytes b = authoring::SoundImage(script, samples.data(), samples.size(),
                                  uint32_t(total < 0 ? int64_t(samples.size()) : total));
  if (body >= 0) authoring::SetBE32(b, 4, uint32_t(body));
  return b;
}

// The first sub-chunk of `frame` as the writer lays it out, without a pad
// byte: the stream blocks are the writer's, so the mixer tests check its
// layouts too.
inline Bytes FirstChunk(const authoring::Frame& frame) {
  authoring::SanWriter writer{authoring::SanHeader{}};
  const size_t at = writer.current_offset() + 8;
  writer.AddFrame(frame);
  const Bytes file = writer.Finish();
  const uint32_t size = ReadBE32(file.data() + at + 4);
  return Bytes(file.begin() + long(at), file.begin() + long(at + 8 + size));
}
// "PSAD" with big-endian 32-bit track, block and key.
inline Bytes Psad32(int32_t track, int32_t block, int32_t key, const Bytes& data) {
  return FirstChunk(authoring::Frame().Psad32(uint32_t(track), uint32_t(block), uint32_t(key), data));
}
// "PSAD" with little-endian 16-bit track, block, key and flags, then volume and pan bytes.
inline Bytes Psad16(int16_t track, int16_t block, int16_t key, uint16_t flags, uint8_t volume,
                    uint8_t pan, const Bytes& data) {
  return FirstChunk(authoring::Frame().Psad16(track, block, key, flags, volume, int8_t(pan), data));
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
