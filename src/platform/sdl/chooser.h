// The chooser drawn into the player's own window: a centred panel with the
// dialog's caption, its line of text and its push buttons, laid out in font
// pixels and scaled by a whole factor so that it stays crisp.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sdl/glyphs.h"
#include "platform/ui.h"

namespace platform::sdl {

// Its colours (0xRRGGBB); the window around the panel stays black.
constexpr uint32_t kChooserPanel = 0x1E2A44;
constexpr uint32_t kChooserEdge = 0x8090B0;
constexpr uint32_t kChooserTitleBar = 0x3050A0;
constexpr uint32_t kChooserButton = 0x2C3A5C;
constexpr uint32_t kChooserHover = 0x40558A;
constexpr uint32_t kChooserFocus = 0xF0B030;
constexpr uint32_t kChooserText = 0xE8ECF4;
constexpr uint32_t kChooserFocusText = 0x101820;

// A button's text without its access-key marks ("E&xit" shows "Exit", "&&"
// shows "&"), and the position of the access key in it (-1: none).
std::string WithoutAccessKeys(const std::string& text, int* key_at = nullptr);

struct ChooserLayout {
  int scale = 1;  // window pixels per font pixel
  SDL_Rect panel{}, title_bar{};
  SDL_Point title{}, prompt{};
  std::vector<SDL_Rect> buttons;
  std::vector<SDL_Point> labels;
  SDL_Rect separator{};  // before the IDCANCEL button when it comes last; empty otherwise
};

// Where everything goes in a window of `width` x `height` pixels.
ChooserLayout LayOutChooser(const DialogResource& dialog, int width, int height);

// The button under the window point (x, y), -1 for none.
int ButtonAt(const ChooserLayout& layout, int x, int y);

struct ChooserState {
  int focus = 0;     // the button Enter and Space press
  int hover = -1;    // under the mouse
  int pressed = -1;  // the left button went down on it
};

// The focus starts on the default button.
ChooserState StartChooser(const DialogResource& dialog);

// A key pressed while the chooser shows: moves the focus (arrows, Tab and
// Shift+Tab, round the ends) or answers a button's id (Enter or Space the
// focused one, Escape IDCANCEL, a button's access letter that one).
std::optional<int> ChooserKey(const DialogResource& dialog, ChooserState& state, SDL_Keycode key,
                              Uint16 mod);

// The mouse at (x, y), its left button going down or up (or neither): the
// answer when a button is released over the one it went down on.
std::optional<int> ChooserMouse(const DialogResource& dialog, const ChooserLayout& layout,
                                ChooserState& state, int x, int y, int button_change);

// Draws the panel (not the black around it). False when the glyphs cannot be drawn.
bool DrawChooser(SDL_Renderer* renderer, GlyphTexture& glyphs, const DialogResource& dialog,
                 const ChooserLayout& layout, const ChooserState& state);

}  // namespace platform::sdl
