// The display's one global record, shared by presentation and palettes.
#pragma once

#include <cstdint>

#include "display/display.h"

namespace display_internal {

// The header of every DIB section: 8 bits per pixel, colours as indices
// 0 to 255 into the logical palette selected into the window's DC.
struct DisplayState {
  HWND window = nullptr;
  HDC window_dc = nullptr;
  HDC memory_dc = nullptr;
  uint16_t mode_word = 0;
  int32_t startup_count = 0;
  int32_t mode_count = 0;
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  IDirectDraw* ddraw = nullptr;
  IDirectDrawSurface* primary = nullptr;
  IDirectDrawSurface* back_buffer = nullptr;
  IDirectDrawPalette* ddraw_palette = nullptr;
  HPALETTE logical_palette = nullptr;
  RenderBitmap* bitmap_list = nullptr;
  int32_t active = 0;
  ActivationHandler activation_handler = nullptr;
  DDBLTFX effects{};
  DDSURFACEDESC description{};
  BITMAPINFO bitmap_header{};
  PALETTEENTRY entries[256]{};
  RGBQUAD colours[256]{};
  uint16_t white_index = 255;
  uint16_t black_index = 0;
};

extern DisplayState g_display;

inline bool DirectDrawPath() { return (g_display.mode_word & kDisplayWordPaths) == kDisplayWordDirectDraw; }
inline bool DibPath() { return (g_display.mode_word & kDisplayWordPaths) == kDisplayWordDib; }
inline bool PageFlipping() { return DirectDrawPath() && (g_display.mode_word & kDisplayWordPageFlipping); }

}  // namespace display_internal
