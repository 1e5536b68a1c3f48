// The one place where a backend plugs into the seam: a table of its entry
// points. Every entry may be empty; the in-memory model then answers alone
// (no input of its own, the scripted dialog answers, the key table, the
// in-memory sound card).
//
// Install and Uninstall belong to the main thread at start and end; the
// entries are called from whichever thread makes the call they stand behind
// (the screen from the thread that flips, the focus request from the
// single-instance listener).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dsound.h"
#include "platform/memory/model.h"
#include "platform/messages.h"
#include "platform/ui.h"

namespace platform {

struct Backend {
  // The life of a window: created (with its title), moved or sized (an empty
  // rectangle hides it), destroyed.
  std::function<void(HWND, const char* title)> window_created;
  std::function<void(HWND, const RECT&)> window_moved;
  std::function<void(HWND)> window_destroyed;
  // Input: `poll` moves what has happened into the queue (PostMessageA);
  // `wait` may block up to max_ms when the queue is empty under the real
  // clock.
  std::function<void()> poll;
  std::function<void(uint32_t max_ms)> wait;
  // Every screen the in-memory display makes visible, after a flip, a copy
  // or a palette change.
  std::function<void(const memory::Screen&)> screen_shown;
  // The control the user pressed in the dialog now shown, or -1 when it
  // cannot be shown; called once per WM_COMMAND the dialog needs.
  std::function<int(HWND dialog, const DialogResource& resource)> dialog_answer;
  // The cursor's new display count after each ShowCursor.
  std::function<void(int count)> cursor_changed;
  // GetKeyState's answer (0xFF80 while down).
  std::function<int16_t(int virtual_key)> key_state;
  // DirectSoundCreate of the default device.
  std::function<HRESULT(LPDIRECTSOUND* object)> create_direct_sound;
  // Another copy asked this one for the focus (after WM_SETFOCUS is posted).
  std::function<void()> focus_requested;
};

// Puts `backend` behind the seam in place of the one installed before.
void Install(const Backend& backend);
// Leaves the in-memory model alone behind the seam.
void Uninstall();

namespace detail {
// The table in effect (never null; every entry empty when none is installed).
std::shared_ptr<const Backend> Installed();
}  // namespace detail

}  // namespace platform
