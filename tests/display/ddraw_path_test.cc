// The DirectDraw path (display-mode word 0x0104): modes, the render surface,
// presentation with page flipping, lost surfaces, activation, palettes.
#include "anim/player.h"
#include "fixture.h"

namespace {

using display_test::DisplayTest;
using display_test::Ramp;
namespace hl = platform::headless;

constexpr uint16_t kWord = 0x0104;

bool ScreenRowsAre(const hl::Screen& s, int first, int last, uint8_t colour) {
  for (int y = first; y <= last; ++y)
    for (int x = 0; x < s.width; ++x)
      if (s.At(x, y) != colour) return false;
  return true;
}

TEST_F(DisplayTest, ModeTableAndRefusals) {
  EXPECT_EQ(SetVideoMode(19, nullptr, nullptr), -200);
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  EXPECT_EQ(GetDisplayWindow(), window_);
  const struct {
    uint16_t mode;
    int16_t width, height;
  } table[] = {{0x12, 640, 480},  {0x13, 320, 200},  {0x100, 640, 400},  {0x101, 640, 480},
               {0x103, 800, 600}, {0x105, 1024, 768}, {0x107, 1280, 1024}, {0x300, 640, 400}};
  for (const auto& m : table) {
    int16_t w = -1, h = -1;
    ASSERT_EQ(SetVideoMode(m.mode, &w, &h), 0) << m.mode;
    EXPECT_EQ(w, m.width);
    EXPECT_EQ(h, m.height);
    EXPECT_EQ(hl::CurrentScreen().width, m.width);
    EXPECT_EQ(hl::CurrentScreen().height, m.height);
    RestoreVideoMode();
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
  }
  for (uint16_t mode : {0x102, 0x104, 0x106, 0, 0x14}) {
    int16_t w = -1;
    EXPECT_EQ(SetVideoMode(mode, &w, nullptr), 1) << mode;
    EXPECT_EQ(w, -1);
    EXPECT_EQ(g_display.mode_count, 0);
  }
  // A refusal leaves nothing counted: the next request starts afresh.
  int16_t w = 0, h = 0;
  ASSERT_EQ(SetVideoMode(19, &w, &h), 0);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  int16_t w2 = -1, h2 = -1;
  EXPECT_EQ(SetVideoMode(0x101, &w2, &h2), 0);
  EXPECT_EQ(w2, -1);
  EXPECT_EQ(h2, -1);
  EXPECT_EQ(hl::CurrentScreen().width, 320);
  RestoreVideoMode();
  EXPECT_NE(hl::LiveDirectDrawObjects(), 0);  // the outer mode still stands
  RestoreVideoMode();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, NestedStartupKeepsTheFirstWord) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  EXPECT_EQ(DisplayStartup(nullptr, 0x0001), 0);
  EXPECT_EQ(GetDisplayWindow(), window_);
  EXPECT_EQ(g_display.mode_word, kWord);
  DisplayShutdown();
  EXPECT_EQ(g_display.startup_count, 1);
}

TEST_F(DisplayTest, FailingDirectDrawStepsLeaveNothingBehind) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  for (auto call : {hl::DirectDrawCall::kCreate, hl::DirectDrawCall::kSetCooperativeLevel,
                    hl::DirectDrawCall::kSetDisplayMode, hl::DirectDrawCall::kCreateSurface}) {
    hl::FailDirectDrawCall(call);
    EXPECT_EQ(SetVideoMode(19, nullptr, nullptr), 1) << static_cast<int>(call);
    EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
    EXPECT_EQ(g_display.mode_count, 0);
    EXPECT_EQ(g_display.ddraw, nullptr);
    EXPECT_EQ(g_display.primary, nullptr);
  }
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RestoreVideoMode();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, RenderSurfaceHasAPitchOfFourAndStaysLocked) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  RenderBitmap* b = nullptr;
  ASSERT_EQ(CreateRenderBitmap(&b, 318, 7), 0);
  EXPECT_EQ(b->width, 320);
  EXPECT_EQ(b->height, 7);
  EXPECT_EQ(b->size, 320 * 7);
  ASSERT_NE(b->surface, nullptr);
  EXPECT_EQ(b->surface->Lock(nullptr, &g_display.description, 0, nullptr), DDERR_SURFACEBUSY);
  ClearRenderBitmap(b, 0x5A);
  for (int i = 0; i < b->size; ++i) ASSERT_EQ(b->pixels[i], 0x5A);
  // The decoder takes it as its drawing surface.
  const Surface* s = RenderBitmapSurface(b);
  EXPECT_EQ(s->pixels, b->pixels);
  FreeRenderBitmap(&b);
  EXPECT_EQ(b, nullptr);
  FreeRenderBitmap(&b);  // a cleared slot is left alone
}

TEST_F(DisplayTest, RenderSurfaceFailuresReturnOneAndLeakNothing) {
  ASSERT_EQ(DisplayStartup(window_, kWord), 0);
  RenderBitmap* b = nullptr;
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), 1);  // no mode, no DirectDraw object
  ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
  const int before = hl::LiveDirectDrawObjects();
  hl::FailDirectDrawCall(hl::DirectDrawCall::kCreateSurface);
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), 1);
  hl::FailDirectDrawCall(hl::DirectDrawCall::kLock);
  EXPECT_EQ(CreateRenderBitmap(&b, 320, 200), 1);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(hl::LiveDirectDrawObjects(), before);
}

