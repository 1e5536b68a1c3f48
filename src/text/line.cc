#include "text/line.h"

#include <array>
#include <cstring>

#include "base/bytes.h"
#include "base/mem.h"

namespace {

Font* g_current_font = nullptr;

// ---- The built-in font ----------------------------------------------------

// Glyph shapes: 4-wide glyphs as one hexadecimal numeral per row (8 is the
// leftmost pixel); the few other widths as rows of binary digits.
struct GlyphShape {
  uint8_t width;
  uint8_t height;
  const char* rows;
};

constexpr const char* kHexRows[128] = {
    "EA2E0",  nullptr,  "15351F", "17771F", "35553F", "17371F", "17377F", "17151F",
    "55155F", "1BBB1F", "DDD59F", "55355F", "77771F", "11555F", "15555F", "B555BF",
    "15177F", "95511F", "15355F", "171D1F", "1BBBBF", "55551F", "5555BF", "55511F",
    "55B55F", "551BBF", "1DB71F", nullptr,  nullptr,  "26E620", "8CEC80", "8CEC80",
    "000000", "444040", "AA0000", "4E4E40", "6CE6C0", "A248A0", "4E4C60", "224000",
    "488840", "422240", "A4E4A0", "04E400", "000480", "00E000", "000040", "224880",
    "EAAAE0", "C444E0", "E2E8E0", "E2E2E0", "AAE220", "E8E2E0", "88EAE0", "E22220",
    "EAEAE0", "EAE220", "040400", "040480", "248420", "0E0E00", "842480", "C24040",
    "EAA8E0", "EAEAA0", "EACAE0", "E888E0", "CAAAC0", "E8C8E0", "E8C880", "E8EAE0",
    "AAEAA0", "E444E0", "222A60", "AACAA0", "8888E0", "EEAAA0", "EAAAA0", "4AAA40",
    "EAE880", "6AAEE0", "EACAA0", "E8E2E0", "E44440", "AAAAE0", "AAAA40", "AAAEE0",
    "AA4AA0", "AAE440", "E248E0", "C888C0", "884220", "622260", "4A0000", "0000E0",
    "884000", "EAEAA0", "EACAE0", "E888E0", "CAAAC0", "E8C8E0", "E8C880", "E8EAE0",
    "AAEAA0", "E444E0", "222A60", "AACAA0", "8888E0", "EEAAA0", "EAAAA0", "4AAA40",
    "EAE880", "6AAEE0", "EACAA0", "E8E2E0", "E44440", "AAAAE0", "AAAA40", "AAAEE0",
    "AA4AA0", "AAE440", "E248E0", "648460", "440440", "C424C0", "A60000", "4EE000",
};

constexpr GlyphShape kTick = {5, 5, "00001" "00010" "10100" "11000" "10000"};
constexpr GlyphShape kUp = {7, 5, "0001000" "0011100" "0111110" "1111111" "0000000"};
constexpr GlyphShape kDown = {7, 5, "1111111" "0111110" "0011100" "0001000" "0000000"};

constexpr size_t Length(const char* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

constexpr int HexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

constexpr GlyphShape ShapeOf(int code) {
  if (code == 1) return kTick;
  if (code == 27) return kUp;
  if (code == 28) return kDown;
  return {4, static_cast<uint8_t>(Length(kHexRows[code])), kHexRows[code]};
}

constexpr bool ShapeBit(const GlyphShape& g, int row, int column) {
  if (g.width == 4) return (HexValue(g.rows[row]) >> (3 - column)) & 1;
  return g.rows[row * g.width + column] == '1';
}

constexpr uint32_t kTableHeader = 4 + 4 * 128;

constexpr uint32_t RecordSize(const GlyphShape& g) { return 4 + (g.width * g.height + 7) / 8; }

constexpr uint32_t TableSize() {
  uint32_t size = kTableHeader;
  for (int code = 0; code < 128; ++code) size += RecordSize(ShapeOf(code));
  return size;
}

constexpr std::array<uint8_t, TableSize()> BuildTable() {
  std::array<uint8_t, TableSize()> table{};
  table[0] = 0x80;
  table[1] = 0;
  table[2] = 6;
  table[3] = 1;
  uint32_t at = kTableHeader;
  for (int code = 0; code < 128; ++code) {
    const GlyphShape g = ShapeOf(code);
    for (int b = 0; b < 4; ++b) table[4 + 4 * code + b] = static_cast<uint8_t>(at >> (8 * b));
    table[at] = g.width;
    table[at + 1] = g.height;
    uint32_t bit = 0;
    for (int r = 0; r < g.height; ++r) {
      for (int k = 0; k < g.width; ++k, ++bit) {
        if (ShapeBit(g, r, k)) table[at + 4 + bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
      }
    }
    at += RecordSize(g);
  }
  return table;
}

constexpr std::array<uint8_t, TableSize()> kBuiltinFont = BuildTable();

constexpr int kBuiltinAdvance = 4;
constexpr int kBuiltinLineHeight = 5;

// ---- Escapes --------------------------------------------------------------

constexpr uint8_t kLF = 10;
constexpr uint8_t kCR = 13;

enum class TokenKind { kChar, kNothing, kReturn, kNewline, kFont, kColour };

struct Token {
  TokenKind kind;
  int value;  // the character, font number or colour
};

// Reads the token at i of a text of n characters and returns the position
// after it. An escape cut short by the end of the text ends there.
uint32_t NextToken(const uint8_t* s, uint32_t i, uint32_t n, Token* token) {
  const uint8_t c = s[i];
  if (c == kCR) {
    *token = {TokenKind::kReturn, c};
    return i + 1;
  }
  if (c == kLF) {
    *token = {TokenKind::kNewline, c};
    return i + 1;
  }
  if (c == '^' && i + 1 < n) {
    const uint8_t e = s[i + 1];
    if (e == '^') {
      *token = {TokenKind::kNothing, 0};
      return i + 2;
    }
    if (e == 'f') {
      if (i + 4 > n) {
        *token = {TokenKind::kNothing, 0};
        return n;
      }
      *token = {TokenKind::kFont, s[i + 2] * 10 + s[i + 3] - 528};
      return i + 4;
    }
    if (e == 'c') {
      if (i + 5 > n) {
        *token = {TokenKind::kNothing, 0};
        return n;
      }
      *token = {TokenKind::kColour, ((s[i + 2] * 10 + s[i + 3]) * 10 + s[i + 4] + 48) & 0xFF};
      return i + 5;
    }
  }
  *token = {TokenKind::kChar, c};
  return i + 1;
}

int16_t Saturate16(int value) {
  if (value > INT16_MAX) return INT16_MAX;
  if (value < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(value);
}

Font* Resolve(Font* font) { return font == kDefaultFont ? DefaultFont() : font; }

// The part of the clip (or the whole picture) that lies inside the picture.
ClipRect VisibleBounds(const Surface* surface, const ClipRect* clip) {
  int left = 0, top = 0, right = surface->width, bottom = surface->height;
  if (clip != nullptr) {
    left = clip->left > 0 ? clip->left : 0;
    top = clip->top > 0 ? clip->top : 0;
    const int clip_right = clip->left + clip->width;
    const int clip_bottom = clip->top + clip->height;
    if (clip_right < right) right = clip_right;
    if (clip_bottom < bottom) bottom = clip_bottom;
  }
  ClipRect r;
  r.left = static_cast<int16_t>(left);
  r.top = static_cast<int16_t>(top);
  r.width = static_cast<int16_t>(right > left ? right - left : 0);
  r.height = static_cast<int16_t>(bottom > top ? bottom - top : 0);
  return r;
}

}  // namespace

Font* CurrentFont() { return g_current_font; }
void SetCurrentFont(Font* font) { g_current_font = font; }

const uint8_t* BuiltinFontTable() { return kBuiltinFont.data(); }
uint32_t BuiltinFontTableSize() { return static_cast<uint32_t>(kBuiltinFont.size()); }

int16_t TextWidthN(Font* font, const char* text, uint32_t n) {
  if (text == nullptr) return kErrBadIndex;
  font = Resolve(font);
  g_current_font = font;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  int widest = 0, line = 0;
  Token t;
  for (uint32_t i = 0; i < n;) {
    i = NextToken(s, i, n, &t);
    switch (t.kind) {
      case TokenKind::kChar:
        line += font == nullptr ? kBuiltinAdvance : GlyphWidth(g_current_font, static_cast<uint8_t>(t.value));
        break;
      case TokenKind::kFont:
        if (font != nullptr) g_current_font = SelectFont(g_current_font, t.value);
        break;
      case TokenKind::kNewline:
        line = 0;
        break;
      default:
        break;
    }
    if (line > widest) widest = line;
  }
  return Saturate16(widest);
}

int16_t TextHeightN(Font* font, const char* text, uint32_t n) {
  if (text == nullptr) return kErrBadIndex;
  font = Resolve(font);
  g_current_font = font;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  if (font == nullptr) {
    int lines = 1;
    for (uint32_t i = 0; i < n; ++i) lines += s[i] == kLF;
    return Saturate16(kBuiltinLineHeight * lines + 1);
  }
  int total = 0, line = 0;
  bool has_characters = false;
  Token t;
  for (uint32_t i = 0; i < n;) {
    i = NextToken(s, i, n, &t);
    switch (t.kind) {
      case TokenKind::kChar:
      case TokenKind::kReturn:
        if (!has_characters || g_current_font->height > line) line = g_current_font->height;
        has_characters = true;
        break;
      case TokenKind::kFont:
        g_current_font = SelectFont(g_current_font, t.value);
        break;
      case TokenKind::kNewline:
        total += has_characters ? line : g_current_font->height;
        has_characters = false;
        line = 0;
        break;
      default:
        break;
    }
  }
  total += has_characters ? line : g_current_font->height;
  return Saturate16(total + 1);
}

int16_t TextWidth(Font* font, const char* text) {
  return TextWidthN(font, text, text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text)));
}

int16_t TextHeight(Font* font, const char* text) {
  return TextHeightN(font, text, text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text)));
}

