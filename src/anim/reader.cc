// The frame reader's state machine, the header chunk and frame processing.
#include "anim/reader.h"

#include <climits>
#include <cstring>

#include "anim/engine.h"
#include "anim/format.h"
#include "base/bytes.h"
#include "base/tags.h"
#include "display/display.h"
#include "frame/draw.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "base/log.h"
#include "base/switches.h"
#include "sound/sound.h"
#include "stream/stream.h"
#include "text/block.h"

namespace anim_internal {
FrameCallback g_pre_frame = nullptr;
FrameCallback g_post_frame = nullptr;
RenderBitmap* g_bitmap = nullptr;
}  // namespace anim_internal

using namespace anim_internal;

namespace {

int16_t g_state = kStateChunkHeader;
uint32_t g_chunk_size = 0;
const uint8_t* g_chunk_data = nullptr;
int16_t g_frame_number = 0;
int16_t g_frame_count = 1;
uint16_t g_file_flags = 0;
uint16_t g_pending_flags = 0;
int32_t g_abort = 0;
ClipRect g_clip{0, 0, 320, 200};
int16_t g_draw_x = 0, g_draw_y = 0;

constexpr int kFirstFramesFast = 10;
// Fewest bytes a header chunk needs for its version and frame count.
constexpr uint32_t kHeaderMin = 4;

int32_t FetchSize(uint32_t size) { return size > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(size); }

void ApplyHeader(const uint8_t* p, uint32_t size) {
  g_file_flags = g_pending_flags;
  if (!(g_file_flags & kFlagKeepPalette) && size >= uint32_t(kHeaderPaletteOffset + kPaletteBytes))
    SetCurrentPalette(p + kHeaderPaletteOffset, 1);
  g_frame_count = ReadLE16s(p + kHeaderFrameCountOffset);
  if (g_frame_count < 1) {
    // Repair: a count below 1 was never met by a frame number, so the last
    // frame was shown again until the number wrapped; it is reported and the
    // file plays the frames it has (the count is set when its data ends).
    RecordError("Read invalid frame count %hd -- CD may be dirty or damaged.", g_frame_count);
    g_frame_count = INT16_MAX;
  }
  if ((p[kHeaderVersionOffset] > 1) && size >= uint32_t(kHeaderRateOffset + 2)) {
    int16_t rate = ReadLE16s(p + kHeaderRateOffset);
    if (rate != 0 && !(g_file_flags & kFlagIgnoreRate)) SetFrameRate(rate);
  }
  if (!(g_file_flags & kFlagKeepDrawState)) ResetDrawingState();
}

void DebugOverlay(int level) {
  const Surface* s = RenderBitmapSurface(g_bitmap);
  uint8_t white = uint8_t(FindPaletteColour(255, 255, 255));
  uint8_t black = uint8_t(FindPaletteColour(0, 0, 0));
  DrawTextFormatted(nullptr, s, nullptr, 10, 40, white, black, 0, "Frame %hd/%hd",
                    g_frame_number, g_frame_count);
  DrawTextFormatted(nullptr, s, nullptr, 10, 47, white, black, 0, "Size %ld",
                    long(g_chunk_size));
  DrawTextFormatted(nullptr, s, nullptr, 10, 54, white, black, 0,
                    "Animation state %c", int(g_state));
  if (level < 2) return;
  int16_t fill = StreamFillPercent();
  DrawTextFormatted(nullptr, s, nullptr, 10, 33, white, black, 0,
                    "Anim Buffer %ld%%", long(fill));
  DrawHorizontalLine(s, nullptr, 10, 30, fill, white);
  DrawHorizontalLine(s, nullptr, 110, 30, 1, white);
  for (int16_t c = 0; c < 16; ++c) {
    int32_t level_c = SoundStatus(int16_t(uint16_t(0xFFFF - c)));
    if (level_c == 0) continue;
    DrawTextFormatted(nullptr, s, nullptr, 10, int16_t(70 + 8 * c), white, black, 0,
                      "Chan %hd", c);
    DrawHorizontalLine(s, nullptr, 40, 70 + 8 * c, level_c >> 12, white);
  }
}

}  // namespace

void ProcessFrame(int16_t x, int16_t y, uint16_t frame_flags) {
  uint16_t flags = uint16_t(g_file_flags | frame_flags);
  if (!g_bitmap || !g_chunk_data) return;
  if (!(flags & kFlagKeepPixels)) ClearRenderBitmap(g_bitmap, 0);
  if (g_pre_frame) g_pre_frame(g_bitmap, &g_clip, x, y, g_frame_number, g_frame_count);
  if (ProcessFrameChunks(g_bitmap, &g_clip, x, y, g_chunk_data, g_chunk_size, flags) != 0)
    AbortAnimation();
  if (g_post_frame)
    g_post_frame(g_bitmap, &g_clip, x, y, g_frame_number, g_frame_count);
  else if (g_frame_number == g_frame_count)
    AbortAnimation();
  int level = GetSwitch(kSwitchDebugLevel);
  if (level >= 1) DebugOverlay(level);
  PresentFrame(g_bitmap, &g_clip, flags);
}

