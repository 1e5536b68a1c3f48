// Codecs 1 (transparent run-length, with mirroring), 3 (opaque run-length)
// and 2 (point list, or codec 1's format when `param` is not 0).
#include <cstring>

#include "decoder/internal.h"

using namespace decoder_internal;

namespace {

template <bool kMirror, bool kOpaque>
inline void PutRun(uint8_t* first, int32_t pos, uint8_t v, int32_t m) {
  if (!kOpaque && v == 0) return;  // transparent runs step over the picture
  FillBytes(kMirror ? first - pos - m + 1 : first + pos, v, m);
}

template <bool kMirror>
inline void PutLiteral(uint8_t* first, int32_t pos, const uint8_t* src, int32_t m) {
  if (!kMirror) {
    CopyBytes(first + pos, src, m);
  } else {
    CopyReversed(first - pos, src, m);
  }
}

// The codes of a line from column `pos` (< width) on, until the width is
// covered or the line's bytes [p, end) run out. One comparison per code
// decides whether it ends the line; only that last code is cut to size.
template <bool kMirror, bool kOpaque>
[[gnu::always_inline]] inline void RunLengthCodes(const uint8_t* p, const uint8_t* end, uint8_t* first, int32_t pos,
                           int32_t width) {
  while (p < end) {
    uint32_t c = *p++;
    int32_t n = static_cast<int32_t>(c >> 1) + 1;
    int32_t room = width - pos;
    if (c & 1) {
      if (p == end) return;
      uint8_t v = *p++;
      if (n >= room) {
        PutRun<kMirror, kOpaque>(first, pos, v, room);
        return;
      }
      PutRun<kMirror, kOpaque>(first, pos, v, n);
    } else {
      intptr_t have = end - p;
      if (n >= room || n > have) {
        PutLiteral<kMirror>(first, pos, p,
                            static_cast<int32_t>(std::min<intptr_t>(std::min(n, room), have)));
        return;
      }
      PutLiteral<kMirror>(first, pos, p, n);
      p += n;
    }
    pos += n;
  }
}

// Draws one line. `first` receives the first visible source pixel; with
// kMirror the following pixels go leftwards. Reads stay in [p, end); writes
// cover at most `width` pixels from `first`.
template <bool kMirror, bool kOpaque>
inline void RunLengthLine(const uint8_t* p, const uint8_t* end, uint8_t* first, int32_t cut,
                          int32_t width) {
  // Codes wholly left of the cut are stepped over; the one reaching past it
  // draws only its pixels beyond the cut.
  int32_t pos = 0;
  while (cut > 0) {
    if (p >= end) return;
    uint8_t c = *p++;
    int32_t n = (c >> 1) + 1;
    if (c & 1) {
      if (p >= end) return;
      uint8_t v = *p++;
      if (n <= cut) {
        cut -= n;
        continue;
      }
      pos = std::min(n - cut, width);
      PutRun<kMirror, kOpaque>(first, 0, v, pos);
    } else {
      if (n <= cut) {
        if (end - p < n) return;
        p += n;
        cut -= n;
        continue;
      }
      if (end - p < cut) return;
      p += cut;
      n -= cut;
      int32_t m = std::min(n, width);
      int32_t have = static_cast<int32_t>(std::min<intptr_t>(end - p, m));
      PutLiteral<kMirror>(first, 0, p, have);
      if (have < m) return;
      p += m;  // when the literal is only partly drawn the line is complete
      pos = m;
    }
    cut = 0;
  }
  if (pos < width) RunLengthCodes<kMirror, kOpaque>(p, end, first, pos, width);
}

template <bool kMirrorX, bool kOpaque>
void DrawRunLength(const Surface* surface, const Bounds& b, int32_t x, int32_t y, int32_t width,
                   int32_t height, bool mirror_y, const uint8_t* p, const uint8_t* end) {
  // Rows: the first source line goes to `row0`, the next ones in `row_step`.
  int32_t skip = 0, row0, row_step;
  if (!mirror_y) {
    if (y < b.top) {
      skip = b.top - y;
      height -= skip;
      y = b.top;
    }
    if (y + height > b.bottom) height = b.bottom - y;
    row0 = y;
    row_step = 1;
  } else {
    int32_t bottom = y + height - 1;
    if (bottom >= b.bottom) {
      skip = bottom - (b.bottom - 1);
      height -= skip;
      bottom = b.bottom - 1;
    }
    if (bottom - (height - 1) < b.top) height = bottom - b.top + 1;
    row0 = bottom;
    row_step = -1;
  }
  int32_t cut = 0, column0;
  if (!kMirrorX) {
    if (x < b.left) {
      cut = b.left - x;
      width -= cut;
      x = b.left;
    }
    if (x + width > b.right) width = b.right - x;
    column0 = x;
  } else {
    int32_t right = x + width - 1;
    if (right >= b.right) {
      cut = right - (b.right - 1);
      width -= cut;
      right = b.right - 1;
    }
    if (right - (width - 1) < b.left) width = right - b.left + 1;
    column0 = right;
  }
  if (width <= 0 || height <= 0) return;
  p = SkipLines(p, end, skip);
  if (p == nullptr) return;
  // Locals, since every pixel store may alias the surface's fields.
  uint8_t* const pixels = surface->pixels;
  const intptr_t pitch = surface->width;
  for (int32_t i = 0; i < height; ++i) {
    if (end - p < 2) return;
    uint32_t length = ReadLE16(p);
    const uint8_t* begin = p + 2;
    p = (static_cast<uintptr_t>(end - begin) < length) ? end : begin + length;
    uint8_t* first = pixels + (row0 + i * row_step) * pitch + column0;
    if (cut == 0) {
      RunLengthCodes<kMirrorX, kOpaque>(begin, p, first, 0, width);
    } else {
      RunLengthLine<kMirrorX, kOpaque>(begin, p, first, cut, width);
    }
  }
}

int16_t DrawRunLengthObject(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                            const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                            bool always_opaque) {
  if (payload == nullptr) return 0;
  uint32_t limit = PayloadLimit(payload, size);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return 0;
  ObjectHeader header = ReadObjectHeader(payload);
  int32_t width = static_cast<int16_t>(header.width);
  int32_t height = static_cast<int16_t>(header.height);
  const uint8_t* data = payload + kObjectHeaderSize;
  const uint8_t* end = payload + limit;
  bool mirror_x = !always_opaque && (draw_flags & DrawMirrorX);
  bool mirror_y = !always_opaque && (draw_flags & DrawMirrorY);
  if (mirror_x) {
    DrawRunLength<true, false>(surface, b, x, y, width, height, mirror_y, data, end);
  } else if (mirror_y) {
    DrawRunLength<false, false>(surface, b, x, y, width, height, true, data, end);
  } else if (always_opaque || (draw_flags & DrawOpaque)) {
    DrawRunLength<false, true>(surface, b, x, y, width, height, false, data, end);
  } else {
    DrawRunLength<false, false>(surface, b, x, y, width, height, false, data, end);
  }
  return 0;
}

}  // namespace

