// morvane-demos: takes the platform options off the command line, sets up the
// chosen backend and runs the launcher with the remaining words. When the
// process ends the error log goes to stderr, oldest entry first.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "imageio/output.h"
#include "platform/files.h"
#include "platform/headless/headless_platform.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/ui.h"
#include "shell/launcher.h"
#include "base/log.h"
#include "base/trace.h"
#include "shell/options.h"
#include "shell/viewer.h"
#ifdef MV_HAVE_SDL
#include "platform/sdl/sdl_platform.h"
#endif

namespace {

std::string ExecutablePath(const char* argv0) {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n > 0) return std::string(buffer, static_cast<size_t>(n));
  if (argv0 != nullptr && realpath(argv0, buffer) != nullptr) return buffer;
  return argv0 ? argv0 : "";
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

void SetUpHeadless(const PlatformOptions& options) {
  platform::headless::Options headless;
  headless.virtual_clock = options.clock != PlatformOptions::Clock::kReal;
  headless.choices = options.choices;
  headless.keys = options.keys;
  headless.screen_keys = options.screen_keys;
  headless.activations = options.activations;
  headless.screen_activations = options.screen_activations;
  headless.capture_dir = options.capture_dir;
  headless.audio_out = options.audio_out;
  headless.audio_max_seconds = options.audio_max_seconds;
  headless.instance_dir = options.instance_dir;
  platform::headless::Install(headless);
}

#ifdef MV_HAVE_SDL
int SetUpSdl(const PlatformOptions& options) {
  platform::sdl::Options sdl_options;
  sdl_options.window = options.window;
  sdl_options.scale = options.scale;
  sdl_options.aspect = options.aspect;
  if (options.instance_dir_given) sdl_options.instance_dir = options.instance_dir;
  std::string error;
  if (!platform::sdl::Install(sdl_options, &error)) {
    std::fprintf(stderr, "morvane-demos: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
#endif

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;
constexpr int kStatusTimeout = 3;

void Say(const std::string& message) { std::fprintf(stderr, "morvane-demos: %s\n", message.c_str()); }

std::string g_data_folder;  // absolute, once entered

// The error log, oldest first, after the folder its file names are relative to.
void PrintErrorLog() {
  if (ErrorCount() == 0) return;
  if (!g_data_folder.empty()) Say("data folder: " + g_data_folder);
  std::vector<std::string> entries = ErrorLogEntries();
  if (ErrorCount() > static_cast<int>(entries.size()))
    Say(std::to_string(ErrorCount()) + " errors; the last " + std::to_string(entries.size()) + ":");
  // Engines that record a loss at two levels repeat the line: said once.
  for (size_t i = 0; i < entries.size();) {
    size_t same = 1;
    while (i + same < entries.size() && entries[i + same] == entries[i]) ++same;
    // Host paths, not the short names the engines were given.
    const std::string entry = platform::ExpandAliases(entries[i]);
    if (same == 1) {
      std::fprintf(stderr, "%s\n", entry.c_str());
    } else {
      std::fprintf(stderr, "%s (%zu times)\n", entry.c_str(), same);
    }
    i += same;
  }
}

uint32_t g_timeout_seconds = 0;
bool g_headless = false;
// The trace is buffered and written whole at the end, like the sound file.
std::optional<imageio::OutputFile> g_trace_file;

// Set by whichever ends the run first: the run itself or the time limit.
std::atomic<bool> g_ending{false};

// Writes what the run was asked to record: the headless card's sound file
// (the backend goes with it) and the trace. False when one could not be
// written (said on stderr).
bool WriteOutputs() {
  bool ok = true;
  if (g_headless) ok = platform::headless::Uninstall();
  g_headless = false;
  if (g_trace_file) {
    trace::End();
    if (imageio::IoResult written = g_trace_file->Commit(); !written) {
      Say(written.message);
      ok = false;
    }
    g_trace_file.reset();
  }
  return ok;
}

// Scheduled at the end of --timeout: whatever the run was waiting for (a
// deactivation never undone, a file that never ends) it ends here, with
// what was captured up to now written.
void OnRunTimeout() {
  if (g_ending.exchange(true)) return;  // ending already, by itself or by the limit
  Say("stopped by --timeout after " + std::to_string(g_timeout_seconds) + " seconds");
  const bool written = WriteOutputs();
  PrintErrorLog();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(written ? kStatusTimeout : kStatusFailed);
}

// Makes the data folder current (`enter`), refusing one that cannot be
// entered. A folder that cannot be used is refused, never passed over for
// another.
bool EnterDataFolder(const std::string& given, const std::string& executable, bool enter = true) {
  std::string dir = given;
  if (dir.empty()) {
    size_t slash = executable.find_last_of('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : executable.substr(0, slash);
  }
  const std::string host = platform::ResolvePath(dir.c_str());
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    Say("cannot use the data folder " + dir + ": " + std::strerror(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    Say("cannot use the data folder " + dir + ": not a folder");
    return false;
  }
  if (!enter) {
    g_data_folder = Absolute(host);
    return true;
  }
  if (chdir(host.c_str()) != 0) {
    Say("cannot enter the data folder " + dir + ": " + std::strerror(errno));
    return false;
  }
  std::vector<char> cwd(PATH_MAX + 1);
  g_data_folder = getcwd(cwd.data(), cwd.size()) ? cwd.data() : host;
  return true;
}

struct Demonstration {
  uint16_t choice;
  std::vector<const char*> files;  // the first one is needed to play at all
};

const Demonstration kDemonstrations[] = {
    {kChoiceCobalt,
     {"cv2vid\\O_open_a.san", "cv2vid\\O_open_b.san", "CV2VID\\COBALT2.TRS",
      "CV2VID\\TALKFONT.NUT", "CV2VID\\SMALFONT.NUT", "CV2VID\\TITLFONT.NUT"}},
    {kChoiceLantern, {"lanvid\\demofrnt.san", "lanvid\\demoend.san"}},
};

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string HostName(const char* engine_name) {
  std::string name = engine_name;
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

// The demonstrations the command line lets play must have their first file:
// without it nothing would play and the run would only record the loss.
bool CheckDemonstrationData(const std::string& command_line) {
  ParseCommandLine(command_line.c_str());
  const bool chooser = ShowChooserFlag() != 0;
  const uint16_t chosen = DemoChoice() == kChoiceLantern ? kChoiceLantern : kChoiceCobalt;
  std::string expected;
  for (const Demonstration& demo : kDemonstrations) {
    if (!chooser && demo.choice != chosen) continue;
    if (IsFile(platform::ResolvePath(demo.files[0]))) return true;
    if (!expected.empty()) expected += "; or ";
    for (size_t i = 0; i < demo.files.size(); ++i)
      expected += (i ? ", " : "") + HostName(demo.files[i]);
  }
  Say("data folder: " + g_data_folder);
  Say("no demonstration data there: expected " + expected +
      " (case does not matter; --data=DIR names another folder)");
  return false;
}

// The files played: the viewer's and every data file of the demonstrations,
// as host paths (outputs may not be one).
std::vector<std::string> DataFiles(std::vector<std::string> files) {
  for (const Demonstration& demo : kDemonstrations)
    for (const char* name : demo.files) files.push_back(Absolute(platform::ResolvePath(name)));
  return files;
}

// Refuses outputs before anything is played or made: an output that is a
// folder or a data file, a sound file whose folder cannot be written, a
// capture folder that cannot be made or emptied of an earlier run.
bool PrepareOutputs(const PlatformOptions& options) {
  // One would be written over the other, and the run still end well (a
  // device such as /dev/null takes both).
  struct stat out;
  const bool device = stat(options.audio_out.c_str(), &out) == 0 && !S_ISREG(out.st_mode);
  if (!options.audio_out.empty() && !device &&
      (options.audio_out == options.trace_out ||
       imageio::SameFile(options.audio_out, options.trace_out))) {
    Say("--audio-out and --trace name the same file " + options.audio_out);
    return false;
  }
  for (const std::string* file : {&options.audio_out, &options.trace_out}) {
    if (file->empty()) continue;
    if (imageio::IoResult ok = imageio::CheckOutput(*file, DataFiles(options.files)); !ok) {
      Say(ok.message);
      return false;
    }
    std::string folder = file->substr(0, file->find_last_of('/'));
    if (folder.empty()) folder = "/";
    struct stat st;
    const bool device = stat(file->c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    if (!device && access(folder.c_str(), W_OK) != 0) {
      Say("cannot write " + *file + ": " + std::strerror(errno));
      return false;
    }
  }
  // A named instance folder that cannot be made would silently drop the
  // single-copy check.
  if (options.instance_dir_given) {
    std::error_code error;
    std::filesystem::create_directories(options.instance_dir, error);
    if (!std::filesystem::is_directory(options.instance_dir) ||
        access(options.instance_dir.c_str(), W_OK) != 0) {
      Say("cannot use the instance folder " + options.instance_dir +
          (error ? ": " + error.message() : std::string(": not a writable folder")));
      return false;
    }
  }
  if (!options.capture_dir.empty()) {
    if (imageio::IoResult ok = imageio::PrepareFrameFolder(options.capture_dir, "screen"); !ok) {
      Say(ok.message);
      return false;
    }
    // Found out at the first screen, the run would have played for nothing.
    if (access(options.capture_dir.c_str(), W_OK) != 0) {
      Say("cannot write in " + options.capture_dir + ": " + std::strerror(errno));
      return false;
    }
  }
  return true;
}

// The viewer's inputs must be files it can read: a run that cannot play
// one of them plays none.
bool CheckViewerInputs(const PlatformOptions& options) {
  std::vector<std::string> inputs = options.files;
  if (!options.strings.empty()) inputs.push_back(options.strings);
  inputs.insert(inputs.end(), options.fonts.begin(), options.fonts.end());
  bool ok = true;
  for (const std::string& input : inputs) {
    struct stat st;
    std::string reason;
    if (stat(input.c_str(), &st) != 0) {
      reason = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      reason = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
    } else if (access(input.c_str(), R_OK) != 0) {
      reason = std::strerror(errno);
    } else if (st.st_size > INT32_MAX) {
      // The engines' offsets are 32-bit: they would only say it cannot be opened.
      reason = "too large (" + std::to_string(st.st_size) + " bytes; at most " +
               std::to_string(INT32_MAX) + ")";
    }
    if (!reason.empty()) {
      Say("cannot play " + input + ": " + reason);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  PlatformOptions options = ParsePlatformOptions(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "morvane-demos: %s\nTry 'morvane-demos --help'.\n", options.error.c_str());
    return kStatusUsage;
  }
  // Before any backend: asking for help needs no display.
  if (options.help) {
    std::fputs(PlatformOptionsHelp(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("morvane-demos 0.1.0\n");
    return 0;
  }
  for (const std::string& warning : options.warnings) Say(warning);
  const bool sdl = options.backend == PlatformOptions::Backend::kSdl;
  // The captures read the headless screen and sound card; under SDL they would
  // silently write nothing.
  if (sdl && (!options.audio_out.empty() || !options.capture_dir.empty())) {
    std::fprintf(stderr,
                 "morvane-demos: --capture and --audio-out need --platform=headless\n"
                 "Try 'morvane-demos --help'.\n");
    return kStatusUsage;
  }
#ifndef MV_HAVE_SDL
  if (sdl) {
    Say("the SDL backend is not part of this build; run with --platform=headless");
    return kStatusFailed;
  }
#endif

  // Host paths are the user's, taken from the folder the program started in;
  // the data folder becomes the current one next.
  options.capture_dir = Absolute(options.capture_dir);
  options.audio_out = Absolute(options.audio_out);
  options.trace_out = Absolute(options.trace_out);
  options.instance_dir = Absolute(options.instance_dir);
  const bool viewing = !options.files.empty();
  ViewerOptions viewer;
  if (viewing) {
    for (std::string& file : options.files) file = Absolute(file);
    for (std::string& font : options.fonts) font = Absolute(font);
    if (!options.strings.empty()) options.strings = Absolute(options.strings);
    viewer.files = options.files;
    viewer.fonts = options.fonts;
    viewer.strings = options.strings;
    std::vector<char> cwd(PATH_MAX + 1);
    viewer.picture_dir = getcwd(cwd.data(), cwd.size()) ? cwd.data() : ".";
  }
  const std::string executable = ExecutablePath(argc > 0 ? argv[0] : nullptr);
  platform::SetModulePath(executable);
  if (viewing) {
    // The viewer's files are named by their host paths; a data folder given
    // is only where their text is looked for.
    if (!options.data_dir.empty()) {
      if (!EnterDataFolder(options.data_dir, executable, false)) return kStatusUsage;
      viewer.data_dir = g_data_folder;
    }
    if (!CheckViewerInputs(options)) return kStatusFailed;
  } else {
    if (!EnterDataFolder(options.data_dir, executable)) return kStatusUsage;
    // Missing data names the folder and the files and fails before any
    // output is made.
    if (!CheckDemonstrationData(options.command_line)) return kStatusFailed;
  }
  if (!PrepareOutputs(options)) return kStatusUsage;

  if (sdl) {
#ifdef MV_HAVE_SDL
    if (int rc = SetUpSdl(options); rc != 0) return rc;
#endif
  } else {
    SetUpHeadless(options);
    g_headless = true;
  }

  if (!viewing) SetDataDirectory(g_data_folder);
  ClearLogs();

  if (!options.trace_out.empty()) {
    g_trace_file.emplace(options.trace_out);
    imageio::BeginTraceInto(*g_trace_file);
  }
  if (options.timeout_seconds > 0) {
    g_timeout_seconds = options.timeout_seconds;
    SetRunTimeoutHandler(OnRunTimeout);
    platform::ScheduleMessage(timeGetTime() + options.timeout_seconds * 1000u, kRunTimeoutMessage,
                              0, 0);
    // The screen's own loops (the chooser's) deliver no scheduled message:
    // on the real clock a thread keeps the limit too.
    if (sdl) {
      std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(g_timeout_seconds));
        OnRunTimeout();
      }).detach();
    }
  }

  std::vector<char> command_line(options.command_line.begin(), options.command_line.end());
  command_line.push_back('\0');
  // A display that cannot start is a failed run like any other.
  bool started = true;
  bool failed = false;
  if (viewing) {
    ParseCommandLine(command_line.data());  // /d1, /d2 and /cds apply to the viewer too
    const int result = ViewerMain(GetModuleHandleA(nullptr), viewer);
    started = result >= 0;
    failed = result != 0;
  } else {
    started = LauncherMain(GetModuleHandleA(nullptr), nullptr, command_line.data(), 1) == 0;
    failed = !started;
  }
  // The time limit, met on another thread, is ending the process.
  if (g_ending.exchange(true)) {
    for (;;) pause();
  }
  if (!started) Say("the display could not be started");
#ifdef MV_HAVE_SDL
  if (sdl) {
    failed |= platform::sdl::ChooserFailed();
    platform::sdl::Uninstall();
  }
#endif
  failed |= !WriteOutputs();
  // Recorded errors (damaged or missing files) mean the demonstration did not
  // play as its files promised: the run fails.
  PrintErrorLog();
  failed |= ErrorCount() > 0;
  return failed ? kStatusFailed : 0;
}
