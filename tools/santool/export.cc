// Deterministic export: the real engines on the headless backend under the
// virtual clock, one indexed PNG per frame and what the sound card played.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "decoder/decoder.h"
#include "display/display.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "imageio/imageio.h"
#include "platform/dsound.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "santool/santool.h"
#include "shell/log.h"
#include "sound/output.h"
#include "sound/sound.h"
#include "stream/stream.h"
#include "text/font.h"
#include "text/resource.h"
#include "timer/timer.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int32_t kOutputRate = 22050;
constexpr int32_t kChannelSizes[] = {100, 100, 100000, 100000, 80000, 80000, 800000, 0};
constexpr uint32_t kAudioTailLimitMs = 10000;
// What is mixed ahead in the output buffer reaches the card this much later.
constexpr uint32_t kOutputLatencyMs = 5 * 1024 * 1000 / 22050 + 1;

std::string g_frames_dir;
int16_t g_frame_number = -1;
int16_t g_frame_count = 0;
int32_t g_frames_written = 0;
bool g_write_failed = false;
// What the screen shows: a frame that is not presented keeps the previous
// picture, while its palette still takes effect.
std::vector<uint8_t> g_screen(size_t(kWidth) * kHeight, 0);

int16_t ExportFrameDone(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t number,
                        int16_t count) {
  g_frame_number = number;
  g_frame_count = count;
  if (number >= count) AbortAnimation();
  return 0;
}

void ExportPresent(RenderBitmap* bitmap, const ClipRect*, uint16_t, int32_t, int32_t show,
                   int16_t) {
  const Surface* s = RenderBitmapSurface(bitmap);
  if (show) {
    for (int y = 0; y < kHeight && y < s->height; ++y)
      std::memcpy(&g_screen[size_t(y) * kWidth], s->pixels + size_t(y) * s->width,
                  std::min<size_t>(kWidth, s->width));
  }
  if (g_frame_number < 0 || g_frame_number >= g_frame_count) return;
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", int(g_frame_number));
  imageio::IoResult r = imageio::WritePng8(g_frames_dir + "/" + name, kWidth, kHeight, kWidth,
                                           g_screen.data(), CurrentPalette());
  if (!r) {
    std::fprintf(stderr, "santool: %s\n", r.message.c_str());
    g_write_failed = true;
    return;
  }
  ++g_frames_written;
}

LRESULT ExportWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, msg, wparam, lparam);
}

bool IsDamageMessage(const std::string& m) {
  return m.rfind("Bad IFF Header found", 0) == 0 ||
         m.rfind("Read invalid frame header", 0) == 0 ||
         m.rfind("File Streamer:  Invalid frame size", 0) == 0;
}

}  // namespace

int RunExport(const std::vector<std::string>& args) {
  std::string file, audio, strings;
  std::vector<std::string> fonts;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--frames" && i + 1 < args.size()) {
      g_frames_dir = args[++i];
    } else if (args[i] == "--audio" && i + 1 < args.size()) {
      audio = args[++i];
    } else if (args[i] == "--strings" && i + 1 < args.size()) {
      strings = args[++i];
    } else if (args[i] == "--fonts" && i + 1 < args.size()) {
      // Comma-separated, loaded in order as the session loads its three.
      std::string list = args[++i];
      for (size_t start = 0; start <= list.size();) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) fonts.push_back(list.substr(start, comma - start));
        start = comma + 1;
      }
    } else if (file.empty() && args[i].rfind("--", 0) != 0) {
      file = args[i];
    } else {
      std::fprintf(stderr, "santool export: unexpected argument %s\n", args[i].c_str());
      return 2;
    }
  }
  if (file.empty() || g_frames_dir.empty()) {
    std::fprintf(stderr,
                 "usage: santool export FILE.san --frames DIR [--audio OUT.wav]\n"
                 "                      [--strings FILE.TRS] [--fonts A.NUT,B.NUT,...]\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(g_frames_dir, ec);

  platform::SetClockMode(platform::ClockMode::kVirtual);
  platform::headless::SetAudioCapture(true);
  ClearLogs();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ExportWindowProc;
  wc.lpszClassName = "SanToolExport";
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, "SanToolExport", "santool", 0, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, nullptr, nullptr);
  DisplayStartup(window, kDisplayWordDirectDraw | kDisplayWordPageFlipping);
  int exit_code = 0;
  bool started = false;
  if (SetVideoMode(19, nullptr, nullptr) == 0 && TimerInit() == 0 &&
      StreamInit(400000, 300000) == 0 && FrameEngineInit(nullptr, 300000, 400000) == 0 &&
      AnimationEngineInit(nullptr, ExportFrameDone, kWidth, kHeight) == 0) {
    started = true;
    InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, kWidth, kHeight);
    SoundInit(SoundDriverProc, kOutputRate, 200000, kChannelSizes);
    SetPresentCallback(ExportPresent);
    // The text the player's session loads for its first demonstration; the
    // file's "TRES" chunks and font escapes need them to look as they do there.
    if (!strings.empty()) LoadTextResource(nullptr, strings.c_str());
    std::vector<const char*> font_names;
    for (const std::string& f : fonts) font_names.push_back(f.c_str());
    if (!font_names.empty()) LoadFonts(nullptr, int(font_names.size()), font_names.data());
    if (PlayAnimation(file.c_str(), 1, nullptr, 0, 15, kPlayNoThread) != 0) exit_code = 1;
    SetPresentCallback(nullptr);
    FreeTextResource(nullptr);
    FreeFonts(nullptr);
    // Let the sounds play out, then what is queued in the output buffer.
    uint32_t waited = 0;
    while (waited < kAudioTailLimitMs && SoundStatus(kAnySoundPlaying) != 0) {
      platform::AdvanceVirtualTime(1);
      ++waited;
    }
    platform::AdvanceVirtualTime(kOutputLatencyMs);
    std::vector<uint8_t> sound = platform::headless::TakeCapturedAudio();
    if (!audio.empty()) {
      imageio::IoResult r = imageio::WriteWav8(audio, sound, uint32_t(kOutputRate));
      if (!r) {
        std::fprintf(stderr, "santool: %s\n", r.message.c_str());
        exit_code = 1;
      }
    }
    SoundShutdown();
    ShutdownDecoder();
  } else {
    std::fprintf(stderr, "santool export: the engines could not be started\n");
    exit_code = 1;
  }
  if (started) {
    AnimationEngineShutdown();
    FrameEngineShutdown();
    StreamShutdown();
  }
  RestoreVideoMode();
  DisplayShutdown();
  DestroyWindow(window);
  platform::headless::SetAudioCapture(false);

  bool damaged = false;
  for (const std::string& e : ErrorLogEntries()) {
    std::fprintf(stderr, "%s\n", e.c_str());
    if (IsDamageMessage(e)) damaged = true;
  }
  if (exit_code == 0 && (damaged || g_frames_written < g_frame_count || g_write_failed))
    exit_code = 1;
  if (exit_code == 0)
    std::fprintf(stdout, "%d frames written to %s\n", int(g_frames_written), g_frames_dir.c_str());
  return exit_code;
}
