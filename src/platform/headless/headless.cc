// The headless backend: scripted input, the chooser's scripted answers, the
// screens written as pictures and the card's sound as a file.
#include "platform/headless/headless_platform.h"

#include <cstdio>
#include <mutex>

#include "imageio/imageio.h"
#include "platform/backend.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/ui.h"

namespace platform::headless {

namespace {

void Say(const std::string& message) { std::fprintf(stderr, "morvane-demos: %s\n", message.c_str()); }

// The backend's state: the script, what it has sent, the capture.
struct State {
  Options options;
  HWND main = nullptr;  // the first window; dialogs come and go
  uint32_t screens = 0;
  size_t next_screen_key = 0;
  size_t next_screen_activation = 0;
  const ScriptedKey* last_screen_key = nullptr;
  int captured = 0;
  bool capture_failed = false;
};

State& S() {
  static State state;
  return state;
}

int16_t KeyState(int vk) {
  const State& s = S();
  int16_t state = ScriptedKeyState(s.options.keys, timeGetTime(), vk);
  if (s.last_screen_key != nullptr)
    state |= ScriptedKeyState({*s.last_screen_key}, s.last_screen_key->time, vk);
  return state;
}

void CaptureScreen(const memory::Screen& screen) {
  State& s = S();
  if (s.options.capture_dir.empty() || s.capture_failed || screen.width <= 0 || screen.height <= 0)
    return;
  char name[32];
  std::snprintf(name, sizeof(name), "/screen_%05d.png", s.captured);
  imageio::IoResult result = imageio::WritePng8(s.options.capture_dir + name, screen.width,
                                                screen.height, screen.pitch,
                                                screen.indices.data(), screen.palette.data());
  if (!result) {
    Say(result.message);
    s.capture_failed = true;  // one message, not one per frame
    return;
  }
  ++s.captured;
}

// Input tied to frames: sent once so many screens have become visible.
void OnScreen(const memory::Screen& screen) {
  State& s = S();
  CaptureScreen(screen);
  ++s.screens;
  const std::vector<ScriptedKey>& keys = s.options.screen_keys;
  while (s.next_screen_key < keys.size() && keys[s.next_screen_key].time <= s.screens) {
    const ScriptedKey& key = keys[s.next_screen_key++];
    s.last_screen_key = &key;
    PostMessageA(s.main, key.message, static_cast<WPARAM>(key.virtual_key), 1);
  }
  const std::vector<ScriptedActivation>& activations = s.options.screen_activations;
  while (s.next_screen_activation < activations.size() &&
         activations[s.next_screen_activation].time <= s.screens) {
    const ScriptedActivation& a = activations[s.next_screen_activation++];
    PostMessageA(s.main, WM_ACTIVATEAPP, static_cast<WPARAM>(a.active), 0);
  }
}

}  // namespace

int16_t ScriptedKeyState(const std::vector<ScriptedKey>& keys, uint32_t now, int virtual_key) {
  const ScriptedKey* latest = nullptr;
  for (const ScriptedKey& key : keys) {
    if (key.time > now) break;
    latest = &key;
  }
  if (latest == nullptr) return 0;
  bool down = false;
  switch (virtual_key) {
    case VK_SHIFT:
    case VK_LSHIFT: down = latest->shift; break;
    case VK_CONTROL:
    case VK_LCONTROL: down = latest->control; break;
    case VK_MENU:
    case VK_LMENU: down = latest->alt; break;
    default: down = virtual_key == latest->virtual_key; break;
  }
  return down ? static_cast<int16_t>(0xFF80) : 0;
}

void Install(const Options& options) {
  State& s = S();
  s = State{};
  s.options = options;
  platform::SetClockMode(options.virtual_clock ? platform::ClockMode::kVirtual
                                               : platform::ClockMode::kReal);
  platform::SetScriptedChoices(options.choices);
  for (const ScriptedKey& key : options.keys)
    platform::ScheduleMessage(key.time, key.message, static_cast<WPARAM>(key.virtual_key), 1);
  for (const ScriptedActivation& a : options.activations)
    platform::ScheduleMessage(a.time, WM_ACTIVATEAPP, static_cast<WPARAM>(a.active), 0);
  if (!options.audio_out.empty()) {
    memory::SetAudioCaptureLimit(size_t{options.audio_max_seconds} * kAudioRate);
    memory::SetAudioCapture(true);
  }
  platform::SetInstanceDirectory(options.instance_dir);

  platform::Backend backend;
  backend.window_created = [](HWND w, const char*) {
    if (S().main == nullptr) S().main = w;
  };
  backend.window_destroyed = [](HWND w) {
    if (w == S().main) S().main = nullptr;
  };
  if (!options.keys.empty() || !options.screen_keys.empty()) backend.key_state = KeyState;
  if (!options.capture_dir.empty() || !options.screen_keys.empty() ||
      !options.screen_activations.empty())
    backend.screen_shown = OnScreen;
  backend.focus_requested = [] { Say("another copy asked for the focus"); };
  platform::Install(backend);
}

bool Uninstall() {
  platform::Uninstall();
  State& s = S();
  bool ok = !s.capture_failed;
  const Options& options = s.options;
  if (!options.audio_out.empty()) {
    std::vector<uint8_t> audio = memory::TakeCapturedAudio();
    if (memory::AudioCaptureOverflowed()) {
      Say("the sound played for longer than --audio-max=" +
          std::to_string(options.audio_max_seconds) + " seconds; " + options.audio_out +
          " not written");
      ok = false;
    } else if (imageio::IoResult written = imageio::WriteWav8(options.audio_out, audio, kAudioRate);
               !written) {
      Say(written.message);
      ok = false;
    }
  }
  return ok;
}

}  // namespace platform::headless
