#include "engines/engines.h"

#include "base/log.h"
#include "decoder/decoder.h"
#include "display/display.h"
#include "input/keyboard.h"
#include "sound/output.h"
#include "stream/stream.h"
#include "timer/timer.h"

namespace {

// Starts one engine; 0 when it runs.
int Start(EngineStage stage, const EngineSetup& setup) {
  const EngineSizes& s = kEngineSizes;
  switch (stage) {
    case kEngineVideo: return SetVideoMode(s.video_mode, nullptr, nullptr);
    case kEngineTimer: return TimerInit();
    case kEngineStream: return StreamInit(s.ring, s.largest_frame);
    case kEngineFrame: return FrameEngineInit(setup.text, s.overlay, s.preload);
    case kEngineAnimation:
      return AnimationEngineInit(nullptr, setup.frame_done, s.width, s.height);
    case kEngineDecoder:
      return InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, s.width,
                         s.height);
    case kEngineSound:
      // The output driver sets its cooperative level on the display's window.
      SetSoundOutputWindowSource(GetDisplayWindow);
      return SoundInit(setup.driver != nullptr ? setup.driver : SoundDriverProc, s.output_rate,
                       s.sound_reserve, s.channel_sizes);
    case kEngineKeyboard: return InitKeyboard();
  }
  return -1;
}

// What a failed start records; the video mode fails silently.
constexpr const char* kStartErrors[] = {
    nullptr,
    "System timer init error",
    "Stream engine init error",
    "Frame engine init error",
    "Animation engine init error",
    "Decoder error",
    "Sound error",
    "Keyboard init error",
};

}  // namespace

bool StartEngines(const EngineSetup& setup) {
  for (int stage = kEngineVideo; stage <= setup.last; ++stage) {
    if (Start(EngineStage(stage), setup) == 0) continue;
    if (kStartErrors[stage] != nullptr) RecordError("%s", kStartErrors[stage]);
    if (stage > kEngineVideo) StopEngines(EngineStage(stage - 1));
    return false;
  }
  return true;
}

void StopEngines(EngineStage last_started) {
  for (int stage = last_started; stage >= kEngineVideo; --stage) {
    switch (EngineStage(stage)) {
      case kEngineKeyboard: ShutdownKeyboard(); break;
      case kEngineSound: SoundShutdown(); break;
      case kEngineDecoder: ShutdownDecoder(); break;
      case kEngineAnimation: AnimationEngineShutdown(); break;
      case kEngineFrame: FrameEngineShutdown(); break;
      case kEngineStream: StreamShutdown(); break;
      case kEngineTimer: break;  // the system timer has nothing to stop
      case kEngineVideo: RestoreVideoMode(); break;
    }
  }
}
