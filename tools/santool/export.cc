// Deterministic export: the real engines on the headless backend under the
// virtual clock, one indexed PNG per frame and what the sound card played.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "display/display.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "imageio/imageio.h"
#include "imageio/output.h"
#include "platform/dsound.h"
#include "platform/files.h"
#include "platform/memory/model.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "santool/santool.h"
#include "engines/engines.h"
#include "santool/scan.h"
#include "base/log.h"
#include "base/trace.h"
#include "sound/sound.h"
#include "text/font.h"
#include "text/resource.h"

namespace {

constexpr int kWidth = kEngineSizes.width;
constexpr int kHeight = kEngineSizes.height;
constexpr int32_t kOutputRate = kEngineSizes.output_rate;
constexpr uint32_t kAudioTailLimitMs = 10000;
// What is mixed ahead in the output buffer reaches the card this much later.
constexpr uint32_t kOutputLatencyMs = 5 * 1024 * 1000 / kOutputRate + 1;

std::string g_frames_dir;
int16_t g_frame_number = -1;
int16_t g_frame_count = 0;
int32_t g_frames_written = 0;
bool g_write_failed = false;
int g_from = 0, g_to = INT32_MAX;  // frames written
int g_scale = 1;
bool g_progress = false;  // a progress line on stderr
std::vector<uint8_t> g_scaled;
// What the screen shows: a frame that is not presented keeps the previous
// picture, while its palette still takes effect.
std::vector<uint8_t> g_screen(size_t(kWidth) * kHeight, 0);

int16_t ExportFrameDone(RenderBitmap*, const ClipRect*, int16_t, int16_t, int16_t number,
                        int16_t count) {
  g_frame_number = number;
  g_frame_count = count;
  if (number >= count || number > g_to) AbortAnimation();
  if (g_progress && number < count) {
    std::fprintf(stderr, "\rsantool: frame %d of %d", int(number) + 1, int(count));
    std::fflush(stderr);
  }
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
  if (g_write_failed || g_frame_number < 0 || g_frame_number >= g_frame_count) return;
  if (g_frame_number < g_from || g_frame_number > g_to) return;
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", int(g_frame_number));
  const uint8_t* pixels = g_screen.data();
  int n = g_scale;
  if (n > 1) {
    g_scaled.resize(size_t(kWidth) * n * kHeight * n);
    for (int y = 0; y < kHeight * n; ++y)
      for (int x = 0; x < kWidth * n; ++x)
        g_scaled[size_t(y) * kWidth * n + x] = g_screen[size_t(y / n) * kWidth + x / n];
    pixels = g_scaled.data();
  }
  imageio::IoResult r = imageio::WritePng8(g_frames_dir + "/" + name, kWidth * n, kHeight * n,
                                           kWidth * n, pixels, CurrentPalette());
  if (!r) {
    if (g_progress) std::fprintf(stderr, "\n");
    g_progress = false;
    // The first picture that cannot be written ends the run; the reason is named once.
    std::fprintf(stderr, "santool: %s\n", r.message.c_str());
    g_write_failed = true;
    AbortAnimation();
    return;
  }
  ++g_frames_written;
}

LRESULT ExportWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, msg, wparam, lparam);
}

// Refuses the run when an input is one of the numbered pictures that
// preparing the frame folder would remove.
bool InFrameFolder(const std::string& input, const std::string& dir) {
  std::string host = platform::ResolvePath(input.c_str());
  size_t slash = host.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : host.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
  struct stat a, b;
  if (stat(folder.c_str(), &a) != 0 || stat(dir.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && name.rfind("frame_", 0) == 0 &&
         name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "santool: %s\n", message.c_str());
  return 1;
}

}  // namespace

