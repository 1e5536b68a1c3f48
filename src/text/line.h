// Measuring and drawing single lines of text with ".NUT" fonts or the
// built-in font, with the in-line escapes "^^", "^fNN" (font) and "^cNNN"
// (colour).
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "text/font.h"

// Font selector: kDefaultFont names the font in the default font slot (which
// may be empty), null the built-in font, anything else a Font.
inline Font* const kDefaultFont = reinterpret_cast<Font*>(~uintptr_t{0});

// Text flags as the line drawer reads them (the block drawer reads the rest).
constexpr uint16_t kTextOpaque = 16;

// The font the last measurement or line left in effect; the next line of a
// block starts with it.
Font* CurrentFont();
void SetCurrentFont(Font* font);

// Widest line in pixels, or -105 for a null text.
int16_t TextWidth(Font* font, const char* text);
// Height of all lines + 1, or -105 for a null text.
int16_t TextHeight(Font* font, const char* text);
// The same over the first `length` characters (the text needs no terminator).
int16_t TextWidthN(Font* font, const char* text, uint32_t length);
int16_t TextHeightN(Font* font, const char* text, uint32_t length);

// Draws one line glyph by glyph; `colour` is updated by colour escapes.
// Returns the line's height: the tallest font used + 1 (6 for the built-in).
int16_t DrawTextLine(Font* font, const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                     uint16_t flags, uint8_t* colour, uint8_t background, const char* text);

// The built-in font: draws no escapes (every character but codes above 126
// has a glyph), whole 4-wide cells only, nothing outside the clip.
void DrawBuiltinLine(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                     const uint8_t* colour, uint8_t background, const char* text);
// Draws glyph `code` (0 to 127) at x, y, writing only inside `bounds`, which
// must lie inside the picture. Returns the glyph's width (0 for other codes).
int DrawBuiltinGlyph(uint8_t* pixels, int x, int y, uint8_t foreground, uint8_t background,
                     uint16_t pitch, uint8_t code, const ClipRect& bounds);

// The built-in font table: a 4-byte header, 128 little-endian 32-bit offsets
// from its start, then per glyph width, height, two zero bytes and
// width x height bits, most significant first, rows running on bit by bit.
const uint8_t* BuiltinFontTable();
uint32_t BuiltinFontTableSize();
