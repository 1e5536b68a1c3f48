// Channels, starts, the mixing pass and the track scripts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/log.h"
#include "sound_fixture.h"

namespace {

using namespace soundtest;

constexpr int32_t kOneSmall[] = {100, 100000, 0};

TEST_F(MixerTest, StartOnAnIdleChannelPlaysAtFullVolumeAtOnceAndStatusFollowsIt) {
  Init();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  Bytes chunk = Image(PlayAll(4096), Fill(4096, 200));
  Play(chunk, 77);
  // The sound plays from a copy: the chunk's memory may change at once.
  std::fill(chunk.begin(), chunk.end(), 0);
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);
  EXPECT_EQ(SoundStatus(-2), 1);  // channel 1, position 0
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_TRUE(calls[i].volume == 127 && calls[i].in == 256 && calls[i].out == 256 &&
                calls[i].index == static_cast<int32_t>(256 * i) && calls[i].first == 200) << i;
  EXPECT_EQ(Channel(1).state, 1);
  EXPECT_EQ(Channel(1).position, 1024);
  EXPECT_EQ(SoundStatus(-2), 1025);
  EXPECT_EQ(SoundStatus(77), 1025);
  EXPECT_EQ(SoundStatus(-1) + SoundStatus(78), 0);
  EXPECT_EQ(SoundStatus(-100), 0);  // past the count: looked up as an id
  for (int i = 0; i < 4; ++i) Pass();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  EXPECT_EQ(SoundShutdown(), 5);
}

TEST_F(MixerTest, RestartCrossFadesTheOldTailOutAndTheNewSoundIn) {
  const int32_t one[] = {100, 0};
  Init(one);
  // The old sound at a quarter rate: each pass takes 255 bytes of its
  // 3072-byte tail as one piece that equals the need and so covers the block.
  Play(Image(TrackScript().DataAt(0, 20000, 5512).End().bytes(), Fill(20000, 10)));
  Pass();
  Play(Image(PlayAll(100000), Fill(100000, 250)));
  std::vector<int32_t> new_volumes;
  for (int32_t left = 3072; left > 0; left -= 255) {
    auto calls = Pass();
    ASSERT_FALSE(calls.empty());
    // The volume follows what is left; the last 12 bytes are not the need
    // and give 12 * 22050 / 5512 output samples.
    EXPECT_EQ(calls[0].first, 10);
    EXPECT_EQ(calls[0].in, std::min(left, 255));
    EXPECT_EQ(calls[0].out, left > 255 ? 1024 : 48);
    EXPECT_EQ(calls[0].volume, left * 127 / 3072) << left;
    for (size_t i = 1; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].first, 250);
      new_volumes.push_back(calls[i].volume);
    }
  }
  // The new one rises over 16 pieces of 256, then plays at full volume.
  ASSERT_GE(new_volumes.size(), 17u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(new_volumes[i], ((i + 1) * 127) >> 4);
  EXPECT_EQ(new_volumes[16], 127);
  EXPECT_EQ(Pass().size(), 4u);
}

TEST_F(MixerTest, AStarvingStreamFadesRecoversAndRestartsWithoutCrossFade) {
  Init(kOneSmall);
  Play(Psad32(7, 0, 9, Image(PlayAll(100000), Ramp(2048), 100000)));
  Pass();
  Pass();
  auto starving = Pass();
  SoundChannelView v = Channel(1);
  EXPECT_EQ(v.state, 3);
  ASSERT_EQ(starving.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    // The last 256 bytes again, each time quieter.
    EXPECT_EQ(starving[i].source, v.ring_start + 1792);
    EXPECT_EQ(starving[i].volume, ((15 - static_cast<int>(i)) * 127) >> 4);
  }
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(Channel(1).fade_level, 0);
  EXPECT_EQ(Channel(1).read_position, 2048);
  Play(Psad32(7, 1, 9, Fill(4096, 77)));
  auto back = Pass();
  EXPECT_EQ(Channel(1).state, 1);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0].first, 77);
  EXPECT_EQ(back[0].volume, 127 >> 4);
  EXPECT_EQ(back[3].volume, (4 * 127) >> 4);
  // Starving again, a new sound on the channel plays at once at full volume.
  for (int i = 0; i < 4; ++i) Pass();
  ASSERT_EQ(Channel(1).state, 3);
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);
  Play(Psad32(7, 0, 10, Image(PlayAll(4096), Fill(4096, 220))));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  for (const MixCall& c : calls) EXPECT_TRUE(c.first == 220 && c.volume == 127);
  EXPECT_EQ(Channel(1).fade_remaining, 0);
}

