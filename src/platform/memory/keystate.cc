// The in-memory key state: a table of keys held down, set by tests and scripted
// input, unless a backend has installed its own source.
#include "platform/keystate.h"

#include <mutex>

namespace {

constexpr int16_t kDown = static_cast<int16_t>(0xFF80);

std::mutex g_mutex;  // scripted input may come from another thread
bool g_down[256] = {};
std::function<int16_t(int)> g_source;

bool Down(int vk) { return vk >= 0 && vk < 256 && g_down[vk]; }

}  // namespace

int16_t GetKeyState(int virtual_key) {
  std::function<int16_t(int)> source;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_source) {
      bool down = Down(virtual_key);
      if (virtual_key == VK_SHIFT) down = down || Down(VK_LSHIFT) || Down(VK_RSHIFT);
      if (virtual_key == VK_CONTROL) down = down || Down(VK_LCONTROL) || Down(VK_RCONTROL);
      if (virtual_key == VK_MENU) down = down || Down(VK_LMENU) || Down(VK_RMENU);
      return down ? kDown : 0;
    }
    source = g_source;
  }
  return source(virtual_key);
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

void SetKeyStateSource(std::function<int16_t(int)> source) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_source = std::move(source);
}

}  // namespace platform
