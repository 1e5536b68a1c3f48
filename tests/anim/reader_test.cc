// The frame reader: walking the top level of a file, the header chunk, the
// end-of-file passes, file switching and abort requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "anim_fixture.h"

namespace {

using santest::Bytes;
using santest::SanFile;
using santest::SolidObject;

using Results = std::vector<int16_t>;

class Reader : public AnimFixture {
 protected:
  // One read once its data is in the ring.
  int16_t ReadOne(uint16_t flags = 0) {
    int16_t r;
    do {
      StreamReadAhead(64 * 2048);
      r = ReadFrame(flags);
    } while (r >= kReadWaitHeader);
    return r;
  }
  // Reads until a negative result or `limit` reads; returns the results.
  Results Drive(size_t limit = 200) {
    Results results;
    while (results.size() < limit) {
      results.push_back(ReadOne());
      if (results.back() < 0) break;
    }
    return results;
  }
};

// One frame of colour c at (0, 0), 1 x 1.
std::pair<std::string, Bytes> Dot(uint8_t c) { return {"FOBJ", SolidObject(0, 0, 1, 1, c)}; }

Bytes Padded(bool pad) {
  SanFile f(1);
  f.BeginFrame();
  f.Sub("ZZZZ", Bytes{1, 2, 3}, pad);  // odd payload
  f.Sub("FOBJ", SolidObject(0, 0, 2, 2, 42));
  f.EndFrame();
  return f.Finish();
}
Bytes WithUnknownSub(const char* tag) {
  SanFile f(2);
  f.Frame({Dot(6), {tag, Bytes{1, 2}}});
  f.Frame({Dot(7)});
  return f.Finish();
}
Bytes Oversized() {
  SanFile f(2);
  f.Frame({Dot(5)});
  f.BeginFrame();
  f.Sub("ZZZZ", Bytes(300001 - 8, 0), false);
  f.EndFrame();
  return f.Finish();
}
// The second frame's tag starts with `first`.
Bytes SecondTagStartsWith(uint8_t first) {
  Bytes b = SolidFrames(2, 6);
  b[8 + 8 + 794 + 8 + 8 + 30] = first;  // behind the first frame
  return b;
}
Bytes WrongAnimSize() {
  Bytes b = SolidFrames(2, 6);
  santest::PatchBE32(b, 4, 12345);
  return b;
}

TEST_F(Reader, FilesAndTheirReadResults) {
  const std::string kDamaged = "Read invalid frame header -- CD may be dirty or damaged.";
  const struct {
    const char* name;
    Bytes file;
    Results results;
    uint8_t first_pixel;
    std::string error;  // the start of the one error logged, if any
  } cases[] = {
      {"one end pass", SolidFrames(3, 6), {2, 2, 2, 1, -1}, 6, ""},
      {"the first ten are early", SolidFrames(12, 6), {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 1, -1}, 6, ""},
      {"wrong ANIM size", WrongAnimSize(), {2, 2, 1, -1}, 6, ""},
      // The ring keeps the file's offset parity, which pad bytes follow.
      {"pad byte", Padded(true), {2, 1, -1}, 42, ""},
      {"no pad byte", Padded(false), {2, 1, -1}, 42, ""},
      // A damaged frame is still shown, then playback is aborted.
      {"lower case tag", WithUnknownSub("qq12"), {2, -1}, 6, "Bad IFF Header found 71713132 at "},
      {"oversized chunk", Oversized(), {2, -3}, 5, "File Streamer:  Invalid frame size 300001"},
      {"tag e", SecondTagStartsWith('e'), {2, -3}, 6, kDamaged},
      {"tag 0", SecondTagStartsWith(0), {2, -3}, 6, kDamaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearLogs();
    g_seen.clear();
    Queue("case.san", c.file);
    EXPECT_EQ(Drive(), c.results);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen[0].pixel, c.first_pixel);
    const auto errors = ErrorLogEntries();
    ASSERT_EQ(errors.size(), c.error.empty() ? 0u : 1u);
    if (!errors.empty()) {
      EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << errors[0];
    }
  }
}

// Numbers 0, 1, 2, then the end passes show frame 2 again as 3, 4, ...; an
// abort takes effect at the next read.
TEST_F(Reader, EndPassShowsTheLastFrameAgainWithRisingNumbersUntilAbort) {
  g_abort_at_end = false;
  Queue("three.san", SolidFrames(3));
  Drive(10);
  ASSERT_EQ(g_seen.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(g_seen[i].number, i);
  EXPECT_EQ(g_seen[3].count, 3);
  EXPECT_EQ(g_seen[3].pixel, 3);
  AbortAnimation();
  EXPECT_EQ(ReadFrame(0), kReadAborted);
  EXPECT_EQ(ReadFrame(0), kReadEndPass);  // the request is used once
}

// A count that disagrees with the file, or a queued file that cannot be had:
// the file plays the frames it has and the end passes are bounded.
Bytes ThreeFramesCounted(int16_t count) {
  SanFile f(count);
  for (uint8_t i = 0; i < 3; ++i) f.Frame({{"FOBJ", SolidObject(0, 0, 4, 4, uint8_t(6 + i))}});
  return f.Finish();
}

TEST_F(Reader, BadCountsAndMissingQueuedFilesEndTheFile) {
  const std::string kBadCount = "Read invalid frame count ";
  const std::string overlong = "/" + std::string(60, 'd') + "/x.san";
  const struct {
    int16_t count;
    std::string queue_at_end;  // instead of aborting at the end pass
    Results results;
    std::string error;
  } cases[] = {
      {0, "", {2, 2, 2, 1, -1}, kBadCount + "0 -- CD may be dirty or damaged."},
      {-1, "", {2, 2, 2, 1, -1}, kBadCount + "-1 -- CD may be dirty or damaged."},
      {-32768, "", {2, 2, 2, 1, -1}, kBadCount + "-32768 -- CD may be dirty or damaged."},
      {7, "", {2, 2, 2, 1, -1}, "Frame count 7 but the file ends after 3 frames"},
      {3, "missing.san", {2, 2, 2, 1, kReadEnded}, "Cannot open file missing.san"},
      {3, overlong, {2, 2, 2, 1, kReadEnded}, "File Streamer:  Cannot request " + overlong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " " + c.queue_at_end);
    ClearLogs();
    g_seen.clear();
    g_queue_at_end = c.queue_at_end;
    Queue("counted.san", ThreeFramesCounted(c.count));
    EXPECT_EQ(Drive(), c.results);
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[3].number, 3);  // the end pass reaches number == count
    EXPECT_EQ(g_seen[3].count, 3);
    EXPECT_EQ(g_seen[3].pixel, 8);
    const auto errors = ErrorLogEntries();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << errors[0];
  }
  // A first file that cannot be had ends the reading at once.
  ClearLogs();
  ResetAnimationReader();
  QueueAnimation(overlong.c_str(), 0);
  EXPECT_EQ(Drive(), Results{kReadEnded});
  EXPECT_EQ(ErrorLogEntries().size(), 1u);
}

TEST_F(Reader, QueuedFileFollowsAndKeepsPixels) {
  // The second file's frame paints only column 10, so the first file's last
  // picture must stay under it (header flag 0x20).
  SanFile s(1);
  s.Frame({{"FOBJ", SolidObject(10, 0, 1, 1, 99)}});
  g_queue_at_end = Write("second.san", s.Finish());
  Queue("first.san", SolidFrames(2, 20));
  const Results results = Drive();
  ASSERT_GE(g_seen.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(g_seen[i].number, i);  // 2: the end pass queues
  // Then the second file starts from frame 0 over the kept picture.
  auto next = std::find_if(g_seen.begin() + 3, g_seen.end(), [](const Seen& s) { return s.number == 0; });
  ASSERT_NE(next, g_seen.end());
  EXPECT_EQ(next->count, 1);
  EXPECT_EQ(next->pixel, 21);
  EXPECT_EQ(RenderBitmapSurface(AnimationRenderBitmap())->pixels[10], 99);
  EXPECT_EQ(InspectReader().file_flags, 0x28);
  EXPECT_EQ(results.back(), kReadAborted);
}

// The header's rate counts only from version 2 on and without queue flag 8;
// its palette is taken unless queue flag 0x400 keeps the current one.
TEST_F(Reader, HeaderRateAndPaletteFollowVersionAndQueueFlags) {
  ResetPalette();
  for (auto [version, flags, period, entry] :
       {std::tuple{1, 0, 66, 1}, {2, 0, 100, 1}, {2, 0x8, 66, 1}, {2, 0x400, 100, 0}}) {
    SetFrameRate(15);
    if (flags == 0x400) ResetPalette();
    Bytes b = SolidFrames(1, 1, 10);
    b[16] = uint8_t(version);  // a version-1 header that still holds a rate field
    Queue("head.san", b, uint16_t(flags));
    Drive();
    EXPECT_EQ(InspectPlayer().frame_period, period) << version << " " << flags;
    EXPECT_EQ(CurrentPalette()[3], entry) << flags;  // santest::Palette(): entry i is i
  }
}

// Without a present callback the frame engine talks to the display itself.
TEST_F(Reader, PresentationWithoutCallbackReachesTheScreen) {
  SanFile f(2);
  f.Frame({{"FOBJ", SolidObject(5, 5, 4, 4, 9)}});
  f.Frame({{"NPAL", santest::Palette(60)}, {"FOBJ", SolidObject(50, 5, 4, 4, 9)}});
  Queue("show.san", f.Finish());
  ReadOne();
  CompletePresentation();
  platform::memory::Screen screen = platform::memory::CurrentScreen();
  EXPECT_EQ(screen.At(5, 5), 9);
  EXPECT_EQ(screen.palette[9 * 3], 9);
  // Frame flag 0x8000: the picture stays (no flip: nothing new was copied to
  // the back buffer), the palette still changes.
  ReadOne(0x8000);
  screen = platform::memory::CurrentScreen();
  EXPECT_EQ(screen.At(5, 5), 9);
  EXPECT_EQ(screen.At(50, 5), 0);
  EXPECT_EQ(screen.palette[9 * 3], 69);
}

}  // namespace
