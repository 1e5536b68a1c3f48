// Channels, starts, the mixing pass and the track scripts.
#include <gtest/gtest.h>

#include "sound_fixture.h"

namespace {

using namespace soundtest;

constexpr int32_t kOneSmall[] = {100, 100000, 0};

TEST_F(MixerTest, StartOnAnIdleChannelPlaysAtFullVolumeAtOnce) {
  Init();
  Bytes chunk = Image(Script({Data(0, 4096), End()}), Fill(4096, 200));
  Play(chunk);
  // The sound plays from a copy: the chunk's memory may change at once.
  std::fill(chunk.begin(), chunk.end(), 0);
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].volume, 127);
    EXPECT_EQ(calls[i].in, 256);
    EXPECT_EQ(calls[i].out, 256);
    EXPECT_EQ(calls[i].index, static_cast<int32_t>(256 * i));
    EXPECT_EQ(calls[i].first, 200);
  }
  EXPECT_EQ(Channel(1).state, 1);
  EXPECT_EQ(Channel(1).position, 1024);
}

TEST_F(MixerTest, RestartCrossFadesTheOldTailOutAndTheNewSoundIn) {
  const int32_t one[] = {100, 0};
  Init(one);
  Play(Image(Script({Data(0, 20000), End()}), Fill(20000, 10)));
  Pass();
  Play(Image(Script({Data(0, 20000), End()}), Fill(20000, 250)));
  std::vector<int32_t> old_volumes, new_volumes;
  for (int pass = 0; pass < 4; ++pass) {
    for (const MixCall& c : Pass()) {
      ASSERT_EQ(c.in, 256);
      if (c.first == 10)
        old_volumes.push_back(c.volume);
      else if (c.first != 250)
        ADD_FAILURE() << int(c.first) << " " << c.index << " " << c.volume;
      else
        new_volumes.push_back(c.volume);
    }
  }
  // 3072 bytes of the old sound, falling from full volume.
  ASSERT_EQ(old_volumes.size(), 12u);
  EXPECT_EQ(old_volumes.front(), 127);
  EXPECT_EQ(old_volumes[1], 2816 * 127 / 3072);
  EXPECT_EQ(old_volumes.back(), 256 * 127 / 3072);
  // The new one rises over 16 pieces.
  ASSERT_EQ(new_volumes.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(new_volumes[i], ((i + 1) * 127) >> 4);
  EXPECT_EQ(Pass().front().volume, 127);
}

TEST_F(MixerTest, AStarvingStreamFadesAndRecovers) {
  Init();
  Bytes image = Image(Script({Data(0, 100000), End()}), Ramp(2048), 100000);
  Play(Psad32(7, 0, 9, image));
  Pass();
  Pass();
  auto starving = Pass();
  SoundChannelView v = Channel(3);
  EXPECT_EQ(v.buffer_size, 100000);
  EXPECT_EQ(v.state, 3);
  ASSERT_EQ(starving.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    // The last 256 bytes again, each time quieter.
    EXPECT_EQ(starving[i].source, v.ring_start + 1792);
    EXPECT_EQ(starving[i].volume, ((15 - static_cast<int>(i)) * 127) >> 4);
  }
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(Channel(3).fade_level, 0);
  EXPECT_EQ(Channel(3).read_position, 2048);
  Play(Psad32(7, 1, 9, Fill(4096, 77)));
  auto back = Pass();
  EXPECT_EQ(Channel(3).state, 1);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0].first, 77);
  EXPECT_EQ(back[0].volume, 127 >> 4);
  EXPECT_EQ(back[3].volume, (4 * 127) >> 4);
}

TEST_F(MixerTest, AReaderFarBehindJumpsToTheMarginUnlessPastTheEnd) {
  Init(kOneSmall);
  Bytes image = Image(Script({Data(0, 1000000), End()}), Fill(2048, 140), 1000000);
  Play(Psad32(1, 0, 2, image));
  Pass();
  for (int b = 1; b <= 9; ++b) Play(Psad32(1, b, 2, Fill(10000, 150)));
  SoundChannelView v = Channel(1);
  ASSERT_EQ(v.written, 92048);
  auto calls = Pass();
  v = Channel(1);
  EXPECT_EQ(v.read_position, 92048 - 15000 + 1024);
  EXPECT_EQ(v.fade_remaining, 3072 - 1024);
  // The old place fades out while the new one fades in.
  EXPECT_EQ(calls.front().first, 140);
  EXPECT_EQ(calls.back().first, 150);

  // Near the end of the sound the jump would pass total - ring size: none.
  SoundShutdown();
  Init(kOneSmall);
  Play(Psad32(1, 0, 2, Image(Script({Data(0, 100000), End()}), Fill(2048, 140), 100000)));
  Pass();
  for (int b = 1; b <= 9; ++b) Play(Psad32(1, b, 2, Fill(10000, 150)));
  Pass();
  EXPECT_EQ(Channel(1).read_position, 2048);
}

