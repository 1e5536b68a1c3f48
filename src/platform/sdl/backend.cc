// The SDL2 backend's window, screen, input, chooser, cursor and focus.
//
// The DirectDraw and GDI calls keep running on the in-memory model; what it
// makes visible (after a flip, a copy or a palette change) is converted
// through the palette in effect and drawn into the window at once.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/dsound.h"
#include "platform/overlay.h"
#include "platform/memory/model.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/sdl/audio.h"
#include "platform/sdl/chooser.h"
#include "platform/sdl/glyphs.h"
#include "platform/sdl/keymap.h"
#include "platform/sdl/layout.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/ui.h"

namespace platform::sdl {

namespace {

// While the window is closing, Escape is repeated this often until the
// demonstration has ended (a key may land between two files).
constexpr uint32_t kEscapeRepeatMs = 250;
// The longest wait for the display's events while playing.
constexpr uint32_t kPumpMs = 5;

constexpr WPARAM MK_LBUTTON = 0x01;
constexpr WPARAM MK_RBUTTON = 0x02;
constexpr WPARAM MK_SHIFT = 0x04;
constexpr WPARAM MK_CONTROL = 0x08;
constexpr WPARAM MK_MBUTTON = 0x10;

struct State {
  Options options;
  bool installed = false;

  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  // The screen through its palette at the layout's size, in the window's
  // own pixel format where the renderer takes it: a plain copy to the
  // window. Only the rows that take from changed screen rows are redone.
  SDL_Texture* picture = nullptr;
  int picture_width = 0, picture_height = 0;
  Uint32 picture_format = SDL_PIXELFORMAT_ARGB8888;
  Scale scale;                // from the screen's size to the picture's
  memory::Screen drawn;       // what `picture` holds
  bool frame_shown = false;   // the window shows `drawn` and the overlay

  HWND main = nullptr;
  bool shown = false;
  bool fullscreen = false;
  bool borderless = false;  // full screen as a borderless window over the display
  SDL_Rect windowed{};      // where the window was before that
  bool active = false;

  GlyphTexture glyphs;
  // The chooser while it shows (drawn in place of the picture).
  const DialogResource* chooser = nullptr;
  ChooserState chooser_state;
  ChooserLayout chooser_layout;
  bool chooser_drawn = true;
  unsigned overlay_version = 0;

  // The last screen made visible; `pending` until it is drawn.
  std::mutex screen_mutex;
  memory::Screen screen;
  bool have_screen = false;
  bool pending = false;
  Layout layout;

