// The device-context path (display-mode word 0x0001): DIB sections, BitBlt
// into the window, identity palettes with and without static colours.
#include "fixture.h"

namespace {

using display_test::DisplayTest;
using display_test::Ramp;
namespace hl = platform::headless;

constexpr uint16_t kWord = 0x0001;

bool SameColour(const PALETTEENTRY& e, const uint8_t* rgb) {
  return e.peRed == rgb[0] && e.peGreen == rgb[1] && e.peBlue == rgb[2];
}
bool SameColour(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

TEST_F(DisplayTest, DibPathSetsNoModeAndMakesDibSections) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  EXPECT_NE(g_display.window_dc, nullptr);
  EXPECT_NE(g_display.memory_dc, nullptr);
  int16_t w = 0, h = 0;
  ASSERT_EQ(SetVideoMode(19, &w, &h), 0);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
  RenderBitmap* b = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&b, 318, 200), 0);
  EXPECT_NE(b->dib, nullptr);
  EXPECT_EQ(b->surface, nullptr);
  EXPECT_EQ(b->width, 320);
  EXPECT_EQ(b->size, 320 * 200);
  ClearRenderBitmap(b, 1);
  EXPECT_EQ(b->pixels[320 * 200 - 1], 1);
  FreeRenderBitmap(&b);
  RestoreVideoMode();
  DisplayShutdown();
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

TEST_F(DisplayTest, BitmapListKeepsTheHeadAndInsertsBehindIt) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RenderBitmap *a = nullptr, *b = nullptr, *c = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&a, 8, 2), 0);
  ASSERT_EQ(CreateRenderBitmap(&b, 8, 2), 0);
  ASSERT_EQ(CreateRenderBitmap(&c, 8, 2), 0);
  EXPECT_EQ(g_display.bitmap_list, a);
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(c->next, b);
  EXPECT_EQ(b->next, nullptr);
  // Every colour table follows the palette.
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  for (RenderBitmap* r : {a, b, c}) {
    auto table = hl::DibColourTable(r->dib);
    ASSERT_EQ(table.size(), 256u);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(table[i].rgbRed, ramp[3 * i]);
      ASSERT_EQ(table[i].rgbGreen, ramp[3 * i + 1]);
      ASSERT_EQ(table[i].rgbBlue, ramp[3 * i + 2]);
    }
  }
  FreeRenderBitmap(&a);
  EXPECT_EQ(g_display.bitmap_list, c);
  FreeRenderBitmap(&b);
  EXPECT_EQ(c->next, nullptr);
  FreeRenderBitmap(&c);
  EXPECT_EQ(g_display.bitmap_list, nullptr);
  RestoreVideoMode();
  DisplayShutdown();
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

TEST_F(DisplayTest, DibSectionFailureIsNoMemory) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  hl::FailGdiCall(hl::GdiCall::kCreateDIBSection);
  RenderBitmap* b = nullptr;
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), -101);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(g_display.bitmap_list, nullptr);
}