TEST_F(MixerTest, SpeechDucksMusicToTheFloorAndItRecovers) {
  Init();
  Play(Image(Script({Data(0, 100000), End()}), Fill(100000, 200)), 0, 0x40);
  Play(Image(Script({Data(0, 6 * 1024), End()}), Fill(6 * 1024, 60)), 0, 0x80);
  const int expected[] = {224, 192, 160, 128, 96, 64, 72, 80};
  for (int pass = 0; pass < 8; ++pass) {
    auto calls = Pass();
    EXPECT_EQ(SoundDuckGain(), expected[pass]) << pass;
    if (pass == 6) {
      // Music mixed at the floor: 127 * 64 >> 8.
      EXPECT_EQ(calls.front().volume, 31);
      EXPECT_EQ(calls.front().first, 200);
    }
  }
  EXPECT_EQ(Channel(1).state, 0);
  EXPECT_EQ(Channel(6).flags, 0x40);
}

TEST_F(MixerTest, ChannelSwitchesSilenceTheirClass) {
  Init();
  SetSwitch(1, 0);
  Play(Image(Script({Data(0, 4096), End()}), Fill(4096, 200)), 0, 0x40);
  Play(Image(Script({Data(0, 4096), End()}), Fill(4096, 100)), 0, 0xC0);
  EXPECT_TRUE(Pass().empty());
  EXPECT_EQ(Channel(6).position, 1024);  // processed in full all the same
}

TEST_F(MixerTest, RepeatBlockStepsThroughItsCount) {
  Init();
  // repeat (3 x 100 bytes from 100) -> jump back -> ... -> its target: end.
  Bytes script = Script({Repeat(100, 300, 22050, 100, 25), Jump(-20, 0), End(), Data(0, 10)});
  Play(Image(script, Ramp(500)));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].first, 100);
  EXPECT_EQ(calls[1].first, 200);
  EXPECT_EQ(calls[2].first, 44);  // 300 & 0xFF
  EXPECT_EQ(calls[1].index, 100);
  EXPECT_EQ(Channel(1).state, 0);
  EXPECT_EQ(Channel(1).id, kIdleSoundId);
}

TEST_F(MixerTest, ScriptVariablesVolumesAndConditions) {
  Init();
  // var 5 = 3; loop: play 10 bytes, var 5 += 255 (i.e. -1), jump back while
  // var 5 != 0; then channel volume 64 and end after one more block.
  Bytes script = Script({Set(5, 3), Data(0, 10), Add(5, 255), Compare(11, -14, 5, 0),
                         Set(254, 64), Data(20, 10), Set(255, 200), End()});
  Play(Image(script, Ramp(100)), 0, 0, 127);
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].first, 0);
  EXPECT_EQ(calls[2].volume, 127);
  EXPECT_EQ(calls[3].first, 20);
  EXPECT_EQ(calls[3].volume, 64);  // the channel volume takes effect at once
  EXPECT_EQ(SoundVariable(5), 0);
  EXPECT_EQ(SoundMasterVolume(), 200);
  // A master volume above 127 saturates: full volume, not a wrapped byte.
  Play(Image(Script({Data(0, 1024), End()}), Fill(1024, 99)));
  auto loud = Pass();
  ASSERT_FALSE(loud.empty());
  EXPECT_EQ(loud.front().volume, 127);
}

TEST_F(MixerTest, StatusAnswers) {
  Init();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  EXPECT_EQ(SoundStatus(-1), 0);
  Play(Image(Script({Data(0, 4096), End()}), Fill(4096, 1)), 77);
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);
  EXPECT_EQ(SoundStatus(-2), 1);  // channel 1, position 0
  EXPECT_EQ(SoundStatus(77), 1);
  Pass();
  EXPECT_EQ(SoundStatus(-2), 1025);
  EXPECT_EQ(SoundStatus(77), 1025);
  EXPECT_EQ(SoundStatus(-1), 0);
  EXPECT_EQ(SoundStatus(78), 0);
  EXPECT_EQ(SoundStatus(-100), 0);  // past the count: looked up as an id
  for (int i = 0; i < 4; ++i) Pass();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  EXPECT_EQ(SoundShutdown(), 5);
}

