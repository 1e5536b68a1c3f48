// The launcher's user-interface calls: a modal dialog that takes its answers
// from the backend (scripted choices without one), the cursor count, the
// focus, priorities, and the cross-process single-instance check.
#include "platform/ui.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/backend.h"
#include "platform/memory/model.h"
#include "platform/testing.h"

namespace {

constexpr const char* kDialogClass = "#32770";
constexpr int kInstanceRetries = 100;  // connect attempts, 10 ms apart
constexpr int kDialogWidth = 240;
constexpr int kDialogHeight = 158;

struct UiState {
  std::mutex mutex;
  std::map<WORD, platform::DialogResource> resources;
  std::deque<int> scripted;
  int dialogs_shown = 0;
  HWND focus = nullptr;
  DWORD priority_class = 0;
  int thread_priority = 0;
};

UiState& U() {
  static UiState state;
  return state;
}

std::atomic<int> g_cursor_count{0};

// Dialogs being shown: their procedure and, once EndDialog ran, the result.
struct ActiveDialog {
  DLGPROC proc = nullptr;
  bool ended = false;
  INT_PTR result = 0;
};
std::map<HWND, ActiveDialog> g_dialogs;
DLGPROC g_creating_proc = nullptr;

LRESULT DialogClassProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto it = g_dialogs.find(window);
  DLGPROC proc = it != g_dialogs.end() ? it->second.proc : g_creating_proc;
  if (proc == nullptr) return DefWindowProcA(window, msg, wparam, lparam);
  return proc(window, msg, wparam, lparam);
}

int NextAnswer(HWND dialog, const platform::DialogResource& resource) {
  const auto backend = platform::detail::Installed();
  if (backend->dialog_answer) return backend->dialog_answer(dialog, resource);
  std::lock_guard<std::mutex> lock(U().mutex);
  if (U().scripted.empty()) return IDCANCEL;
  int answer = U().scripted.front();
  U().scripted.pop_front();
  return answer;
}

// Lets messages already waiting reach their windows, as a modal loop would.
void PumpWaiting() {
  MSG msg;
  for (int i = 0; i < 64; ++i) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

int g_module_marker;
int g_resource_marker;

}  // namespace

HINSTANCE GetModuleHandleA(const char*) { return reinterpret_cast<HINSTANCE>(&g_module_marker); }

void* LoadIconA(HINSTANCE, const char*) { return &g_resource_marker; }
void* LoadCursorA(HINSTANCE, const char*) { return &g_resource_marker; }
void* GetStockObject(int) { return &g_resource_marker; }

INT_PTR DialogBoxParamA(HINSTANCE, const char* template_name, HWND, DLGPROC proc, LPARAM init) {
  if (proc == nullptr) return -1;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DialogClassProc;
  wc.lpszClassName = kDialogClass;
  RegisterClassExA(&wc);  // already registered by an earlier dialog: fine

  platform::DialogResource resource;
  {
    std::lock_guard<std::mutex> lock(U().mutex);
    ++U().dialogs_shown;
    if (IsIntResource(template_name)) {
      auto it = U().resources.find(static_cast<WORD>(reinterpret_cast<uintptr_t>(template_name)));
      if (it != U().resources.end()) resource = it->second;
    }
  }
  g_creating_proc = proc;
  HWND dialog = CreateWindowExA(0, kDialogClass, "", WS_POPUP | WS_VISIBLE, 0, 0, kDialogWidth,
                                kDialogHeight, nullptr, nullptr, nullptr, nullptr);
  g_creating_proc = nullptr;
  if (dialog == nullptr) return -1;
  g_dialogs[dialog] = ActiveDialog{proc, false, 0};

  SendMessageA(dialog, WM_INITDIALOG, 0, init);
  PumpWaiting();
  // The user's answer; a procedure that ignores it gets Escape (IDCANCEL),
  // and one that ignores that too is given up as a broken dialog.
  int tries = 0;
  while (!g_dialogs[dialog].ended && tries < 2) {
    int answer = tries == 0 ? NextAnswer(dialog, resource) : IDCANCEL;
    ++tries;
    if (answer == -1) {
      EndDialog(dialog, -1);
      break;
    }
    SendMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(answer & 0xFFFF), 0);
  }
  INT_PTR result = g_dialogs[dialog].ended ? g_dialogs[dialog].result : -1;
  g_dialogs.erase(dialog);
  DestroyWindow(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto it = g_dialogs.find(dialog);
  if (it == g_dialogs.end()) return 0;
  it->second.ended = true;
  it->second.result = result;
  return 1;
}

