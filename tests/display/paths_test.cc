// The presentation paths: DirectDraw with and without page flipping (words
// 0x0104 and 0x0004) and DIB sections copied into the window (word 0x0001).
// What they share runs over all three; what only one path has follows below.
#include "fixture.h"

namespace {

using display_test::DisplayTest;
using namespace display_internal;
using display_test::Ramp;
namespace hl = platform::memory;

constexpr uint16_t kDirectDraw = 0x0104;
constexpr uint16_t kNoFlip = 0x0004;
constexpr uint16_t kDib = 0x0001;
constexpr std::array<uint8_t, 768> kBlack{};

// The bitmap's 320 columns of rows first..last all show colour.
bool ScreenRowsAre(int first, int last, uint8_t colour) {
  const hl::Screen s = hl::CurrentScreen();
  if (s.width < 320 || s.height <= last) return false;  // no picture yet
  for (int y = first; y <= last; ++y)
    for (int x = 0; x < 320; ++x)
      if (s.At(x, y) != colour) return false;
  return true;
}

class BothPaths : public DisplayTest, public ::testing::WithParamInterface<uint16_t> {
 protected:
  bool DirectDraw() const { return GetParam() != kDib; }
  void Show() {
    PresentBitmap(bitmap_, 0, 0, nullptr);
    CompletePresentation();
  }
  void CloseLeavingNothing() {
    Close();
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
    EXPECT_EQ(hl::LiveGdiObjects(), 0);
  }
};

INSTANTIATE_TEST_SUITE_P(Display, BothPaths, ::testing::Values(kDirectDraw, kNoFlip, kDib),
                         [](const auto& info) {
                           return info.param == kDib ? "Dib" : info.param == kNoFlip ? "NoFlip" : "Flip";
                         });

TEST_P(BothPaths, RenderBitmapRowsAreMultiplesOfFour) {
  ASSERT_EQ(DisplayStartup(window_, GetParam()), 0);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RenderBitmap* b = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&b, 318, 7), 0);
  EXPECT_EQ(b->width, 320);
  EXPECT_EQ(b->height, 7);
  EXPECT_EQ(b->size, 320 * 7);
  if (DirectDraw()) {
    ASSERT_NE(b->surface, nullptr);  // and it stays locked for drawing
    EXPECT_EQ(b->surface->Lock(nullptr, &g_display.description, 0, nullptr), DDERR_SURFACEBUSY);
  } else {
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);  // no mode is set
  }
  EXPECT_EQ(RenderBitmapSurface(b)->pixels, b->pixels);  // the decoder draws into it
  FreeRenderBitmap(&b);
  EXPECT_EQ(b, nullptr);
  RestoreVideoMode();
  DisplayShutdown();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

TEST_P(BothPaths, ClippedRowsAndFramesReachTheScreen) {
  Open(GetParam());
  FillRows(0, 199, 7);
  const ClipRect clip{0, 150, 320, 100};
  PresentBitmap(bitmap_, 0, 0, &clip);
  CompletePresentation();
  EXPECT_TRUE(ScreenRowsAre(0, 149, 0));
  EXPECT_TRUE(ScreenRowsAre(150, 199, 7));
  // Drawing goes on into the same bitmap; with page flipping the frame is
  // visible only after the flip.
  FillRows(0, 199, 9);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  EXPECT_EQ(ScreenRowsAre(150, 199, 9), GetParam() != kDirectDraw);
  EXPECT_EQ(g_display.back_buffer == nullptr, GetParam() != kDirectDraw);
  CompletePresentation();
  EXPECT_TRUE(ScreenRowsAre(0, 199, 9));
  CloseLeavingNothing();
}

TEST_P(BothPaths, InactiveCopiesNothingAndReactivationRestoresThePicture) {
  Open(GetParam());
  static int32_t handled;
  handled = -1;
  SetActivationHandler([](int32_t active) { handled = active; });
  SetScreenPalette(Ramp().data());
  const auto shown = hl::CurrentScreen().palette;
  HandleActivation(0);
  EXPECT_EQ(handled, 0);
  hl::LoseSurfaces();
  FillRows(0, 199, 50);  // not one of the reserved colours
  const int published = hl::PublishedScreens();
  Show();
  EXPECT_EQ(hl::PublishedScreens(), published);
  EXPECT_TRUE(ScreenRowsAre(0, 199, 0));

  HandleActivation(1);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(g_display.active, 1);
  Show();
  EXPECT_TRUE(ScreenRowsAre(0, 199, 50));
  EXPECT_EQ(hl::CurrentScreen().palette, shown);
  CloseLeavingNothing();
}

