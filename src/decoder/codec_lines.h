// The line walker shared by the skip-literal codecs (21, 44) and the shade
// codec (23): lines alternate skip and literal (count) fields, and do so
// across the left cut as well.
#pragma once

#include <algorithm>
#include <cstdint>

#include "decoder/codec_common.h"

namespace decoder_detail {

// kWide: 16-bit fields with "count - 1" and literal bytes after it (codecs
// 21 and 44); otherwise 8-bit skip and count fields with no bytes (codec 23).
// `paint(dst, src, m)` changes m pixels at dst; src is the literal's bytes
// (null for counts). Reads stay in [p, end); writes stay in row[0, width).
template <bool kWide, class Paint>
inline void WalkSkipLine(const uint8_t* p, const uint8_t* end, uint8_t* row, int32_t cut,
                         int32_t width, Paint paint) {
  constexpr int32_t kField = kWide ? 2 : 1;
  auto read_field = [&p]() -> int32_t {
    int32_t v = kWide ? Le16(p) : *p;
    p += kField;
    return v;
  };
  int32_t pos = 0;  // next destination column, relative to the row start
  bool literal_next = false;
  while (cut > 0) {
    if (end - p < kField) return;
    int32_t n = read_field();
    if (!literal_next) {
      literal_next = true;
      if (n <= cut) {
        cut -= n;
        continue;
      }
      pos = n - cut;
      cut = 0;
      if (pos >= width) return;
      break;
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
    cut = 0;
    int32_t m = std::min(n, width);
    if (kWide) {
      int32_t have = static_cast<int32_t>(std::min<intptr_t>(end - p, m));
      paint(row, p, have);
      if (have < n) return;  // the data ends inside the literal, or the line is covered
      p += n;
    } else {
      paint(row, nullptr, m);
    }
    pos = n;
    if (pos >= width) return;
    break;
  }
  while (pos < width) {
    if (!literal_next) {
      if (end - p < kField) return;
      pos += read_field();
      if (pos >= width) return;
    }
    literal_next = false;
    if (end - p < kField) return;
    int32_t n = read_field();
    if (kWide) ++n;
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
  }
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
  for (int32_t row = 0; row < height; ++row) {
    Line line;
    if (!NextLine(p, end, &line)) return;
    draw_line(line.begin, line.end, PixelAt(surface, x, y + row), cut, width);
    p = line.next;
  }
}

}  // namespace decoder_detail