int16_t CodecRunLength(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t, uint8_t) {
  if (operation != kCodecDraw) return 0;
  return DrawRunLengthObject(surface, clip, x, y, payload, size, draw_flags, false);
}

int16_t CodecOpaqueRunLength(int16_t operation, const Surface* surface, const ClipRect* clip,
                             int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                             uint16_t draw_flags, uint8_t, uint8_t) {
  if (operation != kCodecDraw) return 0;
  return DrawRunLengthObject(surface, clip, x, y, payload, size, draw_flags, true);
}

int16_t CodecPointList(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t tint, uint8_t fill_colour) {
  if (operation != kCodecDraw) {
    CodecRunLength(operation, surface, clip, x, y, payload, size, draw_flags, tint, fill_colour);
    return 0;
  }
  if (payload == nullptr) return 0;
  uint32_t available = PayloadLimit(payload, size);
  if (available < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  if (ReadObjectHeader(payload).param != 0) {
    CodecRunLength(operation, surface, clip, x, y, payload, size, draw_flags, tint, fill_colour);
    return 0;
  }
  // Records are counted with the size handed over, but never past the real bytes.
  uint32_t limit = std::min(size, available);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  Bounds b = GetBounds(surface, clip);
  uint32_t count = (limit - kObjectHeaderSize) / 4;
  const uint8_t* p = payload + kObjectHeaderSize;
  for (uint32_t i = 0; i < count; ++i, p += 4) {
    x = static_cast<int16_t>(x + static_cast<int16_t>(ReadLE16(p)));
    y = static_cast<int16_t>(y + p[2]);
    if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) *PixelAt(surface, x, y) = p[3];
  }
  return 0;
}
