// The output driver on the headless DirectSound: the 40 ms tick, the open
// count, failure to silence, and a whole stream heard end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/dsound.h"
#include "platform/mmsystem.h"
#include "platform/testing.h"
#include "sound_fixture.h"

namespace {

using namespace soundtest;

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSwitches();
    platform::SetClockMode(platform::ClockMode::kVirtual);
    platform::memory::SetDirectSoundFailure(false);
    platform::memory::SetAudioCapture(true);
  }
  void TearDown() override {
    SoundShutdown();
    platform::memory::SetAudioCapture(false);
    platform::memory::SetDirectSoundFailure(false);
    platform::memory::SetDirectSoundLockFailure(false);
    EXPECT_EQ(platform::memory::LiveSoundBuffers(), 0);
    platform::SetClockMode(platform::ClockMode::kVirtual);
  }
  void Start() {
    ASSERT_EQ(SoundInit(SoundDriverProc, 22050, 200000, kSessionSizes), 0);
    ASSERT_TRUE(SoundAvailable());
  }
};

size_t FirstNot(const Bytes& b, uint8_t v) {
  auto it = std::find_if(b.begin(), b.end(), [v](uint8_t x) { return x != v; });
  return static_cast<size_t>(it - b.begin());
}

TEST_F(DriverTest, ASoundFromSilenceIsHeardAtTheNextTickWholeAndOnce) {
  Start();
  platform::AdvanceVirtualTime(517);
  // Nothing playing: the card hears silence and the output stays idle.
  Bytes before = platform::memory::TakeCapturedAudio();
  EXPECT_NEAR(static_cast<double>(before.size()), 517 * 22.05, 1.0);
  EXPECT_EQ(FirstNot(before, 0x80), before.size());
  EXPECT_EQ(OutputState(), 1);
  Play(Image(PlayAll(4096), Fill(4096, 200)));
  platform::AdvanceVirtualTime(1000);
  Bytes heard = platform::memory::TakeCapturedAudio();
  // Not left for the card to reach four blocks later: the cursor was moved
  // onto the first mixed block at the tick.
  size_t start = FirstNot(heard, 0x80);
  EXPECT_LE(start, 40u * 22050 / 1000 + 1);
  ASSERT_LE(start + 4096 + 1024, heard.size());
  const uint8_t level = ClipTableAt(16 * 72);
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(heard[start + i], level) << i;
  // Then the rest of the last block (mixed from nothing) and silence: the
  // block is not repeated.
  EXPECT_EQ(heard[start + 4096], ClipTableAt(0));
  for (size_t i = start + 4096; i < heard.size(); ++i) ASSERT_NE(heard[i], level) << i;
  EXPECT_EQ(OutputState(), 1);
  EXPECT_EQ(heard.back(), 0x80);
}

TEST_F(DriverTest, OpenCountAndCommands) {
  Start();
  EXPECT_EQ(OutputOpenCount(), 1);
  // The second open answers 1; close; status; an unknown command; set rate.
  const int32_t answers[][4] = {
      {2, 22050, 1, 2}, {3, 0, 0, 1}, {1, 0, 0, 1}, {4, 0, -1, 1}, {7, 22050, 0, 1}};
  for (auto [command, rate, answer, count] : answers) {
    EXPECT_EQ(SoundDriverProc(command, rate, 7, 0, 0, 0), answer) << command;
    EXPECT_EQ(OutputOpenCount(), count) << command;
  }
  EXPECT_EQ(platform::memory::LiveSoundBuffers(), 1);
  // Still open and ticking after the inner close.
  platform::memory::TakeCapturedAudio();
  platform::AdvanceVirtualTime(200);
  EXPECT_FALSE(platform::memory::TakeCapturedAudio().empty());
  SoundShutdown();
  EXPECT_EQ(OutputOpenCount(), 0);
  CloseSoundOutput();  // one close too many changes nothing
  EXPECT_EQ(OutputOpenCount(), 0);
  // A start on an output someone else holds open runs silent and leaves the
  // count as it was: that holder's close still closes.
  ASSERT_EQ(OpenSoundOutput(22050, 7, MixChannels), 0);
  ASSERT_EQ(SoundInit(SoundDriverProc, 22050, 200000, kSessionSizes), 0);
  EXPECT_FALSE(SoundAvailable());
  EXPECT_EQ(OutputOpenCount(), 1);
  SoundShutdown();
  CloseSoundOutput();
  EXPECT_EQ(OutputOpenCount(), 0);
}

