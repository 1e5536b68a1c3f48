// The window icon: a banded planet with a ring over a night sky in a rounded
// square (dist/morvane-demos.svg is the same picture).
#include <cmath>
#include <cstdint>

#include "platform/sdl/sdl_platform.h"

namespace platform::sdl {

void DrawIcon(uint32_t* pixels) {
  constexpr double kSize = 32.0;
  constexpr double kCorner = 6.0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      // Rounded square.
      const double cx = std::fmax(std::fabs(px - kSize / 2) - (kSize / 2 - kCorner), 0.0);
      const double cy = std::fmax(std::fabs(py - kSize / 2) - (kSize / 2 - kCorner), 0.0);
      uint32_t colour = 0;
      if (cx * cx + cy * cy <= kCorner * kCorner) {
        colour = 0xFF141A3Cu;  // night
        if ((x * 7 + y * 13) % 37 == 0) colour = 0xFFE8ECFFu;  // stars
        // Planet: centre (16, 17), radius 8.5, bands of teal.
        const double dx = px - 16.0, dy = py - 17.0;
        const double ring = (dx * dx) / (13.0 * 13.0) + (dy + dx * 0.25) * (dy + dx * 0.25) / (3.2 * 3.2);
        const bool on_ring = ring > 0.75 && ring < 1.0;
        const bool front = dy + dx * 0.25 > 0;
        if (on_ring && !front) colour = 0xFFF0A030u;
        if (dx * dx + dy * dy <= 8.5 * 8.5) {
          const int band = static_cast<int>(std::floor((dy + 9.0) / 3.0));
          colour = band % 2 ? 0xFF2FB5A8u : 0xFF1E8C9Eu;
          if (dx + dy < -6.0) colour = 0xFF7FE0D0u;  // lit edge
        }
        if (on_ring && front) colour = 0xFFF0A030u;
      }
      pixels[y * 32 + x] = colour;
    }
  }
}

}  // namespace platform::sdl
