// The frame reader: walking the top level of a file, the header chunk, the
// end-of-file passes, file switching and abort requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anim/format.h"
#include "anim/player.h"
#include "anim/reader.h"
#include "anim/san_builder.h"
#include "anim_fixture.h"
#include "frame/palette.h"
#include "shell/log.h"
#include "stream/stream.h"

namespace {

using santest::Bytes;
using santest::SanFile;

struct Seen {
  int16_t number, count;
  uint8_t pixel;  // at (0, 0) after the frame's chunks
};
std::vector<Seen> g_seen;
bool g_abort_at_end = true;
std::string g_queue_at_end;

int16_t PostFrame(RenderBitmap* bitmap, const ClipRect*, int16_t, int16_t, int16_t number,
                  int16_t count) {
  g_seen.push_back({number, count, RenderBitmapSurface(bitmap)->pixels[0]});
  if (number == count) {
    if (!g_queue_at_end.empty()) {
      QueueAnimation(g_queue_at_end.c_str(), 0x28);
      g_queue_at_end.clear();
    } else if (g_abort_at_end) {
      AbortAnimation();
    }
  }
  return 0;
}

// A file of `n` frames, frame i painting the whole top-left 4x4 with i + base.
Bytes Frames(int n, uint8_t base = 1, int version = 2, int rate = 0) {
  SanFile f(n, version, rate);
  for (int i = 0; i < n; ++i) f.Frame({{"FOBJ", santest::SolidObject(0, 0, 4, 4, uint8_t(base + i))}});
  return f.Finish();
}

class Reader : public AnimFixture {
 protected:
  void SetUp() override {
    AnimFixture::SetUp();
    StartEngines(PostFrame);
    g_seen.clear();
    g_abort_at_end = true;
    g_queue_at_end.clear();
  }
  // Reads until a negative result or `limit` reads; returns the results.
  std::vector<int16_t> Drive(int limit = 200) {
    std::vector<int16_t> results;
    for (int i = 0; int(results.size()) < limit && i < limit * 50; ++i) {
      StreamReadAhead(64 * 2048);
      int16_t r = ReadFrame(0);
      if (r >= kReadWaitHeader) continue;  // data not yet in the ring
      results.push_back(r);
      if (r < 0) break;
    }
    return results;
  }
  std::vector<int16_t> Numbers() const {
    std::vector<int16_t> n;
    for (auto& s : g_seen) n.push_back(s.number);
    return n;
  }
};

TEST_F(Reader, ThreeFramesThenOneEndPass) {
  std::string path = Write("three.san", Frames(3));
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  std::vector<int16_t> results = Drive();
  EXPECT_EQ(results, (std::vector<int16_t>{2, 2, 2, 1, -1}));
  EXPECT_EQ(Numbers(), (std::vector<int16_t>{0, 1, 2, 3}));
  ASSERT_EQ(g_seen.size(), 4u);
  EXPECT_EQ(g_seen[3].count, 3);
  EXPECT_EQ(g_seen[3].pixel, 3);  // the end pass shows the last frame again
}

TEST_F(Reader, EndPassesRepeatUntilAbort) {
  g_abort_at_end = false;
  std::string path = Write("three.san", Frames(3));
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  std::vector<int16_t> results = Drive(10);
  EXPECT_EQ(Numbers().back(), 3 + 6);  // 10 reads: 3 frames, 7 end passes, numbers rising
  AbortAnimation();
  EXPECT_EQ(ReadFrame(0), kReadAborted);
  EXPECT_EQ(ReadFrame(0), kReadEndPass);  // the request is used once
}

TEST_F(Reader, FirstTenFramesAreEarly) {
  std::string path = Write("twelve.san", Frames(12));
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  std::vector<int16_t> results = Drive();
  ASSERT_EQ(results.size(), 14u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(results[i], kReadShownEarly) << i;
  EXPECT_EQ(results[10], kReadShown);
  EXPECT_EQ(results[11], kReadShown);
  EXPECT_EQ(results[12], kReadEndPass);
}

TEST_F(Reader, QueuedFileFollowsAndKeepsPixels) {
  std::string second = Write("second.san", Frames(2, 50));
  // The second file's first frame paints only column 10, so the first file's
  // last picture must stay under it (header flag 0x20).
  SanFile s(1);
  s.Frame({{"FOBJ", santest::SolidObject(10, 0, 1, 1, 99)}});
  second = Write("second.san", s.Finish());
  g_queue_at_end = second;
  std::string first = Write("first.san", Frames(2, 20));
  ResetAnimationReader();
  QueueAnimation(first.c_str(), 0);
  std::vector<int16_t> results = Drive();
  ASSERT_GE(g_seen.size(), 4u);
  EXPECT_EQ(g_seen[0].number, 0);
  EXPECT_EQ(g_seen[1].number, 1);
  EXPECT_EQ(g_seen[2].number, 2);  // end pass: the post-frame callback queues
  // Then the second file starts from frame 0 over the kept picture.
  size_t i = 3;
  while (i < g_seen.size() && g_seen[i].number != 0) ++i;
  ASSERT_LT(i, g_seen.size());
  EXPECT_EQ(g_seen[i].count, 1);
  EXPECT_EQ(g_seen[i].pixel, 21);
  EXPECT_EQ(RenderBitmapSurface(AnimationRenderBitmap())->pixels[10], 99);
  EXPECT_EQ(InspectReader().file_flags, 0x28);
  EXPECT_EQ(results.back(), kReadAborted);
}

TEST_F(Reader, AbortTakesEffectAtNextRead) {
  std::string path = Write("three.san", Frames(3));
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  int16_t r;
  do {
    StreamReadAhead(64 * 2048);
    r = ReadFrame(0);
  } while (r >= kReadWaitHeader);
  EXPECT_EQ(r, kReadShownEarly);
  AbortAnimation();
  EXPECT_EQ(ReadFrame(0), kReadAborted);
  EXPECT_EQ(InspectReader().frame_number, 0);
}

TEST_F(Reader, WrongAnimSizeStillPlays) {
  Bytes b = Frames(2);
  santest::PatchBE32(b, 4, 12345);
  std::string path = Write("wrong.san", b);
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  EXPECT_EQ(Drive(), (std::vector<int16_t>{2, 2, 1, -1}));
}

TEST_F(Reader, RateOnlyFromLaterVersions) {
  for (int version : {1, 2}) {
    SetFrameRate(15);
    SanFile f(1, 2, 10);
    f.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 1)}});
    Bytes b = f.Finish();
    b[16] = uint8_t(version);  // a version-1 header that still holds a rate field
    std::string path = Write("rate.san", b);
    ResetAnimationReader();
    QueueAnimation(path.c_str(), 0);
    Drive();
    EXPECT_EQ(InspectPlayer().frame_period, version == 1 ? 66 : 100) << version;
  }
  // Header flag 0x8 ignores the rate.
  SetFrameRate(15);
  SanFile f(1, 2, 10);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 1)}});
  std::string path = Write("rate.san", f.Finish());
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0x8);
  Drive();
  EXPECT_EQ(InspectPlayer().frame_period, 66);
}