int ShowCursor(BOOL show) {
  int count = show ? ++g_cursor_count : --g_cursor_count;
  const auto backend = platform::detail::Installed();
  if (backend->cursor_changed) backend->cursor_changed(count);
  return count;
}

HWND SetFocus(HWND window) {
  std::lock_guard<std::mutex> lock(U().mutex);
  HWND previous = U().focus;
  U().focus = window;
  return previous;
}

HWND GetFocus() {
  std::lock_guard<std::mutex> lock(U().mutex);
  return U().focus;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

// Raising priority needs privileges the player should not ask for; the
// request is noted and taken as done.
BOOL SetPriorityClass(HANDLE, DWORD priority_class) {
  std::lock_guard<std::mutex> lock(U().mutex);
  U().priority_class = priority_class;
  return 1;
}

BOOL SetThreadPriority(HANDLE, int priority) {
  std::lock_guard<std::mutex> lock(U().mutex);
  U().thread_priority = priority;
  return 1;
}

namespace platform {

void RegisterDialog(WORD id, DialogResource resource) {
  std::lock_guard<std::mutex> lock(U().mutex);
  U().resources[id] = std::move(resource);
}

void SetScriptedChoices(std::vector<int> choices) {
  std::lock_guard<std::mutex> lock(U().mutex);
  U().scripted.assign(choices.begin(), choices.end());
}

int DialogsShown() {
  std::lock_guard<std::mutex> lock(U().mutex);
  return U().dialogs_shown;
}

int CursorCount() { return g_cursor_count.load(); }

DWORD RequestedPriorityClass() {
  std::lock_guard<std::mutex> lock(U().mutex);
  return U().priority_class;
}

int RequestedThreadPriority() {
  std::lock_guard<std::mutex> lock(U().mutex);
  return U().thread_priority;
}

void ResetUi() {
  std::lock_guard<std::mutex> lock(U().mutex);
  U().resources.clear();
  U().scripted.clear();
  U().dialogs_shown = 0;
  U().focus = nullptr;
  U().priority_class = 0;
  U().thread_priority = 0;
  g_cursor_count = 0;
  g_dialogs.clear();
}

// ---- Single instance -------------------------------------------------------

namespace {

struct Instance {
  std::mutex mutex;
  std::string configured_dir;  // empty: private, no other copy is found
  std::string dir;             // in use while claimed
  bool private_claim = false;  // claimed without a directory
  int lock_fd = -1;
  int listen_fd = -1;
  std::thread listener;
  std::string class_name;
  std::string title;
  std::atomic<int> requests{0};

  // A process that exits without releasing its claim (the display lost
  // under it, say) must not leave a running listener to abort the exit.
  ~Instance() {
    if (!listener.joinable()) return;
    if (listen_fd >= 0) shutdown(listen_fd, SHUT_RDWR);
    listener.join();
  }
};

Instance& I() {
  static Instance instance;
  return instance;
}

bool MakeDirectories(const std::string& path) {
  std::string partial;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    partial = path.substr(0, next);
    if (!partial.empty()) {
      if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    pos = next + 1;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SocketAddress(const std::string& dir, sockaddr_un* address) {
  std::string path = dir + "/instance.sock";
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

void Listen(int fd) {
  for (;;) {
    int client = accept(fd, nullptr, nullptr);
    if (client < 0) {
      if (errno == EINTR) continue;
      return;  // shut down
    }
    // One short request per connection; a silent peer is not waited on long.
    char request[16] = {};
    pollfd p{client, POLLIN, 0};
    ssize_t got = 0;
    if (poll(&p, 1, 1000) > 0) got = recv(client, request, sizeof(request) - 1, 0);
    close(client);
    if (got < 5 || std::strncmp(request, "focus", 5) != 0) continue;
    Instance& in = I();
    std::string class_name, title;
    {
      std::lock_guard<std::mutex> lock(in.mutex);
      class_name = in.class_name;
      title = in.title;
    }
    ++in.requests;
    HWND window = FindWindowA(class_name.c_str(), title.c_str());
    if (window != nullptr) PostMessageA(window, WM_SETFOCUS, 0, 0);
    const auto backend = platform::detail::Installed();
    if (backend->focus_requested) backend->focus_requested();
  }
}

// Asks the copy that holds the lock to take the focus. It may still be
// starting up, so the socket is tried for a while.
void RequestFocus(const std::string& dir) {
  sockaddr_un address;
  if (!SocketAddress(dir, &address)) return;
  for (int attempt = 0; attempt < kInstanceRetries; ++attempt) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
      send(fd, "focus\n", 6, MSG_NOSIGNAL);
      close(fd);
      return;
    }
    close(fd);
    usleep(10000);
  }
}

}  // namespace

void SetInstanceDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(I().mutex);
  I().configured_dir = dir;
}

std::string DefaultInstanceDirectory() {
  if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/morvane-demos";
  return "/tmp/morvane-demos-" + std::to_string(getuid());
}

InstanceClaim ClaimSingleInstance(const char* class_name, const char* title) {
  Instance& in = I();
  std::unique_lock<std::mutex> lock(in.mutex);
  if (in.lock_fd >= 0 || in.private_claim) return InstanceClaim::kFirst;  // already ours
  in.class_name = class_name ? class_name : "";
  in.title = title ? title : "";

  // A private directory is one no other copy can find: nothing to lock, and
  // nothing left behind by a copy that is killed.
  if (in.configured_dir.empty()) {
    in.private_claim = true;
    return InstanceClaim::kFirst;
  }
  std::string dir = in.configured_dir;
  if (!MakeDirectories(dir)) return InstanceClaim::kUnavailable;

  std::string lock_path = dir + "/instance.lock";
  int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return InstanceClaim::kUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    bool taken = errno == EWOULDBLOCK;
    close(fd);
    if (!taken) return InstanceClaim::kUnavailable;
    lock.unlock();
    RequestFocus(dir);
    return InstanceClaim::kOtherRunning;
  }
  in.lock_fd = fd;
  in.dir = dir;

  // Listening is a courtesy to later copies; without it we still run.
  sockaddr_un address;
  if (SocketAddress(dir, &address)) {
    unlink(address.sun_path);  // left over by a copy that was killed
    int listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd >= 0 &&
        bind(listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        listen(listen_fd, 8) == 0) {
      in.listen_fd = listen_fd;
      in.listener = std::thread(Listen, listen_fd);
    } else if (listen_fd >= 0) {
      close(listen_fd);
    }
  }
  return InstanceClaim::kFirst;
}

void ReleaseSingleInstance() {
  Instance& in = I();
  std::thread listener;
  {
    std::lock_guard<std::mutex> lock(in.mutex);
    in.private_claim = false;
    if (in.lock_fd < 0) return;
    if (in.listen_fd >= 0) shutdown(in.listen_fd, SHUT_RDWR);
    listener = std::move(in.listener);
  }
  if (listener.joinable()) listener.join();
  std::lock_guard<std::mutex> lock(in.mutex);
  sockaddr_un address;
  if (in.listen_fd >= 0) {
    close(in.listen_fd);
    in.listen_fd = -1;
    if (SocketAddress(in.dir, &address)) unlink(address.sun_path);
  }
  // The lock file stays: removing it would let two copies lock two
  // different files.
  close(in.lock_fd);
  in.lock_fd = -1;
  in.dir.clear();
}

int FocusRequestsReceived() { return I().requests.load(); }

}  // namespace platform