TEST_F(DisplayTest, IdentityPaletteKeepsTwentyReservedColours) {
  Open(kWord);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  const auto system = hl::SystemPalette();
  const auto logical = hl::LogicalPaletteEntries(g_display.logical_palette);
  ASSERT_EQ(logical.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    if (i < 10 || i >= 246) {
      EXPECT_TRUE(SameColour(logical[i], system[i])) << i;
      EXPECT_EQ(logical[i].peFlags, 0) << i;
    } else {
      EXPECT_TRUE(SameColour(logical[i], &ramp[3 * i])) << i;
      EXPECT_EQ(logical[i].peFlags, PC_NOCOLLAPSE) << i;
    }
  }
  EXPECT_EQ(logical[0].peRed, 0);  // the system's black and white stay
  EXPECT_EQ(logical[255].peBlue, 255);
  // The DIB colour table keeps all of the animation's colours.
  const auto table = hl::DibColourTable(bitmap_->dib);
  for (int i : {0, 5, 9, 128, 246, 255}) EXPECT_EQ(table[i].rgbGreen, ramp[3 * i + 1]) << i;

  // Copies are one to one for the animation's own entries.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) bitmap_->pixels[y * 320 + x] = static_cast<uint8_t>(x);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_EQ(s.width, 640);
  for (int x = 10; x < 246; ++x) {
    ASSERT_EQ(s.At(x, 199), x);
    ASSERT_EQ(s.palette[3 * x], ramp[3 * x]);
  }
  EXPECT_EQ(s.At(320, 0), 0);  // beyond the bitmap the desktop is untouched
  Close();
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

TEST_F(DisplayTest, IdentityPaletteWithoutStaticColours) {
  hl::SetNoStaticPalette(true);
  Open(kWord);
  auto ramp = Ramp();
  ramp[0] = 200;                       // entry 0 is not black
  ramp[765] = ramp[766] = ramp[767] = 3;  // entry 255 is not white
  SetScreenPalette(ramp.data());
  const auto logical = hl::LogicalPaletteEntries(g_display.logical_palette);
  ASSERT_EQ(logical.size(), 256u);
  EXPECT_EQ(logical[0].peRed, 0);
  EXPECT_EQ(logical[0].peGreen, 0);
  EXPECT_EQ(logical[255].peRed, 255);
  EXPECT_EQ(logical[255].peGreen, 255);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(logical[i].peFlags, PC_NOCOLLAPSE) << i;
  for (int i = 1; i < 255; ++i) EXPECT_TRUE(SameColour(logical[i], &ramp[3 * i])) << i;
  const auto system = hl::SystemPalette();
  EXPECT_TRUE(SameColour(system[1], &ramp[3]));
  EXPECT_TRUE(SameColour(system[254], &ramp[3 * 254]));
}

TEST_F(DisplayTest, DibBlackOutThenRestore) {
  Open(kWord);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  const auto shown = hl::CurrentScreen().palette;
  BlackOutScreen();
  const auto black = hl::CurrentScreen().palette;
  for (int i = 30; i < 3 * 246; ++i) ASSERT_EQ(black[i], 0) << i;
  EXPECT_EQ(black[3 * 255], 255);  // reserved white stays
  SetScreenPalette(nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, shown);
  Close();
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

TEST_F(DisplayTest, DibInactiveCopiesNothing) {
  Open(kWord);
  SetScreenPalette(Ramp().data());
  HandleActivation(0);
  FillRows(0, 199, 50);
  const int published = hl::PublishedScreens();
  PresentBitmap(bitmap_, 0, 0, nullptr);
  EXPECT_EQ(hl::PublishedScreens(), published);
  HandleActivation(1);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  EXPECT_EQ(hl::CurrentScreen().At(100, 100), 50);
  const ClipRect clip{0, 150, 320, 100};
  FillRows(0, 199, 60);
  PresentBitmap(bitmap_, 0, 0, &clip);
  EXPECT_EQ(hl::CurrentScreen().At(0, 149), 50);
  EXPECT_EQ(hl::CurrentScreen().At(0, 150), 60);
}

TEST_F(DisplayTest, WithoutWindowDcNothingHappens) {
  hl::FailGdiCall(hl::GdiCall::kGetDC);
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  EXPECT_EQ(g_display.window_dc, nullptr);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RenderBitmap* b = nullptr;
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), -101);
  SetScreenPalette(Ramp().data());
  BlackOutScreen();
  EXPECT_EQ(g_display.logical_palette, nullptr);
  EXPECT_EQ(hl::PublishedScreens(), 0);
  // The memory DC failing releases the window DC.
  DisplayShutdown();
  hl::FailGdiCall(hl::GdiCall::kCreateCompatibleDC);
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  EXPECT_EQ(g_display.window_dc, nullptr);
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

}  // namespace
