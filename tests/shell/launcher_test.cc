#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "input/keyboard.h"
#include "platform/backend.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "shell/launcher.h"
#include "base/switches.h"

namespace {

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    platform::ResetWindows();
    platform::ResetUi();
    platform::SetDesktopSize(640, 480);
    ResetLauncher();
    ResetSwitches();
  }
  void TearDown() override {
    platform::ResetWindows();
    platform::ResetUi();
    ResetLauncher();
    ResetSwitches();
  }
};

// The player's words: whole, in any case, the later one winning, only the
// first ten counted; nothing else is ever written.
TEST_F(Launcher, CommandLineWords) {
  const std::string huge = std::string(100000, 'x') + " /cds";
  const struct {
    const char* line;
    int debug;
    uint16_t display_mode;
    int chooser;
    uint16_t choice;
  } rows[] = {
      {"/D1 /CDS", 1, kDisplayModeDib, 1, 0},
      {"/CoBaLt2", 0, kDisplayModeDefault, 0, kChoiceCobalt},
      {"/cobalt2 /thelantern /d1 /d2", 2, kDisplayModeDefault, 0, kChoiceLantern},
      {"/thelantern /cobalt2", 0, kDisplayModeDefault, 0, kChoiceCobalt},
      // Ten words (runs of blanks in between), then a valid eleventh.
      {"a   b c  d e f g h i     j /thelantern", 0, kDisplayModeDefault, 1, 0},
      {"   a b c d e f g h i /d2 /d1", 2, kDisplayModeDefault, 1, 0},
      {"/d1x /cobalt /cds2 -cds cds", 0, kDisplayModeDefault, 1, 0},
      {nullptr, 0, kDisplayModeDefault, 1, 0},
      {"", 0, kDisplayModeDefault, 1, 0},
      {huge.c_str(), 0, kDisplayModeDib, 1, 0},
  };
  for (const auto& row : rows) {
    ResetLauncher();
    ResetSwitches();
    std::vector<int32_t> others;
    for (int i = 0; i < kSwitchDebugLevel; ++i) others.push_back(GetSwitch(i));
    ParseCommandLine(row.line);
    const std::string line = row.line ? std::string(row.line).substr(0, 40) : "(null)";
    EXPECT_EQ(GetSwitch(kSwitchDebugLevel), row.debug) << line;
    EXPECT_EQ(DisplayModeWord(), row.display_mode) << line;
    EXPECT_EQ(ShowChooserFlag(), row.chooser) << line;
    EXPECT_EQ(DemoChoice(), row.choice) << line;
    for (int i = 0; i < kSwitchDebugLevel; ++i) EXPECT_EQ(GetSwitch(i), others[i]) << line;
  }
}

TEST_F(Launcher, CenterWindowOnDesktop) {
  WNDCLASSEXA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "TestClass";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND w = CreateWindowExA(0, "TestClass", "", 0, 5, 7, 241, 159, nullptr, nullptr, nullptr,
                           nullptr);
  CenterWindowOnDesktop(w);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 199);  // (640 - 241) / 2, truncated
  EXPECT_EQ(r.top, 160);
  EXPECT_EQ(r.right - r.left, 241);
  EXPECT_EQ(r.bottom - r.top, 159);
  // Larger than the desktop: negative, truncated toward zero.
  MoveWindow(w, 0, 0, 1001, 483, FALSE_);
  CenterWindowOnDesktop(w);
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, -180);
  EXPECT_EQ(r.top, -1);
}

TEST_F(Launcher, ChooserEndsWithItsIdentifiersAndShowsTheCursorMeanwhile) {
  int cursor_during_dialog = -99;
  RECT dialog_rect{};
  platform::Backend backend;
  backend.dialog_answer = [&](HWND dialog, const platform::DialogResource&) {
    cursor_during_dialog = platform::CursorCount();
    GetWindowRect(dialog, &dialog_rect);
    return 102;
  };
  platform::Install(backend);
  EXPECT_EQ(DialogBoxParamA(nullptr, MakeIntResourceA(kChooserDialogId), nullptr,
                            ChooserDialogProc, 0),
            102);
  EXPECT_EQ(cursor_during_dialog, 1);
  EXPECT_EQ(platform::CursorCount(), 0);
  EXPECT_EQ(dialog_rect.left * 2 + (dialog_rect.right - dialog_rect.left), 640);

  platform::Uninstall();
  platform::SetScriptedChoices({101, 7, -1});
  auto show = [] {
    return DialogBoxParamA(nullptr, MakeIntResourceA(kChooserDialogId), nullptr,
                           ChooserDialogProc, 0);
  };
  EXPECT_EQ(show(), 101);
  EXPECT_EQ(show(), 2);   // an identifier the dialog has not: Escape follows
  EXPECT_EQ(show(), -1);  // the dialog cannot be shown
  EXPECT_EQ(show(), 2);   // no answers left: Exit
  EXPECT_EQ(platform::DialogsShown(), 5);
  // Other messages are left to the default.
  const int cursor = platform::CursorCount();
  EXPECT_EQ(ChooserDialogProc(nullptr, WM_COMMAND, 55, 0), 0);
  EXPECT_EQ(ChooserDialogProc(nullptr, WM_MOUSEMOVE, 0, 0), 0);
  EXPECT_EQ(platform::CursorCount(), cursor);
}

