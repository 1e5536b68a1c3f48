// Current palette, fixed-point fades and the present decision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "anim/san_builder.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "frame_fixture.h"

namespace {

using santest::Bytes;

// The payload of the one "XPAL" chunk of `frame`.
Bytes Xpal(const authoring::Frame& frame) {
  const Bytes chunk = LaidOut(frame);
  return Bytes(chunk.begin() + 8, chunk.end());
}
Bytes FadeStart(int16_t delta_for_all) {
  std::array<int16_t, 768> deltas;
  deltas.fill(delta_for_all);
  return Xpal(authoring::Frame().XpalStart(deltas));
}
Bytes FadeFrom(const Bytes& palette) {
  authoring::Palette p;
  std::copy(palette.begin(), palette.end(), p.begin());
  return Xpal(authoring::Frame().XpalStartFrom({}, p));
}
Bytes FadeStep() { return Xpal(authoring::Frame().XpalStep()); }

class Palette : public FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    ResetPalette();
  }
};

// The accumulator keeps 7 fraction bits; a negative delta wraps it
// (65535 >> 7 = 511, low byte 255).
TEST_F(Palette, FadeStepsAccumulateDeltas) {
  const struct {
    int16_t delta;
    int steps;
    uint8_t colour;
  } cases[] = {{8, 15, 0}, {8, 16, 1}, {-1, 1, 255}};
  for (const auto& c : cases) {
    ResetPalette();
    Bytes start = FadeStart(c.delta);
    PaletteFade(start.data(), uint32_t(start.size()));
    EXPECT_EQ(InspectFrame().palette_state, 0);  // starting a fade changes nothing yet
    Bytes step = FadeStep();
    for (int i = 0; i < c.steps; ++i) PaletteFade(step.data(), uint32_t(step.size()));
    EXPECT_EQ(CurrentPalette()[0], c.colour) << c.delta << " " << c.steps;
    EXPECT_EQ(CurrentPalette()[767], c.colour);
    EXPECT_EQ(InspectFrame().palette_state, 1);
  }
}

TEST_F(Palette, FadeFromNewPaletteWithoutStepLeavesStateAlone) {
  Bytes fresh = santest::Palette(40);
  Bytes start = FadeFrom(fresh);
  PaletteFade(start.data(), uint32_t(start.size()));
  EXPECT_EQ(Bytes(CurrentPalette(), CurrentPalette() + 768), fresh);
  EXPECT_EQ(InspectFrame().palette_state, 0);
  // A step with zero deltas keeps the colours and marks the change.
  Bytes step = FadeStep();
  PaletteFade(step.data(), uint32_t(step.size()));
  EXPECT_EQ(Bytes(CurrentPalette(), CurrentPalette() + 768), fresh);
  EXPECT_EQ(InspectFrame().palette_state, 1);
}

TEST_F(Palette, ShortFadePayloadsChangeNothing) {
  Bytes fresh = santest::Palette(40);
  Bytes start = FadeFrom(fresh);
  start.resize(start.size() - 1);
  PaletteFade(start.data(), uint32_t(start.size()));
  EXPECT_EQ(CurrentPalette()[3], 0);
  Bytes three{0, 0, 1};
  PaletteFade(three.data(), 3);
  EXPECT_EQ(InspectFrame().palette_state, 0);
}

using PresentCall = std::tuple<uint16_t, int32_t, int32_t, int16_t>;  // flags, full, show, state
std::vector<PresentCall> g_presents;
void Present(RenderBitmap*, const ClipRect*, uint16_t flags, int32_t full, int32_t show,
             int16_t state) {
  g_presents.emplace_back(flags, full, show, state);
}

TEST_F(Palette, PresentWithCallback) {
  g_presents.clear();
  SetPresentCallback(Present);
  Bytes p = santest::Palette(7);
  SetCurrentPalette(p.data(), 1);
  SetFrameChangedFlag(1);
  PresentFrame(bitmap(), nullptr, 0x0020);
  ASSERT_EQ(g_presents.size(), 1u);
  EXPECT_EQ(g_presents[0], PresentCall(0x0020, 1, 1, 2));  // a full palette
  EXPECT_EQ(InspectFrame().palette_state, 0);
  // Consumed: an unchanged frame is not presented again.
  PresentFrame(bitmap(), nullptr, 0);
  EXPECT_EQ(g_presents.size(), 1u);
  // Flag 0x8000 keeps the picture back but still reports the palette.
  SetFrameChangedFlag(1);
  SetCurrentPalette(p.data(), 0);
  PresentFrame(bitmap(), nullptr, 0x8000);
  ASSERT_EQ(g_presents.size(), 2u);
  EXPECT_EQ(g_presents[1], PresentCall(0x8000, 0, 0, 1));
  SetPresentCallback(nullptr);
  SetCurrentPalette(CurrentPalette(), 0);  // itself: no overlapping copy
  EXPECT_EQ(CurrentPalette()[3], 8);
}

}  // namespace
