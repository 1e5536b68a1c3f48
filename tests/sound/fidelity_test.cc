// Exact figures of the mixing pass, the script interpreter and the start
// traces: values that a plausible rewrite gets subtly wrong.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/log.h"
#include "sound_fixture.h"

namespace {

using namespace soundtest;

constexpr int32_t kOneStreamChannel[] = {100, 100000, 0};

// A script whose jumps name their targets by label instead of by offset.
struct ScriptBuilder {
  Bytes bytes;
  std::vector<std::pair<size_t, int>> jumps;  // (block start, label)
  std::vector<int64_t> labels = std::vector<int64_t>(16, -1);
  ScriptBuilder& Put(const Bytes& block) {
    Append(bytes, block);
    return *this;
  }
  ScriptBuilder& Jumping(const Bytes& block, int label) {
    jumps.push_back({bytes.size(), label});
    return Put(block);
  }
  ScriptBuilder& Label(int label) {
    labels[label] = static_cast<int64_t>(bytes.size());
    return *this;
  }
  Bytes Build() {
    for (auto [at, label] : jumps) {
      const int16_t offset = static_cast<int16_t>(labels[label] - static_cast<int64_t>(at));
      bytes[at + 2] = static_cast<uint8_t>(offset >> 8);
      bytes[at + 3] = static_cast<uint8_t>(offset);
    }
    return bytes;
  }
};

TEST_F(MixerTest, SpeechAtTheFloorHoldsMusicThere) {
  Init();
  Play(Image(Script({Data(0, 100000), End()}), Fill(100000, 200)), 0, 0x40);
  Play(Image(Script({Data(0, 20 * 1024), End()}), Fill(20 * 1024, 60)), 0, 0x80);
  const int expected[] = {224, 192, 160, 128, 96, 64, 64, 64, 64, 64};
  for (int pass = 0; pass < 10; ++pass) {
    Pass();
    EXPECT_EQ(SoundDuckGain(), expected[pass]) << pass;
  }
}

TEST_F(MixerTest, FadeOutAtALowRateFillsTheBlockFromOnePiece) {
  const int32_t one[] = {100, 0};
  Init(one);
  Play(Image(Script({DataAt(0, 20000, 5512), End()}), Fill(20000, 10)));
  auto first = Pass();
  ASSERT_EQ(first.size(), 1u);  // 255 bytes stretched over the whole block
  EXPECT_EQ(first[0].in, 255);
  EXPECT_EQ(first[0].out, 1024);
  Play(Image(Script({Data(0, 100000), End()}), Fill(100000, 250)));
  // Each pass takes 255 bytes of the 3072-byte tail, as one piece that equals
  // the need and so covers the block; the volume follows what is left.
  int32_t left = 3072;
  for (int pass = 0; pass < 12; ++pass) {
    auto calls = Pass();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].first, 10);
    EXPECT_EQ(calls[0].in, 255);
    EXPECT_EQ(calls[0].out, 1024);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].volume, left * 127 / 3072) << pass;
    left -= 255;
  }
  // The last 12 bytes are not the need: 12 * 22050 / 5512 output samples.
  auto last = Pass();
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last[0].in, 12);
  EXPECT_EQ(last[0].out, 48);
  EXPECT_EQ(last[0].volume, 12 * 127 / 3072);
  EXPECT_EQ(Pass().size(), 4u);  // only the new sound now
}

TEST_F(MixerTest, ScriptTargetsWrapAndCompareUnsigned) {
  Init();
  ScriptBuilder s;
  s.Put(Add(255, 200))                      // master 127 + 200 = 327
      .Jumping(Compare(10, 0, 255, 71), 1)  // its low byte is 71
      .Put(End())
      .Label(1)
      .Put(Set(7, 200))
      .Jumping(Compare(8, 0, 7, 100), 2)  // 100 < 200, unsigned
      .Put(End())
      .Label(2)
      .Jumping(Compare(9, 0, 7, 100), 0)  // 200 < 100: no jump
      .Put(Data(0, 10))
      .Put(Add(7, 100))  // 300 wraps to 44
      .Jumping(Compare(10, 0, 7, 44), 3)
      .Put(End())
      .Label(3)
      .Jumping(Jump(0, 0), 4)  // index 0: always
      .Put(End())
      .Label(4)
      .Jumping(Jump(0, 7), 5)  // variable 7 is not 0
      .Put(End())
      .Label(5)
      .Put(Set(9, 0))
      .Jumping(Jump(0, 9), 0)  // variable 9 is 0: no jump
      .Put(Data(50, 10))
      .Put(Add(254, 200))                   // 127 + 200 wraps to 71
      .Jumping(Compare(11, 0, 254, 71), 0)  // equal: no jump
      .Put(Data(60, 10))
      .Put(End())
      .Label(0)
      .Put(Data(90, 10))
      .Put(End());
  Play(Image(s.Build(), Ramp(100)));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].first, 0);
  EXPECT_EQ(calls[1].first, 50);
  EXPECT_EQ(calls[2].first, 60);
  // An added channel volume waits for the next pass, like the master volume.
  EXPECT_EQ(calls[2].volume, 127);
  EXPECT_EQ(SoundMasterVolume(), 327);
  EXPECT_EQ(SoundVariable(7), 44);
  EXPECT_EQ(Channel(1).volume, 71);
}

