// The user-interface calls of the launcher: the modal dialog, the cursor,
// the focus, module resources, process and thread priority, and the
// single-instance check across processes.
//
// Windows and the message queue are in platform/messages.h. Both backends
// share these calls; a backend plugs in what it shows (the dialog's answer,
// the cursor, the focus request) through its table (platform/backend.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages.h"

using INT_PTR = intptr_t;
using HANDLE = void*;
using DLGPROC = WNDPROC;

constexpr UINT WM_SETFOCUS = 7;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr DWORD HIGH_PRIORITY_CLASS = 128;
constexpr int THREAD_PRIORITY_HIGHEST = 2;

constexpr int BLACK_BRUSH = 4;
constexpr WORD IDC_ARROW_ID = 32512;

constexpr UINT CS_OWNDC = 0x0020;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_SYSMENU = 0x00080000;

// A resource named by number, as MAKEINTRESOURCE made it.
inline const char* MakeIntResourceA(WORD id) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(id));
}
inline bool IsIntResource(const char* name) {
  return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}

HINSTANCE GetModuleHandleA(const char* module_name);
// Non-null handles for the resources the launcher names (the backend draws
// nothing of them).
void* LoadIconA(HINSTANCE instance, const char* name);
void* LoadCursorA(HINSTANCE instance, const char* name);
void* GetStockObject(int index);

// Shows dialog `template_name` modally: creates it, sends WM_INITDIALOG with
// `init`, then hands the user's answer to `proc` as WM_COMMAND until the
// procedure calls EndDialog. Returns the value given to EndDialog, or -1 when
// the dialog cannot be shown.
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* template_name, HWND owner, DLGPROC proc,
                        LPARAM init);
BOOL EndDialog(HWND dialog, INT_PTR result);

// Raises (TRUE) or lowers the cursor's display count; the cursor shows while
// the count is 0 or more. Returns the new count.
int ShowCursor(BOOL show);

// Gives `window` the keyboard focus; returns the window that had it.
HWND SetFocus(HWND window);
HWND GetFocus();

HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
// Best effort: the host may refuse higher priorities; the result says whether
// the request was taken.
BOOL SetPriorityClass(HANDLE process, DWORD priority_class);
BOOL SetThreadPriority(HANDLE thread, int priority);

namespace platform {

// A dialog resource as the application describes it: its caption, a line
// of text above the buttons, and its push buttons in order. In a button's
// text '&' marks the access key; the default button answers Enter and the
// one with IDCANCEL answers Escape.
struct DialogButton {
  int id = 0;
  std::string text;
  bool is_default = false;
};
struct DialogResource {
  std::string caption;
  std::string prompt;
  std::vector<DialogButton> buttons;
};
// Makes `resource` the dialog template `id` (MakeIntResourceA(id)) that
// DialogBoxParamA shows; a template never registered is shown empty.
void RegisterDialog(WORD id, DialogResource resource);

// Single instance across processes. The first copy holds a lock file in the
// instance directory and listens on a local socket there; a later copy finds
// the lock taken, asks the first to take the focus and gets kOtherRunning.
// The first copy receives the request as WM_SETFOCUS posted to its window of
// this class and title (and the backend's focus_requested is called).
enum class InstanceClaim { kFirst, kOtherRunning, kUnavailable };

// Where the lock and the socket live. Empty (the default): private, so
// copies never meet (tests); nothing is created then.
void SetInstanceDirectory(const std::string& dir);
// A directory every copy of the user finds (the normal default of a backend
// that shows windows).
std::string DefaultInstanceDirectory();

InstanceClaim ClaimSingleInstance(const char* class_name, const char* title);
// Stops listening and frees the lock; safe to call when nothing is claimed.
void ReleaseSingleInstance();

}  // namespace platform