TEST_F(MixerTest, CatchUpJumpsToTheMarginButNotPastTheEndNorTheBlock) {
  // After a first block of 140 and many more of 150 the reader is far behind: it
  // jumps to 15000 behind the newest byte, fading the old place out; not when
  // that passes total - ring size; only to the end of the current block. Once
  // the whole sound has arrived a block older than the ring still moves 15000
  // on, and is lost if shorter than that (read -1: the sound stops).
  struct Case {
    Bytes script;
    int64_t total;
    bool early_pass;  // one pass after the first block, before the rest
    int first, blocks, block_length;
    int64_t read;
  };
  const Case cases[] = {
      {PlayAll(1000000), 1000000, true, 2048, 9, 10000, 92048 - 15000 + 1024},
      {PlayAll(100000), 100000, true, 2048, 9, 10000, 2048},
      {TrackScript().Data(0, 50000).Data(50000, 950000).End().bytes(), 1000000, true, 2048, 9, 10000,
       50000 + 1024},
      {PlayAll(100000), 150000, false, 1000, 149, 1000,
       150000 - 99964 + 15000 + 1024},
      {PlayAll(60000), 150000, false, 1000, 149, 1000, -1},
  };
  for (const Case& c : cases) {
    SoundShutdown();
    Init(kOneSmall);
    Play(Psad32(1, 0, 2, Image(c.script, Fill(c.first, 140), c.total)));
    if (c.early_pass) Pass();
    for (int b = 1; b <= c.blocks; ++b) Play(Psad32(1, b, 2, Fill(c.block_length, 150)));
    ASSERT_EQ(Channel(1).written, c.first + c.blocks * c.block_length);
    auto calls = Pass();
    SoundChannelView v = Channel(1);
    if (c.read < 0) {
      EXPECT_EQ(v.id, kIdleSoundId);
      EXPECT_TRUE(calls.empty());
      continue;
    }
    EXPECT_EQ(v.read_position, c.read) << c.total;
    EXPECT_TRUE(c.early_pass || calls.size() == 4u);  // nothing playing before: no fade
    if (!c.early_pass || c.read == 2048) continue;
    EXPECT_EQ(v.fade_remaining, 3072 - 1024);
    EXPECT_EQ(v.fade_level, 4);
    EXPECT_EQ(calls.front().first, 140);
    EXPECT_EQ(calls.back().first, 150);
  }
}

TEST_F(MixerTest, SpeechDucksMusicToTheFloorHoldsItAndItRecovers) {
  Init();
  Play(Image(PlayAll(100000), Fill(100000, 200)), 0, 0x40);
  Play(Image(PlayAll(8 * 1024), Fill(8 * 1024, 60)), 0, 0x80);
  const int expected[] = {224, 192, 160, 128, 96, 64, 64, 64, 72, 80};
  for (int pass = 0; pass < 10; ++pass) {
    auto calls = Pass();
    EXPECT_EQ(SoundDuckGain(), expected[pass]) << pass;
    if (pass == 8) {
      // Music mixed at the floor: 127 * 64 >> 8.
      EXPECT_EQ(calls.front().volume, 31);
      EXPECT_EQ(calls.front().first, 200);
    }
  }
  EXPECT_EQ(Channel(6).flags, 0x40);
}

TEST_F(MixerTest, ChannelSwitchesSilenceTheirClass) {
  Init();
  SetSwitch(1, 0);
  Play(Image(PlayAll(4096), Fill(4096, 200)), 0, 0x40);
  Play(Image(PlayAll(4096), Fill(4096, 100)), 0, 0xC0);
  EXPECT_TRUE(Pass().empty());
  EXPECT_EQ(Channel(6).position, 1024);  // processed in full all the same
}

TEST_F(MixerTest, RepeatBlockStepsThroughItsCount) {
  Init();
  // repeat (3 x 100 bytes from 100) -> jump back -> ... -> its target: end.
  Bytes script = TrackScript().Repeat(100, 300, 22050, 100, 25).Jump(-20, 0).End().Data(0, 10).bytes();
  Play(Image(script, Ramp(500)));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].first, 100);
  EXPECT_EQ(calls[1].first, 200);
  EXPECT_EQ(calls[2].first, 44);  // 300 & 0xFF
  EXPECT_EQ(calls[1].index, 100);
  EXPECT_EQ(Channel(1).id, kIdleSoundId);
}

