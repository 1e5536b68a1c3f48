// The backend's own text: an 8 x 16 bitmap font of printable ASCII (made at
// build time from a console font the distribution ships) drawn with whole
// scale factors and nearest filtering, so it stays crisp at any size. The
// chooser and the overlay write with it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string_view>

namespace platform::sdl {

constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 16;
constexpr int kGlyphCount = 95;  // ' ' to '~'

// Row r of character ' ' + i; bit 7 is the leftmost pixel.
extern const uint8_t kGlyphRows[kGlyphCount][kGlyphHeight];

// Whether pixel (x, y) of `c` is set; characters outside ' ' to '~' show
// as '?'.
bool GlyphPixel(char c, int x, int y);

// Width in pixels of `text` at `scale`.
inline int TextWidth(std::string_view text, int scale) {
  return static_cast<int>(text.size()) * kGlyphWidth * scale;
}

// The font as a texture of one renderer.
class GlyphTexture {
 public:
  GlyphTexture() = default;
  GlyphTexture(const GlyphTexture&) = delete;
  GlyphTexture& operator=(const GlyphTexture&) = delete;
  ~GlyphTexture() { Reset(); }

  // `text` with its top-left corner at (x, y), each font pixel a scale x
  // scale square in `colour`. False when the texture cannot be made.
  bool Draw(SDL_Renderer* renderer, std::string_view text, int x, int y, int scale, SDL_Color colour);
  // Frees the texture; call before its renderer goes.
  void Reset();

 private:
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
};

}  // namespace platform::sdl
