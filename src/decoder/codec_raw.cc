// Codec 20: an uncompressed bitmap, rows top to bottom.
#include <cstring>

#include "decoder/internal.h"

using namespace decoder_internal;

bool decoder_internal::RawDataComplete(const uint8_t* payload, uint32_t size) {
  return uint64_t{ReadLE16(payload + 6)} * ReadLE16(payload + 8) <=
         size - static_cast<uint32_t>(kObjectHeaderSize);
}

int16_t CodecRaw(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                 int16_t y, const uint8_t* payload, uint32_t size, uint16_t, uint8_t, uint8_t) {
  if (operation != kCodecDraw || payload == nullptr) return 0;
  uint32_t limit = PayloadLimit(payload, size);
  if (limit < static_cast<uint32_t>(kObjectHeaderSize)) return 0;
  Bounds b = GetBounds(surface, clip);
  if (b.Empty()) return 0;
  ObjectHeader header = ReadObjectHeader(payload);
  int32_t source_width = static_cast<int16_t>(header.width);
  int32_t width = source_width;
  int32_t height = static_cast<int16_t>(header.height);
  int64_t source = 0;  // offset of the first drawn byte in the data
  int32_t px = x, py = y;
  if (py < b.top) {
    source += static_cast<int64_t>(b.top - py) * source_width;
    height -= b.top - py;
    py = b.top;
  }
  if (py + height > b.bottom) height = b.bottom - py;
  if (px < b.left) {
    source += b.left - px;
    width -= b.left - px;
    px = b.left;
  }
  if (px + width > b.right) width = b.right - px;
  if (width <= 0 || height <= 0) return 0;
  const int64_t data_size = static_cast<int64_t>(limit) - kObjectHeaderSize;
  const uint8_t* data = payload + kObjectHeaderSize;
  for (int32_t row = 0; row < height; ++row, source += source_width) {
    // Rows the data does not hold in full are drawn as far as it goes.
    int64_t have = std::min<int64_t>(width, data_size - source);
    if (have <= 0) return 0;
    std::memcpy(PixelAt(surface, px, py + row), data + source, static_cast<size_t>(have));
    if (have < width) return 0;
  }
  return 0;
}
