#include "platform/sdl/chooser.h"

#include <algorithm>
#include <cctype>

namespace platform::sdl {

namespace {

// Sizes in font pixels.
constexpr int kPad = 10;          // inside the panel's edge
constexpr int kTitleHeight = kGlyphHeight + 8;
constexpr int kButtonHeight = kGlyphHeight + 10;
constexpr int kButtonInset = 16;  // text to the button's sides, at least
constexpr int kGap = 6;           // between buttons

SDL_Rect Scaled(int x, int y, int w, int h, int s, int ox, int oy) {
  return SDL_Rect{ox + x * s, oy + y * s, w * s, h * s};
}

void Fill(SDL_Renderer* r, const SDL_Rect& rect, uint32_t rgb) {
  SDL_SetRenderDrawColor(r, rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF, 255);
  SDL_RenderFillRect(r, &rect);
}

// A frame `s` pixels wide just inside `rect`.
void Edge(SDL_Renderer* r, const SDL_Rect& rect, int s, uint32_t rgb) {
  Fill(r, {rect.x, rect.y, rect.w, s}, rgb);
  Fill(r, {rect.x, rect.y + rect.h - s, rect.w, s}, rgb);
  Fill(r, {rect.x, rect.y, s, rect.h}, rgb);
  Fill(r, {rect.x + rect.w - s, rect.y, s, rect.h}, rgb);
}

SDL_Color Colour(uint32_t rgb) {
  return SDL_Color{static_cast<Uint8>(rgb >> 16), static_cast<Uint8>(rgb >> 8), static_cast<Uint8>(rgb), 255};
}

int CancelButton(const DialogResource& dialog) {
  for (size_t i = 0; i < dialog.buttons.size(); ++i)
    if (dialog.buttons[i].id == IDCANCEL) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::string WithoutAccessKeys(const std::string& text, int* key_at) {
  std::string shown;
  if (key_at) *key_at = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      if (key_at && *key_at < 0 && text[i] != '&') *key_at = static_cast<int>(shown.size());
    }
    shown += text[i];
  }
  return shown;
}

ChooserLayout LayOutChooser(const DialogResource& dialog, int width, int height) {
  ChooserLayout l;
  const int count = static_cast<int>(dialog.buttons.size());
  int label = 0;
  for (const DialogButton& b : dialog.buttons)
    label = std::max(label, TextWidth(WithoutAccessKeys(b.text), 1));
  const int button_width =
      std::max({label + 2 * kButtonInset, TextWidth(dialog.caption, 1), TextWidth(dialog.prompt, 1)});
  const int panel_w = button_width + 2 * kPad;
  const bool separator = count > 1 && CancelButton(dialog) == count - 1;
  int y = kTitleHeight + kPad;
  const int prompt_y = y;
  if (!dialog.prompt.empty()) y += kGlyphHeight + kPad;
  std::vector<int> tops;
  int separator_y = 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0) y += kGap;
    if (separator && i == count - 1) {
      separator_y = y;
      y += 1 + kGap;
    }
    tops.push_back(y);
    y += kButtonHeight;
  }
  const int panel_h = y + kPad;

  // As large as fits in nine tenths of the window; past twice, two thirds,
  // so that a large screen shows a panel rather than a wall.
  const int fit = std::max(1, std::min(width * 9 / (10 * panel_w), height * 9 / (10 * panel_h)));
  l.scale = fit <= 2 ? fit
                     : std::max(2, std::min(width * 2 / (3 * panel_w), height * 2 / (3 * panel_h)));
  const int s = l.scale;
  const int ox = (width - panel_w * s) / 2, oy = (height - panel_h * s) / 2;
  l.panel = Scaled(0, 0, panel_w, panel_h, s, ox, oy);
  l.title_bar = Scaled(0, 0, panel_w, kTitleHeight, s, ox, oy);
  l.title = {ox + (panel_w - TextWidth(dialog.caption, 1)) / 2 * s, oy + (kTitleHeight - kGlyphHeight) / 2 * s};
  l.prompt = {ox + kPad * s, oy + prompt_y * s};
  for (int i = 0; i < count; ++i) {
    l.buttons.push_back(Scaled(kPad, tops[i], button_width, kButtonHeight, s, ox, oy));
    const int text = TextWidth(WithoutAccessKeys(dialog.buttons[i].text), 1);
    l.labels.push_back({ox + (kPad + (button_width - text) / 2) * s,
                        oy + (tops[i] + (kButtonHeight - kGlyphHeight) / 2) * s});
  }
  if (separator) l.separator = Scaled(kPad, separator_y, button_width, 1, s, ox, oy);
  return l;
}