  std::array<std::atomic<bool>, 256> keys{};
  std::atomic<bool> raise_requested{false};
  std::atomic<bool> close_requested{false};
  bool chooser_failed = false;
  uint32_t last_escape = 0;
  uint32_t last_pump = 0;  // SDL_GetTicks() of the last read of the display's events
};

State& B() {
  static State state;
  return state;
}

Fit FitFor(const memory::Screen& s) {
  // The device-context path draws into the desktop: whole factors only.
  if (s.width == platform::DesktopWidth() && s.height == platform::DesktopHeight())
    return Fit::kWhole;
  return B().options.aspect ? Fit::kAspect43 : Fit::kSquare;
}

// The application's lines of text over the picture, top left, on a dark box;
// about one font pixel per 360 rows of the window.
void DrawOverlay(int output_width, int output_height) {
  State& b = B();
  b.overlay_version = platform::OverlayVersion();
  const std::vector<std::string> lines = platform::Overlay();
  if (lines.empty()) return;
  const int s = std::max(1, std::min(output_height / 360, output_width / 480));
  size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  const int pad = 4 * s;
  const SDL_Rect box{pad, pad, static_cast<int>(longest) * kGlyphWidth * s + 2 * pad,
                     static_cast<int>(lines.size()) * kGlyphHeight * s + 2 * pad};
  SDL_SetRenderDrawBlendMode(b.renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(b.renderer, 0, 0, 0, 200);
  SDL_RenderFillRect(b.renderer, &box);
  SDL_SetRenderDrawBlendMode(b.renderer, SDL_BLENDMODE_NONE);
  for (size_t i = 0; i < lines.size(); ++i)
    b.glyphs.Draw(b.renderer, lines[i], box.x + pad, box.y + pad + static_cast<int>(i) * kGlyphHeight * s,
                  s, SDL_Color{0xF0, 0xF0, 0xF0, 0xFF});
}

// The screen into the picture texture through its palette at the layout's
// size: every row after a change of size, pitch or palette, otherwise only
// the rows that take from the band of screen rows that changed since the
// last time, and nothing when the picture is the same. `changed` tells
// whether the texture changed.
SDL_Texture* UpdatePicture(const memory::Screen& s, const Layout& l, bool* changed) {
  State& b = B();
  const bool kept = b.picture != nullptr && b.picture_width == l.width &&
                    b.picture_height == l.height && b.drawn.width == s.width &&
                    b.drawn.height == s.height;
  *changed = true;
  if (!kept) {
    if (b.picture != nullptr) SDL_DestroyTexture(b.picture);
    b.picture = SDL_CreateTexture(b.renderer, b.picture_format, SDL_TEXTUREACCESS_STREAMING, l.width,
                                  l.height);
    b.picture_width = b.picture ? l.width : 0;
    b.picture_height = b.picture ? l.height : 0;
    b.drawn = memory::Screen{};
    if (b.picture == nullptr) return nullptr;
    // Opaque: a plain copy, never a blend (the words' top byte is 0xFF).
    SDL_SetTextureBlendMode(b.picture, SDL_BLENDMODE_NONE);
    b.scale = MakeScale(s.width, s.height, l);
  }
  RowBand band{0, s.height};
  if (kept && b.drawn.pitch == s.pitch && b.drawn.indices.size() == s.indices.size() &&
      b.drawn.palette == s.palette)
    band = ChangedRows(s.width, s.height, s.pitch, s.indices.data(), b.drawn.indices.data());
  *changed = band.first < band.end;
  if (!*changed) return b.picture;
  const RowBand out = PictureRows(b.scale, band);
  const SDL_Rect rows{0, out.first, l.width, out.end - out.first};
  void* pixels = nullptr;
  int pitch = 0;
  if (rows.h > 0) {
    if (SDL_LockTexture(b.picture, &rows, &pixels, &pitch) != 0) return nullptr;
    ScaleIndexed(b.scale, out, s.indices.data(), s.pitch, s.palette.data(), static_cast<uint32_t*>(pixels),
                 pitch / 4);
    SDL_UnlockTexture(b.picture);
  }
  b.drawn = s;
  return b.picture;
}

// Draws the window as it is now: the chooser while it shows, otherwise the
// stored screen (black when there is none) and the overlay; both laid out by
// the window's real size. `when_changed`: not at all when the window already
// shows this picture and overlay.
void Draw(bool when_changed = false) {
  State& b = B();
  if (!b.shown || b.renderer == nullptr) return;
  const memory::Screen& s = b.screen;
  const bool picture = b.chooser == nullptr && b.have_screen && s.width > 0 && s.height > 0 &&
                       s.indices.size() >= static_cast<size_t>(s.pitch) * s.height;
  int ow = 0, oh = 0;
  SDL_GetRendererOutputSize(b.renderer, &ow, &oh);
  if (picture) b.layout = ComputeLayout(s.width, s.height, ow, oh, FitFor(s));
  SDL_Texture* frame = nullptr;
  bool changed = true;
  if (picture) frame = UpdatePicture(s, b.layout, &changed);
  if (when_changed && b.frame_shown && frame != nullptr && !changed &&
      b.overlay_version == platform::OverlayVersion())
    return;
  b.frame_shown = false;
  SDL_SetRenderDrawColor(b.renderer, 0, 0, 0, 255);
  if (frame != nullptr) {
    // Black only where the picture does not go: the bars beside it.
    const Layout& l = b.layout;
    const SDL_Rect bars[] = {{0, 0, ow, l.y},
                             {0, l.y + l.height, ow, oh - l.y - l.height},
                             {0, l.y, l.x, l.height},
                             {l.x + l.width, l.y, ow - l.x - l.width, l.height}};
    for (const SDL_Rect& bar : bars)
      if (bar.w > 0 && bar.h > 0) SDL_RenderFillRect(b.renderer, &bar);
  } else {
    SDL_RenderClear(b.renderer);
  }
  if (b.chooser != nullptr) {
    b.chooser_layout = LayOutChooser(*b.chooser, ow, oh);
    b.chooser_drawn = DrawChooser(b.renderer, b.glyphs, *b.chooser, b.chooser_layout, b.chooser_state);
    SDL_RenderPresent(b.renderer);
    return;
  }
  if (picture) {
    if (frame != nullptr) {
      b.frame_shown = true;
      const SDL_Rect dest{b.layout.x, b.layout.y, b.layout.width, b.layout.height};
      SDL_RenderCopy(b.renderer, frame, nullptr, &dest);
    }
  }
  DrawOverlay(ow, oh);
  SDL_RenderPresent(b.renderer);
}

// Drawn at the next poll, a millisecond away at most: the flips, copies
// and palette changes of one frame then cost one draw, and the main thread
// is the one that draws.
void OnScreen(const memory::Screen& screen) {
  State& b = B();
  std::lock_guard<std::mutex> lock(b.screen_mutex);
  b.screen = screen;
  b.have_screen = true;
  b.pending = true;
}

void ClearKeys() {
  for (auto& k : B().keys) k.store(false);
}

// Full screen: what the window manager makes of the request where there is
// one; on X11 a borderless window placed over the display's bounds, which
// holds with or without a window manager (none may honour the request, and
// the window would keep its size while SDL reported the display's).
bool OwnFullscreen() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && std::string(driver) == "x11";
}

void EnterFullscreen() {
  State& b = B();
  if (!OwnFullscreen()) {
    SDL_SetWindowFullscreen(b.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    return;
  }
  SDL_Rect bounds{};
  const int display = std::max(0, SDL_GetWindowDisplayIndex(b.window));
  if (SDL_GetDisplayBounds(display, &bounds) != 0) return;
  if (!b.borderless) {
    SDL_GetWindowPosition(b.window, &b.windowed.x, &b.windowed.y);
    SDL_GetWindowSize(b.window, &b.windowed.w, &b.windowed.h);
  }
  b.borderless = true;
  SDL_SetWindowBordered(b.window, SDL_FALSE);
  SDL_SetWindowPosition(b.window, bounds.x, bounds.y);
  SDL_SetWindowSize(b.window, bounds.w, bounds.h);
}

void LeaveFullscreen() {
  State& b = B();
  if (!b.borderless) {
    SDL_SetWindowFullscreen(b.window, 0);
    return;
  }
  b.borderless = false;
  SDL_SetWindowBordered(b.window, SDL_TRUE);
  SDL_SetWindowSize(b.window, b.windowed.w, b.windowed.h);
  SDL_SetWindowPosition(b.window, b.windowed.x, b.windowed.y);
}

// Raised and given the keyboard (there may be no window manager to do it).
void TakeFocus() {
  State& b = B();
  SDL_RaiseWindow(b.window);
  SDL_SetWindowInputFocus(b.window);
}

void Show() {
  State& b = B();
  if (b.window == nullptr || b.shown) return;
  b.fullscreen = !b.options.window;
  if (b.fullscreen && OwnFullscreen()) EnterFullscreen();  // mapped at its full size
  SDL_ShowWindow(b.window);
  if (b.fullscreen && !OwnFullscreen()) EnterFullscreen();
  TakeFocus();
  b.shown = true;
  b.active = true;  // focus arrives with the window; only changes are sent
  ClearKeys();
  Draw();
}

void Hide() {
  State& b = B();
  if (b.window == nullptr || !b.shown) return;
  if (b.fullscreen) LeaveFullscreen();
  SDL_HideWindow(b.window);
  b.shown = false;
  b.frame_shown = false;
  std::lock_guard<std::mutex> lock(b.screen_mutex);
  b.have_screen = false;  // the next session starts from black
  b.pending = false;
}

void ToggleFullscreen() {
  State& b = B();
  if (!b.shown) return;
  b.fullscreen = !b.fullscreen;
  if (b.fullscreen) {
    EnterFullscreen();
  } else {
    LeaveFullscreen();
  }
  TakeFocus();
  Draw();
}

void Post(UINT message, WPARAM wparam, LPARAM lparam) {
  if (B().main != nullptr) PostMessageA(B().main, message, wparam, lparam);
}

void PostEscape() {
  State& b = B();
  b.last_escape = timeGetTime();
  Post(WM_KEYDOWN, VK_ESCAPE, KeyMessageParam(true, false, false));
}

void RequestClose() {
  State& b = B();
  if (b.close_requested.exchange(true)) return;
  Hide();
  PostEscape();
}

void SetModifiers(Uint16 mod) {
  auto& k = B().keys;
  k[VK_LSHIFT] = (mod & KMOD_LSHIFT) != 0;
  k[VK_RSHIFT] = (mod & KMOD_RSHIFT) != 0;
  k[VK_SHIFT] = (mod & KMOD_SHIFT) != 0;
  k[VK_LCONTROL] = (mod & KMOD_LCTRL) != 0;
  k[VK_RCONTROL] = (mod & KMOD_RCTRL) != 0;
  k[VK_CONTROL] = (mod & KMOD_CTRL) != 0;
  k[VK_LMENU] = (mod & KMOD_LALT) != 0;
  k[VK_RMENU] = (mod & KMOD_RALT) != 0;
  k[VK_MENU] = (mod & KMOD_ALT) != 0;
}

WPARAM MouseKeys(Uint32 buttons) {
  WPARAM w = 0;
  if (buttons & SDL_BUTTON_LMASK) w |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) w |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) w |= MK_MBUTTON;
  if (B().keys[VK_SHIFT]) w |= MK_SHIFT;
  if (B().keys[VK_CONTROL]) w |= MK_CONTROL;
  return w;
}

LPARAM MousePoint(int x, int y) {
  State& b = B();
  int sx = 0, sy = 0;
  WindowToScreen(b.layout, b.screen.width, b.screen.height, x, y, &sx, &sy);
  return static_cast<LPARAM>((static_cast<uint32_t>(sy) << 16) | (static_cast<uint32_t>(sx) & 0xFFFF));
}

// Returns true after a key event, so that the key state stays in step with
// the messages: the rest waits in SDL's queue for the next poll.
bool Handle(const SDL_Event& e) {
  State& b = B();
  switch (e.type) {
    case SDL_QUIT:
      RequestClose();
      return false;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          RequestClose();
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          Draw();
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          if (b.shown && !b.active) {
            b.active = true;
            Post(WM_ACTIVATEAPP, 1, 0);
          }
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          if (b.shown && b.active) {
            b.active = false;
            ClearKeys();
            Post(WM_ACTIVATEAPP, 0, 0);
          }
          break;
        default:
          break;
      }
      return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const bool down = e.type == SDL_KEYDOWN;
      const int vk = VirtualKeyFor(e.key.keysym.sym, e.key.keysym.scancode);
      SetModifiers(e.key.keysym.mod);
      if (vk == 0) return true;
      if (vk != VK_SHIFT && vk != VK_CONTROL && vk != VK_MENU) b.keys[vk] = down;
      const bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
      if (down && alt && vk == VK_RETURN && !e.key.repeat) ToggleFullscreen();
      Post(KeyMessageFor(vk, down, alt), static_cast<WPARAM>(vk),
           KeyMessageParam(down, e.key.repeat != 0, alt));
      return true;
    }
    case SDL_MOUSEMOTION:
      Post(WM_MOUSEMOVE, MouseKeys(e.motion.state), MousePoint(e.motion.x, e.motion.y));
      return false;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      UINT message = 0;
      if (e.button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      if (e.button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      if (e.button.button == SDL_BUTTON_MIDDLE) message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      if (message != 0)
        Post(message, MouseKeys(SDL_GetMouseState(nullptr, nullptr)), MousePoint(e.button.x, e.button.y));
      return false;
    }
    default:
      return false;
  }
}