int16_t DrawTextLine(Font* font, const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                     uint16_t flags, uint8_t* colour, uint8_t background, const char* text) {
  uint8_t own_colour = 0;
  if (colour == nullptr) colour = &own_colour;
  font = Resolve(font);
  g_current_font = font;
  if (font == nullptr) {
    DrawBuiltinLine(surface, clip, x, y, colour, background, text);
    return kBuiltinLineHeight + 1;
  }
  if (text == nullptr || surface == nullptr) return Saturate16(font->height + 1);
  // Glyphs are clipped by the decoder; it gets only the part of the clip that
  // lies inside the picture.
  const ClipRect bounds = VisibleBounds(surface, clip);
  const uint16_t draw_flags = (flags & kTextOpaque) ? DrawOpaque : 0;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  const uint32_t n = static_cast<uint32_t>(std::strlen(text));
  int height = font->height;
  int pen = x;
  Token t;
  for (uint32_t i = 0; i < n;) {
    i = NextToken(s, i, n, &t);
    switch (t.kind) {
      case TokenKind::kFont:
        g_current_font = SelectFont(g_current_font, t.value);
        if (g_current_font->height > height) height = g_current_font->height;
        break;
      case TokenKind::kColour:
        *colour = static_cast<uint8_t>(t.value);
        break;
      case TokenKind::kChar:
      case TokenKind::kNewline: {
        const uint8_t c = static_cast<uint8_t>(t.value);
        if (!HasGlyph(g_current_font, c)) break;
        // A pen past the 16-bit range would come back on the left.
        if (pen <= INT16_MAX) {
          DrawGlyph(surface, &bounds, static_cast<int16_t>(pen), y, draw_flags,
                    g_current_font->resource, c, *colour, background);
        }
        pen += GlyphWidth(g_current_font, c);
        break;
      }
      default:
        break;
    }
  }
  return Saturate16(height + 1);
}

