// morvane-demos: takes the platform options off the command line, sets up the
// chosen backend and runs the launcher with the remaining words. When the
// process ends the error log goes to stderr, oldest entry first.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imageio/imageio.h"
#include "platform/dsound.h"
#include "platform/files.h"
#include "platform/headless/screen.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/ui.h"
#include "shell/launcher.h"
#include "shell/log.h"
#include "shell/options.h"
#ifdef MV_HAVE_SDL
#include "platform/sdl/sdl_platform.h"
#endif

namespace {

constexpr uint32_t kAudioRate = 22050;

bool MakeDirectories(const std::string& path) {
  std::string partial;
  for (size_t pos = 0; pos <= path.size();) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    partial = path.substr(0, next);
    if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutablePath(const char* argv0) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n > 0) return std::string(buffer, static_cast<size_t>(n));
  if (argv0 != nullptr && realpath(argv0, buffer) != nullptr) return buffer;
  return argv0 ? argv0 : "";
}

std::vector<ScriptedKey> g_keys;
std::vector<ScriptedKey> g_screen_keys;
std::vector<ScriptedActivation> g_screen_activations;
size_t g_next_screen_key = 0;
size_t g_next_screen_activation = 0;
const ScriptedKey* g_last_screen_key = nullptr;
uint32_t g_screens = 0;
std::string g_capture_dir;
int g_captured = 0;
bool g_capture_failed = false;

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

int16_t KeyState(int vk) {
  int16_t state = ScriptedKeyState(g_keys, timeGetTime(), vk);
  if (g_last_screen_key != nullptr)
    state |= ScriptedKeyState({*g_last_screen_key}, g_last_screen_key->time, vk);
  return state;
}

void CaptureScreen(const platform::headless::Screen& screen) {
  if (g_capture_dir.empty() || g_capture_failed || screen.width <= 0 || screen.height <= 0)
    return;
  char name[32];
  std::snprintf(name, sizeof(name), "/screen_%05d.png", g_captured);
  imageio::IoResult result = imageio::WritePng8(g_capture_dir + name, screen.width, screen.height,
                                                screen.pitch, screen.indices.data(),
                                                screen.palette.data());
  if (!result) {
    std::fprintf(stderr, "morvane-demos: %s\n", result.message.c_str());
    g_capture_failed = true;  // one message, not one per frame
    return;
  }
  ++g_captured;
}

// Input tied to frames: sent once so many screens have become visible.
void OnScreen(const platform::headless::Screen& screen) {
  CaptureScreen(screen);
  ++g_screens;
  while (g_next_screen_key < g_screen_keys.size() &&
         g_screen_keys[g_next_screen_key].time <= g_screens) {
    const ScriptedKey& key = g_screen_keys[g_next_screen_key++];
    g_last_screen_key = &key;
    PostMessageA(MainWindow(), key.message, static_cast<WPARAM>(key.virtual_key), 1);
  }
  while (g_next_screen_activation < g_screen_activations.size() &&
         g_screen_activations[g_next_screen_activation].time <= g_screens) {
    const ScriptedActivation& a = g_screen_activations[g_next_screen_activation++];
    PostMessageA(MainWindow(), WM_ACTIVATEAPP, static_cast<WPARAM>(a.active), 0);
  }
}

