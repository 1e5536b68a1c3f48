// The visible screen of the in-memory model, handed to the backend.
#include "platform/backend.h"
#include "platform/memory/internal.h"
#include "platform/testing.h"

#include <cstring>
#include <mutex>

namespace platform::memory {

namespace {

struct ScreenState {
  std::mutex mutex;
  Screen screen;
  int published = 0;
};

ScreenState& State() {
  static ScreenState state;
  return state;
}

}  // namespace

Screen CurrentScreen() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().screen;
}

int PublishedScreens() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().published;
}

void ResetDisplay() {
  detail::ResetDirectDraw();
  detail::ResetGdi();
  std::lock_guard<std::mutex> lock(State().mutex);
  State().screen = Screen{};
  State().published = 0;
}

namespace detail {

void Publish(int width, int height, int pitch, const uint8_t* indices, const uint8_t* rgb768) {
  ScreenState& s = State();
  const auto backend = platform::detail::Installed();
  Screen copy;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.screen.width = width;
    s.screen.height = height;
    s.screen.pitch = pitch;
    s.screen.indices.assign(indices, indices + static_cast<size_t>(pitch) * height);
    std::memcpy(s.screen.palette.data(), rgb768, 768);
    ++s.published;
    if (!backend->screen_shown) return;
    copy = s.screen;
  }
  // Outside the lock, so that the backend may look at CurrentScreen.
  backend->screen_shown(copy);
}

}  // namespace detail

}  // namespace platform::memory
