// libFuzzer target: any bytes as a whole ".san" file, played through the real
// engines in process on the headless backend under the virtual clock, without
// a reading thread, the way `santool export` plays it. Each input is played
// for a bounded number of frames and loop passes so that runs stay short.
// The play flags are taken from the last byte (see kPlayFlagSets).
//
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DMV_BUILD_FUZZ=ON \
//     -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target san_fuzz make-demo-data -j2
//   fuzz/make_corpus.py build-fuzz corpus   # seeds: corpus/san, corpus/text, ...
//   build-fuzz/fuzz/san_fuzz corpus/san -max_total_time=300 -rss_limit_mb=2048
// With MV_FUZZ_TEXT=DIR set, the strings and fonts the session loads
// (COBALT2.TRS, TALKFONT.NUT, SMALFONT.NUT, TITLFONT.NUT in DIR) are loaded
// once, so that "TRES" chunks and font escapes reach the text drawer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "anim/player.h"
#include "anim/reader.h"
#include "display/display.h"
#include "platform/dsound.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "base/log.h"
#include "engines/engines.h"
#include "sound/output.h"
#include "sound/sound.h"
#include "text/font.h"
#include "text/resource.h"

namespace {

constexpr int kWidth = kEngineSizes.width;
constexpr int kHeight = kEngineSizes.height;
constexpr int kMaxFrames = 24;
constexpr int kMaxPasses = 4000;
constexpr uint32_t kMaxSoundTailMs = 200;

// Play flags, chosen by the input's last byte: kept pixels, mirrored and
// placed drawing, the opaque draw.
constexpr uint16_t kPlayFlagSets[] = {0,      0x0020, 0x2000, 0x4000,
                                      0x6000, 0x0101, 0x0012, 0x0440};

int g_frames = 0;
int g_passes = 0;

int16_t FuzzFrameDone(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t number,
                      int16_t count) {
  if (++g_frames >= kMaxFrames || number >= count) AbortAnimation();
  return 0;
}

void FuzzPass() {
  if (++g_passes >= kMaxPasses) AbortAnimation();
}

// The sound output is opened once and held open: each input restarts the
// sound engine (so that it starts silent), and opening the output for every
// input (its buffer, mix tables and tick) cost more than most inputs' play.
int32_t HeldOutputDriver(int32_t command, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                         intptr_t e) {
  static bool open = false;
  if (command == 2) {
    if (!open) open = SoundDriverProc(command, a, b, c, d, e) == 0;
    return open ? 0 : -1;
  }
  if (command == 3) return 0;
  return SoundDriverProc(command, a, b, c, d, e);
}

LRESULT FuzzWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, msg, wparam, lparam);
}

bool StartEngines() {
  platform::SetClockMode(platform::ClockMode::kVirtual);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FuzzWindowProc;
  wc.lpszClassName = "SanFuzz";
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, "SanFuzz", "san_fuzz", 0, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, nullptr, nullptr);
  DisplayStartup(window, kDisplayWordDirectDraw | kDisplayWordPageFlipping);
  EngineSetup setup;
  setup.frame_done = FuzzFrameDone;
  setup.last = kEngineSound;
  setup.driver = HeldOutputDriver;
  if (!StartEngines(setup)) {
    std::fprintf(stderr, "san_fuzz: the engines could not be started\n");
    std::abort();
  }
  if (const char* dir = std::getenv("MV_FUZZ_TEXT")) {
    std::string d = dir;
    LoadTextResource(nullptr, (d + "/COBALT2.TRS").c_str());
    std::string a = d + "/TALKFONT.NUT", b = d + "/SMALFONT.NUT", c = d + "/TITLFONT.NUT";
    const char* names[] = {a.c_str(), b.c_str(), c.c_str()};
    LoadFonts(nullptr, 3, names);
  }
  return true;
}

std::string TempPath() {
  // Memory-backed when /dev/shm is there: the file is rewritten every run.
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(base) + "/mv_san_fuzz_" + std::to_string(getpid()) + ".san";
}

}  // namespace

// A smaller quarantine than the default 256 MB: every input allocates the
// engines' buffers afresh, and with the default each allocation faulted in
// new pages. Use after free within an input is still caught.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = StartEngines();
  static const std::string path = TempPath();
  (void)started;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  g_frames = 0;
  g_passes = 0;
  const uint16_t play_flags = size != 0 ? kPlayFlagSets[data[size - 1] % 8] : 0;
  PlayAnimation(path.c_str(), 1, FuzzPass, play_flags, 15, kPlayNoThread);
  // Let what the file started play a little, then stop every sound so the
  // next input starts silent.
  for (uint32_t t = 0; t < kMaxSoundTailMs && SoundStatus(kAnySoundPlaying) != 0; t += 10)
    platform::AdvanceVirtualTime(10);
  // Every sound is stopped so that the next input starts silent. Restarting
  // the engine allocates and fills its 1.3 MB of channels, which cost more
  // than most inputs' play: it is restarted only when the file changed the
  // engine's settings.
  StopAllSounds();
  bool settled = SoundMasterVolume() == 127 && SoundDuckGain() == 256;
  for (int i = 0; settled && i < 256; ++i) settled = SoundVariable(i) == 0;
  if (!settled) {
    SoundShutdown();
    SoundInit(HeldOutputDriver, kEngineSizes.output_rate, kEngineSizes.sound_reserve,
              kEngineSizes.channel_sizes);
  }
  ClearLogs();
  std::remove(path.c_str());
  return 0;
}