int16_t ReadFrame(uint16_t frame_flags) {
  if (g_abort) {
    g_abort = 0;
    return kReadAborted;
  }
  for (;;) {
    switch (g_state) {
      case kStateChunkHeader: {
        StreamChunk c = StreamFetch(kChunkHeaderSize);
        if (c.status == kStreamNotYet) return kReadWaitHeader;
        if (c.status == kStreamError) return kReadDamaged;
        if (c.status == kStreamEnd) {
          // No file at all (its request failed), or its data ended before
          // the count said: nothing else is coming.
          if (g_chunk_data == nullptr || g_frame_number < 0) return kReadEnded;
          // Repair: a file with fewer frames than its count ran into the
          // bytes behind it; the count becomes the frames it had, so the end
          // pass reaches the post-frame callback with number == count.
          int16_t had = int16_t(g_frame_number + 1);
          if (g_frame_count != INT16_MAX)
            RecordError("Frame count %hd but the file ends after %hd frames", g_frame_count, had);
          g_frame_count = had;
          g_state = kStateEnd;
          continue;
        }
        g_chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_frame_number = -1;
          continue;
        }
        // The first character alone decides; anything but "A" or "F" (a
        // zero byte or "e" included) is a damaged top level.
        g_state = (c.data[0] == kHeaderLetter || c.data[0] == kFrameLetter) ? c.data[0]
                                                                             : kStateInvalid;
        g_chunk_size = ReadBE32(c.data + 4);
        continue;
      }
      case kStateAnimHeader: {
        StreamChunk c = StreamFetch(FetchSize(g_chunk_size));
        if (c.status == kStreamNotYet) return kReadWaitAnimHeader;
        if (c.status == kStreamError || c.status == kStreamEnd) return kReadDamaged;
        g_state = kStateChunkHeader;
        g_chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_frame_number = -1;
          continue;
        }
        if (g_chunk_size < kHeaderMin) {
          // Too short to hold even a frame count: the stream is damaged.
          RecordError("Read invalid frame header -- CD may be dirty or damaged.");
          return kReadDamaged;
        }
        ApplyHeader(c.data, g_chunk_size);
        continue;
      }
      case kStateFrame: {
        StreamChunk c = StreamFetch(FetchSize(g_chunk_size));
        if (c.status == kStreamNotYet) return kReadWaitFrame;
        if (c.status == kStreamError || c.status == kStreamEnd) return kReadDamaged;
        g_state = kStateChunkHeader;
        g_chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_frame_number = -1;
          continue;
        }
        g_chunk_data = c.data;
        g_frame_number = int16_t(g_frame_number + 1);
        ProcessFrame(g_draw_x, g_draw_y, frame_flags);
        if (g_frame_number >= g_frame_count - 1)
          g_state = StreamSwitchDone() ? kStateChunkHeader : kStateEnd;
        return g_frame_number < kFirstFramesFast ? kReadShownEarly : kReadShown;
      }
      case kStateEnd:
        // Repair: a queued file that could not be opened left the last frame
        // shown on every read for ever; with no switch coming the play ends.
        if (g_frame_number >= g_frame_count && StreamSwitchFailed()) return kReadEnded;
        g_frame_number = int16_t(g_frame_number + 1);
        ProcessFrame(g_draw_x, g_draw_y, frame_flags);
        if (StreamSwitchDone()) g_state = kStateChunkHeader;
        return kReadEndPass;
      default:
        RecordError("Read invalid frame header -- CD may be dirty or damaged.");
        return kReadDamaged;
    }
  }
}

void QueueAnimation(const char* name, uint16_t header_flags) {
  g_pending_flags = header_flags;
  StreamRequestOpen(name, kFirstChunkOffset);
}

void AbortAnimation() { g_abort = 1; }

void ResetDrawingState() {
  const Surface* s = g_bitmap ? RenderBitmapSurface(g_bitmap) : nullptr;
  g_clip = ClipRect{0, 0, int16_t(s ? s->width : 320), int16_t(s ? s->height : 200)};
  g_draw_x = g_draw_y = 0;
  ClearConditionFlag(0);
}

void ResetAnimationReader() {
  StreamReset();
  ClearConditionFlag(0);
  g_frame_count = 1;
  g_frame_number = 0;
  g_state = kStateChunkHeader;
  g_chunk_data = nullptr;
  g_chunk_size = 0;
  g_file_flags = 0;
  g_abort = 0;
  ResetDrawingState();
}

ReaderState InspectReader() {
  return ReaderState{g_state,      g_frame_number, g_frame_count, g_file_flags,
                     g_chunk_size, g_abort,        g_clip};
}
