// The line walker shared by the skip-literal codecs (21, 44) and the shade
// codec (23): lines alternate skip and literal (count) fields, and do so
// across the left cut as well.
#pragma once

#include <algorithm>
#include <cstdint>

#include "decoder/internal.h"

namespace decoder_internal {

template <bool kWide>
inline int32_t ReadField(const uint8_t*& p) {
  int32_t v = kWide ? ReadLE16(p) : *p;
  p += kWide ? 2 : 1;
  return v;
}

// The fields of a line from a skip at column `pos` (< width) on, until the
// width is covered or the line's bytes [p, end) run out. One comparison per
// field decides whether it ends the line; only that last literal is cut.
template <bool kWide, class Paint>
[[gnu::always_inline]] inline void SkipFields(const uint8_t* p, const uint8_t* end, uint8_t* row, int32_t pos,
                       int32_t width, Paint paint) {
  constexpr int32_t kField = kWide ? 2 : 1;
  // A skip without a count after it paints nothing, so both are checked at once.
  while (end - p >= 2 * kField) {
    pos += ReadField<kWide>(p);
    if (pos >= width) return;
    int32_t n = ReadField<kWide>(p) + (kWide ? 1 : 0);
    int32_t room = width - pos;
    if (kWide) {
      intptr_t have = end - p;
      if (n >= room || n > have) {
        paint(row + pos, p, static_cast<int32_t>(std::min<intptr_t>(std::min(n, room), have)));
        return;
      }
      paint(row + pos, p, n);
      p += n;
    } else {
      if (n >= room) {
        paint(row + pos, nullptr, room);
        return;
      }
      paint(row + pos, nullptr, n);
    }
    pos += n;
  }
}

// kWide: 16-bit fields with "count - 1" and literal bytes after it (codecs
// 21 and 44); otherwise 8-bit skip and count fields with no bytes (codec 23).
// `paint(dst, src, m)` changes m pixels at dst; src is the literal's bytes
// (null for counts). Reads stay in [p, end); writes stay in row[0, width).
template <bool kWide, class Paint>
inline void WalkSkipLine(const uint8_t* p, const uint8_t* end, uint8_t* row, int32_t cut,
                         int32_t width, Paint paint) {
  constexpr int32_t kField = kWide ? 2 : 1;
  if (cut == 0) {
    SkipFields<kWide>(p, end, row, 0, width, paint);
    return;
  }
  // Fields wholly left of the cut are stepped over, skip and literal (count)
  // strictly alternating; the field reaching past the cut starts the line.
  int32_t pos = 0;
  bool literal_next = false;
  for (;;) {
    if (end - p < kField) return;
    int32_t n = ReadField<kWide>(p);
    if (!literal_next) {
      literal_next = true;
      if (n <= cut) {
        cut -= n;
        continue;
      }
      pos = n - cut;
      if (pos >= width) return;
      break;  // a literal (count) follows, drawn from `pos`
    }
    literal_next = false;
    if (kWide) ++n;
    if (n <= cut) {
      if (kWide) {
        if (end - p < n) return;
        p += n;
      }
      cut -= n;
      continue;
    }
    if (kWide) {
      if (end - p < cut) return;
      p += cut;
    }
    n -= cut;
    int32_t m = std::min(n, width);
    if (kWide) {
      int32_t have = static_cast<int32_t>(std::min<intptr_t>(end - p, m));
      paint(row, p, have);
      if (have < n) return;  // the data ends inside the literal, or the line is covered
      p += n;
    } else {
      paint(row, nullptr, m);
    }
    if (n >= width) return;
    SkipFields<kWide>(p, end, row, n, width, paint);
    return;
  }
  // The literal (count) after a skip that crossed the cut.
  if (end - p < kField) return;
  int32_t n = ReadField<kWide>(p) + (kWide ? 1 : 0);
  int32_t m = std::min(n, width - pos);
  if (kWide) {
    int32_t have = static_cast<int32_t>(std::min<intptr_t>(end - p, m));
    paint(row + pos, p, have);
    if (have < n) return;
    p += n;
  } else {
    paint(row + pos, nullptr, m);
  }
  pos += n;
  if (pos < width) SkipFields<kWide>(p, end, row, pos, width, paint);
}

// Clips a line-structured object and calls draw_line(begin, end, row, cut,
// width) for each visible line.
template <class DrawLine>
inline void WalkClippedLines(const Surface* surface, const Bounds& b, int32_t x, int32_t y,
                             int32_t width, int32_t height, const uint8_t* p,
                             const uint8_t* end, DrawLine draw_line) {
  if (y < b.top) {
    p = SkipLines(p, end, b.top - y);
    if (p == nullptr) return;
    height -= b.top - y;
    y = b.top;
  }
  if (y + height > b.bottom) height = b.bottom - y;
  int32_t cut = 0;
  if (x < b.left) {
    cut = b.left - x;
    width -= cut;
    x = b.left;
  }
  if (x + width > b.right) width = b.right - x;
  if (width <= 0 || height <= 0) return;
  // Locals, since every pixel store may alias the surface's fields.
  uint8_t* const pixels = surface->pixels;
  const intptr_t pitch = surface->width;
  for (int32_t row = 0; row < height; ++row) {
    if (end - p < 2) return;
    uint32_t length = ReadLE16(p);
    const uint8_t* begin = p + 2;
    p = (static_cast<uintptr_t>(end - begin) < length) ? end : begin + length;
    draw_line(begin, p, pixels + (y + row) * pitch + x, cut, width);
  }
}

}  // namespace decoder_internal
