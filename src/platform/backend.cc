// The installed backend table. Callers take a snapshot and call outside the
// lock, so an entry may itself call into the seam.
#include "platform/backend.h"

#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;

// Never destroyed: a timer or listener thread may still look at it while
// the process ends.
std::shared_ptr<const Backend>& Table() {
  static auto* table = new std::shared_ptr<const Backend>(std::make_shared<const Backend>());
  return *table;
}

}  // namespace

void Install(const Backend& backend) {
  auto table = std::make_shared<const Backend>(backend);
  std::lock_guard<std::mutex> lock(g_mutex);
  Table() = std::move(table);
}

void Uninstall() { Install(Backend{}); }

namespace detail {

std::shared_ptr<const Backend> Installed() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Table();
}

}  // namespace detail

}  // namespace platform
