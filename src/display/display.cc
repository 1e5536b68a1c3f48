// Display set-up, the video mode, render bitmaps and presentation.
#include "display/display.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "display/internal.h"
#include "platform/messages.h"
#include "base/mem.h"

namespace display_internal {
DisplayState g_display;
}  // namespace display_internal

using namespace display_internal;

namespace {

struct ModeSize {
  uint16_t mode;
  int16_t width;
  int16_t height;
};

// Numbered as the VGA and VESA BIOS modes.
constexpr ModeSize kModes[] = {
    {0x12, 640, 480},  {0x13, 320, 200},  {0x100, 640, 400},  {0x101, 640, 480},
    {0x103, 800, 600}, {0x105, 1024, 768}, {0x107, 1280, 1024}, {0x300, 640, 400},
};

void ClearSurface(IDirectDrawSurface* surface) {
  g_display.effects.dwFillColor = 0;
  surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &g_display.effects);
}

// Releases the DirectDraw objects, forgetting each once its last reference
// is gone.
void ReleaseDirectDraw() {
  DisplayState& d = g_display;
  if (d.primary && d.primary->Release() == 0) {
    d.primary = nullptr;
    d.back_buffer = nullptr;
  }
  if (d.ddraw_palette && d.ddraw_palette->Release() == 0) d.ddraw_palette = nullptr;
  if (d.ddraw && d.ddraw->Release() == 0) d.ddraw = nullptr;
}

// The DirectDraw steps of SetVideoMode: 0, or kDisplayFailed at the first failing call.
int16_t OpenDirectDraw() {
  DisplayState& d = g_display;
  if (DirectDrawCreate(nullptr, &d.ddraw, nullptr) != DD_OK) {
    d.ddraw = nullptr;
    return kDisplayFailed;
  }
  if (d.ddraw->SetCooperativeLevel(d.window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE |
                                                 DDSCL_ALLOWMODEX) != DD_OK)
    return kDisplayFailed;
  if (d.ddraw->SetDisplayMode(static_cast<DWORD>(d.screen_width), static_cast<DWORD>(d.screen_height),
                              8) != DD_OK)
    return kDisplayFailed;
  d.description = DDSURFACEDESC{};
  d.description.dwSize = sizeof(DDSURFACEDESC);
  d.description.dwFlags = DDSD_CAPS;
  d.description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (PageFlipping()) {
    d.description.dwFlags |= DDSD_BACKBUFFERCOUNT;
    d.description.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.description.dwBackBufferCount = 1;
  }
  if (d.ddraw->CreateSurface(&d.description, &d.primary, nullptr) != DD_OK) {
    d.primary = nullptr;
    return kDisplayFailed;
  }
  ClearSurface(d.primary);
  if (PageFlipping()) {
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    if (d.primary->GetAttachedSurface(&caps, &d.back_buffer) != DD_OK) d.back_buffer = nullptr;
    if (d.back_buffer) ClearSurface(d.back_buffer);
    CompletePresentation();
  }
  return 0;
}

void Unlink(RenderBitmap* bitmap) {
  DisplayState& d = g_display;
  if (bitmap->previous) bitmap->previous->next = bitmap->next;
  if (bitmap->next) bitmap->next->previous = bitmap->previous;
  if (d.bitmap_list == bitmap) d.bitmap_list = bitmap->next;
  bitmap->previous = bitmap->next = nullptr;
}

// Frees what a bitmap holds besides its record.
void ReleaseBitmapStorage(RenderBitmap* bitmap) {
  if (bitmap->dib) {
    DeleteObject(bitmap->dib);
    Unlink(bitmap);
  } else if (bitmap->surface) {
    bitmap->surface->Unlock(nullptr);
    bitmap->surface->Release();
  } else {
    delete[] bitmap->pixels;
  }
}

}  // namespace

int16_t DisplayStartup(HWND window, uint16_t mode_word) {
  DisplayState& d = g_display;
  if (d.startup_count++ != 0) return 0;
  d.window = window;
  d.window_dc = nullptr;
  d.memory_dc = nullptr;
  d.mode_word = mode_word;
  if (DibPath()) {
    d.window_dc = GetDC(window);
    if (d.window_dc) {
      d.memory_dc = CreateCompatibleDC(d.window_dc);
      if (d.memory_dc == nullptr) {
        ReleaseDC(window, d.window_dc);
        d.window_dc = nullptr;
      }
    }
  }
  d.active = 1;
  d.effects = DDBLTFX{};
  d.effects.dwSize = sizeof(DDBLTFX);
  d.effects.dwROP = SRCCOPY;
  for (int i = 0; i < 256; ++i) {
    d.entries[i].peFlags = 0;
    d.colours[i].rgbReserved = 0;
  }
  d.bitmap_header = BITMAPINFO{};
  d.bitmap_header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  d.bitmap_header.bmiHeader.biPlanes = 1;
  d.bitmap_header.bmiHeader.biBitCount = 8;
  d.bitmap_header.bmiHeader.biCompression = BI_RGB;
  for (int i = 0; i < 256; ++i) d.bitmap_header.bmiPalIndices[i] = static_cast<WORD>(i);
  return 0;
}

