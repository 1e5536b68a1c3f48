// The in-memory key state: a table of keys held down that tests set, unless
// the backend gives the key state.
#include "platform/keystate.h"

#include "platform/backend.h"
#include "platform/testing.h"

#include <mutex>

namespace {

constexpr int16_t kDown = static_cast<int16_t>(0xFF80);

std::mutex g_mutex;  // scripted input may come from another thread
bool g_down[256] = {};

bool Down(int vk) { return vk >= 0 && vk < 256 && g_down[vk]; }

}  // namespace

int16_t GetKeyState(int virtual_key) {
  const auto backend = platform::detail::Installed();
  if (backend->key_state) return backend->key_state(virtual_key);
  std::lock_guard<std::mutex> lock(g_mutex);
  bool down = Down(virtual_key);
  if (virtual_key == VK_SHIFT) down = down || Down(VK_LSHIFT) || Down(VK_RSHIFT);
  if (virtual_key == VK_CONTROL) down = down || Down(VK_LCONTROL) || Down(VK_RCONTROL);
  if (virtual_key == VK_MENU) down = down || Down(VK_LMENU) || Down(VK_RMENU);
  return down ? kDown : 0;
}

namespace platform {

void SetKeyDown(int virtual_key, bool down) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (virtual_key >= 0 && virtual_key < 256) g_down[virtual_key] = down;
}

void ClearKeyState() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (bool& d : g_down) d = false;
}

}  // namespace platform