int RunExport(const ExportOptions& options) {
  const std::string& file = options.file;
  std::vector<std::string> fonts;
  for (const std::string& f : options.fonts) {
    if (!f.empty()) fonts.push_back(f);
  }
  // Everything is checked before anything is written, so a run that cannot
  // succeed leaves nothing behind.
  std::vector<std::string> inputs = {file};
  if (!options.strings.empty()) inputs.push_back(options.strings);
  inputs.insert(inputs.end(), fonts.begin(), fonts.end());
  // The engines read the checksum file beside the animation as well.
  struct stat st;
  if (santool::CheckInput(file).empty()) {
    const std::string checksums = santool::ChecksumPath(file);
    if (!checksums.empty() && stat(checksums.c_str(), &st) == 0) inputs.push_back(checksums);
  }
  bool refused = false;
  for (const std::string& input : inputs) {
    std::string error = santool::CheckInput(input);
    if (!error.empty()) refused = Fail(error);
  }
  if (refused) return 1;
  santool::Report scan;
  std::string error;
  if (!santool::Scan(file, &scan, &error)) return Fail(error);
  if (scan.frames.empty() || scan.frame_count <= 0) {
    for (const santool::Damage& d : scan.damage)
      Fail(file + ": damage at " + std::to_string(d.offset) + ": " + d.what);
    return Fail(file + ": no frames to export (the header says " +
                std::to_string(scan.frame_count) + ", the file holds " +
                std::to_string(scan.frames.size()) + ")");
  }
  // Frame numbers as info prints them, 0 first.
  int last = scan.frame_count - 1;
  int to = options.to < 0 ? last : options.to;
  if (options.from > to) {
    std::fprintf(stderr, "santool: --from %d is after --to %d\n", options.from, to);
    return 2;
  }
  if (to > last)
    return Fail(file + ": --to " + std::to_string(to) + " is past the last frame, " +
                std::to_string(last));
  // A fresh start for each run (the tests export many times in one process).
  g_frame_number = -1;
  g_frame_count = 0;
  g_frames_written = 0;
  g_write_failed = false;
  std::fill(g_screen.begin(), g_screen.end(), 0);
  g_from = options.from;
  g_to = to;
  g_scale = options.scale;
  // Long files show how far the run is, on a terminal only.
  g_progress = isatty(STDERR_FILENO) && scan.frame_count > 30;
  std::vector<std::string> host_inputs;
  for (const std::string& input : inputs)
    host_inputs.push_back(platform::ResolvePath(input.c_str()));
  for (const std::string* output : {&options.audio, &options.trace}) {
    if (output->empty()) continue;
    imageio::IoResult r = imageio::CheckOutput(*output, host_inputs);
    if (!r) refused = Fail(r.message);
  }
  if (stat(options.frames.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    refused = Fail(options.frames + ": is not a folder");
  for (const std::string& input : host_inputs) {
    if (InFrameFolder(input, options.frames))
      refused = Fail(input + ": is one of the input files and would be replaced by a frame");
  }
  if (refused) return 1;
  imageio::IoResult prepared = imageio::PrepareFrameFolder(options.frames, "frame");
  if (!prepared) return Fail(prepared.message);
  g_frames_dir = options.frames;

  platform::SetClockMode(platform::ClockMode::kVirtual);
  platform::memory::SetAudioCapture(true);
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
  EngineSetup setup;
  setup.frame_done = ExportFrameDone;
  setup.last = kEngineSound;  // no keyboard: nothing is typed into an export
  std::optional<imageio::OutputFile> trace_file;
  if (!options.trace.empty()) {
    trace_file.emplace(options.trace);
    imageio::BeginTraceInto(*trace_file);
  }
  if (StartEngines(setup)) {
    SetPresentCallback(ExportPresent);
    // The text the player's session loads for its first demonstration; the
    // file's "TRES" chunks and font escapes need them to look as they do there.
    if (!options.strings.empty() && LoadTextResource(nullptr, options.strings.c_str()) != 0)
      exit_code = 1;
    std::vector<const char*> font_names;
    for (const std::string& f : fonts) font_names.push_back(f.c_str());
    if (!font_names.empty() && LoadFonts(nullptr, int(font_names.size()), font_names.data()) != 0)
      exit_code = 1;
    // Host paths may be of any length; the engines get a short alias.
    std::string engine_name = platform::ShortEngineName(file);
    if (exit_code == 0 && PlayAnimation(engine_name.c_str(), 1, nullptr, 0, 15, kPlayNoThread) != 0)
      exit_code = 1;
    SetPresentCallback(nullptr);
    if (g_progress) std::fprintf(stderr, "\n");
    FreeTextResource(nullptr);
    FreeFonts(nullptr);
    // Let the sounds play out, then what is queued in the output buffer.
    uint32_t waited = 0;
    while (waited < kAudioTailLimitMs && SoundStatus(kAnySoundPlaying) != 0) {
      platform::AdvanceVirtualTime(1);
      ++waited;
    }
    platform::AdvanceVirtualTime(kOutputLatencyMs);
    std::vector<uint8_t> sound = platform::memory::TakeCapturedAudio();
    if (!options.audio.empty()) {
      imageio::IoResult r = imageio::WriteWav8(options.audio, sound, uint32_t(kOutputRate));
      if (!r) {
        std::fprintf(stderr, "santool: %s\n", r.message.c_str());
        exit_code = 1;
      }
    }
    StopEngines(kEngineSound);
    if (trace_file) {
      trace::End();
      if (imageio::IoResult r = trace_file->Commit(); !r) {
        std::fprintf(stderr, "santool: %s\n", r.message.c_str());
        exit_code = 1;
      }
    }
  } else {
    std::fprintf(stderr, "santool export: the engines could not be started\n");
    exit_code = 1;
  }
  DisplayShutdown();
  DestroyWindow(window);
  platform::memory::SetAudioCapture(false);

  for (const std::string& e : ErrorLogEntries())
    std::fprintf(stderr, "%s\n", platform::ExpandAliases(e).c_str());  // host paths, not aliases
  // Any recorded error, damage found in the file, or a frame short of the
  // header's count fails the run.
  bool failed = exit_code != 0 || ErrorCount() > 0 || g_write_failed;
  for (const santool::Damage& d : scan.damage)
    failed = Fail(file + ": damage at " + std::to_string(d.offset) + ": " + d.what);
  if (!failed && g_frames_written < g_to - g_from + 1) {
    Fail(std::to_string(g_frames_written) + " of " + std::to_string(g_to - g_from + 1) +
         " frames written");
    failed = true;
  }
  if (failed) return 1;
  std::fprintf(stdout, "%d frames written to %s\n", int(g_frames_written), g_frames_dir.c_str());
  return 0;
}
