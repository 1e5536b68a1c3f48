// Planning "XPAL" fades: a copy of the player's fade arithmetic (accumulators
// with 7 fraction bits, 16-bit wrap-around) so that a fade can be made to land
// exactly on a chosen palette.
#pragma once

#include <array>
#include <cstdint>

#include "authoring/san_writer.h"

namespace authoring {

struct PaletteFade {
  Palette current{};
  std::array<uint16_t, 768> acc{};
  std::array<int16_t, 768> delta{};

  // Deltas that reach `target` from `current` in exactly `steps` steps (1 to
  // 128); every step in between lies between the two, so nothing wraps.
  std::array<int16_t, 768> Plan(const Palette& target, int steps) const;
  // Command 0: start a fade from the current palette.
  void Start(const std::array<int16_t, 768>& deltas);
  // Any other command: one step.
  void Step();
};

}  // namespace authoring
