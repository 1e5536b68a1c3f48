// Shared pieces of the demonstration generator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authoring/nut.h"

namespace demo {

// The three fonts of the first demonstration, drawn from one 3 x 5 pixel
// alphabet: `scale` 1, 2 or 3, with a drop shadow (pixel value 2) and, for the
// title font, a vertical colour ramp (values 3 to 6).
std::vector<std::optional<authoring::GlyphBitmap>> MakeFont(int scale, bool ramp);
// The talk font: a console font of the distribution (codes 32 to 126) with
// the same drop shadow, or, when it cannot be read, MakeFont(2, false).
std::vector<std::optional<authoring::GlyphBitmap>> MakeTalkFont();

// Music: 8-bit unsigned mono samples at `rate`, `count` samples long.
std::vector<uint8_t> CobaltMusic(int part, size_t count, int rate);
std::vector<uint8_t> LanternMusic(int part, size_t count, int rate);
std::vector<uint8_t> Whoosh(size_t count, int rate);

}  // namespace demo
