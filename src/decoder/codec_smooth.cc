// Codec 45: repaints listed pixels with the colour nearest to the mean of
// their four neighbours, through a 15-bit colour table kept between objects.
#include <cstdlib>
#include <cstring>

#include "decoder/internal.h"

using namespace decoder_internal;

namespace {

constexpr int kFieldsSize = 6;
constexpr int kPaletteSize = 768;
constexpr int32_t kColourTableSize = 32768;

// The palette, each entry's three components in one word, placed so that
// four entries add up field by field (no sum passes 1020, ten bits) and each
// field's sum divided by 32 lands in bits 1-15 of twice the colour index with
// one or two operations: the first at bits 6-15 (its top five bits are
// already bits 11-15), the second at bits 20-29, the third at bits 40-49.
constexpr int kFirstShift = 6, kSecondShift = 20, kThirdShift = 40;
uint64_t g_palette[256] = {};
// Each colour as the byte offset of its palette word (colour * 8), so that
// no read in the chain needs a scaled index (a cycle more on some
// processors). Indexed with twice the colour index, in bytes.
uint16_t g_colour_table[kColourTableSize] = {};

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
    std::fill_n(g_colour_table + filled, n, static_cast<uint16_t>(pairs[1] * sizeof(uint64_t)));
    filled += n;
    pairs += 2;
  }
}

// One pixel of a run: d[0] from its four neighbours, `left` being the
// palette offset of d[-1], which it becomes for the next pixel. The pixels
// of a run form one chain of palette read, add, colour index and table read
// (about 12 cycles), so all else is kept off it.
[[gnu::always_inline]] inline void SmoothPixel(uint8_t* d, uintptr_t& left, intptr_t pitch) {
  const uint8_t* const palette = reinterpret_cast<const uint8_t*>(g_palette);
  const uint8_t* const table = reinterpret_cast<const uint8_t*>(g_colour_table);
  // The left neighbour comes last: it waits for the pixel before.
  uint64_t rest = g_palette[d[1]] + g_palette[d[-pitch]] + g_palette[d[pitch]];
#if defined(__GNUC__)
  asm("" : "+r"(rest));  // keeps the compiler from adding `left` in first
#endif
  uint64_t left_word;
  std::memcpy(&left_word, palette + left, sizeof left_word);
  uint64_t sum = rest + left_word;
  // Each field's sum divided by 32: bits 1-5, 6-10 and 11-15 of twice the
  // colour index, the first at its place already. The table's address joins
  // the first, which is ready a step before the other two.
  const uint8_t* row = table + (sum & 0xF800);
#if defined(__GNUC__)
  asm("" : "+r"(row));  // keeps the compiler from adding the table's address last
#endif
  uint64_t column = ((sum >> (kSecondShift - 1)) & 0x7C0) | ((sum >> (kThirdShift + 4)) & 0x3E);
  uint16_t next;
  std::memcpy(&next, row + column, sizeof next);
  left = next;
  *d = static_cast<uint8_t>(left / sizeof(uint64_t));
}

// Smooths the n pixels from d on, left to right.
inline void SmoothRun(uint8_t* d, int32_t n, intptr_t pitch) {
  uintptr_t left = d[-1] * sizeof(uint64_t);
  for (int32_t i = 0; i < n; ++i) SmoothPixel(d + i, left, pitch);
}

// A run waiting to be smoothed, so that two may run side by side.
struct Run {
  uint8_t* d = nullptr;
  int32_t n = 0;
  int32_t x = 0, y = 0;  // of d
};

// Smooths a, then b, on different rows, with the same pixels as one after
// the other but as two chains in flight at once. Rows two or more apart
// share no pixel that one changes and the other reads. On neighbouring rows
// each pixel of one reads only the pixel of the other in its own column, so
// a goes first alone over the columns left of b's first, then each column
// of a just before the same column of b.
void SmoothTwo(const Run& a, const Run& b, intptr_t pitch) {
  int32_t lead = std::abs(b.y - a.y) == 1 ? std::clamp(b.x - a.x, 0, a.n) : 0;
  SmoothRun(a.d, lead, pitch);
  uint8_t* da = a.d + lead;
  int32_t m = std::min(a.n - lead, b.n);
  uintptr_t left_a = da[-1] * sizeof(uint64_t), left_b = b.d[-1] * sizeof(uint64_t);
  for (int32_t i = 0; i < m; ++i) {
    SmoothPixel(da + i, left_a, pitch);
    SmoothPixel(b.d + i, left_b, pitch);
  }
  SmoothRun(da + m, a.n - lead - m, pitch);
  SmoothRun(b.d + m, b.n - m, pitch);
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
  Run waiting;  // the run before, to be smoothed with the next one
  for (int64_t k = 0; k < count; ++k, p += 4) {
    x = static_cast<int16_t>(x + static_cast<int16_t>(ReadLE16(p)));
    y = static_cast<int16_t>(y + p[2]);
    int32_t n = p[3];
    int32_t first = std::max<int32_t>(0, left - x);
    int32_t last = std::min<int32_t>(n, right - 1 - x);
    if (first <= last && y >= top) {
      if (y >= bottom) break;  // the object ends here
      Run run{PixelAt(surface, x + first, y), last - first + 1, x + first, y};
      if (waiting.d != nullptr && waiting.y != run.y) {
        SmoothTwo(waiting, run, pitch);
        waiting.d = nullptr;
      } else {
        // Runs of one row go one after the other; the last waits for a run
        // of another row.
        if (waiting.d != nullptr) SmoothRun(waiting.d, waiting.n, pitch);
        waiting = run;
      }
    }
    x = static_cast<int16_t>(x + n);
  }
  if (waiting.d != nullptr) SmoothRun(waiting.d, waiting.n, pitch);
  return 0;
}
