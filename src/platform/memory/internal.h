// Inside the in-memory model: the two display halves publish what they
// show, and the reset of the display forgets both.
#pragma once

#include <cstdint>

namespace platform::memory::detail {

void Publish(int width, int height, int pitch, const uint8_t* indices, const uint8_t* rgb768);
void ResetDirectDraw();
void ResetGdi();

}  // namespace platform::memory::detail
