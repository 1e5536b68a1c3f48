#include "platform/sdl/glyphs.h"

#include <vector>

namespace platform::sdl {

namespace {

int Index(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x20 && u <= 0x7E ? u - 0x20 : '?' - 0x20;
}

}  // namespace

bool GlyphPixel(char c, int x, int y) {
  if (x < 0 || x >= kGlyphWidth || y < 0 || y >= kGlyphHeight) return false;
  return (kGlyphRows[Index(c)][y] >> (7 - x)) & 1;
}

bool GlyphTexture::Draw(SDL_Renderer* renderer, std::string_view text, int x, int y, int scale,
                        SDL_Color colour) {
  if (renderer == nullptr) return false;
  if (renderer_ != renderer) {
    Reset();
    // One row of glyphs, white where set and clear elsewhere; tinted per call.
    std::vector<uint32_t> pixels(static_cast<size_t>(kGlyphCount) * kGlyphWidth * kGlyphHeight);
    const int pitch = kGlyphCount * kGlyphWidth;
    for (int g = 0; g < kGlyphCount; ++g)
      for (int r = 0; r < kGlyphHeight; ++r)
        for (int c = 0; c < kGlyphWidth; ++c)
          if ((kGlyphRows[g][r] >> (7 - c)) & 1)
            pixels[static_cast<size_t>(r) * pitch + g * kGlyphWidth + c] = 0xFFFFFFFFu;
    texture_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, pitch,
                                 kGlyphHeight);
    if (texture_ == nullptr) return false;
    SDL_UpdateTexture(texture_, nullptr, pixels.data(), pitch * 4);
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_BLEND);
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
    renderer_ = renderer;
  }
  SDL_SetTextureColorMod(texture_, colour.r, colour.g, colour.b);
  SDL_SetTextureAlphaMod(texture_, colour.a);
  for (size_t i = 0; i < text.size(); ++i) {
    const SDL_Rect from{Index(text[i]) * kGlyphWidth, 0, kGlyphWidth, kGlyphHeight};
    const SDL_Rect to{x + static_cast<int>(i) * kGlyphWidth * scale, y, kGlyphWidth * scale,
                      kGlyphHeight * scale};
    SDL_RenderCopy(renderer, texture_, &from, &to);
  }
  return true;
}

void GlyphTexture::Reset() {
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  texture_ = nullptr;
  renderer_ = nullptr;
}

}  // namespace platform::sdl
