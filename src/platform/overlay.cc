#include "platform/overlay.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_lines;
std::atomic<unsigned> g_version{0};

}  // namespace

void SetOverlay(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_lines = std::move(lines);
  g_version.fetch_add(1, std::memory_order_release);
}

std::vector<std::string> Overlay() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_lines;
}

unsigned OverlayVersion() { return g_version.load(std::memory_order_acquire); }

}  // namespace platform
