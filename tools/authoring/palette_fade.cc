#include "authoring/palette_fade.h"

#include <algorithm>

namespace authoring {

std::array<int16_t, 768> PaletteFade::Plan(const Palette& target, int steps) const {
  steps = std::clamp(steps, 1, 128);
  std::array<int16_t, 768> d{};
  for (int i = 0; i < 768; ++i) {
    int diff = (target[i] - current[i]) * 128;
    // Rounded up, the sum lies in [target x 128, target x 128 + steps), and
    // steps <= 128 keeps it below the next value.
    int q = diff >= 0 ? (diff + steps - 1) / steps : -((-diff) / steps);
    d[i] = static_cast<int16_t>(q);
  }
  return d;
}

void PaletteFade::Start(const std::array<int16_t, 768>& deltas) {
  for (int i = 0; i < 768; ++i) acc[i] = static_cast<uint16_t>(current[i] * 128);
  delta = deltas;
}

void PaletteFade::Step() {
  for (int i = 0; i < 768; ++i) {
    acc[i] = static_cast<uint16_t>(acc[i] + delta[i]);
    current[i] = static_cast<uint8_t>((acc[i] >> 7) & 0xFF);
  }
}

}  // namespace authoring