void DrawBuiltinLine(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                     const uint8_t* colour, uint8_t background, const char* text) {
  if (surface == nullptr || surface->pixels == nullptr || text == nullptr) return;
  ClipRect c = {0, 0, static_cast<int16_t>(surface->width), static_cast<int16_t>(surface->height)};
  if (clip != nullptr) c = *clip;
  if (y < c.top || y + kBuiltinLineHeight > c.top + c.height) return;
  const uint8_t foreground = colour != nullptr ? *colour : 0;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  const size_t n = std::strlen(text);
  size_t i = 0;
  int pen = x;
  if (pen < c.left) {
    const size_t k = static_cast<size_t>((c.left - pen + 3) / 4);
    i = k < n ? k : n;
    pen += kBuiltinAdvance * static_cast<int>(k);
  }
  const ClipRect bounds = VisibleBounds(surface, &c);
  const int right = c.left + c.width;
  for (; i < n; ++i) {
    if (pen + kBuiltinAdvance > right || s[i] > 126) break;
    pen += DrawBuiltinGlyph(surface->pixels, pen, y, foreground, background, surface->width, s[i],
                            bounds);
  }
}

int DrawBuiltinGlyph(uint8_t* pixels, int x, int y, uint8_t foreground, uint8_t background,
                     uint16_t pitch, uint8_t code, const ClipRect& bounds) {
  if (code >= 128) return 0;
  const uint8_t* table = kBuiltinFont.data();
  const uint32_t at = ReadLE32(table + 4 + 4 * code);
  const int width = table[at];
  const int height = table[at + 1];
  const uint8_t* bits = table + at + 4;
  const int right = bounds.left + bounds.width;
  const int bottom = bounds.top + bounds.height;
  int bit = 0;
  for (int r = 0; r < height; ++r) {
    const int py = y + r;
    for (int k = 0; k < width; ++k, ++bit) {
      const int px = x + k;
      if (py < bounds.top || py >= bottom || px < bounds.left || px >= right) continue;
      const bool on = (bits[bit / 8] >> (7 - bit % 8)) & 1;
      pixels[static_cast<size_t>(py) * pitch + static_cast<size_t>(px)] = on ? foreground : background;
    }
  }
  return width;
}
