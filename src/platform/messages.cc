// The message queue, window classes and windows shared by both backends.
#include "platform/messages.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/mmsystem.h"
#include "platform/testing.h"

struct WindowObject {
  std::string class_name;
  std::string title;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  RECT rect{};
};

namespace {

struct Scheduled {
  uint32_t time;
  uint64_t order;
  MSG msg;
};

struct State {
  std::recursive_mutex mutex;
  // Wakes an idle wait of the real clock when a message is posted.
  std::mutex posted_mutex;
  std::condition_variable posted;
  uint64_t posts = 0;
  std::map<std::string, WNDPROC> classes;  // keyed by lower-case name
  std::vector<std::unique_ptr<WindowObject>> windows;
  WindowObject desktop{"#desktop", "", nullptr, 0, {0, 0, 640, 480}};
  std::deque<MSG> queue;
  std::vector<Scheduled> scheduled;
  uint64_t scheduled_order = 0;
  bool quit_posted = false;
  int quit_code = 0;
  std::atomic<uint32_t> poll_idle_ms{1};
};

State& S() {
  static State state;
  return state;
}

std::string Lower(const char* s) {
  std::string out(s ? s : "");
  for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Alive(HWND window) {
  for (auto& w : S().windows)
    if (w.get() == window) return true;
  return false;
}

HWND FirstTopLevel() { return S().windows.empty() ? nullptr : S().windows.front().get(); }

// Moves scheduled messages whose time has come into the queue.
void DeliverScheduled() {
  State& s = S();
  uint32_t now = timeGetTime();
  std::vector<Scheduled> due;
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    auto it = std::stable_partition(s.scheduled.begin(), s.scheduled.end(),
                                    [&](const Scheduled& e) { return e.time > now; });
    due.assign(it, s.scheduled.end());
    s.scheduled.erase(it, s.scheduled.end());
  }
  std::sort(due.begin(), due.end(), [](const Scheduled& a, const Scheduled& b) {
    return a.time != b.time ? a.time < b.time : a.order < b.order;
  });
  for (auto& e : due) PostMessageA(FirstTopLevel(), e.msg.message, e.msg.wParam, e.msg.lParam);
}

void Poll() {
  DeliverScheduled();
  const auto backend = platform::detail::Installed();
  if (backend->poll) backend->poll();
}

void NotifyPosted() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.posted_mutex);
  ++s.posts;
  s.posted.notify_all();
}

bool Matches(const MSG& m, HWND window, UINT lo, UINT hi) {
  if (window != nullptr && m.hwnd != window) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

bool TakeMessage(MSG* out, HWND window, UINT lo, UINT hi, bool remove) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    if (!Matches(*it, window, lo, hi)) continue;
    if (out) *out = *it;
    if (remove) s.queue.erase(it);
    return true;
  }
  if (s.quit_posted) {
    if (out) *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quit_code), 0, timeGetTime(), {}};
    if (remove) s.quit_posted = false;
    return true;
  }
  return false;
}

// The longest idle wait of a pass that polls (PeekMessageA): the playback
// loop's own timers are serviced by its passes, so it gets one a millisecond
// unless it asks for fewer (SetPollIdleMs).
constexpr uint32_t kPollIdleMs = 1;
// The longest idle wait of GetMessageA between looks at the backend.
constexpr uint32_t kGetIdleMs = 50;

// Milliseconds until the next scheduled message, or -1.
int64_t NextScheduledIn() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.scheduled.empty()) return -1;
  uint32_t now = timeGetTime();
  int64_t best = INT64_MAX;
  for (auto& e : s.scheduled) best = std::min<int64_t>(best, int64_t(e.time) - int64_t(now));
  return std::max<int64_t>(best, 0);
}

// Nothing waits: let time pass (one virtual millisecond, or a wait of at
// most max_ms that ends early when a message is posted or a timer or a
// scheduled message falls due).
void Idle(uint32_t max_ms) {
  State& s = S();
  if (platform::GetClockMode() == platform::ClockMode::kVirtual) {
    platform::AdvanceVirtualTime(1);
    return;
  }
  if (const auto backend = platform::detail::Installed(); backend->wait) {
    backend->wait(std::min(max_ms, s.poll_idle_ms.load()));
    return;
  }
  // Without a backend that waits (headless) nothing would wait here and the
  // playback loop would spin a core: sleep until something can have happened.
  // A multimedia timer already due runs on the timer thread: nothing to
  // hurry for here. A scheduled message already due is taken by the next
  // pass's poll.
  int64_t wait = max_ms;
  for (int64_t due : {platform::NextTimerDueIn(), NextScheduledIn()})
    if (due > 0) wait = std::min(wait, due);
  std::unique_lock<std::mutex> lock(s.posted_mutex);
  uint64_t posts = s.posts;
  s.posted.wait_for(lock, std::chrono::milliseconds(wait), [&] { return s.posts != posts; });
}

}  // namespace

