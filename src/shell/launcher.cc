// The launcher: start-up, the main window procedure and the chooser loop.
#include "shell/launcher.h"

#include <strings.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "input/keyboard.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "shell/session.h"
#include "base/switches.h"

namespace {

HINSTANCE g_instance = nullptr;
HWND g_main_window = nullptr;
int32_t g_show_chooser = 1;
uint16_t g_demo_choice = 0;
uint16_t g_display_mode_word = kDisplayModeDefault;
int32_t g_playing = 0;
std::string g_data_directory;
void (*g_run_timeout_handler)() = nullptr;

bool SameWord(std::string_view word, const char* option) {
  size_t length = std::char_traits<char>::length(option);
  return word.size() == length && strncasecmp(word.data(), option, length) == 0;
}

void ApplyWord(std::string_view word) {
  if (SameWord(word, "/d1")) {
    SetSwitch(kSwitchDebugLevel, 1);
  } else if (SameWord(word, "/d2")) {
    SetSwitch(kSwitchDebugLevel, 2);
  } else if (SameWord(word, "/cds")) {
    g_display_mode_word = kDisplayModeDib;
  } else if (SameWord(word, "/cobalt2")) {
    g_show_chooser = 0;
    g_demo_choice = kChoiceCobalt;
  } else if (SameWord(word, "/thelantern")) {
    g_show_chooser = 0;
    g_demo_choice = kChoiceLantern;
  }
}

// The folder that holds the executable, or the one named at start.
std::string StartDirectory() {
  if (!g_data_directory.empty()) return g_data_directory;
  // A buffer for any host path: a name cut short would name another folder.
  std::vector<char> name(4096);
  DWORD length = GetModuleFileNameA(g_instance, name.data(), static_cast<DWORD>(name.size()));
  std::string path(name.data(), length);
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void ParseCommandLine(const char* command_line) {
  if (command_line == nullptr) return;
  std::string_view line(command_line);
  int words = 0;
  size_t pos = 0;
  while (pos < line.size() && words < kMaxCommandWords) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    ApplyWord(line.substr(pos, end - pos));
    ++words;
    pos = end;
  }
}

void CenterWindowOnDesktop(HWND window) {
  RECT rect{};
  RECT desktop{};
  GetWindowRect(window, &rect);
  GetWindowRect(GetDesktopWindow(), &desktop);
  LONG width = rect.right - rect.left;
  LONG height = rect.bottom - rect.top;
  LONG left = ((desktop.right - desktop.left) - width) / 2;
  LONG top = ((desktop.bottom - desktop.top) - height) / 2;
  MoveWindow(window, left, top, width, height, FALSE_);
}

LRESULT MainWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE:
    case WM_COMMAND:
      return 0;
    case kRunTimeoutMessage:
      if (g_run_timeout_handler) g_run_timeout_handler();
      return 0;
    case WM_ACTIVATEAPP:
      if (g_playing) HandleActivation(static_cast<int32_t>(wparam));
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (g_playing) OnKeyMessage(msg, wparam, lparam);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      if (g_playing) OnMouseMessage(msg, wparam, lparam);
      return 0;
    default:
      return DefWindowProcA(window, msg, wparam, lparam);
  }
}

LRESULT ChooserDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_INITDIALOG) {
    CenterWindowOnDesktop(dialog);
    ShowCursor(TRUE_);
    return 0;
  }
  if (msg == WM_COMMAND) {
    WORD id = static_cast<WORD>(wparam & 0xFFFF);
    if (id == kChoiceExit || id == kChoiceCobalt || id == kChoiceLantern) {
      ShowCursor(FALSE_);
      EndDialog(dialog, id);
    }
    return 0;
  }
  return DefWindowProcA(dialog, msg, wparam, lparam);
}

