// Chunks and scripts that claim what is not there: every pass stays inside
// the chunk and the channel buffer, and ends.
#include <gtest/gtest.h>

#include <random>

#include "sound_fixture.h"

namespace {

using namespace soundtest;

TEST_F(MixerTest, ImpossibleImagesAreNotStarted) {
  Init();
  Bytes good = Image(Script({Data(0, 10), End()}), Fill(10, 1));
  // Script size past the chunk.
  Bytes bad = good;
  bad[15] = 200;
  Play(bad);
  // Shorter than the image headers.
  Play(Bytes(good.begin(), good.begin() + 20));
  // No sample bytes in the chunk: no ring.
  Play(Image(Script({Data(0, 10), End()}), Bytes{}, 10));
  // The declared size cut to the bytes available.
  PlayAudioChunk(good.data(), 0, 127, 0, 0, 30);
  // A copied image whose script does not fit the chosen channel.
  Play(Psad32(1, 0, 1, Image(Bytes(120, 0), Fill(1, 1), 1, 10)));
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  for (int i = 0; i < kMaxSoundChannels && i < SoundChannelCount(); ++i)
    EXPECT_EQ(Channel(i).state, 0);
}

TEST_F(MixerTest, BadScriptsStopTheChannel) {
  Init();
  // A jump before the script, one past it, an unknown type, a block cut off
  // by the end of the script, a rate of 0.
  const Bytes scripts[] = {
      Script({Jump(-100, 0)}),
      Script({Jump(1000, 0)}),
      Script({Bytes{12, 0}}),
      Script({Bytes{6, 12, 0, 0}}),
      Script({DataAt(0, 100, 0)}),
  };
  for (const Bytes& script : scripts) {
    Play(Image(script, Fill(100, 1)));
    Pass();
    EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  }
}

TEST_F(MixerTest, ScriptsThatNeverPlayDoNotHangAPass) {
  Init();
  // A loop on itself; a loop of empty repeat blocks; data that only moves
  // input at a rate too high to produce any output.
  Play(Image(Script({Jump(0, 0)}), Fill(100, 1)));
  Play(Image(Script({Repeat(0, 5, 22050, 0, 0), Jump(-20, 0)}), Fill(100, 1)));
  Play(Psad32(1, 0, 1, Image(Script({DataAt(0, 2000000000, 2000000000), Jump(-14, 0)}),
                             Fill(1000, 1), 1000)));
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);  // still there, waiting
}

TEST_F(MixerTest, OffsetsAndLengthsPastTheSamplesStayInTheRing) {
  Init();
  // A complete sound whose block lies past its data stops; negative and huge
  // offsets read only ring bytes.
  Play(Image(Script({Data(1000000, 5000), End()}), Fill(100, 1)));
  Pass();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  Play(Image(Script({Data(-50, 5000), Data(0x7FFFFF00, 0x7FFFFFFF), End()}), Fill(100, 1)));
  Play(Psad32(2, 0, 2, Image(Script({DataAt(-7, 0x7FFFFFFF, 11025), End()}), Fill(500, 3),
                             0x7FFFFFFF)));
  for (int i = 0; i < 20; ++i) {
    for (const MixCall& c : Pass()) {
      SoundChannelView v{};
      bool inside = false;
      for (int ch = 0; ch < SoundChannelCount(); ++ch) {
        ASSERT_TRUE(GetSoundChannel(ch, &v));
        if (v.ring_start != nullptr && c.source >= v.ring_start &&
            c.source + c.in <= v.ring_start + v.ring_size)
          inside = true;
      }
      EXPECT_TRUE(inside || c.in == 0) << c.index;
      EXPECT_GE(c.index, 0);
      EXPECT_LE(c.index + c.out, 1024);
    }
  }
}

TEST_F(MixerTest, CopiedRestartFadesTheOldSoundNotTheNewData) {
  const int32_t sizes[] = {100000, 0};
  Init(sizes);
  Bytes script = Script({Data(0, 50000), End()});
  Play(Psad32(1, 0, 1, Image(script, Fill(50000, 20), 50000)));
  Pass();
  Play(Psad32(2, 0, 1, Image(script, Fill(50000, 230), 50000)));
  auto calls = Pass();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().first, 20);  // the old tail, kept before the copy
  EXPECT_EQ(calls.back().first, 230);
}

TEST_F(MixerTest, RandomChunksAndScriptsStayInBounds) {
  Init();
  std::mt19937 random(1234);
  auto byte = [&] { return static_cast<uint8_t>(random()); };
  for (int round = 0; round < 300; ++round) {
    Bytes script;
    int blocks = 1 + static_cast<int>(random() % 6);
    for (int b = 0; b < blocks; ++b) {
      switch (random() % 8) {
        case 0: Append(script, Data(static_cast<int32_t>(random() % 3000) - 500, static_cast<int32_t>(random() % 5000))); break;
        case 1: Append(script, DataAt(static_cast<int32_t>(random() % 3000), static_cast<int32_t>(random() % 5000), static_cast<int32_t>(random() % 60000))); break;
        case 2: Append(script, Repeat(static_cast<int32_t>(random() % 2000), static_cast<int32_t>(random() % 3000), 5000 + static_cast<int32_t>(random() % 40000), static_cast<int32_t>(random() % 700), static_cast<int16_t>(static_cast<int>(random() % 80) - 40))); break;
        case 3: Append(script, Jump(static_cast<int16_t>(static_cast<int>(random() % 80) - 40), byte())); break;
        case 4: Append(script, Set(byte(), byte())); break;
        case 5: Append(script, Add(byte(), byte())); break;
        case 6: Append(script, Compare(static_cast<uint8_t>(8 + random() % 4), static_cast<int16_t>(static_cast<int>(random() % 80) - 40), byte(), byte())); break;
        default: Append(script, Bytes{byte(), byte(), byte(), byte()}); break;
      }
    }
    Bytes samples(random() % 3000);
    for (auto& s : samples) s = byte();
    Bytes image = Image(script, samples, random() % 2 ? -1 : static_cast<int64_t>(random() % 200000));
    // Damage a byte of the headers now and then.
    if (random() % 4 == 0) image[random() % 24] = byte();
    switch (random() % 3) {
      case 0: Play(image, 0, static_cast<int16_t>(random() % 256)); break;
      case 1: Play(Psad32(static_cast<int32_t>(random() % 3), 0, 1, image)); break;
      default: Play(Psad16(static_cast<int16_t>(random() % 3), 0, 1, static_cast<uint16_t>(random()), byte(), byte(), image)); break;
    }
    Bytes block(random() % 120000);
    for (auto& s : block) s = byte();
    Play(Psad32(static_cast<int32_t>(random() % 3), static_cast<int32_t>(1 + random() % 2), 1, block));
    for (const MixCall& c : Pass(1 + static_cast<int32_t>(random() % 1024))) {
      ASSERT_GE(c.index, 0);
      ASSERT_GE(c.in, 0);
    }
  }
}

}  // namespace