TEST_F(MixerTest, ADataBlockOlderThanAWholeSoundSkipsPastTheMarginToo) {
  // Once the whole sound has arrived the oldest byte held is written - ring
  // size, but a block before it still moves 15000 bytes further on.
  for (int32_t length : {100000, 60000}) {
    SoundShutdown();
    Init(kOneStreamChannel);
    Bytes script = Script({Data(0, length), End()});  // 12 bytes: ring 99964
    Play(Psad32(1, 0, 2, Image(script, Fill(1000, 90), 150000)));
    for (int b = 1; b < 150; ++b) Play(Psad32(1, b, 2, Fill(1000, 91)));
    ASSERT_EQ(Channel(1).written, 150000);
    auto calls = Pass();
    if (length == 100000) {
      EXPECT_EQ(Channel(1).read_position, 150000 - 99964 + 15000 + 1024);
      EXPECT_EQ(calls.size(), 4u);
    } else {
      // The block is shorter than that advance: it is lost, the sound stops.
      EXPECT_EQ(Channel(1).state, 0);
      EXPECT_EQ(Channel(1).id, kIdleSoundId);
      EXPECT_TRUE(calls.empty());
    }
  }
}

TEST_F(MixerTest, CatchUpStopsAtTheEndOfTheCurrentBlock) {
  Init(kOneStreamChannel);
  Bytes script = Script({Data(0, 50000), Data(50000, 950000), End()});  // ring 99954
  Play(Psad32(1, 0, 2, Image(script, Fill(2048, 140), 1000000)));
  Pass();
  for (int b = 1; b <= 9; ++b) Play(Psad32(1, b, 2, Fill(10000, 150)));
  Pass();
  // The jump (to 15000 behind the newest byte) is cut to the block's 48976
  // remaining bytes; the next block then plays from its start.
  SoundChannelView v = Channel(1);
  EXPECT_EQ(v.read_position, 50000 + 1024);
  EXPECT_EQ(v.fade_remaining, 3072 - 1024);
  EXPECT_EQ(v.fade_level, 4);
}

TEST_F(MixerTest, ARestartOnAStarvingChannelPlaysAtOnceWithoutCrossFade) {
  Init(kOneStreamChannel);
  Play(Psad32(7, 0, 9, Image(Script({Data(0, 100000), End()}), Fill(2048, 30), 100000)));
  for (int i = 0; i < 4; ++i) Pass();
  ASSERT_EQ(Channel(1).state, 3);
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);
  Play(Psad32(7, 0, 10, Image(Script({Data(0, 4096), End()}), Fill(4096, 220))));
  auto calls = Pass();
  ASSERT_EQ(calls.size(), 4u);
  for (const MixCall& c : calls) {
    EXPECT_EQ(c.first, 220);
    EXPECT_EQ(c.volume, 127);
  }
  EXPECT_EQ(Channel(1).fade_remaining, 0);
}

TEST_F(MixerTest, EveryStartIsTracedEvenWhenItPlaysNothing) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("mv_sound_log_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  WriteLog(0, 0, dir.c_str());
  ASSERT_TRUE(LogIsOpen());
  Init();
  Bytes damaged{'S', 'A', 'U', 'D', 0, 0, 0, 2, 1, 2};  // no room for the headers
  Play(damaged);
  Play(Psad32(5, 3, 1, Fill(10, 1)));  // a later block that nothing waits for
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