TEST_P(BothPaths, BlackOutThenRestore) {
  Open(GetParam());
  SetScreenPalette(Ramp().data());
  const auto shown = hl::CurrentScreen().palette;
  BlackOutScreen();
  const auto black = hl::CurrentScreen().palette;
  if (DirectDraw()) {
    EXPECT_EQ(black, kBlack);
  } else {
    for (int i = 30; i < 3 * 246; ++i) ASSERT_EQ(black[i], 0) << i;
    EXPECT_EQ(black[3 * 255], 255);  // the reserved white stays
  }
  SetScreenPalette(nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, shown);
  CloseLeavingNothing();
}

// DirectDraw only.

TEST_F(DisplayTest, ModeTableAndRefusals) {
  EXPECT_EQ(SetVideoMode(19, nullptr, nullptr), -200);
  ASSERT_EQ(DisplayStartup(window_, kDirectDraw), 0);
  EXPECT_EQ(GetDisplayWindow(), window_);
  const struct {
    uint16_t mode;
    int16_t width, height;
  } table[] = {{0x12, 640, 480},  {0x13, 320, 200},  {0x100, 640, 400},  {0x101, 640, 480},
               {0x103, 800, 600}, {0x105, 1024, 768}, {0x107, 1280, 1024}, {0x300, 640, 400}};
  for (const auto& m : table) {
    int16_t w = -1, h = -1;
    ASSERT_EQ(SetVideoMode(m.mode, &w, &h), 0) << m.mode;
    EXPECT_EQ(std::pair(w, h), std::pair(m.width, m.height)) << m.mode;
    EXPECT_EQ(hl::CurrentScreen().width, m.width);
    RestoreVideoMode();
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
  }
  for (uint16_t mode : {0x102, 0x104, 0x106, 0, 0x14}) {
    int16_t w = -1;
    EXPECT_EQ(SetVideoMode(mode, &w, nullptr), 1) << mode;
    EXPECT_EQ(w, -1);
    EXPECT_EQ(g_display.mode_count, 0);  // the next request starts afresh
  }
  // A nested request only counts: the outer mode stays until the last restore.
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  int16_t w = -1, h = -1;
  EXPECT_EQ(SetVideoMode(0x101, &w, &h), 0);
  EXPECT_EQ(w, -1);
  EXPECT_EQ(h, -1);
  EXPECT_EQ(hl::CurrentScreen().width, 320);
  RestoreVideoMode();
  EXPECT_NE(hl::LiveDirectDrawObjects(), 0);
  RestoreVideoMode();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, FailingDirectDrawStepsLeaveNothingBehind) {
  ASSERT_EQ(DisplayStartup(window_, kDirectDraw), 0);
  RenderBitmap* b = nullptr;
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), 1);  // no mode, no DirectDraw object
  for (auto call : {hl::DirectDrawCall::kCreate, hl::DirectDrawCall::kSetCooperativeLevel,
                    hl::DirectDrawCall::kSetDisplayMode, hl::DirectDrawCall::kCreateSurface}) {
    hl::FailDirectDrawCall(call);
    EXPECT_EQ(SetVideoMode(19, nullptr, nullptr), 1) << static_cast<int>(call);
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
    EXPECT_EQ(g_display.mode_count, 0);
  }
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  const int before = hl::LiveDirectDrawObjects();
  hl::FailDirectDrawCall(hl::DirectDrawCall::kLock);
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), 1);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(hl::LiveDirectDrawObjects(), before);
}

TEST_F(DisplayTest, PlacementIsCutToTheScreen) {
  Open(kDirectDraw);
  for (int i = 0; i < 320 * 200; ++i) bitmap_->pixels[i] = static_cast<uint8_t>(i % 320 + i / 320);
  PresentBitmap(bitmap_, 10, -5, nullptr);
  CompletePresentation();
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_EQ(s.At(9, 0), 0);
  EXPECT_EQ(s.At(10, 0), static_cast<uint8_t>(0 + 5));
  EXPECT_EQ(s.At(319, 194), static_cast<uint8_t>(309 + 199));
  EXPECT_EQ(s.At(319, 195), 0);
}

TEST_F(DisplayTest, LostPrimaryIsRestoredAndABusyFlipRepeated) {
  Open(kDirectDraw);
  hl::LoseSurfaces();
  EXPECT_EQ(g_display.primary->IsLost(), DDERR_SURFACELOST);
  FillRows(0, 199, 6);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  hl::SetFlipBusy(3);
  CompletePresentation();
  EXPECT_EQ(g_display.primary->IsLost(), DD_OK);
  EXPECT_TRUE(ScreenRowsAre(0, 199, 6));
}

TEST_F(DisplayTest, DirectDrawPaletteStartsBlackAndSurvivesAFailedReactivation) {
  Open(kDirectDraw);
  SetScreenPalette(nullptr);  // nothing handed in yet
  EXPECT_EQ(hl::CurrentScreen().palette, kBlack);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  // Reactivation makes a new palette; when that fails the screen keeps its
  // colours, and the next update tries again.
  hl::FailDirectDrawCall(hl::DirectDrawCall::kCreatePalette);
  HandleActivation(1);
  EXPECT_EQ(g_display.ddraw_palette, nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, ramp);
  BlackOutScreen();
  EXPECT_NE(g_display.ddraw_palette, nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, kBlack);
}