TEST_F(DisplayTest, FrameBecomesVisibleOnlyAfterTheFlip) {
  Open(kWord);
  ASSERT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 0));
  FillRows(0, 199, 9);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 0));
  CompletePresentation();
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 9));
  // Drawing goes on into the still locked bitmap.
  bitmap_->pixels[0] = 3;
  PresentBitmap(bitmap_, 0, 0, nullptr);
  CompletePresentation();
  EXPECT_EQ(hl::CurrentScreen().At(0, 0), 3);
  Close();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, ClipCopiesOnlyItsRows) {
  Open(kWord);
  FillRows(0, 199, 7);
  const ClipRect clip{0, 150, 320, 100};
  PresentBitmap(bitmap_, 0, 0, &clip);
  CompletePresentation();
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_TRUE(ScreenRowsAre(s, 0, 149, 0));
  EXPECT_TRUE(ScreenRowsAre(s, 150, 199, 7));
}

TEST_F(DisplayTest, PlacementIsCutToTheScreen) {
  Open(kWord);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) bitmap_->pixels[y * 320 + x] = static_cast<uint8_t>(x + y);
  PresentBitmap(bitmap_, 10, -5, nullptr);
  CompletePresentation();
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_EQ(s.At(9, 0), 0);
  EXPECT_EQ(s.At(10, 0), static_cast<uint8_t>(0 + 5));
  EXPECT_EQ(s.At(319, 194), static_cast<uint8_t>(309 + 199));
  EXPECT_EQ(s.At(319, 195), 0);
  // Entirely off the screen: nothing to copy.
  const int published = hl::PublishedScreens();
  PresentBitmap(bitmap_, 320, 0, nullptr);
  EXPECT_EQ(hl::PublishedScreens(), published);
}

TEST_F(DisplayTest, StillDrawingFlipIsRepeated) {
  Open(kWord);
  FillRows(0, 199, 4);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  hl::SetFlipBusy(3);
  CompletePresentation();
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 4));
}

TEST_F(DisplayTest, LostPrimaryIsRestoredBeforeTheCopy) {
  Open(kWord);
  hl::LoseSurfaces();
  EXPECT_EQ(g_display.primary->IsLost(), DDERR_SURFACELOST);
  FillRows(0, 199, 6);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  CompletePresentation();
  EXPECT_EQ(g_display.primary->IsLost(), DD_OK);
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 6));
}

TEST_F(DisplayTest, InactiveCopiesNothingAndReactivationRestoresModeAndPalette) {
  Open(kWord);
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  HandleActivation(0);
  EXPECT_EQ(InspectPlayer().active, 0);
  hl::LoseSurfaces();
  FillRows(0, 199, 8);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  CompletePresentation();
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 0));

  HandleActivation(1);
  EXPECT_EQ(InspectPlayer().active, 1);
  EXPECT_EQ(g_display.active, 1);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  CompletePresentation();
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_TRUE(ScreenRowsAre(s, 0, 199, 8));
  EXPECT_EQ(s.palette, ramp);
  Close();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, DirectDrawPaletteBlackOutAndRestore) {
  Open(kWord);
  SetScreenPalette(nullptr);  // nothing handed in yet: all black
  EXPECT_EQ(hl::CurrentScreen().palette, (std::array<uint8_t, 768>{}));
  const auto ramp = Ramp();
  SetScreenPalette(ramp.data());
  EXPECT_EQ(hl::CurrentScreen().palette, ramp);
  BlackOutScreen();
  EXPECT_EQ(hl::CurrentScreen().palette, (std::array<uint8_t, 768>{}));
  SetScreenPalette(nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, ramp);
  // Reactivation makes a new palette; when that fails the screen keeps its
  // colours, and the next update tries again.
  hl::FailDirectDrawCall(hl::DirectDrawCall::kCreatePalette);
  HandleActivation(1);
  EXPECT_EQ(g_display.ddraw_palette, nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, ramp);
  BlackOutScreen();
  EXPECT_NE(g_display.ddraw_palette, nullptr);
  EXPECT_EQ(hl::CurrentScreen().palette, (std::array<uint8_t, 768>{}));
  Close();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, WithoutPageFlippingCopiesGoStraightToThePrimary) {
  Open(0x0004);
  EXPECT_EQ(g_display.back_buffer, nullptr);
  FillRows(0, 199, 2);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  EXPECT_TRUE(ScreenRowsAre(hl::CurrentScreen(), 0, 199, 2));
  CompletePresentation();
  Close();
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(DisplayTest, ObserverSeesEveryVisibleChange) {
  std::vector<uint8_t> corners;
  hl::SetScreenObserver([&](const hl::Screen& s) { corners.push_back(s.At(0, 0)); });
  Open(kWord);
  corners.clear();
  FillRows(0, 199, 1);
  PresentBitmap(bitmap_, 0, 0, nullptr);  // into the back buffer: not visible
  EXPECT_TRUE(corners.empty());
  CompletePresentation();
  FillRows(0, 199, 2);
  PresentBitmap(bitmap_, 0, 0, nullptr);
  CompletePresentation();
  SetScreenPalette(Ramp().data());
  EXPECT_EQ(corners, (std::vector<uint8_t>{1, 2, 2}));
}

}  // namespace
