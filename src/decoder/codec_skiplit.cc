// Codecs 21 (skip-literal) and 44 (tinted skip-literal with a background box).
#include <cstring>

#include "decoder/internal.h"
#include "decoder/internal_lines.h"

using namespace decoder_internal;

bool decoder_internal::SkipLiteralDataComplete(const uint8_t* payload, uint32_t size) {
  const uint32_t width = ReadLE16(payload + 6);
  const uint32_t height = ReadLE16(payload + 8);
  uint64_t pos = kObjectHeaderSize;
  for (uint32_t line = 0; line < height; ++line) {
    if (pos + 2 > size) return false;
    const uint64_t line_end = pos + 2 + ReadLE16(payload + pos);
    if (line_end > size) return false;
    uint64_t q = pos + 2;
    int64_t remaining = width;
    while (remaining > 0) {
      if (q + 2 > size) return false;
      remaining -= ReadLE16(payload + q);
      q += 2;
      if (remaining <= 0) break;
      if (q + 2 > size) return false;
      const uint32_t count = ReadLE16(payload + q) + 1u;
      q += 2;
      if (q + count > size) return false;
      q += count;
      remaining -= count;
    }
    pos = line_end;
  }
  return true;
}

namespace {

// Fills the object's box, clipped, with the fill colour.
void FillBox(const Surface* surface, const Bounds& b, int32_t x, int32_t y, int32_t width,
             int32_t height, uint8_t colour) {
  int32_t x0 = std::max(x, b.left);
  int32_t y0 = std::max(y, b.top);
  int32_t x1 = std::min(x + width, b.right);
  int32_t y1 = std::min(y + height, b.bottom);
  if (x1 <= x0 || y1 <= y0) return;
  for (int32_t row = y0; row < y1; ++row) FillBytes(PixelAt(surface, x0, row), colour, x1 - x0);
}

// dst[i] = src[i] + add (mod 256) in overlapping words, without a loop up to
// 64 bytes; an overlap is recomputed from the source, so it is harmless.
inline void CopyTinted(uint8_t* dst, const uint8_t* src, int32_t m, uint8_t add) {
  typedef uint8_t Vec __attribute__((vector_size(16)));
  if (m >= 16) {
    const Vec addv = Vec{} + add;
    auto step = [&](int32_t i) {
      Vec v;
      std::memcpy(&v, src + i, 16);
      v += addv;
      std::memcpy(dst + i, &v, 16);
    };
    if (m <= 32) {
      step(0);
      step(m - 16);
    } else {
      int32_t i = 0;
      for (; i + 32 <= m; i += 32) {
        step(i);
        step(i + 16);
      }
      if (i < m) {
        step(m - 32);
        step(m - 16);
      }
    }
  } else if (m >= 8) {
    // Byte-wise sums in a 64-bit word: the low seven bits add without
    // carrying into the next byte, the top bit is an exclusive or.
    const uint64_t addw = 0x0101010101010101ull * add;
    auto step = [&](int32_t i) {
      uint64_t v;
      std::memcpy(&v, src + i, 8);
      constexpr uint64_t kLow = 0x7F7F7F7F7F7F7F7Full;
      v = ((v & kLow) + (addw & kLow)) ^ ((v ^ addw) & ~kLow);
      std::memcpy(dst + i, &v, 8);
    };
    step(0);
    step(m - 8);
  } else {
    for (int32_t i = 0; i < m; ++i) dst[i] = static_cast<uint8_t>(src[i] + add);
  }
}

template <bool kTinted>
int16_t DrawSkipLiteral(int16_t operation, const Surface* surface, const ClipRect* clip,
                        int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                        uint16_t draw_flags, uint8_t tint, uint8_t fill_colour) {
  if (operation != kCodecDraw || payload == nullptr) return 0;
  uint32_t limit = PayloadLimit(payload, size);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return 0;
  ObjectHeader header = ReadObjectHeader(payload);
  int32_t width = static_cast<int16_t>(header.width);
  int32_t height = static_cast<int16_t>(header.height);
  if (kTinted && (draw_flags & DrawOpaque)) FillBox(surface, b, x, y, width, height, fill_colour);
  const uint8_t* data = payload + kObjectHeaderSize;
  const uint8_t* end = payload + limit;
  uint8_t add = static_cast<uint8_t>(tint - 1);
  if (!kTinted || add == 0) {
    WalkClippedLines(surface, b, x, y, width, height, data, end,
                     [](const uint8_t* p, const uint8_t* e, uint8_t* row, int32_t cut, int32_t w) {
                       WalkSkipLine<true>(p, e, row, cut, w,
                                          [](uint8_t* dst, const uint8_t* src, int32_t m) {
                                            CopyBytes(dst, src, m);
                                          });
                     });
  } else {
    WalkClippedLines(
        surface, b, x, y, width, height, data, end,
        [add](const uint8_t* p, const uint8_t* e, uint8_t* row, int32_t cut, int32_t w) {
          WalkSkipLine<true>(p, e, row, cut, w, [add](uint8_t* dst, const uint8_t* src, int32_t m) {
            CopyTinted(dst, src, m, add);
          });
        });
  }
  return 0;
}

}  // namespace

int16_t CodecSkipLiteral(int16_t operation, const Surface* surface, const ClipRect* clip,
                         int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                         uint16_t draw_flags, uint8_t tint, uint8_t fill_colour) {
  return DrawSkipLiteral<false>(operation, surface, clip, x, y, payload, size, draw_flags, tint,
                                fill_colour);
}

int16_t CodecTintedSkipLiteral(int16_t operation, const Surface* surface, const ClipRect* clip,
                               int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                               uint16_t draw_flags, uint8_t tint, uint8_t fill_colour) {
  return DrawSkipLiteral<true>(operation, surface, clip, x, y, payload, size, draw_flags, tint,
                               fill_colour);
}