int ButtonAt(const ChooserLayout& layout, int x, int y) {
  const SDL_Point p{x, y};
  for (size_t i = 0; i < layout.buttons.size(); ++i)
    if (SDL_PointInRect(&p, &layout.buttons[i])) return static_cast<int>(i);
  return -1;
}

ChooserState StartChooser(const DialogResource& dialog) {
  ChooserState state;
  for (size_t i = 0; i < dialog.buttons.size(); ++i)
    if (dialog.buttons[i].is_default) {
      state.focus = static_cast<int>(i);
      break;
    }
  return state;
}

std::optional<int> ChooserKey(const DialogResource& dialog, ChooserState& state, SDL_Keycode key,
                              Uint16 mod) {
  const int count = static_cast<int>(dialog.buttons.size());
  if (count == 0) return key == SDLK_ESCAPE || key == SDLK_RETURN ? std::optional<int>(IDCANCEL) : std::nullopt;
  switch (key) {
    case SDLK_ESCAPE: {
      const int cancel = CancelButton(dialog);
      return cancel >= 0 ? dialog.buttons[cancel].id : IDCANCEL;
    }
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
    case SDLK_SPACE:
      return dialog.buttons[state.focus].id;
    case SDLK_TAB:
      state.focus = (state.focus + ((mod & KMOD_SHIFT) ? count - 1 : 1)) % count;
      return std::nullopt;
    case SDLK_UP:
    case SDLK_LEFT:
      state.focus = (state.focus + count - 1) % count;
      return std::nullopt;
    case SDLK_DOWN:
    case SDLK_RIGHT:
      state.focus = (state.focus + 1) % count;
      return std::nullopt;
    default:
      break;
  }
  if (key > 0 && key < 128 && std::isalnum(key)) {
    for (int i = 0; i < count; ++i) {
      int at = -1;
      const std::string shown = WithoutAccessKeys(dialog.buttons[i].text, &at);
      if (at >= 0 && std::tolower(static_cast<unsigned char>(shown[at])) == std::tolower(key)) {
        state.focus = i;
        return dialog.buttons[i].id;
      }
    }
  }
  return std::nullopt;
}

std::optional<int> ChooserMouse(const DialogResource& dialog, const ChooserLayout& layout,
                                ChooserState& state, int x, int y, int button_change) {
  const int at = ButtonAt(layout, x, y);
  state.hover = at;
  if (button_change > 0) {
    state.pressed = at;
    if (at >= 0) state.focus = at;
  } else if (button_change < 0) {
    const int pressed = state.pressed;
    state.pressed = -1;
    if (at >= 0 && at == pressed) return dialog.buttons[at].id;
  }
  return std::nullopt;
}

bool DrawChooser(SDL_Renderer* r, GlyphTexture& glyphs, const DialogResource& dialog,
                 const ChooserLayout& l, const ChooserState& state) {
  const int s = l.scale;
  Fill(r, l.panel, kChooserPanel);
  Fill(r, l.title_bar, kChooserTitleBar);
  Edge(r, l.panel, s, kChooserEdge);
  bool ok = glyphs.Draw(r, dialog.caption, l.title.x, l.title.y, s, Colour(kChooserText));
  if (!dialog.prompt.empty())
    ok &= glyphs.Draw(r, dialog.prompt, l.prompt.x, l.prompt.y, s, Colour(kChooserText));
  if (l.separator.w > 0) Fill(r, l.separator, kChooserEdge);
  for (size_t i = 0; i < l.buttons.size(); ++i) {
    const bool focus = static_cast<int>(i) == state.focus;
    const bool hover = static_cast<int>(i) == state.hover;
    Fill(r, l.buttons[i], focus ? kChooserFocus : hover ? kChooserHover : kChooserButton);
    if (!focus) Edge(r, l.buttons[i], s, kChooserEdge);
    const uint32_t ink = focus ? kChooserFocusText : kChooserText;
    int key_at = -1;
    const std::string label = WithoutAccessKeys(dialog.buttons[i].text, &key_at);
    ok &= glyphs.Draw(r, label, l.labels[i].x, l.labels[i].y, s, Colour(ink));
    if (key_at >= 0)  // the access key underlined, on the glyphs' last row
      Fill(r, {l.labels[i].x + key_at * kGlyphWidth * s, l.labels[i].y + (kGlyphHeight - 1) * s,
               kGlyphWidth * s, s}, ink);
  }
  return ok;
}

}  // namespace platform::sdl