void DisplayShutdown() {
  DisplayState& d = g_display;
  if (d.startup_count <= 0) return;
  if (--d.startup_count != 0) return;
  if (DibPath()) {
    if (d.window_dc) ReleaseDC(d.window, d.window_dc);
    if (d.memory_dc) DeleteDC(d.memory_dc);
    d.window_dc = nullptr;
    d.memory_dc = nullptr;
  }
}

HWND GetDisplayWindow() { return g_display.window; }

int16_t SetVideoMode(uint16_t mode, int16_t* width, int16_t* height) {
  DisplayState& d = g_display;
  if (d.startup_count == 0) return kErrNoDisplay;
  if (d.mode_count++ != 0) return 0;
  const ModeSize* size = nullptr;
  for (const ModeSize& m : kModes)
    if (m.mode == mode) size = &m;
  if (size == nullptr) {
    --d.mode_count;
    return kDisplayFailed;
  }
  d.screen_width = size->width;
  d.screen_height = size->height;
  if (width) *width = size->width;
  if (height) *height = size->height;
  d.bitmap_list = nullptr;
  if (DirectDrawPath() && OpenDirectDraw() != 0) {
    // The caller does not restore after a failure: leave nothing behind.
    ReleaseDirectDraw();
    d.primary = d.back_buffer = nullptr;
    d.ddraw_palette = nullptr;
    d.ddraw = nullptr;
    --d.mode_count;
    return kDisplayFailed;
  }
  return 0;
}

void RestoreVideoMode() {
  DisplayState& d = g_display;
  if (d.mode_count <= 0) return;
  if (--d.mode_count != 0) return;
  if (DibPath()) {
    if (d.logical_palette) DeleteObject(d.logical_palette);
    d.logical_palette = nullptr;
  } else if (DirectDrawPath()) {
    ReleaseDirectDraw();
  }
}

int16_t CreateRenderBitmap(RenderBitmap** slot, int16_t width, int16_t height) {
  DisplayState& d = g_display;
  if (slot == nullptr || width <= 0 || height <= 0) return kErrNoMemory;
  const int32_t pitch = (static_cast<int32_t>(width) + 3) & ~3;
  auto* bitmap = new (std::nothrow) RenderBitmap{};
  if (bitmap == nullptr) return kErrNoMemory;
  if (DibPath()) {
    HPALETTE previous = nullptr;
    if (d.logical_palette && d.window_dc) previous = SelectPalette(d.window_dc, d.logical_palette, FALSE_);
    d.bitmap_header.bmiHeader.biWidth = pitch;
    d.bitmap_header.bmiHeader.biHeight = -height;
    void* bits = nullptr;
    bitmap->dib = CreateDIBSection(d.window_dc, &d.bitmap_header, DIB_PAL_COLORS, &bits, nullptr, 0);
    if (previous) SelectPalette(d.window_dc, previous, FALSE_);
    if (bitmap->dib == nullptr) {
      delete bitmap;
      return kErrNoMemory;
    }
    bitmap->pixels = static_cast<uint8_t*>(bits);
    if (d.bitmap_list == nullptr) {
      d.bitmap_list = bitmap;
    } else {
      bitmap->previous = d.bitmap_list;
      bitmap->next = d.bitmap_list->next;
      if (bitmap->next) bitmap->next->previous = bitmap;
      d.bitmap_list->next = bitmap;
    }
  } else if (DirectDrawPath()) {
    if (d.ddraw == nullptr) {
      delete bitmap;
      return kDisplayFailed;
    }
    d.description = DDSURFACEDESC{};
    d.description.dwSize = sizeof(DDSURFACEDESC);
    d.description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.description.dwWidth = static_cast<DWORD>(pitch);
    d.description.dwHeight = static_cast<DWORD>(height);
    d.description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    if (d.ddraw->CreateSurface(&d.description, &bitmap->surface, nullptr) != DD_OK) {
      delete bitmap;
      return kDisplayFailed;
    }
    if (bitmap->surface->Lock(nullptr, &d.description, 0, nullptr) != DD_OK ||
        d.description.lpSurface == nullptr || d.description.lPitch != pitch) {
      bitmap->surface->Release();
      delete bitmap;
      return kDisplayFailed;
    }
    bitmap->pixels = static_cast<uint8_t*>(d.description.lpSurface);
  } else {
    // No screen to show it on: a plain picture in memory.
    bitmap->pixels = new (std::nothrow) uint8_t[static_cast<size_t>(pitch) * height]();
    if (bitmap->pixels == nullptr) {
      delete bitmap;
      return kErrNoMemory;
    }
  }
  bitmap->width = static_cast<uint16_t>(pitch);
  bitmap->height = static_cast<uint16_t>(height);
  bitmap->size = pitch * height;
  *slot = bitmap;
  return 0;
}

void FreeRenderBitmap(RenderBitmap** slot) {
  if (slot == nullptr || *slot == nullptr) return;
  ReleaseBitmapStorage(*slot);
  delete *slot;
  *slot = nullptr;
}