void Poll() {
  State& b = B();
  if (b.raise_requested.exchange(false) && b.window != nullptr && b.shown) TakeFocus();
  bool pending;
  {
    std::lock_guard<std::mutex> lock(b.screen_mutex);
    pending = b.pending;
    b.pending = false;
  }
  if (pending || b.overlay_version != platform::OverlayVersion()) Draw(true);
  // The display is read every few passes: each read is a system call, and
  // the passes come a millisecond apart.
  const uint32_t now = SDL_GetTicks();
  if (now - b.last_pump >= kPumpMs) {
    b.last_pump = now;
    SDL_PumpEvents();
  }
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
    if (Handle(e)) break;
  }
  if (b.close_requested && timeGetTime() - b.last_escape >= kEscapeRepeatMs) PostEscape();
}

void Wait(uint32_t max_ms) {
  // As long as the pass may idle (a millisecond, a few while playing): the
  // playback loop's timers need the pass, and the display's events are
  // read by it.
  if (max_ms > 0 && !SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))
    std::this_thread::sleep_for(std::chrono::milliseconds(max_ms));
}

int16_t KeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  return B().keys[vk].load() ? static_cast<int16_t>(0xFF80) : 0;
}

// A window point in the renderer's pixels (they differ on high-density screens).
SDL_Point OutputPoint(int x, int y) {
  State& b = B();
  int ww = 0, wh = 0, ow = 0, oh = 0;
  SDL_GetWindowSize(b.window, &ww, &wh);
  SDL_GetRendererOutputSize(b.renderer, &ow, &oh);
  if (ww <= 0 || wh <= 0) return {x, y};
  return {static_cast<int>(int64_t{x} * ow / ww), static_cast<int>(int64_t{y} * oh / wh)};
}

