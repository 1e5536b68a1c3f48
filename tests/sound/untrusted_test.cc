// Chunks and scripts that claim what is not there: every pass stays inside
// the chunk and the channel buffer, and ends.
#include <gtest/gtest.h>

#include <random>

#include "sound_fixture.h"

namespace {

using namespace soundtest;

TEST_F(MixerTest, BadScriptsStopTheChannel) {
  Init();
  // A jump before the script, one past it, an unknown type, a block cut off
  // by the end of the script, a rate of 0, a complete sound read past its data.
  const Bytes scripts[] = {
      TrackScript().Jump(-100, 0).bytes(), TrackScript().Jump(1000, 0).bytes(), Bytes{12, 0},
      Bytes{6, 12, 0, 0}, TrackScript().DataAt(0, 100, 0).bytes(),
      TrackScript().Data(1000000, 5000).End().bytes(),
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
  Play(Image(TrackScript().Jump(0, 0).bytes(), Fill(100, 1)));
  Play(Image(TrackScript().Repeat(0, 5, 22050, 0, 0).Jump(-20, 0).bytes(), Fill(100, 1)));
  Play(Psad32(1, 0, 1, Image(TrackScript().DataAt(0, 2000000000, 2000000000).Jump(-14, 0).bytes(),
                             Fill(1000, 1), 1000)));
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 1);  // still there, waiting
}

TEST_F(MixerTest, CopiedRestartFadesTheOldSoundNotTheNewData) {
  const int32_t sizes[] = {100000, 0};
  Init(sizes);
  Bytes script = PlayAll(50000);
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
  // Mostly near the samples, now and then any 32-bit value.
  auto num = [&](int32_t range, int32_t low = 0) {
    if (random() % 8 == 0) return static_cast<int32_t>(random());
    return low + static_cast<int32_t>(random() % range);
  };
  auto jump = [&] { return static_cast<int16_t>(static_cast<int>(random() % 80) - 40); };
  for (int round = 0; round < 300; ++round) {
    Bytes script;
    auto put = [&script](const TrackScript& t) { authoring::PutBytes(script, t.bytes()); };
    for (int b = 0, blocks = 1 + static_cast<int>(random() % 6); b < blocks; ++b) {
      switch (random() % 8) {
        case 0: put(TrackScript().Data(num(3000, -500), num(5000))); break;
        case 1: put(TrackScript().DataAt(num(3000), num(5000), num(60000))); break;
        case 2: put(TrackScript().Repeat(num(2000), num(3000), num(40000, 5000), num(700), jump())); break;
        case 3: put(TrackScript().Jump(jump(), byte())); break;
        case 4: put(TrackScript().Set(byte(), byte())); break;
        case 5: put(TrackScript().Add(byte(), byte())); break;
        case 6: put(TrackScript().JumpIf(static_cast<uint8_t>(8 + random() % 4), jump(), byte(), byte())); break;
        default: authoring::PutBytes(script, Bytes{byte(), byte(), byte(), byte()}); break;
      }
    }
    Bytes samples(random() % 3000);
    for (auto& s : samples) s = byte();
    Bytes image = Image(script, samples, random() % 2 ? -1 : num(200000));
    if (random() % 4 == 0) image[random() % 24] = byte();  // a damaged header byte
    switch (random() % 3) {
      case 0: Play(image, 0, static_cast<int16_t>(random() % 256)); break;
      case 1: Play(Psad32(static_cast<int32_t>(random() % 3), 0, 1, image)); break;
      default: Play(Psad16(static_cast<int16_t>(random() % 3), 0, 1, static_cast<uint16_t>(random()), byte(), byte(), image)); break;
    }
    Bytes block(random() % 120000);
    for (auto& s : block) s = byte();
    Play(Psad32(static_cast<int32_t>(random() % 3), static_cast<int32_t>(1 + random() % 2), 1, block));
    const int32_t length = 1 + static_cast<int32_t>(random() % 1024);
    for (const MixCall& c : Pass(length)) {
      ASSERT_GE(c.in, 0);
      ASSERT_GE(c.index, 0);
      ASSERT_LE(c.index + c.out, length);
    }
  }
}

}  // namespace
