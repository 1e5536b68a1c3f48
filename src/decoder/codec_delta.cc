// Codec 37: full-picture video in 4 x 4 blocks against the previous frame,
// decoded into one of two frame buffers of its own and then shown.
#include <bit>
#include <cstddef>
#include <cstring>

#include "decoder/internal.h"
#include "base/log.h"
#include "base/mem.h"

using namespace decoder_internal;

namespace {

constexpr int8_t kVectorTable1[255][2] = {
    {0, 0}, {-8, -29}, {8, -29}, {-18, -25}, {17, -25}, {0, -23}, {-6, -22}, {6, -22},
    {-13, -19}, {12, -19}, {0, -18}, {25, -18}, {-25, -17}, {-5, -17}, {5, -17}, {-10, -15},
    {10, -15}, {0, -14}, {-4, -13}, {4, -13}, {19, -13}, {-19, -12}, {-8, -11}, {-2, -11},
    {0, -11}, {2, -11}, {8, -11}, {-15, -10}, {-4, -10}, {4, -10}, {15, -10}, {-6, -9},
    {-1, -9}, {1, -9}, {6, -9}, {-29, -8}, {-11, -8}, {-8, -8}, {-3, -8}, {3, -8},
    {8, -8}, {11, -8}, {29, -8}, {-5, -7}, {-2, -7}, {0, -7}, {2, -7}, {5, -7},
    {-22, -6}, {-9, -6}, {-6, -6}, {-3, -6}, {-1, -6}, {1, -6}, {3, -6}, {6, -6},
    {9, -6}, {22, -6}, {-17, -5}, {-7, -5}, {-4, -5}, {-2, -5}, {0, -5}, {2, -5},
    {4, -5}, {7, -5}, {17, -5}, {-13, -4}, {-10, -4}, {-5, -4}, {-3, -4}, {-1, -4},
    {0, -4}, {1, -4}, {3, -4}, {5, -4}, {10, -4}, {13, -4}, {-8, -3}, {-6, -3},
    {-4, -3}, {-3, -3}, {-2, -3}, {-1, -3}, {0, -3}, {1, -3}, {2, -3}, {4, -3},
    {6, -3}, {8, -3}, {-11, -2}, {-7, -2}, {-5, -2}, {-3, -2}, {-2, -2}, {-1, -2},
    {0, -2}, {1, -2}, {2, -2}, {3, -2}, {5, -2}, {7, -2}, {11, -2}, {-9, -1},
    {-6, -1}, {-4, -1}, {-3, -1}, {-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {2, -1},
    {3, -1}, {4, -1}, {6, -1}, {9, -1}, {-31, 0}, {-23, 0}, {-18, 0}, {-14, 0},
    {-11, 0}, {-7, 0}, {-5, 0}, {-4, 0}, {-3, 0}, {-2, 0}, {-1, 0}, {0, -31},
    {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {7, 0}, {11, 0}, {14, 0},
    {18, 0}, {23, 0}, {31, 0}, {-9, 1}, {-6, 1}, {-4, 1}, {-3, 1}, {-2, 1},
    {-1, 1}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {9, 1},
    {-11, 2}, {-7, 2}, {-5, 2}, {-3, 2}, {-2, 2}, {-1, 2}, {0, 2}, {1, 2},
    {2, 2}, {3, 2}, {5, 2}, {7, 2}, {11, 2}, {-8, 3}, {-6, 3}, {-4, 3},
    {-2, 3}, {-1, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 3}, {6, 3},
    {8, 3}, {-13, 4}, {-10, 4}, {-5, 4}, {-3, 4}, {-1, 4}, {0, 4}, {1, 4},
    {3, 4}, {5, 4}, {10, 4}, {13, 4}, {-17, 5}, {-7, 5}, {-4, 5}, {-2, 5},
    {0, 5}, {2, 5}, {4, 5}, {7, 5}, {17, 5}, {-22, 6}, {-9, 6}, {-6, 6},
    {-3, 6}, {-1, 6}, {1, 6}, {3, 6}, {6, 6}, {9, 6}, {22, 6}, {-5, 7},
    {-2, 7}, {0, 7}, {2, 7}, {5, 7}, {-29, 8}, {-11, 8}, {-8, 8}, {-3, 8},
    {3, 8}, {8, 8}, {11, 8}, {29, 8}, {-6, 9}, {-1, 9}, {1, 9}, {6, 9},
    {-15, 10}, {-4, 10}, {4, 10}, {15, 10}, {-8, 11}, {-2, 11}, {0, 11}, {2, 11},
    {8, 11}, {19, 12}, {-19, 13}, {-4, 13}, {4, 13}, {0, 14}, {-10, 15}, {10, 15},
    {-5, 17}, {5, 17}, {25, 17}, {-25, 18}, {0, 18}, {-12, 19}, {13, 19}, {-6, 22},
    {6, 22}, {0, 23}, {-17, 25}, {18, 25}, {-8, 29}, {8, 29}, {0, 31},
};
constexpr int8_t kVectorTable2[255][2] = {
    {0, 0}, {-6, -22}, {6, -22}, {-13, -19}, {12, -19}, {0, -18}, {-5, -17}, {5, -17},
    {-10, -15}, {10, -15}, {0, -14}, {-4, -13}, {4, -13}, {19, -13}, {-19, -12}, {-8, -11},
    {-2, -11}, {0, -11}, {2, -11}, {8, -11}, {-15, -10}, {-4, -10}, {4, -10}, {15, -10},
    {-6, -9}, {-1, -9}, {1, -9}, {6, -9}, {-11, -8}, {-8, -8}, {-3, -8}, {0, -8},
    {3, -8}, {8, -8}, {11, -8}, {-5, -7}, {-2, -7}, {0, -7}, {2, -7}, {5, -7},
    {-22, -6}, {-9, -6}, {-6, -6}, {-3, -6}, {-1, -6}, {1, -6}, {3, -6}, {6, -6},
    {9, -6}, {22, -6}, {-17, -5}, {-7, -5}, {-4, -5}, {-2, -5}, {-1, -5}, {0, -5},
    {1, -5}, {2, -5}, {4, -5}, {7, -5}, {17, -5}, {-13, -4}, {-10, -4}, {-5, -4},
    {-3, -4}, {-2, -4}, {-1, -4}, {0, -4}, {1, -4}, {2, -4}, {3, -4}, {5, -4},
    {10, -4}, {13, -4}, {-8, -3}, {-6, -3}, {-4, -3}, {-3, -3}, {-2, -3}, {-1, -3},
    {0, -3}, {1, -3}, {2, -3}, {3, -3}, {4, -3}, {6, -3}, {8, -3}, {-11, -2},
    {-7, -2}, {-5, -2}, {-4, -2}, {-3, -2}, {-2, -2}, {-1, -2}, {0, -2}, {1, -2},
    {2, -2}, {3, -2}, {4, -2}, {5, -2}, {7, -2}, {11, -2}, {-9, -1}, {-6, -1},
    {-5, -1}, {-4, -1}, {-3, -1}, {-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {2, -1},
    {3, -1}, {4, -1}, {5, -1}, {6, -1}, {9, -1}, {-23, 0}, {-18, 0}, {-14, 0},
    {-11, 0}, {-7, 0}, {-5, 0}, {-4, 0}, {-3, 0}, {-2, 0}, {-1, 0}, {0, -23},
    {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {7, 0}, {11, 0}, {14, 0},
    {18, 0}, {23, 0}, {-9, 1}, {-6, 1}, {-5, 1}, {-4, 1}, {-3, 1}, {-2, 1},
    {-1, 1}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1},
    {9, 1}, {-11, 2}, {-7, 2}, {-5, 2}, {-4, 2}, {-3, 2}, {-2, 2}, {-1, 2},
    {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {7, 2}, {11, 2},
    {-8, 3}, {-6, 3}, {-4, 3}, {-3, 3}, {-2, 3}, {-1, 3}, {0, 3}, {1, 3},
    {2, 3}, {3, 3}, {4, 3}, {6, 3}, {8, 3}, {-13, 4}, {-10, 4}, {-5, 4},
    {-3, 4}, {-2, 4}, {-1, 4}, {0, 4}, {1, 4}, {2, 4}, {3, 4}, {5, 4},
    {10, 4}, {13, 4}, {-17, 5}, {-7, 5}, {-4, 5}, {-2, 5}, {-1, 5}, {0, 5},
    {1, 5}, {2, 5}, {4, 5}, {7, 5}, {17, 5}, {-22, 6}, {-9, 6}, {-6, 6},
    {-3, 6}, {-1, 6}, {1, 6}, {3, 6}, {6, 6}, {9, 6}, {22, 6}, {-5, 7},
    {-2, 7}, {0, 7}, {2, 7}, {5, 7}, {-11, 8}, {-8, 8}, {-3, 8}, {0, 8},
    {3, 8}, {8, 8}, {11, 8}, {-6, 9}, {-1, 9}, {1, 9}, {6, 9}, {-15, 10},
    {-4, 10}, {4, 10}, {15, 10}, {-8, 11}, {-2, 11}, {0, 11}, {2, 11}, {8, 11},
    {19, 12}, {-19, 13}, {-4, 13}, {4, 13}, {0, 14}, {-10, 15}, {10, 15}, {-5, 17},
    {5, 17}, {0, 18}, {-12, 19}, {13, 19}, {-6, 22}, {6, 22}, {0, 23},
};

constexpr int8_t kTable0Steps[16] = {0, 1, 2, 3, 5, 8, 13, 21, -1, -2, -3, -5, -8, -13, -17, -21};

// Frame fields after the object header.
constexpr int kFrameFieldsSize = 16;
constexpr uint8_t kFrameKeepBuffer = 0x01;  // droppable, or decode into the current buffer
constexpr uint8_t kFrameTransparent = 0x02;
constexpr uint8_t kFrameExtended = 0x04;

// One allocation: margin, buffer 0, double margin, buffer 1, margin. A margin
// of 62 rows of the widest stride lets any motion vector (at most 31 rows and
// 31 columns away) plus its block read inside the allocation, so block copies
// need no checks; for 320 x 200 this is the classic 207360-byte layout.
uint8_t* g_memory = nullptr;
size_t g_total = 0;
size_t g_buffer_start[2] = {0, 0};
int32_t g_max_width = 0;
int32_t g_max_height = 0;
bool g_started = false;
int16_t g_current = 0;
int16_t g_last_sequence = 0;  // kept for the life of the process

int32_t g_offsets[255] = {};
int32_t g_key_stride = -1;
int g_key_table = -1;

void BuildOffsets(int32_t stride, int table) {
  for (int i = 0; i < 255; ++i) {
    int8_t vx, vy;
    CodecDeltaTileVector(table, i, &vx, &vy);
    g_offsets[i] = int32_t(vy) * stride + vx;
  }
  g_key_stride = stride;
  g_key_table = table;
}

inline void CopyRow4(uint8_t* d, const uint8_t* s) {
  uint32_t v;
  std::memcpy(&v, s, 4);
  std::memcpy(d, &v, 4);
}

template <int32_t kStride>
inline void CopyBlock(uint8_t* d, const uint8_t* s, int32_t stride) {
  const int32_t S = kStride ? kStride : stride;
  CopyRow4(d, s);
  CopyRow4(d + S, s + S);
  CopyRow4(d + 2 * S, s + 2 * S);
  CopyRow4(d + 3 * S, s + 3 * S);
}

// Copies k blocks that lie side by side, from s to d, as four rows of 4k bytes.
template <int32_t kStride>
inline void CopyBlocks(uint8_t* d, const uint8_t* s, int32_t stride, int32_t k) {
  const int32_t S = kStride ? kStride : stride;
  if (k == 1) {
    CopyBlock<kStride>(d, s, S);
    return;
  }
  for (int r = 0; r < 4; ++r) CopyBytes(d + r * S, s + r * S, 4 * k);
}

// The number of bytes from p on, at most `max`, that equal b: eight at a time.
inline int32_t CountSame(const uint8_t* p, int32_t max, uint8_t b) {
  int32_t k = 0;
  if constexpr (std::endian::native == std::endian::little) {
    const uint64_t all = 0x0101010101010101ull * b;
    for (; k + 8 <= max; k += 8) {
      uint64_t v;
      std::memcpy(&v, p + k, 8);
      v ^= all;
      if (v != 0) return k + (__builtin_ctzll(v) >> 3);
    }
  }
  while (k < max && p[k] == b) ++k;
  return k;
}

// Decodes blocks until the frame or its data ends; a field cut short by the
// end of the data ends the frame there. Neighbouring blocks with the same
// motion vector, and the blocks of a run, are copied together, row by row.
template <int32_t kStride>
void DecodeBlocks(uint8_t* cur, const uint8_t* prev, int32_t stride, int32_t blocks_x,
                  int32_t blocks_y, const uint8_t* p, const uint8_t* end, bool runs,
                  unsigned limit) {
  const int32_t S = kStride ? kStride : stride;
  const int32_t* offsets = g_offsets;
  int32_t run = 0;  // blocks of a run still to copy
  for (int32_t by = 0; by < blocks_y; ++by) {
    uint8_t* const row_d = cur + static_cast<ptrdiff_t>(by) * 4 * S;
    const uint8_t* const row_s = prev + static_cast<ptrdiff_t>(by) * 4 * S;
    int32_t bx = 0;
    while (bx < blocks_x) {
      uint8_t* d = row_d + 4 * bx;
      const uint8_t* s = row_s + 4 * bx;
      if (run > 0) {
        int32_t k = std::min(run, blocks_x - bx);
        CopyBlocks<kStride>(d, s, S, k);
        run -= k;
        bx += k;
        continue;
      }
      if (p >= end) return;
      unsigned b = *p++;
      if (runs && b == 0) {
        if (p >= end) return;
        run = *p++ + 1;  // this block and that many more
        continue;
      }
      if (b < limit) {
        // Following opcodes of the same vector in this block row.
        int32_t k = 1 + CountSame(p, static_cast<int32_t>(std::min<ptrdiff_t>(
                                         blocks_x - bx - 1, end - p)),
                                  static_cast<uint8_t>(b));
        CopyBlocks<kStride>(d, s + offsets[b], S, k);
        p += k - 1;
        bx += k;
        continue;
      }
      if (b == 0xFF) {
        if (end - p < 16) return;
        for (int r = 0; r < 4; ++r) CopyRow4(d + r * S, p + 4 * r);
        p += 16;
      } else if (b == 0xFD) {
        if (p >= end) return;
        uint32_t v = 0x01010101u * *p++;
        for (int r = 0; r < 4; ++r) std::memcpy(d + r * S, &v, 4);
      } else {  // 0xFE: four 2 x 2 quarters
        if (end - p < 4) return;
        uint8_t top[4] = {p[0], p[0], p[1], p[1]};
        uint8_t bottom[4] = {p[2], p[2], p[3], p[3]};
        p += 4;
        CopyRow4(d, top);
        CopyRow4(d + S, top);
        CopyRow4(d + 2 * S, bottom);
        CopyRow4(d + 3 * S, bottom);
      }
      ++bx;
    }
  }
}

// Zeroes the allocation before cur and from cur + written on.
void ZeroAround(size_t cur, size_t written) {
  std::memset(g_memory, 0, cur);
  std::memset(g_memory + cur + written, 0, g_total - cur - written);
}

// Copies the length-bounded raw frame into cur; returns the bytes written.
size_t DecodeRaw(size_t cur, const uint8_t* p, const uint8_t* end, uint32_t length) {
  size_t n = std::min<size_t>({length, g_total - cur, static_cast<size_t>(end - p)});
  std::memcpy(g_memory + cur, p, n);
  return n;
}

size_t DecodeRunLength(size_t cur, const uint8_t* p, const uint8_t* end, uint32_t length) {
  size_t want = std::min<size_t>(length, g_total - cur);
  uint8_t* d = g_memory + cur;
  size_t done = 0;
  while (done < want && p < end) {
    uint8_t c = *p++;
    size_t n = std::min<size_t>((c >> 1) + 1, want - done);
    if (c & 1) {
      if (p >= end) break;
      std::memset(d + done, *p++, n);
    } else {
      n = std::min<size_t>(n, static_cast<size_t>(end - p));
      std::memcpy(d + done, p, n);
      p += (c >> 1) + 1 <= end - p ? (c >> 1) + 1 : end - p;
    }
    done += n;
  }
  return done;
}

// d[i] = s[i] where s[i] is not 0, with a branch-free select in 32-byte
// vectors (16 and 8 bytes below that); a last vector that overlaps the one
// before is harmless, since the select gives the same bytes again. Built
// twice: for processors with 32-byte vector registers and for all others.
template <int kBytes>
inline void SelectNonZero(uint8_t* d, const uint8_t* s) {
  typedef uint8_t Vec __attribute__((vector_size(kBytes)));
  Vec v, o;
  std::memcpy(&v, s, kBytes);
  std::memcpy(&o, d, kBytes);
  o = (o & reinterpret_cast<Vec>(v == Vec{})) | v;  // v == 0 gives all ones
  std::memcpy(d, &o, kBytes);
}

// The versions are chosen by the dynamic loader before any sanitizer
// runtime has started, which the thread sanitizer's instrumentation of the
// chooser does not survive: its builds keep the plain version.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MV_NO_CLONES 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define MV_NO_CLONES 1
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(MV_NO_CLONES)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void CopyNonZero(uint8_t* d, const uint8_t* s, int32_t n) {
  if (n >= 64) {
    int32_t i = 0;
    for (; i + 64 <= n; i += 64) SelectNonZero<64>(d + i, s + i);
    if (i < n) SelectNonZero<64>(d + n - 64, s + n - 64);
  } else if (n >= 32) {
    SelectNonZero<32>(d, s);
    SelectNonZero<32>(d + n - 32, s + n - 32);
  } else if (n >= 16) {
    SelectNonZero<16>(d, s);
    SelectNonZero<16>(d + n - 16, s + n - 16);
  } else if (n >= 8) {
    SelectNonZero<8>(d, s);
    SelectNonZero<8>(d + n - 8, s + n - 8);
  } else {
    for (int32_t i = 0; i < n; ++i) d[i] = s[i] != 0 ? s[i] : d[i];
  }
}

void Show(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y, int32_t width,
          int32_t height, const uint8_t* src, int32_t stride, bool transparent) {
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return;
  int32_t sx = 0, sy = 0;
  if (x < b.left) {
    sx = b.left - x;
    width -= sx;
    x = b.left;
  }
  if (x + width > b.right) width = b.right - x;
  if (y < b.top) {
    sy = b.top - y;
    height -= sy;
    y = b.top;
  }
  if (y + height > b.bottom) height = b.bottom - y;
  if (width <= 0 || height <= 0) return;
  src += static_cast<ptrdiff_t>(sy) * stride + sx;
  uint8_t* d = PixelAt(surface, x, y);
  const intptr_t pitch = surface->width;
  // Rows that lie end to end in both pictures (a full-width frame on a
  // surface of its width) are one run.
  if (width == stride && width == pitch) {
    width *= height;
    height = 1;
  }
  for (int32_t row = 0; row < height; ++row, src += stride, d += pitch) {
    if (!transparent) {
      std::memcpy(d, src, static_cast<size_t>(width));
    } else {
      CopyNonZero(d, src, width);
    }
  }
}

int16_t Start(int32_t width, int32_t height) {
  if (g_started) MemFree(&g_memory);  // a second start replaces the buffers
  g_started = false;
  width = std::max(width, 0);
  height = std::max(height, 0);
  size_t stride = 4 * ((static_cast<size_t>(width) + 3) / 4);
  size_t rows = 4 * ((static_cast<size_t>(height) + 3) / 4);
  size_t margin = 62 * stride;
  size_t buffer = stride * rows;
  size_t total = 2 * buffer + 4 * margin;
  int16_t result = MemAlloc(&g_memory, total);
  if (result != 0) {
    RecordError("Cannot allocate delta-tile buffers!");
    return result;
  }
  std::memset(g_memory, 0, total);
  g_total = total;
  g_buffer_start[0] = margin;
  g_buffer_start[1] = margin + buffer + 2 * margin;
  g_max_width = width;
  g_max_height = height;
  g_current = 0;
  g_started = true;
  return 0;
}

}  // namespace

void CodecDeltaTileVector(int table, int index, int8_t* dx, int8_t* dy) {
  int8_t x = 0, y = 0;
  if (index >= 0 && index < 255) {
    if (table == 1 || table == 2) {
      const int8_t* v = table == 1 ? kVectorTable1[index] : kVectorTable2[index];
      x = v[0];
      y = v[1];
    } else {
      x = kTable0Steps[index % 16];
      y = kTable0Steps[index / 16];
    }
  }
  *dx = x;
  *dy = y;
}

int16_t CodecDeltaTile(int16_t operation, const Surface* surface, const ClipRect* clip,
                       int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                       uint16_t draw_flags, uint8_t, uint8_t) {
  if (operation == kCodecStart) {
    return Start(static_cast<int32_t>(reinterpret_cast<intptr_t>(surface)),
                 static_cast<int32_t>(reinterpret_cast<intptr_t>(clip)));
  }
  if (operation == kCodecStop) {
    MemFree(&g_memory);
    g_total = 0;
    g_started = false;
    return 0;
  }
  if (operation != kCodecDraw) return 0;
  if (!g_started || payload == nullptr) return -1;
  uint32_t limit = PayloadLimit(payload, size);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  ObjectHeader header = ReadObjectHeader(payload);
  if (header.width > g_max_width || header.height > g_max_height) return -1;
  // A payload too short for the frame fields is damaged: nothing changes.
  if (limit < static_cast<uint32_t>(kObjectHeaderSize + kFrameFieldsSize)) return 0;
  const uint8_t* fields = payload + kObjectHeaderSize;
  const uint8_t* data = fields + kFrameFieldsSize;
  const uint8_t* end = payload + limit;
  uint8_t method = fields[0];
  uint8_t table = fields[1];
  int16_t sequence = static_cast<int16_t>(ReadLE16(fields + 2));
  uint32_t length = ReadLE32(fields + 4);
  uint8_t frame_flags = fields[12];

  int32_t blocks_x = (header.width + 3) / 4;
  int32_t blocks_y = (header.height + 3) / 4;
  int32_t stride = 4 * blocks_x;
  bool vectors_ok = table <= 2;
  if (vectors_ok && (stride != g_key_stride || table != g_key_table)) BuildOffsets(stride, table);

  size_t cur = g_buffer_start[g_current];
  if (method == 0 || method == 2) {
    size_t written = method == 0 ? DecodeRaw(cur, data, end, length)
                                 : DecodeRunLength(cur, data, end, length);
    ZeroAround(cur, written);
  } else if (method == 3 || method == 4) {
    bool in_order = sequence == 0 || static_cast<int16_t>(sequence - g_last_sequence) == 1;
    bool odd = (sequence & 1) != 0;
    bool keep = (frame_flags & kFrameKeepBuffer) != 0;
    if (in_order && vectors_ok) {
      if (odd && keep && (draw_flags & DrawLateFrame)) {
        g_last_sequence = sequence;
        g_current ^= 1;
        return 1;
      }
      if (odd || !keep) g_current ^= 1;
      cur = g_buffer_start[g_current];
      const uint8_t* prev = g_memory + g_buffer_start[g_current ^ 1];
      unsigned limit_op = (frame_flags & kFrameExtended) ? 0xFD : 0xFF;
      bool runs = method == 4;
      if (stride == 320) {
        DecodeBlocks<320>(g_memory + cur, prev, stride, blocks_x, blocks_y, data, end, runs,
                          limit_op);
      } else {
        DecodeBlocks<0>(g_memory + cur, prev, stride, blocks_x, blocks_y, data, end, runs,
                        limit_op);
      }
    }
  }
  g_last_sequence = sequence;
  Show(surface, clip, x, y, header.width, header.height, g_memory + cur, stride,
       (frame_flags & kFrameTransparent) != 0);
  return 0;
}