TEST_F(Reader, PadBytesWithAndWithout) {
  for (bool pad : {true, false}) {
    g_seen.clear();
    SanFile f(1);
    f.BeginFrame();
    f.Sub("ZZZZ", Bytes{1, 2, 3}, pad);  // odd payload
    f.Sub("FOBJ", santest::SolidObject(0, 0, 2, 2, 42));
    f.EndFrame();
    std::string path = Write("pad.san", f.Finish());
    ResetAnimationReader();
    QueueAnimation(path.c_str(), 0);
    EXPECT_EQ(Drive(), (std::vector<int16_t>{2, 1, -1})) << pad;
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen[0].pixel, 42) << pad;
  }
}

TEST_F(Reader, UnknownTagsSkippedLowerCaseDamaged) {
  SanFile ok(1);
  ok.Frame({{"QQ12", Bytes{1, 2}}, {"FOBJ", santest::SolidObject(0, 0, 1, 1, 5)}});
  std::string path = Write("ok.san", ok.Finish());
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  EXPECT_EQ(Drive(), (std::vector<int16_t>{2, 1, -1}));
  EXPECT_TRUE(ErrorLogEntries().empty());

  g_seen.clear();
  SanFile bad(3);
  bad.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 6)}, {"qq12", Bytes{1, 2}}});
  bad.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 7)}});
  path = Write("bad.san", bad.Finish());
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  // The damaged frame is still shown, then playback is aborted.
  EXPECT_EQ(Drive(), (std::vector<int16_t>{2, -1}));
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].pixel, 6);
  ASSERT_EQ(ErrorLogEntries().size(), 1u);
  EXPECT_EQ(ErrorLogEntries()[0].rfind("Bad IFF Header found 71713132 at ", 0), 0u);
}

