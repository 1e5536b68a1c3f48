#include "text/block.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/switches.h"

namespace {

constexpr char kLF = 10;
constexpr char kCR = 13;

// One text at a time: the wrapped layout keeps a 0 before and after it.
char g_line_buffer[kTextMaxCharacters + 2];
char g_format_buffer[kTextFormatBytes];

struct WrappedLine {
  uint32_t start;  // in the line buffer
  int width;
  int height;
};

int16_t Clamp16(int value) {
  if (value > INT16_MAX) return INT16_MAX;
  if (value < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(value);
}

int AlignedX(int x, int width, uint16_t flags) {
  if (flags & kTextCentre) return x - width / 2;
  if (flags & kTextRight) return x - width;
  return x;
}

void DrawLines(Font* font, const Surface* surface, const ClipRect& r, int x, int y,
               uint8_t* colour, uint8_t background, uint16_t flags, const char* text,
               uint32_t n) {
  const int bottom = r.top + r.height;
  Font* line_font = font;
  uint32_t length = 0;
  for (uint32_t pos = 0; pos <= n; ++pos) {
    const char c = text[pos];
    // A text longer than the limit is cut there: whatever character follows
    // the cut (a line feed included), its unfinished last line is not drawn.
    if (pos == n && c != 0) return;
    if (c == kLF || c == 0) {
      g_line_buffer[length] = 0;
      int line_x = x;
      if (flags & (kTextCentre | kTextRight))
        line_x = AlignedX(x, TextWidth(line_font, g_line_buffer), flags);
      DrawTextLine(line_font, surface, &r, Clamp16(line_x), Clamp16(y), flags, colour, background,
                   g_line_buffer);
      y += TextHeight(line_font, g_line_buffer);
      line_font = CurrentFont();
      if (y > bottom || c == 0) return;
      length = 0;
    } else if (c != kCR && length < kTextMaxCharacters) {
      g_line_buffer[length++] = c;
    }
  }
}

void DrawWrapped(Font* font, const Surface* surface, const ClipRect& r, int x, int y,
                 uint8_t* colour, uint8_t background, uint16_t flags, const char* text,
                 uint32_t n) {
  char* buf = g_line_buffer;
  buf[0] = 0;
  std::memcpy(buf + 1, text, n);
  buf[n + 1] = 0;
  const uint32_t end = n + 1;
  const int wrap_width = r.width;

  WrappedLine lines[kTextMaxLines];
  int count = 0;
  int widest = 0;
  uint32_t line_start = 1;
  int line_width = 0;
  auto close_line = [&](int width) {
    if (count < kTextMaxLines) lines[count++] = {line_start, width, 0};
    if (width > widest) widest = width;
  };

  uint32_t p = 0, e = 0;
  do {
    uint32_t s = p + 1;
    while (buf[s] == ' ') ++s;  // buf[end] is 0, so s stays within the text
    const int gap = buf[p] == 0 ? 0 : TextWidthN(CurrentFont(), buf + p, s - p);
    e = s;
    while (e < end && buf[e] != 0 && buf[e] != kLF && buf[e] != ' ') ++e;
    const int word = TextWidthN(CurrentFont(), buf + s, e - s);
    if (line_width + gap + word > wrap_width && line_width != 0) {
      close_line(line_width);
      line_start = s;
      line_width = word;
      buf[p] = 0;  // the line ends before its trailing blanks
    } else {
      line_width += gap + word;
    }
    if (buf[e] != ' ') {
      close_line(line_width);
      line_start = e + 1;
      line_width = 0;
      buf[e] = 0;
    }
    p = e;
  } while (e < end);
  if (line_width != 0) {
    close_line(line_width);
    buf[p] = 0;
  }

  SetCurrentFont(font);
  int total = 0, last = 0;
  for (int i = 0; i < count; ++i) {
    lines[i].height = TextHeight(CurrentFont(), buf + lines[i].start);
    total += lines[i].height;
    last = lines[i].height;
  }

  const int left = r.left, top = r.top, right = r.left + r.width, bottom = r.top + r.height;
  if (y + total + last / 2 > bottom) y = bottom - total - last / 2;
  if (y < top) y = top;

  const int m = widest;
  if (flags & kTextCentre) {
    if (x + m / 2 > right) x = right - m / 2;
    if (x - m / 2 < left) x = left + m / 2;
  } else if (flags & kTextRight) {
    if (x > right) x = right;
    if (x - m < left) x = left + m;
  } else {
    if (x + m > right) x = right - m;
    if (x < left) x = left;
  }

  SetCurrentFont(font);
  for (int i = 0; i < count; ++i) {
    DrawTextLine(CurrentFont(), surface, &r, Clamp16(AlignedX(x, lines[i].width, flags)),
                 Clamp16(y), flags, colour, background, buf + lines[i].start);
    y += lines[i].height;
    if (y > bottom) break;
  }
}

}  // namespace

void DrawText(Font* font, const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
              uint8_t colour, uint8_t background, uint16_t flags, const char* text) {
  if (text == nullptr || surface == nullptr) return;
  if ((flags & kTextGated) && GetSwitch(kSwitchGatedText) == 0) return;
  if (font == kDefaultFont) font = DefaultFont();
  const uint32_t n = static_cast<uint32_t>(strnlen(text, kTextMaxCharacters));
  ClipRect r = {0, 0, static_cast<int16_t>(surface->width), static_cast<int16_t>(surface->height)};
  if (clip != nullptr) r = *clip;
  SetCurrentFont(font);
  uint8_t text_colour = colour;  // colour escapes hold for the rest of the block
  if (flags & kTextWrap)
    DrawWrapped(font, surface, r, x, y, &text_colour, background, flags, text, n);
  else
    DrawLines(font, surface, r, x, y, &text_colour, background, flags, text, n);
}

void DrawTextFormatted(Font* font, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, uint8_t colour, uint8_t background, uint16_t flags,
                       const char* format, ...) {
  if (format == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(g_format_buffer, sizeof g_format_buffer, format, arguments);
  va_end(arguments);
  DrawText(font, surface, clip, x, y, colour, background, flags, g_format_buffer);
}
