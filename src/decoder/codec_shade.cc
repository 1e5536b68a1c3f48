// Codec 23: darkens, lightens or recolours the pixels already drawn, by a
// colour offset or through a colour table kept for the life of the process.
#include <cstring>

#include "decoder/internal.h"
#include "decoder/internal_lines.h"

using namespace decoder_internal;

namespace {

constexpr int kTableSize = 256;
uint8_t g_shade_table[kTableSize] = {};

}  // namespace

int16_t CodecShade(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                   int16_t y, const uint8_t* payload, uint32_t size, uint16_t, uint8_t,
                   uint8_t) {
  if (operation != kCodecDraw || payload == nullptr) return 0;
  uint32_t limit = PayloadLimit(payload, size);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  ObjectHeader header = ReadObjectHeader(payload);
  const uint8_t* data = payload + kObjectHeaderSize;
  const uint8_t* end = payload + limit;
  int16_t param = static_cast<int16_t>(header.param);
  if (param == 256) {
    // An object too short for its table changes neither the table nor the picture.
    if (end - data < kTableSize) return 0;
    std::memcpy(g_shade_table, data, kTableSize);
    data += kTableSize;
  }
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return 0;
  int32_t width = static_cast<int16_t>(header.width);
  int32_t height = static_cast<int16_t>(header.height);
  if (param >= 256) {
    WalkClippedLines(surface, b, x, y, width, height, data, end,
                     [](const uint8_t* p, const uint8_t* e, uint8_t* row, int32_t cut, int32_t w) {
                       WalkSkipLine<false>(p, e, row, cut, w,
                                           [](uint8_t* dst, const uint8_t*, int32_t m) {
                                             for (int32_t i = 0; i < m; ++i)
                                               dst[i] = g_shade_table[dst[i]];
                                           });
                     });
  } else {
    uint8_t offset = static_cast<uint8_t>(param);
    WalkClippedLines(
        surface, b, x, y, width, height, data, end,
        [offset](const uint8_t* p, const uint8_t* e, uint8_t* row, int32_t cut, int32_t w) {
          WalkSkipLine<false>(p, e, row, cut, w, [offset](uint8_t* dst, const uint8_t*, int32_t m) {
            for (int32_t i = 0; i < m; ++i) dst[i] = static_cast<uint8_t>(dst[i] + offset);
          });
        });
  }
  return 0;
}
