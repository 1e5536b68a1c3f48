// The sound output driver (owned by the sound engine; extended there).
#pragma once

#include <cstdint>

// Called by the display when the application is activated (non-zero) or
// deactivated (0).
void SetSoundOutputActive(int32_t flag);
