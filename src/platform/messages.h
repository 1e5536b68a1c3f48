// Window classes, windows and the message queue of the main thread.
//
// The queue is shared by both backends. A backend feeds it through its poll
// and wait entries (platform/backend.h); scheduled messages (scripted input) are
// delivered when the clock reaches their time. Under the virtual clock a
// PeekMessageA that finds the queue empty advances time by one millisecond,
// which runs the timers that fall due.
#pragma once

#include "platform/wintypes.h"

constexpr UINT WM_CREATE = 1;
constexpr UINT WM_DESTROY = 2;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ACTIVATEAPP = 28;
constexpr UINT WM_KEYDOWN = 256;
constexpr UINT WM_KEYUP = 257;
constexpr UINT WM_CHAR = 258;
constexpr UINT WM_SYSKEYDOWN = 260;
constexpr UINT WM_SYSKEYUP = 261;
constexpr UINT WM_INITDIALOG = 272;
constexpr UINT WM_COMMAND = 273;
constexpr UINT WM_MOUSEMOVE = 512;
constexpr UINT WM_LBUTTONDOWN = 513;
constexpr UINT WM_LBUTTONUP = 514;
constexpr UINT WM_RBUTTONDOWN = 516;
constexpr UINT WM_RBUTTONUP = 517;
constexpr UINT WM_MBUTTONDOWN = 519;
constexpr UINT WM_MBUTTONUP = 520;

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  void* hIcon;
  void* hCursor;
  void* hbrBackground;
  const char* lpszMenuName;
  const char* lpszClassName;
  void* hIconSm;
};

// Registers a class by name. Returns a non-zero atom, 0 on failure
// (no name or procedure, or the name already registered).
WORD RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(const char* class_name, HINSTANCE instance);

HWND CreateWindowExA(DWORD ex_style, const char* class_name, const char* title, DWORD style,
                     int x, int y, int width, int height, HWND parent, void* menu,
                     HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND window);
// Finds a window of this process by class and title (either may be null).
HWND FindWindowA(const char* class_name, const char* title);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND window, RECT* rect);
HWND GetDesktopWindow();
// 0 and 1: the screen width and height.
int GetSystemMetrics(int index);
LRESULT DefWindowProcA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

BOOL PostMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
BOOL PeekMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
// Waits for a message (advancing a virtual clock meanwhile); 0 for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);

namespace platform {

// Delivers a message to the first top-level window when the clock reaches
// `time_ms` (the scripted keys and activations of the headless backend, the
// player's time limit).
void ScheduleMessage(uint32_t time_ms, UINT msg, WPARAM wparam, LPARAM lparam);

// The longest idle wait on the real clock of a PeekMessageA that finds no
// message (1 ms unless set; 0 sets it back). The playback loop, whose timers
// want a pass only every few milliseconds, sets it while it plays.
void SetPollIdleMs(uint32_t ms);

// The desktop's size (GetSystemMetrics 0 and 1, the desktop rectangle).
int DesktopWidth();
int DesktopHeight();

}  // namespace platform