TEST_F(DriverTest, NoDeviceOrNoDriverRunsSilentAndBadSettingsAreRefused) {
  platform::memory::SetDirectSoundFailure(true);
  for (SoundDriver driver : {SoundDriver{SoundDriverProc}, SoundDriver{nullptr}}) {
    ASSERT_EQ(SoundInit(driver, 22050, 200000, kSessionSizes), 0);
    EXPECT_FALSE(SoundAvailable());
    EXPECT_EQ(OutputOpenCount(), 0);
    Play(Image(PlayAll(10), Fill(10, 1)));
    EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
    platform::AdvanceVirtualTime(200);
    EXPECT_TRUE(platform::memory::TakeCapturedAudio().empty());
    SoundShutdown();
  }
  const int32_t bad[] = {100, -5, 0};
  EXPECT_EQ(SoundInit(SilentDriver, 22050, 200000, bad), -1);
  EXPECT_EQ(SoundInit(SilentDriver, 0, 200000, kSessionSizes), -1);
}

TEST_F(DriverTest, DeactivationPausesTheCardAndATickThatCannotLockTriesAgain) {
  Start();
  Play(Image(PlayAll(20000), Fill(20000, 200)));
  platform::AdvanceVirtualTime(100);
  SetSoundOutputActive(0);
  platform::memory::TakeCapturedAudio();
  const int32_t position = SoundStatus(-2);
  platform::AdvanceVirtualTime(500);
  EXPECT_TRUE(platform::memory::TakeCapturedAudio().empty());
  EXPECT_EQ(SoundStatus(-2), position);
  SetSoundOutputActive(1);
  platform::memory::SetDirectSoundLockFailure(true);
  const int16_t next = NextOutputBlock();
  platform::AdvanceVirtualTime(100);
  EXPECT_EQ(NextOutputBlock(), next);
  platform::memory::SetDirectSoundLockFailure(false);
  platform::AdvanceVirtualTime(100);
  EXPECT_GT(SoundStatus(-2), position);
}

TEST_F(DriverTest, AStreamedToneIsHeardWholeAtItsLevelAndPitch) {
  Start();
  constexpr int kTotal = 3 * 22050;
  constexpr int kFirst = 8192;
  constexpr int kPerFrame = 1470;  // 22050 / 15 frames a second
  Bytes tone(kTotal);
  for (int i = 0; i < kTotal; ++i)
    tone[i] = static_cast<uint8_t>(std::lround(128 + 100 * std::sin(2 * M_PI * 441.0 * i / 22050)));
  platform::AdvanceVirtualTime(333);
  platform::memory::TakeCapturedAudio();
  Play(Psad16(4, 0, 77, 0, 128, 0x80,
              Image(PlayAll(kTotal), Bytes(tone.begin(), tone.begin() + kFirst),
                    kTotal)));
  int sent = kFirst;
  uint32_t now = 0;
  for (int frame = 1; sent < kTotal; ++frame) {
    uint32_t due = static_cast<uint32_t>(frame * 1000 / 15);
    platform::AdvanceVirtualTime(due - now);
    now = due;
    int n = std::min(kPerFrame, kTotal - sent);
    Play(Psad16(4, static_cast<int16_t>(frame), 77, 0, 128, 0x80,
                Bytes(tone.begin() + sent, tone.begin() + sent + n)));
    sent += n;
  }
  platform::AdvanceVirtualTime(1000);
  EXPECT_EQ(SoundStatus(kAnySoundPlaying), 0);
  Bytes heard = platform::memory::TakeCapturedAudio();
  size_t start = FirstNot(heard, 0x80);
  ASSERT_LE(start + kTotal, heard.size());
  // Every sample once, in order, at the level and pitch the tables give: no
  // gap, no repeat, no fade.
  size_t mismatches = 0;
  for (int i = 0; i < kTotal; ++i)
    mismatches += heard[start + i] != ClipTableAt(16 * (tone[i] - 128));
  EXPECT_EQ(mismatches, 0u);
}

TEST(DriverRealClock, TicksOnTheTimerThreadWhileStartsArriveHere) {
  ResetSwitches();
  platform::SetClockMode(platform::ClockMode::kReal);
  ASSERT_EQ(SoundInit(SoundDriverProc, 22050, 200000, kSessionSizes), 0);
  ASSERT_TRUE(SoundAvailable());
  Play(Psad32(1, 0, 5, Image(PlayAll(200000), Fill(8000, 180), 200000)));
  for (int block = 1; block <= 12; ++block) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    Play(Psad32(1, block, 5, Fill(700, static_cast<uint8_t>(100 + block))));
    Play(Image(PlayAll(300), Fill(300, 90)), 1);
    SoundStatus(-1);
    SoundStatus(kAnySoundPlaying);
  }
  SetSoundOutputActive(0);
  SetSoundOutputActive(1);
  EXPECT_GT(SoundShutdown(), 2);
  platform::SetClockMode(platform::ClockMode::kVirtual);
}

}  // namespace