// The executable's dialog resource 103: the chooser, as the backend shows it.
platform::DialogResource ChooserResource() {
  return {kMainTitle,
          "Choose a demonstration.",
          {{kChoiceCobalt, "Play &Cobalt Vector II Demo", true},
           {kChoiceLantern, "Play The &Lantern Demo", false},
           {kChoiceExit, "E&xit", false}}};
}

bool RegisterMainClass(HINSTANCE instance) {
  g_instance = instance;
  WNDCLASSEXA wc{};
  wc.cbSize = 48;
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = g_instance;
  wc.hIcon = LoadIconA(g_instance, MakeIntResourceA(kIconId));
  wc.hCursor = LoadCursorA(nullptr, MakeIntResourceA(IDC_ARROW_ID));
  wc.hbrBackground = GetStockObject(BLACK_BRUSH);
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kMainClassName;
  wc.hIconSm = nullptr;
  return RegisterClassExA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
  return CreateWindowExA(0, kMainClassName, kMainTitle, kMainWindowStyle, 0, 0, 0, 0, nullptr,
                         nullptr, instance, nullptr);
}

int LauncherMain(HINSTANCE instance, HINSTANCE, char* command_line, int) {
  g_instance = instance;
  platform::RegisterDialog(kChooserDialogId, ChooserResource());

  // Another copy: in this process by its window, or in another one.
  if (HWND running = FindWindowA(kMainClassName, kMainTitle)) {
    SetFocus(running);
    return 0;
  }
  if (platform::ClaimSingleInstance(kMainClassName, kMainTitle) ==
      platform::InstanceClaim::kOtherRunning) {
    // Ending at once without a word would look like a run that did nothing.
    std::fputs("morvane-demos: another copy is running; it was asked to take the focus\n", stderr);
    return 0;
  }
  struct Release {
    ~Release() { platform::ReleaseSingleInstance(); }
  } release;

  if (!RegisterMainClass(instance)) return 0;

  g_show_chooser = 1;
  ParseCommandLine(command_line);

  g_main_window = CreateMainWindow(instance);
  if (g_main_window == nullptr) return -1;

  std::string dir = StartDirectory();
  if (!dir.empty()) SetCurrentDirectoryA(dir.c_str());

  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

  do {
    if (g_show_chooser) {
      g_demo_choice = static_cast<uint16_t>(DialogBoxParamA(
          instance, MakeIntResourceA(kChooserDialogId), g_main_window, ChooserDialogProc, 0));
    }
    if (g_demo_choice == kChoiceExit) break;
    MoveWindow(g_main_window, 0, 0, GetSystemMetrics(0), GetSystemMetrics(1), TRUE_);
    // The window stays: the original left it to the process end.
    if (DisplayStartup(g_main_window, g_display_mode_word) != 0) return -1;
    PlayDemoSession();
    MoveWindow(g_main_window, 0, 0, 0, 0, TRUE_);
    DisplayShutdown();
  } while (g_show_chooser);

  DestroyWindow(g_main_window);
  g_main_window = nullptr;
  return 0;
}

uint16_t DemoChoice() { return g_demo_choice; }
void SetDemoChoice(uint16_t choice) { g_demo_choice = choice; }
uint16_t DisplayModeWord() { return g_display_mode_word; }
int32_t ShowChooserFlag() { return g_show_chooser; }
int32_t PlayingFlag() { return g_playing; }
void SetPlayingFlag(int32_t flag) { g_playing = flag; }
HWND MainWindow() { return g_main_window; }
void SetDataDirectory(const std::string& dir) { g_data_directory = dir; }
void SetRunTimeoutHandler(void (*handler)()) { g_run_timeout_handler = handler; }

void ResetLauncher() {
  g_instance = nullptr;
  g_main_window = nullptr;
  g_show_chooser = 1;
  g_demo_choice = 0;
  g_display_mode_word = kDisplayModeDefault;
  g_playing = 0;
  g_data_directory.clear();
  g_run_timeout_handler = nullptr;
}
