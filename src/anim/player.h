// The animation player (owned by the animation engine; extended there).
#pragma once

#include <cstdint>

// Called by the display when the application is activated (non-zero) or
// deactivated (0): playback freezes while it is in the background.
void SetPlaybackActive(int32_t flag);
