// The chunk dispatcher: one frame's sub-chunks in file order.
#include <cassert>
#include <cstring>

#include "base/bytes.h"
#include "base/tags.h"
#include "display/display.h"
#include "frame/draw.h"
#include "frame/frame.h"
#include "frame/internal.h"
#include "frame/palette.h"
#include "base/log.h"
#include "base/switches.h"
#include "sound/sound.h"
#include "base/mem.h"
#include "text/block.h"
#include "text/chunks.h"

namespace frame_internal {
FrameEngine g_frame;
}  // namespace frame_internal

using namespace frame_internal;

namespace {

// Smallest payloads whose fields the handlers read.
constexpr uint32_t kGostMin = 6;
constexpr uint32_t kFetchMin = 6;
constexpr uint32_t kFetchLong = 12;
constexpr uint32_t kSkipMin = 4;
constexpr uint32_t kLoadDataOffset = 10;
const Surface* AsSurface(RenderBitmap* bitmap) { return RenderBitmapSurface(bitmap); }

int16_t DrawOverlay(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                    uint16_t flags) {
  if (!g_frame.overlay || !g_frame.overlay_filled) return 0;
  uint32_t size = ReadBE32(g_frame.overlay + 4);
  if (size < uint32_t(kObjectHeaderSize)) return 0;
  return DrawObject(AsSurface(bitmap), clip, x, y, flags, g_frame.overlay + kChunkHeaderSize, size,
                    1, 0);
}

void AddPreloadPiece(const uint8_t* payload, uint32_t size) {
  if (size < kLoadDataOffset) return;
  int16_t piece = ReadLE16s(payload + 2);
  if (piece == 0) {
    g_frame.preload_id = ReadLE16(payload);
    g_frame.preload_fill = 0;
    g_frame.last_piece = -1;
  }
  if (piece == g_frame.last_piece + 1) {
    uint32_t data = size - kLoadDataOffset;
    if (g_frame.preload && int64_t(g_frame.preload_fill) + size < int64_t(g_frame.preload_size)) {
      std::memcpy(g_frame.preload + g_frame.preload_fill, payload + kLoadDataOffset, data);
      g_frame.preload_fill += int32_t(data);
      assert(g_frame.preload_fill <= g_frame.preload_size);
    }
    g_frame.last_piece = piece;
  }
}

void DrawDebugFrame(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                    const uint8_t* object, int16_t condition) {
  ObjectHeader h = ReadObjectHeader(object);
  int32_t x0 = int16_t(x + h.x), y0 = int16_t(y + h.y);
  int32_t w = int16_t(h.width), hh = int16_t(h.height);
  uint8_t white = uint8_t(FindPaletteColour(255, 255, 255));
  uint8_t black = uint8_t(FindPaletteColour(0, 0, 0));
  const Surface* s = AsSurface(bitmap);
  DrawRectOutline(s, clip, x0, y0, w, hh, white);
  DrawTextFormatted(nullptr, s, nullptr, int16_t(x0 + (w >> 1)),
                    int16_t(y0 + (hh >> 1)), white, black, 0, "%hd", condition);
}

}  // namespace

int16_t FrameEngineInit(FrameClientCallback client, int32_t overlay_size, int32_t preload_size) {
  assert(g_frame.use_count >= 0);
  if (g_frame.use_count++ > 0) return 0;
  g_frame.client = client;
  g_frame.overlay_size = overlay_size;
  g_frame.preload_size = preload_size;
  g_frame.overlay_filled = false;
  g_frame.last_piece = kNoPiece;
  g_frame.preload_fill = 0;
  ClearConditionFlag(0);
  if (overlay_size > 0 && MemAlloc(&g_frame.overlay, size_t(overlay_size)) != 0) {
    RecordError("Cannot allocate overlay buffer of %ld bytes", long(overlay_size));
    g_frame.use_count = 0;
    g_frame.client = nullptr;
    return kErrNoMemory;
  }
  if (preload_size > 0 && MemAlloc(&g_frame.preload, size_t(preload_size)) != 0) {
    RecordError("Cannot allocate preload buffer of %ld bytes", long(preload_size));
    MemFree(&g_frame.overlay);
    g_frame.use_count = 0;
    g_frame.client = nullptr;
    return kErrNoMemory;
  }
  return 0;
}