// The dialog drawn into the player's window (which shows for it, full screen
// unless --window, and stays for the demonstration chosen); its own modal
// loop until a button is chosen. Closing the window is Escape.
int AskChoice(HWND, const DialogResource& dialog) {
  State& b = B();
  if (b.close_requested || b.chooser_failed) return IDCANCEL;
  b.chooser = &dialog;
  b.chooser_state = StartChooser(dialog);
  b.chooser_drawn = true;
  if (b.shown) {
    Draw();
  } else {
    Show();
  }
  if (!b.shown) b.chooser_drawn = false;  // no window to draw into
  std::optional<int> answer;
  while (!answer && b.chooser_drawn) {
    if (b.raise_requested.exchange(false)) TakeFocus();
    // Polled: waiting in SDL would have other threads' events wake it through
    // the window, which may be gone by then.
    SDL_Event e;
    if (!SDL_PollEvent(&e)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    bool redraw = false;
    switch (e.type) {
      case SDL_QUIT:
        answer = ChooserKey(dialog, b.chooser_state, SDLK_ESCAPE, 0);
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
          answer = ChooserKey(dialog, b.chooser_state, SDLK_ESCAPE, 0);
        redraw = e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                 e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_SHOWN;
        break;
      case SDL_KEYDOWN: {
        const SDL_Keycode key = e.key.keysym.sym;
        if ((e.key.keysym.mod & KMOD_ALT) && (key == SDLK_RETURN || key == SDLK_KP_ENTER)) {
          if (!e.key.repeat) ToggleFullscreen();
        } else {
          answer = ChooserKey(dialog, b.chooser_state, key, e.key.keysym.mod);
          redraw = true;
        }
        break;
      }
      case SDL_MOUSEMOTION: {
        const int hover = b.chooser_state.hover;
        const SDL_Point p = OutputPoint(e.motion.x, e.motion.y);
        ChooserMouse(dialog, b.chooser_layout, b.chooser_state, p.x, p.y, 0);
        redraw = hover != b.chooser_state.hover;
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT) {
          const SDL_Point p = OutputPoint(e.button.x, e.button.y);
          answer = ChooserMouse(dialog, b.chooser_layout, b.chooser_state, p.x, p.y,
                                e.type == SDL_MOUSEBUTTONDOWN ? 1 : -1);
          redraw = true;
        }
        break;
      default:
        break;
    }
    if (redraw && !answer) Draw();
  }
  b.chooser = nullptr;
  if (!answer) {
    // Repair: a chooser that could not show answered -1, which played the
    // first demonstration and asked again, for ever; now the program ends, once.
    const std::string why = SDL_GetError();
    std::fprintf(stderr, "morvane-demos: cannot show the chooser: %s\n",
                 why.empty() ? "the window cannot be drawn into" : why.c_str());
    b.chooser_failed = true;
    return IDCANCEL;
  }
  Draw();  // black until the demonstration's first picture
  return *answer;
}

void DrawWindowIcon(SDL_Window* window) {
  std::vector<uint32_t> icon(32 * 32);
  DrawIcon(icon.data());
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(icon.data(), 32, 32, 32, 32 * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
  if (surface == nullptr) return;
  SDL_SetWindowIcon(window, surface);
  SDL_FreeSurface(surface);
}

// An OpenGL renderer whose "card" is the processor.
bool RasterisedInSoftware(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(renderer, &info) != 0 || info.name == nullptr) return false;
  const std::string name = info.name;
  if (name.rfind("opengl", 0) != 0) return false;
  using GetString = const unsigned char* (*)(unsigned int);
  auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  if (get_string == nullptr) return false;
  const unsigned char* text = get_string(0x1F01);  // GL_RENDERER
  if (text == nullptr) return false;
  const std::string gl = reinterpret_cast<const char*>(text);
  return gl.find("llvmpipe") != std::string::npos || gl.find("softpipe") != std::string::npos ||
         gl.find("Software") != std::string::npos || gl.find("SWR") != std::string::npos;
}

// The window's own 32-bit format when the renderer takes it as is (a copy
// between like formats needs no conversion), else SDL's usual one.
Uint32 PictureFormat(SDL_Window* window, SDL_Renderer* renderer) {
  const Uint32 own = SDL_GetWindowPixelFormat(window);
  if (own != SDL_PIXELFORMAT_RGB888 && own != SDL_PIXELFORMAT_ARGB8888) return SDL_PIXELFORMAT_ARGB8888;
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(renderer, &info) != 0) return SDL_PIXELFORMAT_ARGB8888;
  if (info.num_texture_formats == 0) return own;
  for (Uint32 i = 0; i < info.num_texture_formats; ++i)
    if (info.texture_formats[i] == own) return own;
  return SDL_PIXELFORMAT_ARGB8888;
}

