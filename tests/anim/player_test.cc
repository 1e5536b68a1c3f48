// The playback loop: opening, pacing on the virtual and the real clock,
// activation, the watch tick's hold-back and the frame rate, and what a new
// play keeps from the last one.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "anim_fixture.h"
#include "base/trace.h"

namespace {

uint32_t g_give_up_at = 0;

// Keeps a test from hanging when the frame tick is gone: an abort only takes
// effect at a frame read, so a working tick is started again first.
void GiveUpLate() {
  if (g_give_up_at == 0 || timeGetTime() < g_give_up_at) return;
  g_give_up_at = 0;
  SetFrameRate(15);
  SetPlaybackActive(1);
  AbortAnimation();
}

using Player = AnimFixture;

TEST(WatchTick, HoldBackAndRate) {
  // At 20% full: 5 ticks held back at 17 per second (58 ms); an empty ring
  // holds back longest.
  for (auto [filled, hold_back, rate] : {std::tuple{20, 5, 17}, {0, 100, 20}, {100, -1, 1}}) {
    EXPECT_EQ(DecideWatch(filled).hold_back, hold_back) << filled;
    EXPECT_EQ(DecideWatch(filled).rate, rate) << filled;
  }
  EXPECT_EQ(DecideWatch(40).hold_back, -1);
}

TEST_F(Player, MissingFileAndZeroLoops) {
  EXPECT_EQ(PlayAnimation("nothere.san", 1, nullptr, 0, 15, kPlayNoThread), -1);
  EXPECT_EQ(ErrorLogEntries(), std::vector<std::string>{"Cannot open file nothere.san"});
  std::string path = Write("some.san", SolidFrames(3));
  EXPECT_EQ(PlayAnimation(path.c_str(), 0, nullptr, 0, 15, kPlayNoThread), 0);
  EXPECT_TRUE(g_seen.empty());
}

// A window message delivered at a virtual time deactivates, another
// activates again: no frame is read in between, and the file's own rate
// only takes hold when the frame tick is started anew.
TEST_F(Player, DeactivationFreezesAndRateTakesHoldOnReactivation) {
  std::string path = Write("rate10.san", SolidFrames(40, 1, 10));
  platform::ScheduleMessage(1500, WM_ACTIVATEAPP, 0, 0);
  platform::ScheduleMessage(2500, WM_ACTIVATEAPP, 1, 0);
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, nullptr, 0, 15, kPlayNoThread), 0);
  ASSERT_EQ(g_seen.back().number, 40);
  bool gap_seen = false;
  for (size_t i = 1; i < g_seen.size(); ++i) {
    uint32_t t0 = g_seen[i - 1].time, t1 = g_seen[i].time;
    EXPECT_FALSE(t1 > 1510 && t1 < 2500) << "frame read while inactive at " << t1;
    if (t0 <= 1500 && t1 >= 2500) gap_seen = true;
    const bool paced = g_seen[i].number > 11 && g_seen[i].number < 40;
    EXPECT_TRUE(!paced || t1 >= 1500 || t1 - t0 <= 72) << t1;
    EXPECT_TRUE(!paced || t0 <= 2600 || (t1 - t0 >= 95 && t1 - t0 <= 106)) << t1;
  }
  EXPECT_TRUE(gap_seen);
  EXPECT_EQ(InspectPlayer().frame_period, 100);
}

