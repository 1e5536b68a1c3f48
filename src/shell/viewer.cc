// The viewer: one engine start-up for all files, each file played through
// the session's text and present callbacks, the keys read once per pass of
// the playback loop (so that they act while paused too).
#include "shell/viewer.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "base/log.h"
#include "display/display.h"
#include "engines/engines.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "imageio/imageio.h"
#include "input/keyboard.h"
#include "platform/files.h"
#include "platform/mmsystem.h"
#include "platform/overlay.h"
#include "platform/ui.h"
#include "shell/launcher.h"
#include "shell/session.h"
#include "sound/output.h"
#include "sound/sound.h"
#include "text/font.h"
#include "text/resource.h"

namespace {

// The viewer's keys (key codes of the key queue).
constexpr uint16_t kViewerKeyPause = ' ';
constexpr uint16_t kViewerKeyStep = 333;     // Right
constexpr uint16_t kViewerKeyRestart = 327;  // Home
constexpr uint16_t kViewerKeyOverlay = 9;    // Tab
constexpr uint16_t kViewerKeyPicture = 353;  // F12

// The speeds +/- step through, in quarters.
constexpr int16_t kViewerSpeeds[] = {1, 2, 3, 4, 6, 8, 12, 16};

constexpr int kWidth = kEngineSizes.width;
constexpr int kHeight = kEngineSizes.height;
constexpr uint32_t kOverlayPeriodMs = 250;
constexpr int kNormalSpeed = 3;  // index of 1x in kViewerSpeeds

struct Viewer {
  const ViewerOptions* options = nullptr;
  std::string file;  // host path of the file playing
  bool quit = false;
  bool restart = false;
  bool failed = false;
  bool paused = false;
  bool active = true;
  int speed = kNormalSpeed;
  int16_t frame = -1;
  int16_t count = 0;
  uint32_t elapsed_ms = 0;
  uint32_t last_ms = 0;
  bool overlay = false;
  uint32_t overlay_ms = 0;
  // What the screen shows: the last picture presented and the palette set.
  std::vector<uint8_t> screen = std::vector<uint8_t>(size_t(kWidth) * kHeight, 0);
  std::array<uint8_t, kPaletteBytes> palette{};
};

Viewer g;

void Say(const std::string& message) {
  std::fprintf(stderr, "morvane-demos: %s\n", message.c_str());
}

std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// A file of `folder` by name, whatever its case; empty when there is none.
std::string FindBeside(const std::string& folder, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string found = entry.path().filename().string();
    if (strcasecmp(found.c_str(), name.c_str()) == 0 && entry.is_regular_file(error))
      return entry.path().string();
  }
  return {};
}

// Fonts and strings: as given, or the first demonstration's when the
// file's folder holds them (all fonts, or none), else when the data folder's
// cv2vid does.
void TextFor(const std::string& file, std::string* strings, std::vector<std::string>* fonts) {
  *strings = g.options->strings;
  *fonts = g.options->fonts;
  auto bundled = [](const char* engine_name) {
    return std::string(std::strrchr(engine_name, '\\') + 1);
  };
  std::vector<std::string> folders = {std::filesystem::path(file).parent_path().string()};
  if (!g.options->data_dir.empty()) {
    const std::string engine_folder(kSessionStringFile, std::strchr(kSessionStringFile, '\\'));
    folders.push_back(platform::ResolvePath((g.options->data_dir + "/" + engine_folder).c_str()));
  }
  for (const std::string& folder : folders) {
    if (strings->empty()) *strings = FindBeside(folder, bundled(kSessionStringFile));
    if (!fonts->empty()) continue;
    for (const char* name : kSessionFontFiles) {
      std::string found = FindBeside(folder, bundled(name));
      if (found.empty()) {
        fonts->clear();
        break;
      }
      fonts->push_back(found);
    }
  }
}

// "<stem>-<frame, 5 digits>.png" in `dir`, with "-1", "-2"... before ".png"
// while the name is taken.
std::string PictureName(const std::string& dir, const std::string& file, int frame) {
  char number[16];
  std::snprintf(number, sizeof number, "-%05d", frame);
  const std::string stem = dir + "/" + std::filesystem::path(file).stem().string() + number;
  std::string name = stem + ".png";
  struct stat st;
  for (int n = 1; lstat(name.c_str(), &st) == 0; ++n)
    name = stem + "-" + std::to_string(n) + ".png";
  return name;
}

