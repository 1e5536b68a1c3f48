// Reading text fonts of other systems into glyph pictures for ".NUT" fonts:
// console fonts (PSF versions 1 and 2, gzip-compressed or not) and BDF fonts.
#pragma once

#include <map>
#include <string>

#include "authoring/nut.h"

namespace authoring {

// Glyphs by character code (0 to 255). Codes are Latin-1: code c gets the
// glyph that the font maps to U+00c, or glyph number c in a console font
// without a Unicode table. Every glyph is as high as the font's cell and as
// wide as its advance, ink pixel value 1, the rest 0; BDF ink outside the
// cell is cut off.
using TextFontGlyphs = std::map<int, GlyphBitmap>;

// False with the reason ("is a damaged console font ...") when the file
// cannot be read or is not such a font.
bool ReadTextFont(const std::string& path, TextFontGlyphs* glyphs, std::string* why);

}  // namespace authoring
