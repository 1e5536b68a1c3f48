// The frame reader's state machine, the header chunk and frame processing.
#include "anim/reader.h"

#include <cassert>
#include <climits>
#include <cstring>

#include "anim/internal.h"
#include "anim/format.h"
#include "base/bytes.h"
#include "base/tags.h"
#include "base/trace.h"
#include "display/display.h"
#include "frame/draw.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "base/log.h"
#include "base/switches.h"
#include "sound/sound.h"
#include "stream/stream.h"
#include "text/block.h"

using namespace anim_internal;

namespace {

constexpr int kFirstFramesFast = 10;
// Fewest bytes a header chunk needs for its version and frame count.
constexpr uint32_t kHeaderMin = 4;

int32_t FetchSize(uint32_t size) { return size > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(size); }

void ApplyHeader(const uint8_t* p, uint32_t size) {
  g_anim.file_flags = g_anim.pending_flags;
  if (!(g_anim.file_flags & kFlagKeepPalette) &&
      size >= uint32_t(kHeaderPaletteOffset + kPaletteBytes))
    SetCurrentPalette(p + kHeaderPaletteOffset, 1);
  g_anim.frame_count = ReadLE16s(p + kHeaderFrameCountOffset);
  if (g_anim.frame_count < 1) {
    // Repair: a count below 1 was never met by a frame number, so the last
    // frame was shown again until the number wrapped; it is reported and the
    // file plays the frames it has (the count is set when its data ends).
    RecordError("Read invalid frame count %hd -- CD may be dirty or damaged.", g_anim.frame_count);
    g_anim.frame_count = INT16_MAX;
  }
  if ((p[kHeaderVersionOffset] > 1) && size >= uint32_t(kHeaderRateOffset + 2)) {
    int16_t rate = ReadLE16s(p + kHeaderRateOffset);
    if (rate != 0 && !(g_anim.file_flags & kFlagIgnoreRate)) SetFrameRate(rate);
  }
  if (!(g_anim.file_flags & kFlagKeepDrawState)) ResetDrawingState();
  trace::FileSwitched(g_anim.frame_period.load(), g_anim.frames_per_second);
}

void DebugOverlay(int level) {
  const Surface* s = RenderBitmapSurface(g_anim.bitmap);
  uint8_t white = uint8_t(FindPaletteColour(255, 255, 255));
  uint8_t black = uint8_t(FindPaletteColour(0, 0, 0));
  DrawTextFormatted(nullptr, s, nullptr, 10, 40, white, black, 0, "Frame %hd/%hd",
                    g_anim.frame_number, g_anim.frame_count);
  DrawTextFormatted(nullptr, s, nullptr, 10, 47, white, black, 0, "Size %ld",
                    long(g_anim.chunk_size));
  DrawTextFormatted(nullptr, s, nullptr, 10, 54, white, black, 0,
                    "Animation state %c", int(g_anim.state));
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
  if (trace::On())
    trace::SetFrame(g_anim.frame_number, (frame_flags & kFlagLateFrame) != 0, StreamFillPercent(),
                    g_anim.frame_number >= g_anim.frame_count);
  uint16_t flags = uint16_t(g_anim.file_flags | frame_flags);
  if (!g_anim.bitmap || !g_anim.chunk_data) return;
  if (!(flags & kFlagKeepPixels)) ClearRenderBitmap(g_anim.bitmap, 0);
  if (g_anim.pre_frame)
    g_anim.pre_frame(g_anim.bitmap, &g_anim.clip, x, y, g_anim.frame_number, g_anim.frame_count);
  if (ProcessFrameChunks(g_anim.bitmap, &g_anim.clip, x, y, g_anim.chunk_data, g_anim.chunk_size,
                         flags) != 0)
    AbortAnimation();
  if (g_anim.post_frame)
    g_anim.post_frame(g_anim.bitmap, &g_anim.clip, x, y, g_anim.frame_number, g_anim.frame_count);
  else if (g_anim.frame_number == g_anim.frame_count)
    AbortAnimation();
  int level = GetSwitch(kSwitchDebugLevel);
  if (level >= 1) DebugOverlay(level);
  PresentFrame(g_anim.bitmap, &g_anim.clip, flags);
}

int16_t ReadFrame(uint16_t frame_flags) {
  if (g_anim.abort) {
    g_anim.abort = 0;
    return kReadAborted;
  }
  for (;;) {
    switch (g_anim.state) {
      case kStateChunkHeader: {
        StreamChunk c = StreamFetch(kChunkHeaderSize);
        if (c.status == kStreamNotYet) return kReadWaitHeader;
        if (c.status == kStreamError) return kReadDamaged;
        if (c.status == kStreamEnd) {
          // No file at all (its request failed), or its data ended before
          // the count said: nothing else is coming.
          if (g_anim.chunk_data == nullptr || g_anim.frame_number < 0) return kReadEnded;
          // Repair: a file with fewer frames than its count ran into the
          // bytes behind it; the count becomes the frames it had, so the end
          // pass reaches the post-frame callback with number == count.
          int16_t had = int16_t(g_anim.frame_number + 1);
          if (g_anim.frame_count != INT16_MAX)
            RecordError("Frame count %hd but the file ends after %hd frames", g_anim.frame_count,
                        had);
          g_anim.frame_count = had;
          g_anim.state = kStateEnd;
          continue;
        }
        g_anim.chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_anim.frame_number = -1;
          continue;
        }
        // The first character alone decides; anything but "A" or "F" (a
        // zero byte or "e" included) is a damaged top level.
        g_anim.state = (c.data[0] == kHeaderLetter || c.data[0] == kFrameLetter) ? c.data[0]
                                                                             : kStateInvalid;
        g_anim.chunk_size = ReadBE32(c.data + 4);
        continue;
      }
      case kStateAnimHeader: {
        StreamChunk c = StreamFetch(FetchSize(g_anim.chunk_size));
        if (c.status == kStreamNotYet) return kReadWaitAnimHeader;
        if (c.status == kStreamError || c.status == kStreamEnd) return kReadDamaged;
        g_anim.state = kStateChunkHeader;
        g_anim.chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_anim.frame_number = -1;
          continue;
        }
        if (g_anim.chunk_size < kHeaderMin) {
          // Too short to hold even a frame count: the stream is damaged.
          RecordError("Read invalid frame header -- CD may be dirty or damaged.");
          return kReadDamaged;
        }
        ApplyHeader(c.data, g_anim.chunk_size);
        continue;
      }
      case kStateFrame: {
        StreamChunk c = StreamFetch(FetchSize(g_anim.chunk_size));
        if (c.status == kStreamNotYet) return kReadWaitFrame;
        if (c.status == kStreamError || c.status == kStreamEnd) return kReadDamaged;
        g_anim.state = kStateChunkHeader;
        g_anim.chunk_data = nullptr;
        if (c.status == kStreamSwitched) {
          g_anim.frame_number = -1;
          continue;
        }
        g_anim.chunk_data = c.data;
        assert(g_anim.frame_count >= 1);  // a header's count below 1 is replaced
        g_anim.frame_number = int16_t(g_anim.frame_number + 1);
        ProcessFrame(g_anim.draw_x, g_anim.draw_y, frame_flags);
        if (g_anim.frame_number >= g_anim.frame_count - 1)
          g_anim.state = StreamSwitchDone() ? kStateChunkHeader : kStateEnd;
        return g_anim.frame_number < kFirstFramesFast ? kReadShownEarly : kReadShown;
      }
      case kStateEnd:
        // Repair: a queued file that could not be opened left the last frame
        // shown on every read for ever; with no switch coming the play ends.
        if (g_anim.frame_number >= g_anim.frame_count && StreamSwitchFailed()) return kReadEnded;
        g_anim.frame_number = int16_t(g_anim.frame_number + 1);
        ProcessFrame(g_anim.draw_x, g_anim.draw_y, frame_flags);
        if (StreamSwitchDone()) g_anim.state = kStateChunkHeader;
        return kReadEndPass;
      default:
        // Only a damaged top level leads here: the other states are handled above.
        assert(g_anim.state == kStateInvalid);
        RecordError("Read invalid frame header -- CD may be dirty or damaged.");
        return kReadDamaged;
    }
  }
}

void QueueAnimation(const char* name, uint16_t header_flags) {
  g_anim.pending_flags = header_flags;
  trace::QueueFile(name);
  StreamRequestOpen(name, kFirstChunkOffset);
}

void AbortAnimation() { g_anim.abort = 1; }

void ResetDrawingState() {
  const Surface* s = g_anim.bitmap ? RenderBitmapSurface(g_anim.bitmap) : nullptr;
  g_anim.clip = ClipRect{0, 0, int16_t(s ? s->width : 320), int16_t(s ? s->height : 200)};
  g_anim.draw_x = g_anim.draw_y = 0;
  ClearConditionFlag(0);
}

void ResetAnimationReader() {
  StreamReset();
  ClearConditionFlag(0);
  g_anim.frame_count = 1;
  g_anim.frame_number = 0;
  g_anim.state = kStateChunkHeader;
  g_anim.chunk_data = nullptr;
  g_anim.chunk_size = 0;
  g_anim.file_flags = 0;
  g_anim.abort = 0;
  ResetDrawingState();
}

ReaderState InspectReader() {
  return ReaderState{g_anim.state,      g_anim.frame_number, g_anim.frame_count, g_anim.file_flags,
                     g_anim.chunk_size, g_anim.abort,        g_anim.clip};
}
