// The demonstration session: engine start-up and shut-down, and the
// callbacks that chain the second file, stop on the abort keys, draw text
// records and present frames.
#include "shell/session.h"

#include "anim/player.h"
#include "anim/reader.h"
#include "display/display.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "input/keyboard.h"
#include "engines/engines.h"
#include "shell/launcher.h"
#include "text/chunks.h"
#include "text/font.h"
#include "text/resource.h"

namespace {

int16_t g_chain_counter = 0;

}  // namespace

DemoFiles DemoFilesFor(uint16_t choice) {
  if (choice == kChoiceLantern) return {"lanvid\\demofrnt.san", "lanvid\\demoend.san"};
  return {"cv2vid\\O_open_a.san", "cv2vid\\O_open_b.san"};
}

int16_t ChainCounter() { return g_chain_counter; }
void SetChainCounter(int16_t value) { g_chain_counter = value; }

namespace {

// Losing or regaining the screen pauses or resumes the sound and the playback.
void SessionActivation(int32_t active) {
  SetSoundOutputActive(active);
  SetPlaybackActive(active);
}

}  // namespace

void PlayDemoSession() {
  g_chain_counter = 0;
  EngineSetup setup;
  setup.text = SessionText;
  setup.frame_done = SessionFrameDone;
  if (!StartEngines(setup)) return;

  const uint16_t choice = DemoChoice();
  SetActivationHandler(SessionActivation);
  SetPlayingFlag(1);
  SetPresentCallback(SessionPresent);
  if (choice == kChoiceCobalt) {
    LoadTextResource(nullptr, kSessionStringFile);
    LoadFonts(nullptr, 3, kSessionFontFiles);
  }
  PlayAnimation(DemoFilesFor(choice).first, 1, SessionTick, 0, kSessionFramesPerSecond, 0);
  if (choice == kChoiceCobalt) {
    FreeTextResource(nullptr);
    FreeFonts(nullptr);
  }
  SetPlayingFlag(0);
  SetActivationHandler(nullptr);
  SetPresentCallback(nullptr);
  StopEngines(kEngineKeyboard);
}

int16_t SessionFrameDone(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t frame_number,
                         int16_t frame_count) {
  uint16_t key = ReadKey(1);
  if (key == kKeyEscape || key == kKeyAltX || key == kKeyAltF4) {
    AbortAnimation();
    return 0;
  }
  if (frame_number != frame_count) return 0;
  if (++g_chain_counter == 2) {
    g_chain_counter = 0;
    AbortAnimation();
    return 0;
  }
  QueueAnimation(DemoFilesFor(DemoChoice()).second, kSecondFileFlags);
  return 0;
}

void SessionTick() {}

int16_t SessionText(RenderBitmap* bitmap, const ClipRect* clip, int16_t, int16_t,
                    const void* record, uint32_t size, uint16_t frame_flags) {
  // Under frame flag 0x200 text records and "IACT" payloads share this
  // callback; a payload's bytes must never be taken for a record, whatever
  // its first field holds.
  (void)size;
  (void)frame_flags;
  if (!IsFrameTextRecord(record)) return 0;
  const auto* text_record = static_cast<const TextRecord*>(record);
  if (text_record->kind != kTextRecordKind) return 0;
  DrawSessionTextChunk(RenderBitmapSurface(bitmap), clip, text_record->tag, text_record->payload,
                       text_record->size);
  return 0;
}

void SessionPresent(RenderBitmap* bitmap, const ClipRect* clip, uint16_t, int32_t full_palette,
                    int32_t show, int16_t palette_state) {
  if (full_palette) BlackOutScreen();
  if (show) {
    PresentBitmap(bitmap, 0, 0, clip);
    CompletePresentation();
  }
  if (palette_state != 0) {
    if (full_palette) {
      PresentBitmap(bitmap, 0, 0, clip);
      CompletePresentation();
    }
    SetScreenPalette(CurrentPalette());
  }
}
