// A private virtual X server for the tests, screenshots of its root window,
// and its windows by title.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sdltest {

// Xvfb on a free display number with only its built-in fonts, stopped with
// the object. `available()` is false when there is no Xvfb (or it cannot
// start): the tests then skip.
class VirtualDisplay {
 public:
  VirtualDisplay(int width = 1024, int height = 768);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  bool available() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string name_;
};

struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0xRRGGBB, row by row
  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// The root window as it is now (empty image when the display cannot be read).
Image Screenshot(const std::string& display);

struct Window {
  unsigned long id = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool mapped = false;
};
// Top-level windows with this exact title, in stacking order.
std::vector<Window> FindWindows(const std::string& display, const std::string& title);
// Gives the window the keyboard focus (there is no window manager).
bool FocusWindow(const std::string& display, unsigned long id);
// Asks the window to close, as a window manager's close button does.
bool CloseWindow(const std::string& display, unsigned long id);
// xdotool key NAME on the display (to the focused window).
bool PressKey(const std::string& display, const std::string& key);
// Moves the pointer to (x, y) of the screen and clicks the left button there.
bool ClickAt(const std::string& display, int x, int y);

}  // namespace sdltest
