// Playback details that are easy to get subtly wrong: what a new play keeps
// from the last one, and frame rates that leave no whole millisecond.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "anim/san_builder.h"
#include "anim_fixture.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"

namespace {

using santest::Bytes;
using santest::SanFile;

struct Seen {
  int16_t number;
  uint32_t time;
};
std::vector<Seen> g_seen;
uint32_t g_give_up_at = 0;

int16_t RecordFrame(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t number,
                    int16_t count) {
  g_seen.push_back({number, timeGetTime()});
  if (number == count) AbortAnimation();
  return 0;
}

// Keeps a test from hanging when the frame tick is gone: an abort only takes
// effect at a frame read, so a working tick is started again first.
void GiveUpLate() {
  if (g_give_up_at == 0 || timeGetTime() < g_give_up_at) return;
  g_give_up_at = 0;
  SetFrameRate(15);
  SetPlaybackActive(1);
  AbortAnimation();
}

Bytes Frames(int n, int rate = 0) {
  SanFile f(n, 2, rate);
  for (int i = 0; i < n; ++i) f.Frame({{"FOBJ", santest::SolidObject(i, 0, 4, 4, 1)}});
  return f.Finish();
}

class PlaybackFidelity : public AnimFixture {
 protected:
  void SetUp() override {
    AnimFixture::SetUp();
    StartEngines(RecordFrame);
    g_seen.clear();
  }
};

// The last read result outlives a play: after a play that ended with an
// abort (-1), the next play reads its first frame on the first render tick
// instead of waiting for a frame period.
TEST_F(PlaybackFidelity, NextPlayStartsReadingWithTheLastResult) {
  std::string path = Write("three.san", Frames(3));
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, nullptr, 0, 15, kPlayNoThread), 0);
  ASSERT_EQ(InspectPlayer().last_result, kReadAborted);
  g_seen.clear();
  uint32_t start = timeGetTime();
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, nullptr, 0, 15, kPlayNoThread), 0);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front().number, 0);
  EXPECT_LT(g_seen.front().time - start, 66u);
}

// A header asking for more than 1000 frames per second leaves a period below
// one millisecond; the frame tick started anew on reactivation must still
// run, or playback (and with it the keys) would stall for good.
TEST_F(PlaybackFidelity, RateAboveOneThousandKeepsTheFrameTickAlive) {
  std::string path = Write("fast.san", Frames(30, 2000));
  uint32_t now = timeGetTime();
  g_give_up_at = now + 20000;
  platform::ScheduleMessage(now + 300, WM_ACTIVATEAPP, 0, 0);
  platform::ScheduleMessage(now + 400, WM_ACTIVATEAPP, 1, 0);
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, GiveUpLate, 0, 15, kPlayNoThread), 0);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back().number, 30);
  EXPECT_LT(g_seen.back().time, now + 20000);
  EXPECT_GE(InspectPlayer().frame_period, 1);
}

}  // namespace