TEST_F(MixerTest, ChannelChoice) {
  Init();
  Bytes script = Script({Data(0, 10), End()});
  Play(Image(script, Fill(50, 1)));
  EXPECT_EQ(Channel(1).state, 2);  // in place: a 100-byte channel, highest first
  EXPECT_EQ(Channel(1).buffer[0], 127);  // its buffer untouched
  Play(Image(script, Fill(50, 1)));
  EXPECT_EQ(Channel(0).state, 2);
  // Copied: the size nearest the body among those whose 1.5 times exceed it.
  Play(Psad32(1, 0, 1, Image(script, Fill(50, 1), 95000)));
  EXPECT_EQ(Channel(3).state, 2);
  Play(Psad32(2, 0, 1, Image(script, Fill(50, 1), 1, 90000)));  // tie: the higher index
  EXPECT_EQ(Channel(5).state, 2);
  Play(Psad32(3, 0, 1, Image(script, Fill(50, 1), 150000)));
  EXPECT_EQ(Channel(6).state, 2);
  // Music: the largest channel whatever its size.
  Play(Image(script, Fill(50, 1)), 5, 0x40);
  EXPECT_EQ(Channel(6).id, 5);
  // Both small channels busy: the older one is taken over.
  Play(Image(script, Fill(50, 1)), 9);
  EXPECT_EQ(Channel(1).id, 9);
}

TEST_F(MixerTest, PsadLayouts) {
  Init();
  Bytes image = Image(Script({Data(0, 10000), End()}), Fill(1000, 30), 10000);
  // 16-bit fields: volume byte 128 with the caller's 127 is 127; flags OR.
  Play(Psad16(3, 0, 4, 0x0080, 128, 0x80, image), 0, 0x0001);
  SoundChannelView v = Channel(5);
  EXPECT_EQ(v.state, 2);
  EXPECT_EQ(v.volume, 127);
  EXPECT_EQ(v.flags, 0x81);
  EXPECT_EQ(v.written, 1000);
  // Volume byte 255 gives 253: out of range, the default stays.
  Play(Psad16(5, 0, 4, 0, 255, 10, image));
  EXPECT_EQ(Channel(4).volume, 127);
  EXPECT_EQ(Channel(4).pan, 10);
  Bytes large = Image(Script({Data(0, 10000), End()}), Fill(1000, 30), 10000, 95000);
  Play(Psad16(6, 0, 4, 0, 64, 0, large));
  EXPECT_EQ(Channel(3).volume, 63);
  // Later blocks: in order only; block 3 after block 1 is dropped, and all after.
  Play(Psad16(3, 1, 4, 0, 128, 0, Fill(100, 31)));
  EXPECT_EQ(Channel(5).written, 1100);
  Play(Psad16(3, 3, 4, 0, 128, 0, Fill(100, 32)));
  Play(Psad16(3, 4, 4, 0, 128, 0, Fill(100, 32)));
  Play(Psad16(3, 2, 5, 0, 128, 0, Fill(100, 32)));  // wrong key
  EXPECT_EQ(Channel(5).written, 1100);
  // 32-bit fields carry no volume: the caller's.
  Play(Psad32(0x0100, 0, 0x0200, large), 0, 0, 100);
  EXPECT_EQ(Channel(2).volume, 100);
  Play(Psad32(0x0100, 1, 0x0200, Fill(10, 1)));
  EXPECT_EQ(Channel(2).written, 1010);
}

TEST_F(MixerTest, LaterBlocksWrapAroundTheRing) {
  const int32_t sizes[] = {100, 20000, 0};
  Init(sizes);
  Bytes script = Script({Data(0, 100000), End()});
  Play(Psad32(1, 0, 1, Image(script, Fill(19000, 1), 100000)));
  SoundChannelView v = Channel(1);
  const int32_t ring = v.ring_size;
  ASSERT_EQ(ring, 20000 - static_cast<int32_t>(script.size()) - 24);
  Play(Psad32(1, 1, 1, Ramp(2000)));
  v = Channel(1);
  const int32_t split = ring - 19000;
  EXPECT_EQ(v.ring_start[ring - 1], static_cast<uint8_t>(split - 1));
  EXPECT_EQ(v.ring_start[0], static_cast<uint8_t>(split));
  EXPECT_EQ(v.written, 21000);
  // A block longer than the whole ring keeps its newest bytes.
  Bytes big(3 * ring + 7);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  Play(Psad32(1, 2, 1, big));
  v = Channel(1);
  EXPECT_EQ(v.written, 21000 + static_cast<int64_t>(big.size()));
  for (int64_t p = v.written - ring; p < v.written; p += 997)
    EXPECT_EQ(v.ring_start[p % ring], static_cast<uint8_t>((p - 21000) * 7));
}

TEST_F(MixerTest, NoSoundWithoutADriver) {
  ASSERT_EQ(SoundInit(nullptr, 22050, 200000, kSessionSizes), 0);
  EXPECT_FALSE(SoundAvailable());
  Play(Image(Script({Data(0, 10), End()}), Fill(10, 1)));
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  const int32_t bad[] = {100, -5, 0};
  EXPECT_EQ(SoundInit(SilentDriver, 22050, 200000, bad), -1);
  EXPECT_EQ(SoundChannelCount(), 0);
  EXPECT_EQ(SoundInit(SilentDriver, 0, 200000, kSessionSizes), -1);
}

}  // namespace
