// The headless backend: the in-memory model with nothing shown, for tests,
// capture and machines without a display. Input comes from a script (keys
// and activations at clock times or screen counts), the chooser answers the
// scripted choices, every screen can be written as a picture and what the
// sound card plays can be written as a sound file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/memory/model.h"
#include "platform/wintypes.h"

namespace platform::headless {

struct ScriptedKey {
  uint32_t time = 0;  // platform clock, ms; or with on_screen the screen count
  bool on_screen = false;
  UINT message = 0;   // WM_KEYDOWN or WM_SYSKEYDOWN
  int virtual_key = 0;
  bool shift = false;
  bool control = false;
  bool alt = false;
};

struct ScriptedActivation {
  uint32_t time = 0;
  bool on_screen = false;
  int active = 0;
};

// Key state for scripted keys: the modifiers of the latest key whose time has
// come are held until the next key's time.
int16_t ScriptedKeyState(const std::vector<ScriptedKey>& keys, uint32_t now, int virtual_key);

// The sound card's rate, which the sound file is written at.
constexpr uint32_t kAudioRate = 22050;

struct Options {
  bool virtual_clock = true;  // false: the steady clock and timer threads
  std::vector<int> choices;   // the chooser's answers, in order
  std::vector<ScriptedKey> keys;          // by clock time, times strictly rising
  std::vector<ScriptedKey> screen_keys;   // by screen count, in delivery order
  std::vector<ScriptedActivation> activations;
  std::vector<ScriptedActivation> screen_activations;
  // A folder that receives every screen as screen_NNNNN.png; empty: none.
  std::string capture_dir;
  // The sound file of what the card played (8-bit mono WAV); empty: none.
  std::string audio_out;
  uint32_t audio_max_seconds = 3600;  // longer sound is not written
  // The single-instance folder; empty: private, so parallel runs never meet.
  std::string instance_dir;
};

// Sets the clock and installs the backend table. The folders and files
// named are the caller's to check beforehand.
void Install(const Options& options);

// Leaves the seam to the in-memory model and writes the sound file. False
// when a picture or the sound file could not be written (said on stderr).
bool Uninstall();

}  // namespace platform::headless