// DIB sections only.

bool SameColour(const PALETTEENTRY& e, const uint8_t* rgb) {
  return e.peRed == rgb[0] && e.peGreen == rgb[1] && e.peBlue == rgb[2];
}

TEST_F(DisplayTest, BitmapListKeepsTheHeadAndEveryColourTableFollows) {
  ASSERT_EQ(DisplayStartup(window_, kDib), 0);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RenderBitmap* b = nullptr;
  hl::FailGdiCall(hl::GdiCall::kCreateDIBSection);
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), -101);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(g_display.bitmap_list, nullptr);
  RenderBitmap *a = nullptr, *c = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&a, 8, 2), 0);
  ASSERT_EQ(CreateRenderBitmap(&b, 8, 2), 0);
  ASSERT_EQ(CreateRenderBitmap(&c, 8, 2), 0);
  EXPECT_EQ(g_display.bitmap_list, a);  // new ones go behind the head
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(c->next, b);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  for (RenderBitmap* r : {a, b, c}) {
    auto table = hl::DibColourTable(r->dib);
    ASSERT_EQ(table.size(), 256u);
    for (int i : {0, 77, 255}) EXPECT_EQ(table[i].rgbBlue, ramp[3 * i + 2]) << i;
  }
  FreeRenderBitmap(&a);
  EXPECT_EQ(g_display.bitmap_list, c);
  FreeRenderBitmap(&b);
  EXPECT_EQ(c->next, nullptr);
  FreeRenderBitmap(&c);
  EXPECT_EQ(g_display.bitmap_list, nullptr);
}

TEST_F(DisplayTest, IdentityPaletteKeepsTwentyReservedColours) {
  Open(kDib);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  const auto system = hl::SystemPalette();
  const auto logical = hl::LogicalPaletteEntries(g_display.logical_palette);
  ASSERT_EQ(logical.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const bool reserved = i < 10 || i >= 246;
    const PALETTEENTRY& want = system[i];
    const uint8_t sys[3] = {want.peRed, want.peGreen, want.peBlue};
    EXPECT_TRUE(SameColour(logical[i], reserved ? sys : &ramp[3 * i])) << i;
    EXPECT_EQ(logical[i].peFlags, reserved ? 0 : PC_NOCOLLAPSE) << i;
  }
  // The DIB colour table keeps all of the animation's colours.
  const auto table = hl::DibColourTable(bitmap_->dib);
  for (int i : {0, 5, 9, 128, 246, 255}) EXPECT_EQ(table[i].rgbGreen, ramp[3 * i + 1]) << i;
  // Copies are one to one for the animation's own entries.
  for (int i = 0; i < 320 * 200; ++i) bitmap_->pixels[i] = static_cast<uint8_t>(i % 320);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_EQ(s.width, 640);
  for (int x = 10; x < 246; ++x) {
    ASSERT_EQ(s.At(x, 199), x);
    ASSERT_EQ(s.palette[3 * x], ramp[3 * x]);
  }
  EXPECT_EQ(s.At(320, 0), 0);  // beyond the bitmap the desktop is untouched
}

TEST_F(DisplayTest, IdentityPaletteWithoutStaticColours) {
  hl::SetNoStaticPalette(true);
  Open(kDib);
  auto ramp = Ramp();
  ramp[0] = 200;                          // entry 0 is not black
  ramp[765] = ramp[766] = ramp[767] = 3;  // entry 255 is not white
  SetScreenPalette(ramp.data());
  const auto logical = hl::LogicalPaletteEntries(g_display.logical_palette);
  ASSERT_EQ(logical.size(), 256u);
  const uint8_t black[3] = {0, 0, 0}, white[3] = {255, 255, 255};
  EXPECT_TRUE(SameColour(logical[0], black));
  EXPECT_TRUE(SameColour(logical[255], white));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(logical[i].peFlags, PC_NOCOLLAPSE) << i;
  for (int i = 1; i < 255; ++i) EXPECT_TRUE(SameColour(logical[i], &ramp[3 * i])) << i;
  const auto system = hl::SystemPalette();
  EXPECT_TRUE(SameColour(system[1], &ramp[3]));
  EXPECT_TRUE(SameColour(system[254], &ramp[3 * 254]));
}

TEST_F(DisplayTest, WithoutWindowDcNothingHappens) {
  hl::FailGdiCall(hl::GdiCall::kGetDC);
  ASSERT_EQ(DisplayStartup(window_, kDib), 0);
  EXPECT_EQ(g_display.window_dc, nullptr);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  SetScreenPalette(Ramp().data());
  BlackOutScreen();
  EXPECT_EQ(g_display.logical_palette, nullptr);
  EXPECT_EQ(hl::PublishedScreens(), 0);
}

}  // namespace
