// The executable's own options, taken off the command line before the
// launcher sees the rest: backend, clock, scripted input and capture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/headless_platform.h"

using platform::headless::ScriptedActivation;
using platform::headless::ScriptedKey;

// The longest sound capture --audio-out keeps unless --audio-max says
// otherwise: an hour of the 22050 Hz card, about 76 MiB.
constexpr uint32_t kDefaultAudioMaxSeconds = 3600;
// --timeout's largest value: the clock counts 32-bit milliseconds.
constexpr uint32_t kMaxTimeoutSeconds = 2000000;

struct PlatformOptions {
  enum class Backend { kSdl, kHeadless };
  enum class Clock { kDefault, kVirtual, kReal };
  Backend backend = Backend::kSdl;
  Clock clock = Clock::kDefault;
  bool choices_given = false;
  std::vector<int> choices;
  std::vector<ScriptedKey> keys;  // by clock time, in delivery order, times strictly rising
  // "@N:KEY": sent when the N-th screen has become visible. The clock runs on
  // while the reading thread fills the ring, so only these are tied to
  // frames.
  std::vector<ScriptedKey> screen_keys;  // in delivery order
  std::vector<ScriptedActivation> activations;
  std::vector<ScriptedActivation> screen_activations;
  std::string capture_dir;
  std::string audio_out;
  std::string trace_out;  // --trace: the presentation trace, JSON lines
  bool instance_dir_given = false;
  std::string instance_dir;
  std::string data_dir;
  bool window = false;  // SDL: a window instead of full screen
  int scale = 0;        // SDL: window of 320N x 240N; 0: 960 x 720
  bool aspect = true;   // SDL: the 320 x 200 screen shown 4:3
  uint32_t timeout_seconds = 0;  // 0: no limit
  uint32_t audio_max_seconds = kDefaultAudioMaxSeconds;
  bool help = false;
  bool version = false;
  // The viewer: files to play in order (words ending in ".san", any case, or
  // naming an existing file, and --play), and the text they need.
  std::vector<std::string> files;
  std::vector<std::string> fonts;  // --fonts A.NUT,B.NUT,C.NUT: font 0 first
  std::string strings;             // --strings F.TRS
  // Words of the command line the player does not act on, one message each.
  std::vector<std::string> warnings;
  // The words left for the launcher, joined by single blanks.
  std::string command_line;
  // Set when an option cannot be understood; the rest is then not reliable.
  std::string error;
};

// Options start with "--" ("--name=value" or "--name value"); "--" alone ends
// them. "-h" and "help" ask for the usage like "--help". Every other word goes
// to the launcher's command line; those the launcher would ignore (unknown,
// or past the tenth) are named in `warnings`. A separate value that is one
// of the player's words or starts with "--" is refused: the option then has
// no value.
PlatformOptions ParsePlatformOptions(int argc, const char* const* argv);

// One of the launcher's words ("/d1", "/d2", "/cds", "/cobalt2",
// "/thelantern"), matched without regard to case.
bool IsPlayerWord(std::string_view word);

// "Escape", "Alt+X", "Ctrl+A", "Shift+2", "F11", "a", "VK27"... Returns false
// for a name it does not know.
bool ParseKeyName(std::string_view name, ScriptedKey* key);

// "101", "2", "-1", or a name: exit/escape (2), enter/cobalt (101),
// lantern (102), fail (-1: the dialog cannot be shown).
bool ParseChoice(std::string_view text, int* choice);

const char* PlatformOptionsHelp();
