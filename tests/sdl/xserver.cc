// Built only with the X11 headers (links.cmake): without them there is no
// server to test on.
#ifdef MV_HAVE_X11
#include "xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace sdltest {

namespace {

struct Connection {
  explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {}
  ~Connection() {
    if (display) XCloseDisplay(display);
  }
  Display* display;
};

std::string WindowTitle(Display* display, ::Window window) {
  char* name = nullptr;
  std::string title;
  if (XFetchName(display, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

}  // namespace

VirtualDisplay::VirtualDisplay(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string fd = std::to_string(fds[1]);
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    // Only the server's built-in fonts, as on a fresh machine: the tests
    // must not pass because font packages happen to be installed here.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
           "tcp", "-noreset", "-fp", "built-ins", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  // Xvfb writes the display number once it accepts clients.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  for (int waited = 0; waited < 20000 && number.find('\n') == std::string::npos;) {
    if (poll(&p, 1, 100) > 0) {
      char buffer[16];
      ssize_t n = read(fds[0], buffer, sizeof(buffer));
      if (n <= 0) break;
      number.append(buffer, static_cast<size_t>(n));
    } else {
      waited += 100;
    }
  }
  close(fds[0]);
  if (number.empty() || number.find('\n') == std::string::npos) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

Image Screenshot(const std::string& name) {
  Image out;
  Connection c(name);
  if (c.display == nullptr) return out;
  ::Window root = DefaultRootWindow(c.display);
  XWindowAttributes a;
  if (!XGetWindowAttributes(c.display, root, &a)) return out;
  XImage* image = XGetImage(c.display, root, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (image == nullptr) return out;
  out.width = a.width;
  out.height = a.height;
  out.rgb.resize(static_cast<size_t>(a.width) * a.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const unsigned long v = XGetPixel(image, x, y);
      auto channel = [v](unsigned long mask) -> uint32_t {
        if (mask == 0) return 0;
        const int shift = __builtin_ctzl(mask);
        return static_cast<uint32_t>(((v & mask) >> shift) * 255 / (mask >> shift));
      };
      out.rgb[static_cast<size_t>(y) * a.width + x] =
          channel(image->red_mask) << 16 | channel(image->green_mask) << 8 | channel(image->blue_mask);
    }
  XDestroyImage(image);
  return out;
}

std::vector<Window> FindWindows(const std::string& name, const std::string& title) {
  std::vector<Window> found;
  Connection c(name);
  if (c.display == nullptr) return found;
  ::Window root_return, parent, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(c.display, DefaultRootWindow(c.display), &root_return, &parent, &children, &count))
    return found;
  for (unsigned int i = 0; i < count; ++i) {
    if (WindowTitle(c.display, children[i]) == title) {
      XWindowAttributes a;
      if (XGetWindowAttributes(c.display, children[i], &a))
        found.push_back(Window{children[i], a.x, a.y, a.width, a.height, a.map_state == IsViewable});
    }
  }
  if (children) XFree(children);
  return found;
}

bool FocusWindow(const std::string& name, unsigned long id) {
  Connection c(name);
  if (c.display == nullptr) return false;
  XSetInputFocus(c.display, id, RevertToPointerRoot, CurrentTime);
  XSync(c.display, False);
  return true;
}

bool CloseWindow(const std::string& name, unsigned long id) {
  Connection c(name);
  if (c.display == nullptr) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = id;
  e.xclient.message_type = XInternAtom(c.display, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(c.display, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(c.display, id, False, NoEventMask, &e);
  XSync(c.display, False);
  return true;
}

namespace {

bool RunXdotool(const std::string& name, std::vector<std::string> args) {
  pid_t pid = fork();
  if (pid == 0) {
    setenv("DISPLAY", name.c_str(), 1);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    args.insert(args.begin(), "xdotool");
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp("xdotool", argv.data());
    _exit(127);
  }
  if (pid < 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool PressKey(const std::string& name, const std::string& key) {
  return RunXdotool(name, {"key", "--clearmodifiers", key});
}

bool ClickAt(const std::string& name, int x, int y) {
  return RunXdotool(name, {"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

}  // namespace sdltest

#endif  // MV_HAVE_X11