TEST_F(Launcher, WindowProcedureForwardsKeysOnlyWhilePlaying) {
  ASSERT_EQ(InitKeyboard(), 0);
  EXPECT_EQ(MainWindowProc(nullptr, WM_KEYDOWN, VK_ESCAPE, 0), 0);
  EXPECT_EQ(ReadKey(0), 0);
  SetPlayingFlag(1);
  EXPECT_EQ(MainWindowProc(nullptr, WM_KEYDOWN, VK_ESCAPE, 0), 0);
  platform::SetKeyDown(VK_MENU, true);
  EXPECT_EQ(MainWindowProc(nullptr, WM_SYSKEYDOWN, 'X', 0), 0);
  platform::ClearKeyState();
  EXPECT_EQ(MainWindowProc(nullptr, WM_LBUTTONDOWN, 0, 0), 0);
  EXPECT_EQ(ReadKey(1), kKeyEscape);
  EXPECT_EQ(ReadKey(1), kKeyAltX);
  EXPECT_EQ(ReadKey(1), 0);
  SetPlayingFlag(0);
  ShutdownKeyboard();
}

TEST_F(Launcher, ExitAtTheFirstDialogEndsWithoutStartingTheDisplay) {
  platform::DialogResource shown;
  platform::Backend backend;
  backend.dialog_answer = [&](HWND, const platform::DialogResource& resource) {
    shown = resource;
    return 2;
  };
  platform::Install(backend);
  char line[] = "";
  EXPECT_EQ(LauncherMain(nullptr, nullptr, line, 1), 0);
  platform::Uninstall();
  // The backend is handed the executable's dialog 103 to show.
  EXPECT_EQ(shown.caption, "Morvane Demos for Windows 95");
  const std::vector<std::pair<int, std::string>> buttons = {
      {101, "Play &Cobalt Vector II Demo"}, {102, "Play The &Lantern Demo"}, {2, "E&xit"}};
  ASSERT_EQ(shown.buttons.size(), buttons.size());
  for (size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(shown.buttons[i].id, buttons[i].first);
    EXPECT_EQ(shown.buttons[i].text, buttons[i].second);
    EXPECT_EQ(shown.buttons[i].is_default, i == 0);
  }
  EXPECT_EQ(platform::DialogsShown(), 1);
  EXPECT_EQ(GetDisplayWindow(), nullptr);
  EXPECT_EQ(FindWindowA(kMainClassName, kMainTitle), nullptr);  // destroyed
  EXPECT_EQ(platform::RequestedPriorityClass(), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(platform::RequestedThreadPriority(), THREAD_PRIORITY_HIGHEST);
}

TEST_F(Launcher, AnotherCopyGetsTheFocusAndATakenClassEndsWithZero) {
  WNDCLASSEXA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = kMainClassName;
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND other = CreateWindowExA(0, kMainClassName, kMainTitle, 0, 0, 0, 0, 0, nullptr, nullptr,
                               nullptr, nullptr);
  char line[] = "/cobalt2";
  EXPECT_EQ(LauncherMain(nullptr, nullptr, line, 1), 0);
  EXPECT_EQ(GetFocus(), other);
  EXPECT_EQ(platform::DialogsShown(), 0);
  EXPECT_EQ(ShowChooserFlag(), 1);  // the command line was never read
  // The class taken without another copy's window.
  DestroyWindow(other);
  EXPECT_EQ(LauncherMain(nullptr, nullptr, line, 1), 0);
  EXPECT_EQ(GetDisplayWindow(), nullptr);
}

}  // namespace
