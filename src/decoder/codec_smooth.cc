// Codec 45: repaints listed pixels with the colour nearest to the mean of
// their four neighbours, through a 15-bit colour table kept between objects.
#include <cstring>

#include "decoder/internal.h"

using namespace decoder_internal;

namespace {

constexpr int kFieldsSize = 6;
constexpr int kPaletteSize = 768;
constexpr int32_t kColourTableSize = 32768;

uint8_t g_palette[kPaletteSize] = {};
uint8_t g_colour_table[kColourTableSize] = {};

// Finds the end of the run-coded colour table, or null when the data ends
// before the table is full.
const uint8_t* ColourTableEnd(const uint8_t* p, const uint8_t* end) {
  int32_t filled = 0;
  while (filled < kColourTableSize) {
    if (end - p < 2) return nullptr;
    filled += p[0];
    p += 2;
  }
  return p;
}

void LoadTables(const uint8_t* palette, const uint8_t* pairs) {
  std::memcpy(g_palette, palette, kPaletteSize);
  int32_t filled = 0;
  while (filled < kColourTableSize) {
    int32_t n = std::min<int32_t>(pairs[0], kColourTableSize - filled);
    std::memset(g_colour_table + filled, pairs[1], n);
    filled += n;
    pairs += 2;
  }
}

inline void Smooth(uint8_t* d, intptr_t pitch) {
  const uint8_t* l = g_palette + 3 * d[-1];
  const uint8_t* r = g_palette + 3 * d[1];
  const uint8_t* u = g_palette + 3 * d[-pitch];
  const uint8_t* w = g_palette + 3 * d[pitch];
  uint32_t s1 = l[0] + r[0] + u[0] + w[0];
  uint32_t s2 = l[1] + r[1] + u[1] + w[1];
  uint32_t s3 = l[2] + r[2] + u[2] + w[2];
  *d = g_colour_table[((s1 >> 5) << 10) | ((s2 >> 5) << 5) | (s3 >> 5)];
}

}  // namespace

int16_t CodecSmoothing(int16_t operation, const Surface* surface, const ClipRect* clip,
                       int16_t x, int16_t y, const uint8_t* payload, uint32_t size, uint16_t,
                       uint8_t, uint8_t) {
  if (operation != kCodecDraw || payload == nullptr) return 0;
  uint32_t available = PayloadLimit(payload, size);
  if (available < static_cast<uint32_t>(kObjectHeaderSize + kFieldsSize)) return 0;
  const uint8_t* data = payload + kObjectHeaderSize;
  const uint8_t* end = payload + available;
  if (data[4] != 1) return 0;
  const uint8_t* records = data + kFieldsSize;
  if (ReadLE16(data + 2) == 0) {
    // Tables that the data does not hold in full are not loaded, and the
    // object draws nothing.
    if (end - records < kPaletteSize) return 0;
    const uint8_t* table_end = ColourTableEnd(records + kPaletteSize, end);
    if (table_end == nullptr) return 0;
    LoadTables(records, records + kPaletteSize);
    records = table_end;
  }
  // Records are counted with the size handed over, but never past the real bytes.
  int64_t area = std::min<int64_t>(static_cast<int64_t>(size) - (records - payload),
                                   end - records);
  if (area < 4) return 0;
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return 0;
  const int32_t left = b.left + 1, right = b.right - 1;  // changed columns: left <= x < right
  const int32_t top = b.top + 1, bottom = b.bottom - 1;
  const intptr_t pitch = surface->width;
  int64_t count = area / 4;
  const uint8_t* p = records;
  for (int64_t k = 0; k < count; ++k, p += 4) {
    x = static_cast<int16_t>(x + static_cast<int16_t>(ReadLE16(p)));
    y = static_cast<int16_t>(y + p[2]);
    int32_t n = p[3];
    int32_t first = std::max<int32_t>(0, left - x);
    int32_t last = std::min<int32_t>(n, right - 1 - x);
    if (first <= last && y >= top) {
      if (y >= bottom) return 0;  // the object ends here
      uint8_t* d = PixelAt(surface, x + first, y);
      for (int32_t i = first; i <= last; ++i, ++d) Smooth(d, pitch);
    }
    x = static_cast<int16_t>(x + n);
  }
  return 0;
}