std::string SpeedText() {
  static const char* const kNames[] = {"0.25x", "0.5x", "0.75x", "1x", "1.5x", "2x", "3x", "4x"};
  return kNames[g.speed];
}

void UpdateOverlay(bool now) {
  if (!g.overlay) return;
  const uint32_t time = timeGetTime();
  if (!now && time - g.overlay_ms < kOverlayPeriodMs) return;
  g.overlay_ms = time;
  const PlayerState player = InspectPlayer();
  const int shown = g.frame < 0 ? 0 : std::min<int>(g.frame + 1, g.count);
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "elapsed %u:%02u.%u%s", g.elapsed_ms / 60000,
                g.elapsed_ms / 1000 % 60, g.elapsed_ms / 100 % 10, g.paused ? "  paused" : "");
  platform::SetOverlay({BaseName(g.file),
                        "frame " + std::to_string(shown) + " / " + std::to_string(g.count),
                        std::to_string(player.frames_per_second) + " fps at " + SpeedText(),
                        elapsed, "dropped frames " + std::to_string(player.late_frames)});
}

void SetPaused(bool paused) {
  if (paused == g.paused) return;
  g.paused = paused;
  SetPlaybackPaused(paused);
  SetSoundOutputActive(g.active && !paused);
}

void SetSpeed(int speed) {
  g.speed = std::clamp<int>(speed, 0, std::size(kViewerSpeeds) - 1);
  SetPlaybackSpeed(kViewerSpeeds[g.speed]);
  SetSoundOutputMuted(g.speed != kNormalSpeed);
}

void SavePicture() {
  const std::string name = PictureName(g.options->picture_dir, g.file, g.frame < 0 ? 0 : g.frame);
  imageio::IoResult r =
      imageio::WritePng8(name, kWidth, kHeight, kWidth, g.screen.data(), g.palette.data());
  if (!r) {
    Say(r.message);
    g.failed = true;
    return;
  }
  std::printf("saved %s\n", name.c_str());
  std::fflush(stdout);
}

void HandleKey(uint16_t code) {
  code &= kKeyMask | kKeySystem;
  switch (code) {
    case kKeyEscape:
    case kKeyAltX:
    case kKeyAltF4:
      g.quit = true;
      AbortAnimation();
      break;
    case kViewerKeyPause:
      SetPaused(!g.paused);
      break;
    case kViewerKeyStep:
      StepPlayback();
      break;
    case kViewerKeyRestart:
      g.restart = true;
      AbortAnimation();
      break;
    case '+':
    case '=':
    case 0x2000 | '+':
      SetSpeed(g.speed + 1);
      break;
    case '-':
    case '_':
    case 0x2000 | '-':
      SetSpeed(g.speed - 1);
      break;
    case kViewerKeyPicture:
      SavePicture();
      break;
    case kViewerKeyOverlay:
      g.overlay = !g.overlay;
      if (!g.overlay) platform::SetOverlay({});
      break;
    default:
      return;
  }
  UpdateOverlay(true);
}

// Once per pass of the playback loop: keys, playing time, the overlay.
void ViewerPass() {
  while (uint16_t code = ReadKey(1)) HandleKey(code);
  const uint32_t now = timeGetTime();
  if (!g.paused && g.active) g.elapsed_ms += now - g.last_ms;
  g.last_ms = now;
  UpdateOverlay(false);
}

int16_t ViewerFrameDone(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t number,
                        int16_t count) {
  g.frame = number;
  g.count = count;
  // The header has set the file's rate by now: a fresh tick plays at it.
  if (number == 0) SetPlaybackSpeed(kViewerSpeeds[g.speed]);
  if (number >= count) AbortAnimation();
  return 0;
}

void ViewerPresent(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags,
                   int32_t full_palette, int32_t show, int16_t palette_state) {
  if (show) {
    const Surface* s = RenderBitmapSurface(bitmap);
    for (int y = 0; y < kHeight && y < s->height; ++y)
      std::memcpy(&g.screen[size_t(y) * kWidth], s->pixels + size_t(y) * s->width,
                  std::min<size_t>(kWidth, s->width));
  }
  if (palette_state != 0) std::memcpy(g.palette.data(), CurrentPalette(), kPaletteBytes);
  SessionPresent(bitmap, clip, frame_flags, full_palette, show, palette_state);
}