void FrameEngineShutdown() {
  assert(g_frame.use_count >= 0);
  if (g_frame.use_count <= 0 || --g_frame.use_count > 0) return;
  g_frame.client = nullptr;
  MemFree(&g_frame.overlay);
  MemFree(&g_frame.preload);
  g_frame.overlay_size = g_frame.preload_size = 0;
  g_frame.overlay_filled = false;
}

bool IsFrameTextRecord(const void* record) {
  return record != nullptr && record == g_frame.text_record_in_call;
}

int16_t ProcessFrameChunks(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                           const uint8_t* frame, uint32_t size, uint16_t frame_flags) {
  g_frame.frame_changed = 1;
  g_frame.no_present = 0;
  bool stor_pending = false, skip_next = false;
  const uint8_t* object = nullptr;
  uint32_t object_size = 0;
  uint32_t previous = 0;
  int16_t condition = 0;
  const uint8_t* p = frame;
  int64_t remaining = size;
  while (remaining > 4) {
    // Pad bytes follow odd-sized payloads; the ring keeps the parity of file
    // offsets, so the address tells whether a position is odd.
    if ((reinterpret_cast<uintptr_t>(p) & 1) && *p == 0) {
      ++p;
      --remaining;
    }
    // Fewer bytes than a header left: trailing bytes, as with up to 4.
    if (remaining < kChunkHeaderSize) break;
    uint32_t tag = ReadBE32(p);
    uint32_t csize = ReadBE32(p + 4);
    const uint8_t* payload = p + kChunkHeaderSize;
    if (int64_t(csize) > remaining - kChunkHeaderSize) {
      // A payload that runs out of the frame cannot be followed.
      // Repair: the position was a host memory address; it is the offset of
      // the sub-chunk inside the frame.
      RecordError("Bad IFF Header found %lx at %lx", static_cast<unsigned long>(tag),
                  static_cast<unsigned long>(p - frame));
      return -1;
    }
    bool stored_now = false;
    if (stor_pending && g_frame.overlay && tag != kTagIACT) {
      if (int64_t(csize) + kChunkHeaderSize < int64_t(g_frame.overlay_size)) {
        std::memcpy(g_frame.overlay, p, csize + kChunkHeaderSize);
        g_frame.overlay_filled = true;
      }
      DrawOverlay(bitmap, clip, x, y, frame_flags);
      stor_pending = false;
      stored_now = true;
    }
    if (skip_next) {
      skip_next = false;
    } else {
      switch (tag) {
        case kTagFOBJ: {
          if (csize < uint32_t(kObjectHeaderSize)) break;  // not an object
          object = payload;
          object_size = csize;
          if (stored_now) break;
          int16_t result =
              DrawObject(AsSurface(bitmap), clip, x, y, frame_flags, payload, csize, 1, 0);
          if (previous == kTagSKIP ? result != 0 : result > 0) g_frame.no_present = 1;
          if (previous == kTagSKIP && GetSwitch(kSwitchDebugLevel) >= 1)
            DrawDebugFrame(bitmap, clip, x, y, payload, condition);
          break;
        }
        case kTagGOST: {
          if (csize < kGostMin || !object) break;
          int16_t mode = ReadLE16s(payload);
          uint16_t bits = (mode >= 0 && mode <= 2) ? kGhostModeBits[mode] : 0;
          DrawObjectWithin(AsSurface(bitmap), clip, int16_t(x + ReadLE16s(payload + 2)),
                           int16_t(y + ReadLE16s(payload + 4)), uint16_t(frame_flags | bits),
                           object, csize, object_size, 1, 0);
          break;
        }
        case kTagSTOR:
          stor_pending = true;
          break;
        case kTagFTCH: {
          if (csize < kFetchMin) break;
          int16_t fx, fy;
          if (csize == kFetchLong) {
            fx = int16_t(ReadBE32(payload + 4) & 0xFFFF);
            fy = int16_t(ReadBE32(payload + 8) & 0xFFFF);
          } else {
            fx = ReadLE16s(payload + 2);
            fy = ReadLE16s(payload + 4);
          }
          DrawOverlay(bitmap, clip, int16_t(x + fx), int16_t(y + fy), frame_flags);
          break;
        }
        case kTagSKIP: {
          if (csize < kSkipMin) break;
          condition = ReadLE16s(payload);
          int16_t b = ReadLE16s(payload + 2);
          if (b != 0)
            skip_next = TestConditionFlag(condition) != TestConditionFlag(b);
          else
            skip_next = TestConditionFlag(condition) != 0;
          break;
        }
        case kTagLOAD:
          AddPreloadPiece(payload, csize);
          break;
        case kTagNPAL:
          if (csize >= uint32_t(kPaletteBytes)) SetCurrentPalette(payload, 1);
          break;
        case kTagXPAL:
          PaletteFade(payload, csize);
          break;
        case kTagPSAD:
        case kTagSAUD:
          PlayAudioChunk(p, 0, 127, 0, 0, int64_t(csize) + kChunkHeaderSize);
          break;
        case kTagTEXT:
        case kTagTRES:
          if (g_frame.client && (frame_flags & kFlagTextToClient)) {
            TextRecord record{kTextRecordKind, {0, 0, 0}, tag, csize, payload};
            g_frame.text_record_in_call = &record;
            g_frame.client(bitmap, clip, x, y, &record, csize, frame_flags);
            g_frame.text_record_in_call = nullptr;
          } else {
            DrawTextChunk(AsSurface(bitmap), clip, tag, payload, csize);
          }
          break;
        case kTagIACT:
          if (g_frame.client) g_frame.client(bitmap, clip, x, y, payload, csize, frame_flags);
          break;
        case kTagVMSK:
          MaskRect(bitmap, 0, 0, clip, payload);
          g_frame.no_present = 1;
          break;
        default:
          if (!IsPlainTag(tag)) {
            RecordError("Bad IFF Header found %lx at %lx", static_cast<unsigned long>(tag),
                        static_cast<unsigned long>(p - frame));
            return -1;
          }
          break;
      }
    }
    previous = tag;
    p = payload + csize;
    remaining -= int64_t(csize) + kChunkHeaderSize;
  }
  return 0;
}

int16_t TestConditionFlag(int32_t number) {
  if (number < 1 || number > kConditionFlagCount) return 0;
  return (g_frame.conditions[(number - 1) / 8] & (0x80 >> ((number - 1) % 8))) ? 1 : 0;
}

void SetConditionFlag(int32_t number) {
  if (number < 1 || number > kConditionFlagCount) return;
  g_frame.conditions[(number - 1) / 8] |= uint8_t(0x80 >> ((number - 1) % 8));
}

void ClearConditionFlag(int32_t number) {
  if (number < 1) {
    std::memset(g_frame.conditions, 0, sizeof g_frame.conditions);
    return;
  }
  if (number > kConditionFlagCount) return;
  g_frame.conditions[(number - 1) / 8] &= uint8_t(~(0x80 >> ((number - 1) % 8)));
}

void SetFrameChangedFlag(int32_t value) { g_frame.frame_changed = value; }

FrameState InspectFrame() {
  const FrameEngine& f = g_frame;
  return FrameState{f.frame_changed, f.no_present, f.preload,
                    f.preload_fill,  f.preload_id, f.palette_state};
}
