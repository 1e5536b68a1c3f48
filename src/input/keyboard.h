// The key queue: key-down messages become 16-bit key codes, kept until
// playback control reads them. Codes follow a PC keyboard driver: ASCII for
// character keys (US layout), 256 + scan code for cursor and function keys,
// 0x2000 | character for the keypad, plus the flag bits below.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

constexpr uint16_t kKeySystem = 0x8000;   // arrived as a system key (Alt held, or F10)
constexpr uint16_t kKeyControl = 0x4000;  // Ctrl was held
constexpr uint16_t kKeyMask = 0x3FFF;     // the translated key
constexpr int kKeyQueueEntries = 256;     // holds at most 255 codes

constexpr uint16_t kKeyEscape = 27;
constexpr uint16_t kKeyAltX = 0x8078;
constexpr uint16_t kKeyAltF4 = 0x813E;

// Returns 0. The first call (no users) empties the queue.
int16_t InitKeyboard();
// Takes one user off; the queue keeps its codes.
void ShutdownKeyboard();
// Queues WM_KEYDOWN (256) and WM_SYSKEYDOWN (260); ignores other messages, keys
// whose code is 0 (translated to 0 with neither Alt nor Ctrl), and keys
// arriving while 255 codes wait.
void OnKeyMessage(UINT message, WPARAM wparam, LPARAM lparam);
// The oldest code, or 0 when the queue is empty; take != 0 removes it.
uint16_t ReadKey(int take);
// The translated key (bits 0 to 13) of a virtual-key code, with Shift from
// GetKeyState.
uint16_t TranslateKey(int virtual_key);
// Mouse messages while playing: they do not affect playback.
void OnMouseMessage(UINT message, WPARAM wparam, LPARAM lparam);
