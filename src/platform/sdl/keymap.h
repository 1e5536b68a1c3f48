// SDL keys as the original virtual-key codes, and the window message a key
// press becomes.
#pragma once

#include <SDL.h>

#include "platform/wintypes.h"

namespace platform::sdl {

// The virtual-key code of a key, 0 for a key the original never saw. Letters
// fall back on their position when the layout gives no Latin letter.
int VirtualKeyFor(SDL_Keycode key, SDL_Scancode scancode);

// WM_SYSKEYDOWN while Alt is held and for F10 (as the original system sent
// them), WM_KEYDOWN otherwise; the ...UP messages for releases.
UINT KeyMessageFor(int virtual_key, bool down, bool alt_held);

// lParam of a key message: repeat count 1, the context bit with Alt, the
// previous-state bit for auto-repeat and releases, the transition bit for
// releases.
LPARAM KeyMessageParam(bool down, bool repeat, bool alt_held);

}  // namespace platform::sdl