// Losing the screen pauses as the demonstrations do; regaining it does not
// end the viewer's own pause.
void ViewerActivation(int32_t active) {
  g.active = active != 0;
  SetSoundOutputActive(g.active && !g.paused);
  SetPlaybackActive(active);
}

void PlayFile(const std::string& file) {
  g.file = file;
  std::string strings;
  std::vector<std::string> fonts;
  TextFor(file, &strings, &fonts);
  // Host paths may be of any length; the engines get short aliases.
  if (!strings.empty() &&
      LoadTextResource(nullptr, platform::ShortEngineName(strings).c_str()) != 0)
    g.failed = true;
  std::vector<std::string> font_names;
  for (const std::string& font : fonts) font_names.push_back(platform::ShortEngineName(font));
  std::vector<const char*> font_pointers;
  for (const std::string& name : font_names) font_pointers.push_back(name.c_str());
  if (!font_pointers.empty() &&
      LoadFonts(nullptr, int(font_pointers.size()), font_pointers.data()) != 0)
    g.failed = true;
  const std::string engine_name = platform::ShortEngineName(file);
  do {
    g.restart = false;
    g.frame = -1;
    g.count = 0;
    g.elapsed_ms = 0;
    g.last_ms = timeGetTime();
    SetPaused(false);
    UpdateOverlay(true);
    if (PlayAnimation(engine_name.c_str(), 1, ViewerPass, 0, kSessionFramesPerSecond, 0) != 0)
      g.failed = true;
    // A restart starts the file's sound again too: nothing of the run it
    // ended plays on over the new one.
    if (g.restart) StopAllSounds();
  } while (g.restart && !g.quit && !g.failed);
  // An empty file ends without a word from the engines; it played nothing.
  if (g.frame < 0 && !g.quit) {
    Say("cannot play " + file + ": no frame could be shown");
    g.failed = true;
  }
  SetPaused(false);
  FreeTextResource(nullptr);
  FreeFonts(nullptr);
}

// What the last file leaves sounding plays out rather than being cut off at
// its last frame: for as long as the sounds last, at most ten seconds, and
// the viewer's keys still work (Escape ends it at once).
void PlayOutSounds() {
  constexpr uint32_t kTailLimitMs = 10000;
  // The output's buffer: what was mixed last is heard this much later.
  constexpr uint32_t kBufferMs =
      uint32_t(kOutputBlockCount * kOutputBlockLength * 1000 / kEngineSizes.output_rate + 1);
  uint32_t start = timeGetTime();
  bool sounding = true;
  while (!g.quit) {
    const uint32_t waited = timeGetTime() - start;
    if (sounding && (SoundStatus(kAnySoundPlaying) == 0 || waited >= kTailLimitMs)) {
      sounding = false;
      start = timeGetTime();
    } else if (!sounding && waited >= kBufferMs) {
      break;
    }
    PumpMessage();
    while (uint16_t code = ReadKey(1)) HandleKey(code);
  }
}

}  // namespace

int ViewerMain(HINSTANCE instance, const ViewerOptions& options) {
  g = Viewer{};
  g.options = &options;
  if (!RegisterMainClass(instance)) return -1;
  HWND window = CreateMainWindow(instance);
  if (window == nullptr) return -1;
  MoveWindow(window, 0, 0, GetSystemMetrics(0), GetSystemMetrics(1), TRUE_);
  if (DisplayStartup(window, DisplayModeWord()) != 0) {
    DestroyWindow(window);
    return -1;
  }
  EngineSetup setup;
  setup.text = SessionText;
  setup.frame_done = ViewerFrameDone;
  if (StartEngines(setup)) {
    SetActivationHandler(ViewerActivation);
    SetPlayingFlag(1);
    SetPresentCallback(ViewerPresent);
    for (const std::string& file : options.files) {
      if (g.quit) break;
      const int errors = ErrorCount();
      PlayFile(file);
      // The log names the engines' findings; this names the file.
      if (ErrorCount() != errors) Say("errors while playing " + file);
    }
    PlayOutSounds();
    platform::SetOverlay({});
    SetPlaybackSpeed(kViewerSpeeds[kNormalSpeed]);
    SetSoundOutputMuted(false);
    SetPlayingFlag(0);
    SetActivationHandler(nullptr);
    SetPresentCallback(nullptr);
    StopEngines(kEngineKeyboard);
  } else {
    g.failed = true;
  }
  DisplayShutdown();
  DestroyWindow(window);
  return g.failed ? 1 : 0;
}