TEST_F(Reader, OversizedChunkEndsPlayback) {
  SanFile f(2);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 5)}});
  f.BeginFrame();
  f.Sub("ZZZZ", Bytes(300001 - 8, 0), false);
  f.EndFrame();
  std::string path = Write("big.san", f.Finish());
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  EXPECT_EQ(Drive(), (std::vector<int16_t>{2, -3}));
  ASSERT_FALSE(ErrorLogEntries().empty());
  EXPECT_EQ(ErrorLogEntries().back(), "File Streamer:  Invalid frame size 300001");
}

TEST_F(Reader, TopLevelTagsOtherThanHeaderAndFrameAreDamage) {
  for (uint8_t first : {uint8_t('e'), uint8_t(0), uint8_t('X')}) {
    ClearLogs();
    g_seen.clear();
    SanFile f(2);
    f.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 5)}});
    f.Frame({{"FOBJ", santest::SolidObject(0, 0, 1, 1, 6)}});
    Bytes b = f.Finish();
    b[8 + 8 + 794 + 8 + 8 + 15 + 1] = first;  // second frame's tag (first frame 24+pad)
    std::string path = Write("tag.san", b);
    ResetAnimationReader();
    QueueAnimation(path.c_str(), 0);
    EXPECT_EQ(Drive(), (std::vector<int16_t>{2, -3})) << int(first);
    ASSERT_EQ(ErrorLogEntries().size(), 1u);
    EXPECT_EQ(ErrorLogEntries()[0], "Read invalid frame header -- CD may be dirty or damaged.");
  }
}

TEST_F(Reader, HeaderPaletteUnlessKept) {
  std::string path = Write("pal.san", Frames(1));
  ResetPalette();
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0x400);
  Drive();
  EXPECT_EQ(CurrentPalette()[3], 0);
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  Drive();
  EXPECT_EQ(CurrentPalette()[3], 1);  // santest::Palette(): entry i is i
}

}  // namespace

namespace {

// Without a present callback the frame engine talks to the display itself.
TEST_F(Reader, PresentationWithoutCallbackReachesTheScreen) {
  SanFile f(2);
  f.Frame({{"FOBJ", santest::SolidObject(5, 5, 4, 4, 9)}});
  f.Frame({{"NPAL", santest::Palette(60)}, {"FOBJ", santest::SolidObject(50, 5, 4, 4, 9)}});
  std::string path = Write("show.san", f.Finish());
  ResetAnimationReader();
  QueueAnimation(path.c_str(), 0);
  int16_t r;
  do {
    StreamReadAhead(64 * 2048);
    r = ReadFrame(0);
  } while (r >= kReadWaitHeader);
  CompletePresentation();
  platform::headless::Screen screen = platform::headless::CurrentScreen();
  ASSERT_EQ(screen.width, 320);
  EXPECT_EQ(screen.At(5, 5), 9);
  EXPECT_EQ(screen.palette[9 * 3], 9);
  // Frame flag 0x8000: the picture stays, the palette still changes.
  do {
    StreamReadAhead(64 * 2048);
    r = ReadFrame(0x8000);
  } while (r >= kReadWaitHeader);
  // No flip here: nothing new was copied to the back buffer.
  screen = platform::headless::CurrentScreen();
  EXPECT_EQ(screen.At(5, 5), 9);
  EXPECT_EQ(screen.At(50, 5), 0);
  EXPECT_EQ(screen.palette[9 * 3], 69);
}

}  // namespace
