// A small 3 x 5 alphabet (codes 32 to 126, rows as hexadecimal numerals, the
// leftmost pixel the numeral's highest bit) scaled into the demonstration's
// fonts.
#include <cstdio>

#include "authoring/fontfile.h"
#include "demo.h"

namespace demo {
namespace {

const uint32_t kShapes[95] = {
    0x000000, 0x444040, 0xAA0000, 0x4E4E40, 0x6CE6C0, 0xA248A0, 0x4E4C60, 0x224000,
    0x488840, 0x422240, 0xA4E4A0, 0x04E400, 0x000480, 0x00E000, 0x000040, 0x224880,
    0xEAAAE0, 0xC444E0, 0xE2E8E0, 0xE2E2E0, 0xAAE220, 0xE8E2E0, 0x88EAE0, 0xE22220,
    0xEAEAE0, 0xEAE220, 0x040400, 0x040480, 0x248420, 0x0E0E00, 0x842480, 0xC24040,
    0xEAA8E0, 0xEAEAA0, 0xEACAE0, 0xE888E0, 0xCAAAC0, 0xE8C8E0, 0xE8C880, 0xE8EAE0,
    0xAAEAA0, 0xE444E0, 0x222A60, 0xAACAA0, 0x8888E0, 0xEEAAA0, 0xEAAAA0, 0x4AAA40,
    0xEAE880, 0x6AAEE0, 0xEACAA0, 0xE8E2E0, 0xE44440, 0xAAAAE0, 0xAAAA40, 0xAAAEE0,
    0xAA4AA0, 0xAAE440, 0xE248E0, 0xC888C0, 0x884220, 0x622260, 0x4A0000, 0x0000E0,
    0x884000, 0xEAEAA0, 0xEACAE0, 0xE888E0, 0xCAAAC0, 0xE8C8E0, 0xE8C880, 0xE8EAE0,
    0xAAEAA0, 0xE444E0, 0x222A60, 0xAACAA0, 0x8888E0, 0xEEAAA0, 0xEAAAA0, 0x4AAA40,
    0xEAE880, 0x6AAEE0, 0xEACAA0, 0xE8E2E0, 0xE44440, 0xAAAAE0, 0xAAAA40, 0xAAAEE0,
    0xAA4AA0, 0xAAE440, 0xE248E0, 0x648460, 0x440440, 0xC424C0, 0xA60000,
};

bool Lit(uint32_t shape, int col, int row) {
  int numeral = (shape >> (4 * (5 - row))) & 0xF;
  return (numeral >> (3 - col)) & 1;
}

}  // namespace

std::vector<std::optional<authoring::GlyphBitmap>> MakeFont(int scale, bool ramp) {
  std::vector<std::optional<authoring::GlyphBitmap>> font(127);
  const int shadow = scale == 1 ? 1 : scale - 1;
  const int w = 3 * scale + shadow, h = 5 * scale + shadow;
  for (int code = 32; code <= 126; ++code) {
    uint32_t shape = kShapes[code - 32];
    authoring::GlyphBitmap g;
    g.width = static_cast<uint16_t>(w + 1);  // advance: one pixel between letters
    g.height = static_cast<uint16_t>(h + 1);
    g.y = 0;
    g.pixels.assign(static_cast<size_t>(g.width) * g.height, 0);
    auto at = [&](int x, int y) -> uint8_t& { return g.pixels[static_cast<size_t>(y) * g.width + x]; };
    for (int pass = 0; pass < 2; ++pass) {  // shadow first, letter over it
      int off = pass == 0 ? shadow : 0;
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col) {
          if (!Lit(shape, col, row)) continue;
          for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx) {
              int y = row * scale + dy;
              uint8_t v = 2;
              if (pass == 1) v = ramp ? static_cast<uint8_t>(3 + (y * 4) / (5 * scale)) : 1;
              at(col * scale + dx + off, y + off) = v;
            }
        }
    }
    font[code] = g;
  }
  return font;
}

std::vector<std::optional<authoring::GlyphBitmap>> MakeTalkFont() {
  // As tall as the scaled alphabet's letters, and far easier to read.
  const char* const kConsoleFont = "/usr/share/consolefonts/Lat15-Terminus12x6.psf.gz";
  authoring::TextFontGlyphs glyphs;
  std::string why;
  if (!authoring::ReadTextFont(kConsoleFont, &glyphs, &why)) {
    std::fprintf(stderr, "make-demo-data: %s %s; the talk font is drawn from the small alphabet\n",
                 kConsoleFont, why.c_str());
    return MakeFont(2, false);
  }
  std::vector<std::optional<authoring::GlyphBitmap>> font(127);
  for (int code = 32; code <= 126; ++code) {
    auto it = glyphs.find(code);
    if (it == glyphs.end()) continue;
    const authoring::GlyphBitmap& ink = it->second;
    authoring::GlyphBitmap g;
    g.width = static_cast<uint16_t>(ink.width + 1);
    g.height = static_cast<uint16_t>(ink.height + 1);
    g.pixels.assign(size_t{g.width} * g.height, 0);
    for (int y = 0; y < ink.height; ++y)
      for (int x = 0; x < ink.width; ++x) {
        if (!ink.pixels[size_t(y) * ink.width + x]) continue;
        uint8_t& shadow = g.pixels[size_t(y + 1) * g.width + x + 1];
        if (shadow == 0) shadow = 2;
        g.pixels[size_t(y) * g.width + x] = 1;
      }
    font[size_t(code)] = g;
  }
  return font;
}

}  // namespace demo
