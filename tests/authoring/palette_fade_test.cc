#include "authoring/palette_fade.h"

#include <gtest/gtest.h>

namespace authoring {
namespace {

Palette Filled(uint32_t seed) {
  Palette p{};
  for (auto& v : p) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(seed >> 24);
  }
  p[0] = 0;
  p[1] = 255;
  return p;
}

TEST(PaletteFade, PlannedFadesLandExactlyWithoutWrapping) {
  for (int steps : {1, 2, 7, 15, 16, 20, 128}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      Palette from = Filled(seed), to = Filled(seed * 77);
      to[0] = 255;  // the extremes both ways
      to[1] = 0;
      PaletteFade pf;
      pf.current = from;
      auto d = pf.Plan(to, steps);
      pf.Start(d);
      for (int k = 0; k < steps; ++k) {
        pf.Step();
        for (int i = 0; i < 768; ++i) {
          ASSERT_GE(pf.current[i], std::min(from[i], to[i])) << steps << " " << k << " " << i;
          ASSERT_LE(pf.current[i], std::max(from[i], to[i])) << steps << " " << k << " " << i;
        }
      }
      EXPECT_EQ(pf.current, to) << steps;
    }
  }
}

TEST(PaletteFade, FollowsThePlayersArithmetic) {
  PaletteFade pf;  // 16 steps of 8 from 0 end at 1; -1 from 0 wraps to 255
  std::array<int16_t, 768> d{};
  d[0] = 8;
  d[1] = -1;
  pf.Start(d);
  pf.Step();
  EXPECT_EQ(pf.current[1], 255);
  for (int k = 1; k < 16; ++k) pf.Step();
  EXPECT_EQ(pf.current[0], 1);
}

}  // namespace
}  // namespace authoring
