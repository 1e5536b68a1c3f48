// Codec 45: repaints listed pixels with the colour nearest to the mean of
// their four neighbours, through a 15-bit colour table kept between objects.
#include <cstring>

#include "decoder/internal.h"

using namespace decoder_internal;

namespace {

constexpr int kFieldsSize = 6;
constexpr int kPaletteSize = 768;
constexpr int32_t kColourTableSize = 32768;

// The palette, each entry's three components in one word, placed so that
// four entries add up field by field (no sum passes 1020, ten bits) and each
// field's sum divided by 32 lands in the colour index with one or two
// operations: the first at bits 5-14 (its top five bits are already index
// bits 10-14), the second at bits 20-29, the third at the top, bits 54-63.
constexpr int kFirstShift = 5, kSecondShift = 20, kThirdShift = 54;
static_assert(kFirstShift + 5 == 10 && kThirdShift + 5 == 59);
uint64_t g_palette[256] = {};
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
  for (int i = 0; i < 256; ++i)
    g_palette[i] = uint64_t{palette[3 * i]} << kFirstShift |
                   uint64_t{palette[3 * i + 1]} << kSecondShift |
                   uint64_t{palette[3 * i + 2]} << kThirdShift;
  int32_t filled = 0;
  while (filled < kColourTableSize) {
    int32_t n = std::min<int32_t>(pairs[0], kColourTableSize - filled);
    std::memset(g_colour_table + filled, pairs[1], n);
    filled += n;
    pairs += 2;
  }
}

// Smooths the n pixels from d on, left to right. The left neighbour of each
// but the first is the pixel just written, kept in a register: the pixels
// form one chain of palette read, add, colour index and table read, so all
// else is kept off it.
inline void SmoothRun(uint8_t* d, int32_t n, intptr_t pitch) {
  uintptr_t left = d[-1];
  for (int32_t i = 0; i < n; ++i) {
    // The left neighbour comes last: it waits for the pixel before.
    uint64_t rest = g_palette[d[i + 1]] + g_palette[d[i - pitch]] + g_palette[d[i + pitch]];
#if defined(__GNUC__)
    asm("" : "+r"(rest));  // keeps the compiler from adding `left` in first
#endif
    uint64_t sum = rest + g_palette[left];
    // Each field's sum divided by 32, the first in bits 10-14 of the index.
    uint64_t index = (sum & 0x7C00) + (sum >> 59) + ((sum >> kSecondShift) & 0x3E0);
    left = g_colour_table[index];
    d[i] = static_cast<uint8_t>(left);
  }
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
      SmoothRun(PixelAt(surface, x + first, y), last - first + 1, pitch);
    }
    x = static_cast<int16_t>(x + n);
  }
  return 0;
}