void ClearRenderBitmap(RenderBitmap* bitmap, uint8_t colour) {
  if (bitmap == nullptr || bitmap->pixels == nullptr) return;
  MemFill(bitmap->pixels, colour, static_cast<size_t>(bitmap->size));
}

int16_t IntersectRect(ClipRect* out, const ClipRect* a, const ClipRect* b) {
  const int32_t left = std::max<int32_t>(a->left, b->left);
  const int32_t top = std::max<int32_t>(a->top, b->top);
  const int32_t right = std::min<int32_t>(a->left + a->width, b->left + b->width);
  const int32_t bottom = std::min<int32_t>(a->top + a->height, b->top + b->height);
  // A rectangle reaching past the 16-bit range is cut at its end.
  const int32_t width = std::min<int32_t>(right - left, INT16_MAX);
  const int32_t height = std::min<int32_t>(bottom - top, INT16_MAX);
  out->left = static_cast<int16_t>(left);
  out->top = static_cast<int16_t>(top);
  out->width = static_cast<int16_t>(std::max<int32_t>(width, INT16_MIN));
  out->height = static_cast<int16_t>(std::max<int32_t>(height, INT16_MIN));
  return width <= 0 || height <= 0 ? -1 : 0;
}

void PresentBitmap(RenderBitmap* bitmap, int16_t x, int16_t y, const ClipRect* clip) {
  DisplayState& d = g_display;
  if (bitmap == nullptr) return;
  ClipRect r{x, y, static_cast<int16_t>(bitmap->width), static_cast<int16_t>(bitmap->height)};
  const ClipRect screen{0, 0, static_cast<int16_t>(d.screen_width), static_cast<int16_t>(d.screen_height)};
  if (IntersectRect(&r, &r, &screen) != 0) return;
  if (clip && IntersectRect(&r, &r, clip) != 0) return;
  CopyRect(bitmap, x, y, &r);
}

void CopyRect(RenderBitmap* bitmap, int16_t x, int16_t y, const ClipRect* rect) {
  DisplayState& d = g_display;
  if (!d.active || bitmap == nullptr || rect == nullptr) return;
  const int32_t sx = rect->left - x;
  const int32_t sy = rect->top - y;
  if (DibPath()) {
    if (d.window_dc == nullptr || d.memory_dc == nullptr || bitmap->dib == nullptr) return;
    HGDIOBJ previous_bitmap = SelectObject(d.memory_dc, bitmap->dib);
    HPALETTE previous_palette = nullptr;
    if (d.logical_palette) previous_palette = SelectPalette(d.window_dc, d.logical_palette, FALSE_);
    BitBlt(d.window_dc, rect->left, rect->top, rect->width, rect->height, d.memory_dc, sx, sy, SRCCOPY);
    if (previous_bitmap) SelectObject(d.memory_dc, previous_bitmap);
    if (previous_palette) SelectPalette(d.window_dc, previous_palette, FALSE_);
  } else if (DirectDrawPath()) {
    IDirectDrawSurface* target = PageFlipping() ? d.back_buffer : d.primary;
    if (bitmap->surface == nullptr || d.primary == nullptr || target == nullptr) return;
    bitmap->surface->Unlock(nullptr);
    if (d.primary->IsLost() == DDERR_SURFACELOST) d.primary->Restore();
    const RECT to{rect->left, rect->top, rect->left + rect->width, rect->top + rect->height};
    const RECT from{sx, sy, sx + rect->width, sy + rect->height};
    target->Blt(&to, bitmap->surface, &from, DDBLT_ROP, &d.effects);
    d.description.dwSize = sizeof(DDSURFACEDESC);
    bitmap->surface->Lock(nullptr, &d.description, 0, nullptr);
  }
}

void CompletePresentation() {
  DisplayState& d = g_display;
  if (!PageFlipping() || d.primary == nullptr) return;
  while (d.primary->Flip(nullptr, 0) == DDERR_WASSTILLDRAWING) {
  }
}

void MaskRect(RenderBitmap*, int16_t, int16_t, const ClipRect*, const uint8_t*) {}

void HandleActivation(int32_t active) {
  DisplayState& d = g_display;
  if (d.activation_handler) d.activation_handler(active);
  if (active) {
    if (DirectDrawPath()) {
      if (d.ddraw)
        d.ddraw->SetDisplayMode(static_cast<DWORD>(d.screen_width), static_cast<DWORD>(d.screen_height), 8);
      if (d.primary) d.primary->Restore();
      // The primary keeps the old palette until the next update attaches a
      // new one; only our own reference goes now.
      if (d.ddraw_palette) d.ddraw_palette->Release();
      d.ddraw_palette = nullptr;
    }
    SetScreenPalette(nullptr);
  }
  d.active = active ? 1 : 0;
}

void SetActivationHandler(ActivationHandler handler) { g_display.activation_handler = handler; }

LRESULT PumpMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return 0;
  if (!GetMessageA(&msg, nullptr, 0, 0)) return 0;
  TranslateMessage(&msg);
  return DispatchMessageA(&msg);
}
