// The codec table and DrawObject.
#include "decoder/decoder.h"

#include <cassert>
#include <cstdint>

#include "decoder/internal.h"

namespace {

CodecProc g_codec_table[256] = {};

// The payload being drawn through DrawObjectWithin and its real length.
const uint8_t* g_bounded_payload = nullptr;
uint32_t g_bounded_available = 0;

}  // namespace

namespace decoder_internal {

uint32_t PayloadLimit(const uint8_t* payload, uint32_t size) {
  if (payload != nullptr && payload == g_bounded_payload) return g_bounded_available;
  return size;
}

}  // namespace decoder_internal

const CodecProc kStandardCodecProcs[kStandardCodecCount] = {
    CodecRunLength, CodecOpaqueRunLength, CodecPointList,         CodecDeltaTile, CodecShade,
    CodecSkipLiteral, CodecRaw,           CodecTintedSkipLiteral, CodecSmoothing};
const uint8_t kStandardCodecNumbers[kStandardCodecCount] = {
    kCodecNumberRunLength, kCodecNumberOpaqueRunLength,
    kCodecNumberPointList, kCodecNumberDeltaTile,
    kCodecNumberShade,     kCodecNumberSkipLiteral,
    kCodecNumberRaw,       kCodecNumberTintedSkipLiteral,
    kCodecNumberSmoothing};

bool ObjectDataComplete(const uint8_t* payload, uint32_t size) {
  using namespace decoder_internal;
  if (payload == nullptr || size < static_cast<uint32_t>(kObjectHeaderSize)) return false;
  switch (payload[0]) {
    case kCodecNumberSkipLiteral:
    case kCodecNumberTintedSkipLiteral:
      return SkipLiteralDataComplete(payload, size);
    case kCodecNumberRaw:
      return RawDataComplete(payload, size);
    default:
      return true;
  }
}

int16_t InitDecoder(int16_t count, const CodecProc* procs, const uint8_t* numbers, int16_t width,
                    int16_t height) {
  assert(count >= 0 && count <= 256 && (count == 0 || (procs != nullptr && numbers != nullptr)));
  for (CodecProc& slot : g_codec_table) slot = nullptr;
  // Start-up carries the picture size in the two pointer arguments.
  const auto* width_arg = reinterpret_cast<const Surface*>(static_cast<intptr_t>(width));
  const auto* height_arg = reinterpret_cast<const ClipRect*>(static_cast<intptr_t>(height));
  for (int16_t i = 0; i < count; ++i) {
    if (procs[i] == nullptr) continue;
    if (procs[i](kCodecStart, width_arg, height_arg, 0, 0, nullptr, 0, 0, 0, 0) == 0) {
      // Each number names one codec: a second would replace the first unstopped.
      assert(g_codec_table[numbers[i]] == nullptr);
      g_codec_table[numbers[i]] = procs[i];
    }
  }
  return 0;
}

void ShutdownDecoder() {
  for (CodecProc& slot : g_codec_table) {
    if (slot != nullptr) slot(kCodecStop, nullptr, nullptr, 0, 0, nullptr, 0, 0, 0, 0);
    slot = nullptr;
  }
}

int16_t DrawObjectWithin(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                         uint16_t draw_flags, const uint8_t* payload, uint32_t size,
                         uint32_t available, uint8_t tint, uint8_t fill_colour) {
  if (payload == nullptr || available < static_cast<uint32_t>(kObjectHeaderSize)) return -1;
  ObjectHeader header = ReadObjectHeader(payload);
  if ((draw_flags & DrawAbsolute) == 0) {
    x = static_cast<int16_t>(header.x + x);
    y = static_cast<int16_t>(header.y + y);
  }
  if (draw_flags & DrawCentred) {
    x = static_cast<int16_t>(x - (static_cast<int16_t>(header.width) >> 1));
    y = static_cast<int16_t>(y - (static_cast<int16_t>(header.height) >> 1));
  }
  CodecProc proc = g_codec_table[header.codec];
  if (proc == nullptr) return -1;
  const uint8_t* saved_payload = g_bounded_payload;
  uint32_t saved_available = g_bounded_available;
  g_bounded_payload = payload;
  g_bounded_available = available;
  int16_t result = proc(kCodecDraw, surface, clip, x, y, payload, size, draw_flags, tint,
                        fill_colour);
  g_bounded_payload = saved_payload;
  g_bounded_available = saved_available;
  return result;
}

int16_t DrawObject(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                   uint16_t draw_flags, const uint8_t* payload, uint32_t size, uint8_t tint,
                   uint8_t fill_colour) {
  return DrawObjectWithin(surface, clip, x, y, draw_flags, payload, size, size, tint,
                          fill_colour);
}
