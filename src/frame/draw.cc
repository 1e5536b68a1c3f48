#include "frame/draw.h"

#include <algorithm>

namespace {

struct Bounds {
  int32_t left, top, right, bottom;  // half-open
};

// The clip, cut to the surface too so a clip larger than the bitmap never
// writes outside it.
Bounds BoundsOf(const Surface* surface, const ClipRect* clip) {
  Bounds b{0, 0, surface->width, surface->height};
  if (clip) {
    b.left = std::max<int32_t>(b.left, clip->left);
    b.top = std::max<int32_t>(b.top, clip->top);
    b.right = std::min<int32_t>(b.right, int32_t(clip->left) + clip->width);
    b.bottom = std::min<int32_t>(b.bottom, int32_t(clip->top) + clip->height);
  }
  return b;
}

}  // namespace

void DrawHorizontalLine(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                        int32_t length, uint8_t colour) {
  if (!surface || !surface->pixels || length <= 0) return;
  Bounds b = BoundsOf(surface, clip);
  if (y < b.top || y >= b.bottom) return;
  int32_t from = std::max(x, b.left);
  int32_t to = std::min<int64_t>(int64_t(x) + length, b.right);
  for (int32_t i = from; i < to; ++i) surface->pixels[size_t(y) * surface->width + i] = colour;
}

void DrawVerticalLine(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                      int32_t length, uint8_t colour) {
  if (!surface || !surface->pixels || length <= 0) return;
  Bounds b = BoundsOf(surface, clip);
  if (x < b.left || x >= b.right) return;
  int32_t from = std::max(y, b.top);
  int32_t to = std::min<int64_t>(int64_t(y) + length, b.bottom);
  for (int32_t i = from; i < to; ++i) surface->pixels[size_t(i) * surface->width + x] = colour;
}

void DrawRectOutline(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                     int32_t width, int32_t height, uint8_t colour) {
  DrawHorizontalLine(surface, clip, x, y, width, colour);
  DrawVerticalLine(surface, clip, x, y, height, colour);
  DrawVerticalLine(surface, clip, x + width - 1, y, height, colour);
  DrawHorizontalLine(surface, clip, x, y + height - 1, width, colour);
}
