// Colour search, rectangles, the message pump and the display's fallbacks.
#include "fixture.h"

namespace {

using display_test::DisplayTest;
using namespace display_internal;
using display_test::Ramp;

TEST(NearestColour, LowestIndexWinsTiesAndDistancesAreWeighted) {
  uint8_t table[768] = {};
  for (int i = 0; i < 256; ++i) table[3 * i] = 200;
  table[9] = 40, table[10] = 50, table[11] = 60;  // entry 3
  table[21] = 40, table[22] = 50, table[23] = 60;  // entry 7
  EXPECT_EQ(NearestColour(table, 256, 40, 50, 60), 3);

  const uint8_t two[6] = {0, 0, 0, 10, 10, 10};
  EXPECT_EQ(NearestColour(two, 2, 10, 0, 0), 0);  // 300 against 700
  EXPECT_EQ(NearestColour(two, 0, 10, 0, 0), 0);
  // Components far outside a byte do not wrap the distance round into a
  // small one: nothing is nearer than the starting bound.
  const uint8_t far[6] = {255, 255, 255, 0, 0, 0};
  EXPECT_EQ(NearestColour(far, 2, -32768, -32768, -32768), 0);
  EXPECT_EQ(NearestColour(far, 2, -1000, 0, 0), 1);
}

TEST_F(DisplayTest, FindPaletteColourRemembersWhiteAndBlack) {
  ASSERT_EQ(DisplayStartup(window_, 0x0104), 0);
  uint8_t p[768] = {};
  p[0] = p[1] = p[2] = 255;  // entry 0 white, entry 255 black
  p[3 * 100] = 250, p[3 * 100 + 1] = 20, p[3 * 100 + 2] = 20;
  p[3 * 101] = 252, p[3 * 101 + 1] = 252, p[3 * 101 + 2] = 252;
  SetScreenPalette(p);
  EXPECT_EQ(FindPaletteColour(255, 255, 255), 255);
  EXPECT_EQ(FindPaletteColour(0, 0, 0), 0);
  EXPECT_EQ(FindPaletteColour(255, 0, 0), 100);
  EXPECT_EQ(FindPaletteColour(254, 254, 254), 0);
  EXPECT_EQ(FindPaletteColour(1, 1, 1), 1);  // first of the black entries
}

TEST(IntersectRect, OverlapEmptinessAndAliasing) {
  const ClipRect a{10, 20, 100, 50};
  ClipRect out = a;  // the result may be one of the inputs
  const ClipRect b{50, 0, 100, 40};
  ASSERT_EQ(IntersectRect(&out, &out, &b), 0);
  EXPECT_EQ((std::array{out.left, out.top, out.width, out.height}), (std::array<int16_t, 4>{50, 20, 60, 20}));
  for (const ClipRect& touching_or_empty : {ClipRect{110, 20, 10, 10}, ClipRect{10, 20, 0, 10}})
    EXPECT_EQ(IntersectRect(&out, &a, &touching_or_empty), -1);
  // Far apart: the negative width does not wrap round into a positive one.
  const ClipRect right{32767, 0, 1, 1};
  const ClipRect left{-32768, 0, -32768, 1};
  EXPECT_EQ(IntersectRect(&out, &right, &left), -1);
  EXPECT_LT(out.width, 0);
}

TEST_F(DisplayTest, PumpMessageDispatchesOneMessage) {
  const DWORD before = timeGetTime();
  EXPECT_EQ(PumpMessage(), 0);  // nothing waits: a virtual millisecond passes
  EXPECT_EQ(timeGetTime(), before + 1);
  ASSERT_TRUE(PostMessageA(window_, 0x0400, 41, 0));
  ASSERT_TRUE(PostMessageA(window_, 0x0400, 7, 0));
  EXPECT_EQ(PumpMessage(), 42);
  EXPECT_EQ(PumpMessage(), 8);
  PostQuitMessage(0);
  EXPECT_EQ(PumpMessage(), 0);
}

TEST_F(DisplayTest, WithoutAPathTheBitmapIsPlainMemory) {
  RenderBitmap* b = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&b, 13, 3), 0);
  EXPECT_EQ(b->width, 16);
  EXPECT_EQ(b->size, 48);
  ClearRenderBitmap(b, 9);
  EXPECT_EQ(b->pixels[47], 9);
  PresentBitmap(b, 0, 0, nullptr);
  CompletePresentation();
  SetScreenPalette(Ramp().data());
  EXPECT_EQ(FindPaletteColour(0, 255, 0), 0);
  FreeRenderBitmap(&b);
  EXPECT_EQ(CreateRenderBitmap(&b, 0, 4), -101);
  RestoreVideoMode();  // unbalanced: ignored
  DisplayShutdown();
  EXPECT_EQ(g_display.mode_count, 0);
}

}  // namespace
