// The visible screen of the in-memory model and its observer.
#include "platform/memory/screen.h"

#include <cstring>
#include <mutex>

namespace platform::memory {

namespace {

struct ScreenState {
  std::mutex mutex;
  Screen screen;
  int published = 0;
  std::function<void(const Screen&)> observer;
};

ScreenState& State() {
  static ScreenState state;
  return state;
}

}  // namespace

void SetScreenObserver(std::function<void(const Screen&)> observer) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().observer = std::move(observer);
}

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
  State().observer = nullptr;
}

namespace detail {

void Publish(int width, int height, int pitch, const uint8_t* indices, const uint8_t* rgb768) {
  ScreenState& s = State();
  Screen copy;
  std::function<void(const Screen&)> observer;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.screen.width = width;
    s.screen.height = height;
    s.screen.pitch = pitch;
    s.screen.indices.assign(indices, indices + static_cast<size_t>(pitch) * height);
    std::memcpy(s.screen.palette.data(), rgb768, 768);
    ++s.published;
    if (!s.observer) return;
    copy = s.screen;
    observer = s.observer;
  }
  // Outside the lock, so that the observer may look at CurrentScreen.
  observer(copy);
}

}  // namespace detail

}  // namespace platform::memory
