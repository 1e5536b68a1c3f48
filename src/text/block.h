// Whole texts: split into lines at line feeds or by word wrapping inside a
// rectangle, placed, and drawn line by line.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "text/font.h"
#include "text/line.h"

// Text flags.
constexpr uint16_t kTextCentre = 1;  // centre every line on x
constexpr uint16_t kTextRight = 2;   // right-align every line on x (without 1)
constexpr uint16_t kTextWrap = 4;    // wrap into the clip and keep the block inside it
constexpr uint16_t kTextGated = 8;   // draw only while switch 0 is set
// kTextOpaque (16, line.h): a background box behind every glyph.

constexpr uint32_t kTextMaxCharacters = 4000;
constexpr int kTextMaxLines = 80;
constexpr uint32_t kTextFormatBytes = 516;

// font: kDefaultFont, null (built-in) or a Font. clip null: the whole surface.
void DrawText(Font* font, const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
              uint8_t colour, uint8_t background, uint16_t flags, const char* text);
// The same with a printf-style format; the result is cut to 515 characters.
void DrawTextFormatted(Font* font, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, uint8_t colour, uint8_t background, uint16_t flags,
                       const char* format, ...) __attribute__((format(printf, 9, 10)));