void DestroyVideo() {
  State& b = B();
  b.glyphs.Reset();
  if (b.picture) SDL_DestroyTexture(b.picture);
  if (b.renderer) SDL_DestroyRenderer(b.renderer);
  if (b.window) SDL_DestroyWindow(b.window);
  b.picture = nullptr;
  b.frame_shown = false;
  b.picture_width = b.picture_height = 0;
  b.renderer = nullptr;
  b.window = nullptr;
}

}  // namespace

bool Install(const Options& options, std::string* error) {
  State& b = B();
  if (b.installed) return true;
  b.options = options;
  b.close_requested = false;
  b.chooser_failed = false;
  b.raise_requested = false;
  b.main = nullptr;
  b.shown = false;
  ClearKeys();

  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    if (error)
      *error = std::string("cannot open the display: ") + SDL_GetError() +
               " (--platform=headless plays without one)";
    return false;
  }
  // SDL falls back on drivers that show nothing; a player nobody can see is
  // a missing display, unless one of them was asked for by name.
  const char* driver = SDL_GetCurrentVideoDriver();
  const std::string name = driver ? driver : "";
  if ((name == "offscreen" || name == "dummy" || name == "evdev") && getenv("SDL_VIDEODRIVER") == nullptr) {
    SDL_Quit();
    if (error)
      *error = "cannot open the display: no X11 or Wayland display found (is DISPLAY set?); "
               "--platform=headless plays without one";
    return false;
  }
  int width = 960, height = options.aspect ? 720 : 600;
  if (options.scale > 0) {
    width = 320 * options.scale;
    height = (options.aspect ? 240 : 200) * options.scale;
  }
  // The title is the main window's, given when the player creates it.
  b.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (b.window != nullptr) {
    b.renderer = SDL_CreateRenderer(b.window, -1, 0);
    if (b.renderer != nullptr && RasterisedInSoftware(b.renderer) &&
        getenv("SDL_RENDER_DRIVER") == nullptr) {
      // Without a graphics card, SDL's own drawing into a shared-memory
      // image costs about half of what an emulated card does.
      SDL_DestroyRenderer(b.renderer);
      b.renderer = nullptr;
    }
    if (b.renderer == nullptr) {
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      b.renderer = SDL_CreateRenderer(b.window, -1, SDL_RENDERER_SOFTWARE);
    }
  }
  if (b.window == nullptr || b.renderer == nullptr) {
    if (error) *error = std::string("cannot open a window: ") + SDL_GetError();
    DestroyVideo();
    SDL_Quit();
    return false;
  }
  b.picture_format = PictureFormat(b.window, b.renderer);
  SDL_SetWindowMinimumSize(b.window, 320, 200);
  DrawWindowIcon(b.window);
  SDL_StopTextInput();

  platform::SetClockMode(platform::ClockMode::kReal);
  platform::Backend backend;
  backend.window_created = [](HWND w, const char* title) {
    // The first window is the main window; dialogs come and go.
    if (B().main != nullptr) return;
    B().main = w;
    SDL_SetWindowTitle(B().window, title);
  };
  backend.window_moved = [](HWND w, const RECT& r) {
    if (w != B().main) return;
    if (r.right > r.left && r.bottom > r.top) {
      Show();
    } else {
      Hide();
    }
  };
  backend.window_destroyed = [](HWND w) {
    if (w != B().main) return;
    Hide();
    B().main = nullptr;
  };
  backend.poll = Poll;
  backend.wait = Wait;
  backend.screen_shown = OnScreen;
  backend.dialog_answer = AskChoice;
  backend.cursor_changed = [](int count) { SDL_ShowCursor(count >= 0 ? SDL_ENABLE : SDL_DISABLE); };
  backend.key_state = KeyState;
  backend.create_direct_sound = CreateDirectSound;
  backend.focus_requested = [] { B().raise_requested = true; };
  platform::Install(backend);
  // Every copy of the user meets the first one there unless a folder is named.
  platform::SetInstanceDirectory(options.instance_dir ? *options.instance_dir
                                                      : platform::DefaultInstanceDirectory());
  b.installed = true;
  return true;
}

void Uninstall() {
  State& b = B();
  if (!b.installed) return;
  platform::Uninstall();
  Hide();
  DestroyVideo();
  SDL_Quit();
  b.main = nullptr;
  b.installed = false;
}

bool CloseRequested() { return B().close_requested.load(); }
bool ChooserFailed() { return B().chooser_failed; }

}  // namespace platform::sdl
