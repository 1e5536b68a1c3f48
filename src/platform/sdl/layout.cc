#include "platform/sdl/layout.h"

#include <algorithm>
#include <cstring>

namespace platform::sdl {

Layout ComputeLayout(int sw, int sh, int ow, int oh, Fit fit) {
  Layout l;
  if (sw <= 0 || sh <= 0 || ow <= 0 || oh <= 0) return l;
  if (fit == Fit::kWhole) {
    // A screen larger than the window is still shown, cut at the edges.
    l.prescale = std::max(1, std::min(ow / sw, oh / sh));
    l.width = sw * l.prescale;
    l.height = sh * l.prescale;
  } else {
    const int64_t rw = fit == Fit::kAspect43 ? 4 : sw;
    const int64_t rh = fit == Fit::kAspect43 ? 3 : sh;
    if (int64_t{ow} * rh > int64_t{oh} * rw) {
      l.height = oh;
      l.width = static_cast<int>((int64_t{oh} * rw + rh / 2) / rh);
    } else {
      l.width = ow;
      l.height = static_cast<int>((int64_t{ow} * rh + rw / 2) / rw);
    }
    l.width = std::max(1, l.width);
    l.height = std::max(1, l.height);
    // The largest whole factor that fits: the linear step then enlarges by
    // less than two, and the prescaled picture (drawn on the processor
    // without a graphics card) is the smallest that keeps pixels even.
    l.prescale = std::clamp(std::min(l.width / sw, l.height / sh), 1, kMaxPrescale);
    l.linear = l.width != sw * l.prescale || l.height != sh * l.prescale;
  }
  l.x = (ow - l.width) / 2;
  l.y = (oh - l.height) / 2;
  return l;
}

void WindowToScreen(const Layout& l, int sw, int sh, int x, int y, int* sx, int* sy) {
  int px = 0, py = 0;
  if (l.width > 0 && l.height > 0) {
    px = static_cast<int>(int64_t{x - l.x} * sw / l.width);
    py = static_cast<int>(int64_t{y - l.y} * sh / l.height);
  }
  *sx = std::clamp(px, 0, std::max(0, sw - 1));
  *sy = std::clamp(py, 0, std::max(0, sh - 1));
}

void ConvertIndexed(int width, int height, int pitch, const uint8_t* indices,
                    const uint8_t* rgb768, uint32_t* out, int out_pitch) {
  uint32_t table[256];
  for (int i = 0; i < 256; ++i)
    table[i] = 0xFF000000u | uint32_t{rgb768[3 * i]} << 16 | uint32_t{rgb768[3 * i + 1]} << 8 |
               rgb768[3 * i + 2];
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = indices + static_cast<size_t>(y) * pitch;
    uint32_t* dst = out + static_cast<size_t>(y) * out_pitch;
    for (int x = 0; x < width; ++x) dst[x] = table[row[x]];
  }
}

RowBand ChangedRows(int width, int height, int pitch, const uint8_t* now, const uint8_t* before) {
  auto differs = [&](int y) {
    const size_t at = static_cast<size_t>(y) * pitch;
    return std::memcmp(now + at, before + at, static_cast<size_t>(width)) != 0;
  };
  RowBand band;
  while (band.first < height && !differs(band.first)) ++band.first;
  if (band.first == height) return {height, height};
  band.end = height;
  while (!differs(band.end - 1)) --band.end;
  return band;
}

}  // namespace platform::sdl