TEST_F(MixerTest, ScriptTargetsWrapAndCompareUnsigned) {
  Init();
  // Jumps that are taken skip one End; those that are not would skip a Data.
  Bytes script = TrackScript()
      .Add(255, 200).JumpIf(10, 8, 255, 71).End()  // master 327: its low byte is 71
      .Set(7, 200).JumpIf(8, 8, 7, 100).End()      // 100 < 200, unsigned
      .JumpIf(9, 16, 7, 100).Data(0, 10)           // 200 < 100: no jump
      .Add(7, 100).JumpIf(10, 8, 7, 44).End()      // 300 wraps to 44
      .Jump(7, 0).End()                            // index 0: always
      .Jump(7, 7).End()                            // variable 7 is not 0
      .Set(9, 0).Jump(15, 9).Data(50, 10)          // variable 9 is 0: no jump
      .Add(254, 200).JumpIf(11, 16, 254, 71).Data(60, 10)  // 127 + 200 wraps to 71
      .Set(254, 30).Data(70, 10).End()
      .bytes();
  Play(Image(script, Ramp(100)));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].first, 0);
  EXPECT_EQ(calls[1].first, 50);
  EXPECT_EQ(calls[2].first, 60);
  // An added channel volume waits for the next pass; a set one is at once.
  EXPECT_EQ(calls[2].volume, 127);
  EXPECT_EQ(calls[3].first, 70);
  EXPECT_EQ(calls[3].volume, 30 * 327 / 127);
  EXPECT_EQ(SoundMasterVolume(), 327);
  EXPECT_EQ(SoundVariable(7), 44);
  // A master volume above 127 saturates: full volume, not a wrapped byte.
  Play(Image(PlayAll(1024), Fill(1024, 99)));
  auto loud = Pass();
  ASSERT_FALSE(loud.empty());
  EXPECT_EQ(loud.front().volume, 127);
}

TEST_F(MixerTest, ChannelChoice) {
  Init();
  Bytes script = PlayAll(10);
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
  Bytes image = Image(PlayAll(10000), Fill(1000, 30), 10000);
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
  Bytes large = Image(PlayAll(10000), Fill(1000, 30), 10000, 95000);
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
  Bytes script = PlayAll(100000);
  Play(Psad32(1, 0, 1, Image(script, Fill(19000, 1), 100000)));
  const int32_t ring = Channel(1).ring_size;
  ASSERT_EQ(ring, 20000 - static_cast<int32_t>(script.size()) - 24);
  Play(Psad32(1, 1, 1, Ramp(2000)));
  SoundChannelView v = Channel(1);
  const int32_t split = ring - 19000;
  EXPECT_EQ(v.ring_start[ring - 1], static_cast<uint8_t>(split - 1));
  EXPECT_EQ(v.ring_start[0], static_cast<uint8_t>(split));
  // A block longer than the whole ring keeps its newest bytes.
  Bytes big(3 * ring + 7);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  Play(Psad32(1, 2, 1, big));
  v = Channel(1);
  EXPECT_EQ(v.written, 21000 + static_cast<int64_t>(big.size()));
  for (int64_t p = v.written - ring; p < v.written; p += 997)
    EXPECT_EQ(v.ring_start[p % ring], static_cast<uint8_t>((p - 21000) * 7));
}

TEST_F(MixerTest, EveryStartIsTracedEvenWhenItPlaysNothing) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("mv_sound_log_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  WriteLog(0, 0, dir.c_str());
  ASSERT_TRUE(LogIsOpen());
  Init();
  Play(Bytes{'S', 'A', 'U', 'D', 0, 0, 0, 2, 1, 2});  // no room for the headers
  Play(Psad32(5, 3, 1, Fill(10, 1)));                 // a later block nothing waits for
  WriteLog(4, 0, nullptr);
  std::ifstream in(dir / "logfile.txt");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "LOG: Sound start stream 1st block\n"
            "LOG: Sound start stream add block\n");
  fs::remove_all(dir);
}

}  // namespace
