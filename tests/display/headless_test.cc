// The in-memory DirectDraw and GDI objects where the display relies on their
// refusals: busy and lost surfaces, bad rectangles, selected objects.
#include <gtest/gtest.h>

#include "platform/ddraw.h"
#include "platform/gdi.h"
#include "platform/headless/screen.h"
#include "platform/messages.h"

namespace {

namespace hl = platform::headless;

HWND FakeWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000)); }

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override { hl::ResetHeadlessDisplay(); }
  void TearDown() override { hl::ResetHeadlessDisplay(); }
};

DDSURFACEDESC Desc(DWORD caps, DWORD width = 0, DWORD height = 0) {
  DDSURFACEDESC d{};
  d.dwSize = sizeof(d);
  d.dwFlags = DDSD_CAPS | (width ? DDSD_WIDTH | DDSD_HEIGHT : 0);
  d.dwWidth = width;
  d.dwHeight = height;
  d.ddsCaps.dwCaps = caps;
  return d;
}

TEST_F(HeadlessTest, SurfacesRefuseWhatTheHardwareWould) {
  IDirectDraw* dd = nullptr;
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  DDSURFACEDESC primary_desc = Desc(DDSCAPS_PRIMARYSURFACE);
  IDirectDrawSurface* primary = nullptr;
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 8), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->SetCooperativeLevel(FakeWindow(), 0x53), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 16), DDERR_INVALIDMODE);
  ASSERT_EQ(dd->SetDisplayMode(320, 200, 8), DD_OK);
  ASSERT_EQ(dd->CreateSurface(&primary_desc, &primary, nullptr), DD_OK);
  IDirectDrawSurface* second = nullptr;
  EXPECT_EQ(dd->CreateSurface(&primary_desc, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
  EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);

  DDSURFACEDESC desc = Desc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 30, 10);
  IDirectDrawSurface* source = nullptr;
  ASSERT_EQ(dd->CreateSurface(&desc, &source, nullptr), DD_OK);
  ASSERT_EQ(source->Lock(nullptr, &desc, 0, nullptr), DD_OK);
  EXPECT_EQ(desc.lPitch, 32);
  static_cast<uint8_t*>(desc.lpSurface)[0] = 77;
  DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  fx.dwROP = SRCCOPY;
  const RECT r{0, 0, 30, 10};
  EXPECT_EQ(primary->Blt(&r, source, &r, DDBLT_ROP, &fx), DDERR_SURFACEBUSY);  // source locked
  EXPECT_EQ(source->Unlock(nullptr), DD_OK);
  const RECT outside{300, 190, 330, 200};
  EXPECT_EQ(primary->Blt(&outside, source, &r, DDBLT_ROP, &fx), DDERR_INVALIDRECT);
  const RECT at{5, 5, 35, 15};
  ASSERT_EQ(primary->Blt(&at, source, &r, DDBLT_ROP, &fx), DD_OK);
  EXPECT_EQ(hl::CurrentScreen().At(5, 5), 77);

  hl::LoseSurfaces();
  EXPECT_EQ(primary->Blt(&at, source, &r, DDBLT_ROP, &fx), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DD_OK);
  EXPECT_EQ(hl::CurrentScreen().At(5, 5), 0);  // restored memory, not contents

  PALETTEENTRY entries[256] = {};
  IDirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr), DD_OK);
  ASSERT_EQ(primary->SetPalette(palette), DD_OK);
  entries[3] = PALETTEENTRY{1, 2, 3, 0};
  ASSERT_EQ(palette->SetEntries(0, 3, 1, &entries[3]), DD_OK);
  EXPECT_EQ(hl::CurrentScreen().palette[9], 1);
  EXPECT_EQ(hl::CurrentScreen().palette[11], 3);
  EXPECT_EQ(palette->Release(), 1u);  // the primary holds it
  EXPECT_EQ(source->Release(), 0u);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(dd->Release(), 0u);
  EXPECT_EQ(hl::LiveDirectDrawObjects(), 0);
}

TEST_F(HeadlessTest, GdiObjectsSelectedSomewhereCannotBeDeleted) {
  HDC window_dc = GetDC(FakeWindow());
  ASSERT_NE(window_dc, nullptr);
  HDC memory = CreateCompatibleDC(window_dc);
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{40, 8, 4, 1, 8, BI_RGB, 0, 0, 0, 0, 0};  // bottom-up
  for (int i = 0; i < 256; ++i) info.bmiColors[i] = RGBQUAD{0, 0, static_cast<BYTE>(i), 0};
  void* bits = nullptr;
  info.bmiColors[7] = RGBQUAD{0, 0, 255, 0};
  HBITMAP dib = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  static_cast<uint8_t*>(bits)[2] = 7;  // the bottom row, third pixel
  HGDIOBJ previous = SelectObject(memory, dib);
  ASSERT_NE(previous, nullptr);
  EXPECT_FALSE(DeleteObject(dib));
  HDC other = CreateCompatibleDC(window_dc);
  EXPECT_EQ(SelectObject(other, dib), nullptr);  // one device context at a time
  // Copied with negative corners: only the overlap lands.
  EXPECT_TRUE(BitBlt(window_dc, -2, -1, 8, 4, memory, 0, 0, SRCCOPY));
  // Without a realised palette of its own the window maps colours onto the
  // static ones: pure red is system entry 249.
  const hl::Screen s = hl::CurrentScreen();
  EXPECT_EQ(s.At(0, 2), 249);
  EXPECT_EQ(s.At(0, 1), 0);
  EXPECT_FALSE(BitBlt(window_dc, 0, 0, 8, 4, memory, 0, 0, 0x00EE0086));

  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = 256;
  HPALETTE pal = CreatePalette(&lp);
  ASSERT_NE(pal, nullptr);
  HPALETTE old = SelectPalette(window_dc, pal, FALSE_);
  EXPECT_FALSE(DeleteObject(pal));
  SelectPalette(window_dc, old, FALSE_);
  EXPECT_TRUE(DeleteObject(pal));

  EXPECT_EQ(ReleaseDC(nullptr, window_dc), 0);
  SelectObject(memory, previous);
  EXPECT_TRUE(DeleteObject(dib));
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_TRUE(DeleteDC(other));
  EXPECT_EQ(ReleaseDC(FakeWindow(), window_dc), 1);
  EXPECT_EQ(hl::LiveGdiObjects(), 0);
}

}  // namespace