WORD RegisterClassExA(const WNDCLASSEXA* wc) {
  if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr) return 0;
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::string key = Lower(wc->lpszClassName);
  if (s.classes.count(key)) return 0;
  s.classes[key] = wc->lpfnWndProc;
  return static_cast<WORD>(0xC000 + s.classes.size());
}

BOOL UnregisterClassA(const char* class_name, HINSTANCE) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  return s.classes.erase(Lower(class_name)) ? 1 : 0;
}

HWND CreateWindowExA(DWORD, const char* class_name, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND, void*, HINSTANCE, void*) {
  State& s = S();
  HWND window;
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    auto it = s.classes.find(Lower(class_name));
    if (it == s.classes.end()) return nullptr;
    auto w = std::make_unique<WindowObject>();
    w->class_name = class_name;
    w->title = title ? title : "";
    w->proc = it->second;
    w->style = style;
    w->rect = RECT{x, y, x + width, y + height};
    window = w.get();
    s.windows.push_back(std::move(w));
  }
  window->proc(window, WM_CREATE, 0, 0);
  const auto backend = platform::detail::Installed();
  if (backend->window_created) backend->window_created(window, window->title.c_str());
  return window;
}

BOOL DestroyWindow(HWND window) {
  State& s = S();
  if (!Alive(window)) return 0;
  window->proc(window, WM_DESTROY, 0, 0);
  const auto backend = platform::detail::Installed();
  if (backend->window_destroyed) backend->window_destroyed(window);
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                               [&](const MSG& m) { return m.hwnd == window; }),
                s.queue.end());
  s.windows.erase(std::remove_if(s.windows.begin(), s.windows.end(),
                                 [&](auto& w) { return w.get() == window; }),
                  s.windows.end());
  return 1;
}

HWND FindWindowA(const char* class_name, const char* title) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto& w : s.windows) {
    if (class_name && strcasecmp(w->class_name.c_str(), class_name) != 0) continue;
    if (title && w->title != title) continue;
    return w.get();
  }
  return nullptr;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  if (!Alive(window)) return 0;
  window->rect = RECT{x, y, x + width, y + height};
  const auto backend = platform::detail::Installed();
  if (backend->window_moved) backend->window_moved(window, window->rect);
  return 1;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (rect == nullptr) return 0;
  if (window == GetDesktopWindow()) {
    *rect = RECT{0, 0, platform::DesktopWidth(), platform::DesktopHeight()};
    return 1;
  }
  if (!Alive(window)) return 0;
  *rect = window->rect;
  return 1;
}

HWND GetDesktopWindow() { return &S().desktop; }

int GetSystemMetrics(int index) {
  if (index == 0) return platform::DesktopWidth();
  if (index == 1) return platform::DesktopHeight();
  return 0;
}

LRESULT DefWindowProcA(HWND window, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_CLOSE) DestroyWindow(window);
  return 0;
}

LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!Alive(window)) return 0;
  return window->proc(window, msg, wparam, lparam);
}

BOOL PostMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (window != nullptr && !Alive(window)) return 0;
  s.queue.push_back(MSG{window, msg, wparam, lparam, timeGetTime(), {}});
  NotifyPosted();
  return 1;
}

void PostQuitMessage(int exit_code) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.quit_posted = true;
  s.quit_code = exit_code;
  NotifyPosted();
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT lo, UINT hi, UINT remove) {
  Poll();
  if (TakeMessage(msg, window, lo, hi, (remove & PM_REMOVE) != 0)) return 1;
  Idle(S().poll_idle_ms.load());
  return 0;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT lo, UINT hi) {
  for (;;) {
    Poll();
    MSG m;
    if (TakeMessage(&m, window, lo, hi, true)) {
      if (msg) *msg = m;
      return m.message == WM_QUIT ? 0 : 1;
    }
    Idle(kGetIdleMs);
  }
}

BOOL TranslateMessage(const MSG*) { return 0; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || !Alive(msg->hwnd)) return 0;
  return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace platform {

namespace {
int g_desktop_width = 640;
int g_desktop_height = 480;
}  // namespace

void SetPollIdleMs(uint32_t ms) { S().poll_idle_ms = ms > 0 ? ms : kPollIdleMs; }

void ScheduleMessage(uint32_t time_ms, UINT msg, WPARAM wparam, LPARAM lparam) {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.scheduled.push_back(Scheduled{time_ms, s.scheduled_order++, MSG{nullptr, msg, wparam, lparam, time_ms, {}}});
}

void SetDesktopSize(int width, int height) {
  g_desktop_width = width;
  g_desktop_height = height;
}
int DesktopWidth() { return g_desktop_width; }
int DesktopHeight() { return g_desktop_height; }

void ResetWindows() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.classes.clear();
  s.windows.clear();
  s.queue.clear();
  s.scheduled.clear();
  s.quit_posted = false;
}

}  // namespace platform
