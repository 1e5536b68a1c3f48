// The process entry of the player: single-instance check, the main window and
// its procedure, the command line, and the chooser loop that runs one
// demonstration session per choice.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"

constexpr const char* kMainClassName = "MorvaneWClass";
constexpr const char* kMainTitle = "Morvane Demos for Windows 95";
constexpr DWORD kMainWindowStyle = 0x90080000;  // pop-up, visible, system menu
constexpr WORD kChooserDialogId = 103;
constexpr WORD kIconId = 102;

// The chooser's control identifiers, which are also the demo choices.
constexpr uint16_t kChoiceExit = 2;
constexpr uint16_t kChoiceCobalt = 101;
constexpr uint16_t kChoiceLantern = 102;

// display-mode word: DirectDraw with page flipping, or the device-context path.
constexpr uint16_t kDisplayModeDefault = 0x0104;
constexpr uint16_t kDisplayModeDib = 0x0001;

constexpr int kMaxCommandWords = 10;

// A message of the executable's own, scheduled for the end of its time
// limit: the main window procedure hands it to the run-timeout handler.
constexpr UINT kRunTimeoutMessage = 0x8001;  // WM_APP + 1
void SetRunTimeoutHandler(void (*handler)());

// The launcher: returns 0 on a normal end, when another copy runs or when the
// class cannot be registered; -1 when the window cannot be created or the
// display cannot be started.
int LauncherMain(HINSTANCE instance, HINSTANCE previous, char* command_line, int show);

// The main window's class (false when it cannot be registered) and the
// window itself, shared by the launcher and the viewer.
bool RegisterMainClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

LRESULT MainWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT ChooserDialogProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
void CenterWindowOnDesktop(HWND window);

// Applies the option words of a command line (at most 10 words, matched
// without regard to case, later words win). Null is an empty line.
void ParseCommandLine(const char* command_line);

// The launcher's state.
uint16_t DemoChoice();
void SetDemoChoice(uint16_t choice);
uint16_t DisplayModeWord();
int32_t ShowChooserFlag();
int32_t PlayingFlag();
void SetPlayingFlag(int32_t flag);
HWND MainWindow();

// The directory made current at start; empty: the executable's folder.
void SetDataDirectory(const std::string& dir);

// Back to the start values (tests): choice 0, mode word 0x0104, chooser
// flag 1, not playing, no window, no data directory.
void ResetLauncher();
