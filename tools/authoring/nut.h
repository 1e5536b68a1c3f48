// Writing ".NUT" fonts: an "ANIM" file whose frame c holds the glyph of
// character code c as one tinted skip-literal object (codec 44).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace authoring {

// A glyph picture. Pixel value 0 is transparent; value v is drawn as
// v + text colour - 1, so 1 is the text colour itself.
struct GlyphBitmap {
  int16_t x = 0;  // offset of the picture from the pen
  int16_t y = 0;
  uint16_t width = 0;  // also the advance width
  uint16_t height = 0;
  std::vector<uint8_t> pixels;  // width x height, rows top to bottom
};

// A glyph from rows of text: "." or " " transparent, "#" value 1, a digit
// its own value. All rows must be equally long.
GlyphBitmap GlyphFromRows(const std::vector<std::string>& rows, int16_t x = 0, int16_t y = 0);

// The object payload (14-byte header and line data) of one glyph.
std::vector<uint8_t> EncodeGlyphObject(const GlyphBitmap& glyph, uint8_t codec = 44);

// The whole font file; an empty entry becomes a frame without an object (a
// code without a glyph).
std::vector<uint8_t> BuildNutFont(const std::vector<std::optional<GlyphBitmap>>& glyphs);
bool WriteNutFont(const std::string& path, const std::vector<std::optional<GlyphBitmap>>& glyphs);

}  // namespace authoring
