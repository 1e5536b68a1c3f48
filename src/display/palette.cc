// Screen palettes on both display paths, the black-out, and colour search.
#include <algorithm>

#include "display/display.h"
#include "display/internal.h"

using namespace display_internal;

namespace {

// A DirectDraw palette update: new entries into the existing palette, or a
// new palette attached to the primary surface. Failures keep the old colours.
void UpdateDirectDrawPalette(const PALETTEENTRY* entries) {
  DisplayState& d = g_display;
  if (d.ddraw_palette) {
    d.ddraw_palette->SetEntries(0, 0, 256, entries);
    return;
  }
  if (d.ddraw == nullptr) return;
  IDirectDrawPalette* palette = nullptr;
  if (d.ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr) != DD_OK) return;
  d.ddraw_palette = palette;
  if (d.primary) d.primary->SetPalette(palette);
}

HPALETTE CreateLogicalPalette(const PALETTEENTRY* entries) {
  LOGPALETTE logical{};
  logical.palVersion = 0x300;
  logical.palNumEntries = 256;
  std::copy(entries, entries + 256, logical.palPalEntry);
  return CreatePalette(&logical);
}

}  // namespace

void SetScreenPalette(const uint8_t* palette) {
  DisplayState& d = g_display;
  if (palette) {
    for (int i = 0; i < 256; ++i) {
      d.entries[i].peRed = palette[3 * i];
      d.entries[i].peGreen = palette[3 * i + 1];
      d.entries[i].peBlue = palette[3 * i + 2];
      d.colours[i] = RGBQUAD{palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0};
    }
  }
  if (DibPath()) {
    if (d.window_dc == nullptr) return;
    if (d.logical_palette) DeleteObject(d.logical_palette);
    d.logical_palette = BuildIdentityPalette(d.window_dc, d.entries, 256);
    if (d.logical_palette) RealizeOnWindow(d.window_dc, d.logical_palette);
    for (RenderBitmap* b = d.bitmap_list; b != nullptr; b = b->next) {
      if (d.memory_dc == nullptr) break;
      HGDIOBJ previous = SelectObject(d.memory_dc, b->dib);
      SetDIBColorTable(d.memory_dc, 0, 256, d.colours);
      if (previous) SelectObject(d.memory_dc, previous);
    }
  } else if (DirectDrawPath()) {
    UpdateDirectDrawPalette(d.entries);
  }
}

void BlackOutScreen() {
  DisplayState& d = g_display;
  PALETTEENTRY black[256]{};
  if (DibPath()) {
    if (d.window_dc == nullptr) return;
    HPALETTE palette = CreateLogicalPalette(black);
    if (palette == nullptr) return;
    RealizeOnWindow(d.window_dc, palette);
    DeleteObject(palette);
  } else if (DirectDrawPath()) {
    UpdateDirectDrawPalette(black);
  }
}

HPALETTE BuildIdentityPalette(HDC dc, PALETTEENTRY* entries, int16_t count) {
  if (dc == nullptr || entries == nullptr || count <= 0) return nullptr;
  count = std::min<int16_t>(count, 256);
  if (GetSystemPaletteUse(dc) == SYSPAL_NOSTATIC) {
    for (int i = 0; i < count; ++i) entries[i].peFlags = PC_NOCOLLAPSE;
    entries[0] = PALETTEENTRY{0, 0, 0, PC_NOCOLLAPSE};
    entries[count - 1] = PALETTEENTRY{255, 255, 255, PC_NOCOLLAPSE};
  } else {
    const int half = std::clamp(GetDeviceCaps(dc, NUMRESERVED) / 2, 0, count / 2);
    PALETTEENTRY system[256]{};
    GetSystemPaletteEntries(dc, 0, 256, system);
    for (int i = 0; i < count; ++i) {
      if (i < half || i >= count - half) {
        entries[i] = system[i];
        entries[i].peFlags = 0;
      } else {
        entries[i].peFlags = PC_NOCOLLAPSE;
      }
    }
  }
  LOGPALETTE logical{};
  logical.palVersion = 0x300;
  logical.palNumEntries = static_cast<WORD>(count);
  std::copy(entries, entries + count, logical.palPalEntry);
  return CreatePalette(&logical);
}

void RealizeOnWindow(HDC dc, HPALETTE palette) {
  if (dc == nullptr || palette == nullptr) return;
  HPALETTE previous = SelectPalette(dc, palette, FALSE_);
  RealizePalette(dc);
  if (previous) SelectPalette(dc, previous, FALSE_);
}

uint16_t FindPaletteColour(uint8_t red, uint8_t green, uint8_t blue) {
  const DisplayState& d = g_display;
  if (red == 255 && green == 255 && blue == 255) return d.white_index;
  if (red == 0 && green == 0 && blue == 0) return d.black_index;
  uint8_t table[768];
  for (int i = 0; i < 256; ++i) {
    table[3 * i] = d.entries[i].peRed;
    table[3 * i + 1] = d.entries[i].peGreen;
    table[3 * i + 2] = d.entries[i].peBlue;
  }
  return static_cast<uint16_t>(NearestColour(table, 256, red, green, blue));
}

int16_t NearestColour(const uint8_t* table, int16_t count, int16_t red, int16_t green, int16_t blue) {
  int64_t best = 10000000;
  int16_t index = 0;
  if (table == nullptr) return 0;
  for (int16_t i = 0; i < count; ++i) {
    // Wide enough for any 16-bit component, not only bytes.
    const int64_t dr = red - table[3 * i];
    const int64_t dg = green - table[3 * i + 1];
    const int64_t db = blue - table[3 * i + 2];
    const int64_t distance = 3 * dr * dr + 5 * dg * dg + 2 * db * db;
    if (distance < best) {
      best = distance;
      index = i;
    }
  }
  return index;
}