// A header asking for more than 1000 frames per second leaves a period below
// one millisecond; the frame tick started anew on reactivation must still
// run, or playback (and with it the keys) would stall for good.
TEST_F(Player, RateAboveOneThousandKeepsTheFrameTickAlive) {
  std::string path = Write("fast.san", SolidFrames(30, 1, 2000));
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

// The pacing, from the trace of a threaded play on the virtual clock: the
// first 11 frames one render tick (3 ms) apart, then one frame per frame
// tick read at the first render tick after it; a stall of 5 periods is not
// made up: the next read carries the late flag, the ticks it cleared are
// traced as dropped, and frames go on one a tick from there.
std::string g_trace;
uint32_t g_stall_at = 0;
void StallOnce() {
  if (g_stall_at == 0 || timeGetTime() < g_stall_at) return;
  g_stall_at = 0;
  platform::AdvanceVirtualTime(5 * 66);
}

TEST_F(Player, PacingOnTheVirtualClockAndAfterAStall) {
  std::string path = Write("forty.san", SolidFrames(40));
  g_trace.clear();
  trace::Begin([](void*, const char* data, size_t size) {
    g_trace.append(data, size);
    return true;
  }, nullptr);
  g_stall_at = timeGetTime() + 20 * 66;
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, StallOnce, 0, 15, 0), 0);
  ASSERT_TRUE(trace::End());
  struct Read { uint32_t ms; int frame; bool late; };
  std::vector<Read> reads;
  std::vector<std::pair<uint32_t, unsigned>> drops;
  std::istringstream lines(g_trace);
  for (std::string line; std::getline(lines, line);) {
    unsigned ms = 0, ticks = 0;
    int frame = 0;
    char late[6] = "";
    if (std::sscanf(line.c_str(), "{\"ev\":\"screen\",\"ms\":%u,%*[^,],%*[^,],\"frame\":%d,"
                    "%*[^,],\"late\":%5[a-z]", &ms, &frame, late) == 3)
      reads.push_back({ms, frame, std::string(late) == "true"});
    else if (std::sscanf(line.c_str(), "{\"ev\":\"drop\",\"ms\":%u,%*[^,],%*[^,],%*[^,],"
                         "\"ticks\":%u", &ms, &ticks) == 2)
      drops.push_back({ms, ticks});
  }
  ASSERT_GE(reads.size(), 41u) << g_trace;
  EXPECT_EQ(reads[0].frame, 0);
  size_t lates = 0;
  uint32_t after_late = 0;
  for (size_t i = 1; i < reads.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reads[i].frame, reads[i - 1].frame + 1);  // nothing made up
    uint32_t gap = reads[i].ms - reads[i - 1].ms;
    if (reads[i].frame <= 10 || reads[i].frame > 40) {
      // Frames 1 to 9 and the end-of-file pass follow a fast read, and so
      // does frame 10: frame 9 is still among the first 10.
      EXPECT_EQ(gap, 3u);
    } else if (reads[i].frame <= 12) {
      // A frame tick that came during the fast reads is taken by frame 11
      // at once; frame 12 then waits for the next one.
      EXPECT_LE(gap, 66u + 3);
    } else if (reads[i].late) {
      ++lates;
      EXPECT_GE(gap, 5u * 66);  // the stall
      ASSERT_EQ(drops.size(), 1u);
      EXPECT_EQ(drops[0].first, reads[i].ms);
      EXPECT_GE(drops[0].second, 4u);
      after_late = reads[i].frame + 1;
    } else if (reads[i].frame == int(after_late)) {
      EXPECT_LE(gap, 67u + 3);  // the next tick, on the ticks' own phase
    } else {
      // A tick every 66 or 67 ms (15 a second exactly), read at the next
      // render tick, 3 ms apart.
      EXPECT_GE(gap, 66u - 3);
      EXPECT_LE(gap, 67u + 3);
    }
  }
  EXPECT_EQ(lates, 1u);
  EXPECT_EQ(InspectPlayer().late_frames, 1);
  // From frame 13 to the last, one frame per tick or a tick dropped: no
  // drift against 15 ticks a second, nothing made up.
  const Read& from = reads[13];
  const Read& to = reads[40];
  ASSERT_EQ(to.frame, 40);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(((to.ms - from.ms) * 15 + 500) / 1000,
            uint32_t(to.frame - from.frame) + drops[0].second);
}

TEST_F(Player, LoopsPlayTheFileAgainAndTheNextPlayKeepsTheLastResult) {
  std::string path = Write("two.san", SolidFrames(2));
  ASSERT_EQ(PlayAnimation(path.c_str(), 2, nullptr, 0, 15, kPlayNoThread), 0);
  std::vector<int16_t> numbers;
  for (auto& s : g_seen) numbers.push_back(s.number);
  // The reader is reset once per play, not per loop: the second loop first
  // finishes the end-of-file state with one more pass over the last frame.
  EXPECT_EQ(numbers, (std::vector<int16_t>{0, 1, 2, 3, 0, 1, 2}));
  // The play ended with an abort; the next one reads its first frame on the
  // first render tick instead of waiting for a frame period.
  ASSERT_EQ(InspectPlayer().last_result, kReadAborted);
  g_seen.clear();
  const uint32_t start = timeGetTime();
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, nullptr, 0, 15, kPlayNoThread), 0);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front().number, 0);
  EXPECT_LT(g_seen.front().time - start, 66u);
}

// The real clock with the reading thread (run under the thread sanitizer
// too): every frame is read and shown, nothing is recorded as an error.
class RealClockPlayer : public AnimFixture {
 protected:
  RealClockPlayer() { clock_mode_ = platform::ClockMode::kReal; }
};

TEST_F(RealClockPlayer, ThreadedPlaybackShowsEveryFrame) {
  std::string path = Write("sixty.san", SolidFrames(60));
  ASSERT_EQ(PlayAnimation(path.c_str(), 1, nullptr, 0, 25, 0), 0);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back().number, 60);
  for (size_t i = 1; i < g_seen.size(); ++i) EXPECT_LE(g_seen[i - 1].time, g_seen[i].time);
  EXPECT_TRUE(ErrorLogEntries().empty());
}

}  // namespace