int SetUpHeadless(const PlatformOptions& options) {
  platform::SetClockMode(options.clock == PlatformOptions::Clock::kReal
                             ? platform::ClockMode::kReal
                             : platform::ClockMode::kVirtual);
  platform::SetScriptedChoices(options.choices);

  g_keys = options.keys;
  for (const ScriptedKey& key : g_keys)
    platform::ScheduleMessage(key.time, key.message, static_cast<WPARAM>(key.virtual_key), 1);
  g_screen_keys = options.screen_keys;
  g_screen_activations = options.screen_activations;
  if (!g_keys.empty() || !g_screen_keys.empty()) platform::SetKeyStateSource(KeyState);
  for (const ScriptedActivation& a : options.activations)
    platform::ScheduleMessage(a.time, WM_ACTIVATEAPP, static_cast<WPARAM>(a.active), 0);

  if (!options.capture_dir.empty()) {
    if (!MakeDirectories(options.capture_dir)) {
      std::fprintf(stderr, "morvane-demos: cannot make the capture folder %s\n",
                   options.capture_dir.c_str());
      return 2;
    }
    g_capture_dir = Absolute(options.capture_dir);
  }
  if (!g_capture_dir.empty() || !g_screen_keys.empty() || !g_screen_activations.empty())
    platform::headless::SetScreenObserver(OnScreen);
  if (!options.audio_out.empty()) platform::headless::SetAudioCapture(true);

  // Private unless named, so parallel runs never meet.
  platform::SetInstanceDirectory(options.instance_dir_given ? Absolute(options.instance_dir) : "");
  platform::SetFocusRequestHandler(
      [] { std::fprintf(stderr, "morvane-demos: another copy asked for the focus\n"); });
  return 0;
}

#ifdef MV_HAVE_SDL
int SetUpSdl(const PlatformOptions& options) {
  platform::sdl::Options sdl_options;
  sdl_options.window = options.window;
  sdl_options.scale = options.scale;
  sdl_options.aspect = options.aspect;
  std::string error;
  if (!platform::sdl::Install(sdl_options, &error)) {
    std::fprintf(stderr, "morvane-demos: %s\n", error.c_str());
    return 1;
  }
  // Every copy of the user meets the first one there unless a folder is named.
  platform::SetInstanceDirectory(options.instance_dir_given ? Absolute(options.instance_dir)
                                                            : platform::DefaultInstanceDirectory());
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  PlatformOptions options = ParsePlatformOptions(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "morvane-demos: %s\nTry 'morvane-demos --help'.\n", options.error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(PlatformOptionsHelp(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("morvane-demos 0.1.0\n");
    return 0;
  }
  const bool sdl = options.backend == PlatformOptions::Backend::kSdl;
  // The captures read the headless screen and sound card; under SDL they would
  // silently write nothing.
  if (sdl && (!options.audio_out.empty() || !options.capture_dir.empty())) {
    std::fprintf(stderr,
                 "morvane-demos: --capture and --audio-out need --platform=headless\n"
                 "Try 'morvane-demos --help'.\n");
    return 2;
  }
  if (sdl) {
#ifdef MV_HAVE_SDL
    if (int rc = SetUpSdl(options); rc != 0) return rc;
#else
    std::fprintf(stderr,
                 "morvane-demos: the SDL backend is not part of this build; "
                 "run with --platform=headless\n");
    return 1;
#endif
  } else if (int rc = SetUpHeadless(options); rc != 0) {
    return rc;
  }

  // The launcher makes the data folder current: output paths are fixed first.
  const std::string audio_out = Absolute(options.audio_out);
  platform::SetModulePath(ExecutablePath(argc > 0 ? argv[0] : nullptr));
  SetDataDirectory(options.data_dir);
  ClearLogs();

  std::vector<char> command_line(options.command_line.begin(), options.command_line.end());
  command_line.push_back('\0');
  int result = LauncherMain(GetModuleHandleA(nullptr), nullptr, command_line.data(), 1);
#ifdef MV_HAVE_SDL
  if (sdl) platform::sdl::Uninstall();
#endif

  platform::headless::SetScreenObserver(nullptr);
  if (!options.audio_out.empty()) {
    std::vector<uint8_t> audio = platform::headless::TakeCapturedAudio();
    imageio::IoResult written = imageio::WriteWav8(audio_out, audio, kAudioRate);
    if (!written) std::fprintf(stderr, "morvane-demos: %s\n", written.message.c_str());
  }
  for (const std::string& entry : ErrorLogEntries()) std::fprintf(stderr, "%s\n", entry.c_str());
  return result;
}
