// Parsing of the executable's own options and of scripted key names.
#include "shell/options.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/keystate.h"
#include "platform/messages.h"
#include "shell/launcher.h"

namespace {

bool Equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Equal(text.substr(0, prefix.size()), prefix);
}

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  for (;;) {
    size_t end = text.find(separator, pos);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(pos));
      return parts;
    }
    parts.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
}

struct NamedKey {
  const char* name;
  int virtual_key;
};

constexpr NamedKey kNamedKeys[] = {
    {"Escape", VK_ESCAPE}, {"Esc", VK_ESCAPE},       {"Enter", VK_RETURN},
    {"Return", VK_RETURN}, {"Space", VK_SPACE},      {"Tab", VK_TAB},
    {"Backspace", VK_BACK}, {"Shift", VK_SHIFT},     {"Ctrl", VK_CONTROL},
    {"Control", VK_CONTROL}, {"Alt", VK_MENU},       {"Pause", VK_PAUSE},
    {"CapsLock", VK_CAPITAL}, {"PageUp", VK_PRIOR},  {"PageDown", VK_NEXT},
    {"End", VK_END},       {"Home", VK_HOME},        {"Left", VK_LEFT},
    {"Up", VK_UP},         {"Right", VK_RIGHT},      {"Down", VK_DOWN},
    {"Insert", VK_INSERT}, {"Delete", VK_DELETE},    {"NumLock", VK_NUMLOCK},
    {"ScrollLock", VK_SCROLL}, {"Multiply", VK_MULTIPLY}, {"Add", VK_ADD},
    {"Subtract", VK_SUBTRACT}, {"Decimal", VK_DECIMAL}, {"Divide", VK_DIVIDE},
    {"Comma", 188},        {"Semicolon", 186},
};

// Punctuation keys of a US keyboard by their unshifted character.
int PunctuationKey(char c) {
  switch (c) {
    case ';': return 186;
    case '=': return 187;
    case '-': return 189;
    case '.': return 190;
    case '/': return 191;
    case '`': return 192;
    case '[': return 219;
    case '\\': return 220;
    case ']': return 221;
    case '\'': return 222;
    default: return 0;
  }
}

bool BaseKey(std::string_view name, int* vk) {
  if (name.size() == 1) {
    char c = name[0];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      *vk = std::toupper(static_cast<unsigned char>(c));
      return true;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      *vk = c;
      return true;
    }
    *vk = PunctuationKey(c);
    return *vk != 0;
  }
  for (const NamedKey& key : kNamedKeys) {
    if (Equal(name, key.name)) {
      *vk = key.virtual_key;
      return true;
    }
  }
  int number = 0;
  if ((name[0] == 'F' || name[0] == 'f') && ParseNumber(name.substr(1), &number) && number >= 1 &&
      number <= 24) {
    *vk = VK_F1 + number - 1;
    return true;
  }
  if (StartsWith(name, "Num") && ParseNumber(name.substr(3), &number) && number >= 0 &&
      number <= 9) {
    *vk = VK_NUMPAD0 + number;
    return true;
  }
  if (StartsWith(name, "VK") && ParseNumber(name.substr(2), &number) && number >= 0 &&
      number <= 255) {
    *vk = number;
    return true;
  }
  return false;
}

// "MS" or "@SCREENS".
bool ParseWhen(std::string_view text, uint32_t* when, bool* on_screen) {
  *on_screen = !text.empty() && text[0] == '@';
  return ParseNumber(*on_screen ? text.substr(1) : text, when);
}

template <typename T>
void SortByWhen(std::vector<T>* items) {
  std::stable_sort(items->begin(), items->end(),
                   [](const T& a, const T& b) { return a.time < b.time; });
}

bool ParseKeys(std::string_view text, std::vector<ScriptedKey>* keys,
               std::vector<ScriptedKey>* screen_keys) {
  if (text.empty()) return true;
  for (std::string_view item : Split(text, ',')) {
    size_t colon = item.find(':');
    if (colon == std::string_view::npos) return false;
    ScriptedKey key;
    bool on_screen = false;
    if (!ParseWhen(item.substr(0, colon), &key.time, &on_screen)) return false;
    if (!ParseKeyName(item.substr(colon + 1), &key)) return false;
    key.on_screen = on_screen;
    (on_screen ? screen_keys : keys)->push_back(key);
  }
  SortByWhen(screen_keys);
  for (size_t i = 1; i < screen_keys->size(); ++i) {
    if ((*screen_keys)[i].time <= (*screen_keys)[i - 1].time)
      (*screen_keys)[i].time = (*screen_keys)[i - 1].time + 1;
  }
  // Each key gets a millisecond of its own so that its modifiers hold while
  // it is handled.
  SortByWhen(keys);
  for (size_t i = 1; i < keys->size(); ++i) {
    if ((*keys)[i].time <= (*keys)[i - 1].time) (*keys)[i].time = (*keys)[i - 1].time + 1;
  }
  return true;
}

bool ParseActivations(std::string_view text, std::vector<ScriptedActivation>* out,
                      std::vector<ScriptedActivation>* screen_out) {
  if (text.empty()) return true;
  for (std::string_view item : Split(text, ',')) {
    size_t colon = item.find(':');
    if (colon == std::string_view::npos) return false;
    ScriptedActivation a;
    if (!ParseWhen(item.substr(0, colon), &a.time, &a.on_screen)) return false;
    std::string_view flag = item.substr(colon + 1);
    if (flag == "0") {
      a.active = 0;
    } else if (flag == "1") {
      a.active = 1;
    } else {
      return false;
    }
    (a.on_screen ? screen_out : out)->push_back(a);
  }
  SortByWhen(screen_out);
  return true;
}

}  // namespace

bool ParseKeyName(std::string_view name, ScriptedKey* key) {
  key->shift = key->control = key->alt = false;
  // Modifiers before the last "+"; "+" alone, or "Shift++", is not a key name.
  for (;;) {
    size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus == 0 || plus + 1 == name.size()) break;
    std::string_view modifier = name.substr(0, plus);
    if (Equal(modifier, "Shift")) {
      key->shift = true;
    } else if (Equal(modifier, "Ctrl") || Equal(modifier, "Control")) {
      key->control = true;
    } else if (Equal(modifier, "Alt")) {
      key->alt = true;
    } else {
      return false;
    }
    name = name.substr(plus + 1);
  }
  if (name.empty() || !BaseKey(name, &key->virtual_key)) return false;
  // Alt, and F10 on its own, arrive as system keys.
  bool system = key->alt || key->virtual_key == VK_MENU || key->virtual_key == VK_F10;
  key->message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
  return true;
}

bool ParseChoice(std::string_view text, int* choice) {
  if (Equal(text, "exit") || Equal(text, "escape")) {
    *choice = 2;
  } else if (Equal(text, "enter") || Equal(text, "cobalt")) {
    *choice = 101;
  } else if (Equal(text, "lantern")) {
    *choice = 102;
  } else if (Equal(text, "fail")) {
    *choice = -1;
  } else {
    return ParseNumber(text, choice);
  }
  return true;
}

bool IsPlayerWord(std::string_view word) {
  for (const char* known : {"/d1", "/d2", "/cds", "/cobalt2", "/thelantern"})
    if (Equal(word, known)) return true;
  return false;
}

namespace {

// A word as a message can show it: printable, and not a page long.
std::string Shown(std::string_view word) {
  constexpr size_t kShownLength = 40;
  std::string out;
  for (size_t i = 0; i < word.size() && i < kShownLength; ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  if (word.size() > kShownLength) out += "...";
  return out;
}

// The launcher splits its line at blanks and acts on the first 10 words; say
// which words it will pass over.
void WarnAboutWords(const std::vector<std::string>& words, std::vector<std::string>* warnings) {
  int count = 0;
  for (const std::string& argument : words) {
    for (std::string_view word : Split(argument, ' ')) {
      if (word.empty()) continue;
      if (++count > kMaxCommandWords) {
        warnings->push_back("ignoring '" + Shown(word) + "': only the first 10 words count");
      } else if (!IsPlayerWord(word)) {
        warnings->push_back("ignoring unknown word '" + Shown(word) +
                            "' (known: /cobalt2 /thelantern /d1 /d2 /cds; --help lists the options)");
      }
    }
  }
}

// A file for the viewer: a word ending in ".san", or one naming an existing
// file. The launcher's words keep their meaning.
bool IsViewerFile(const std::string& word) {
  if (word.empty() || IsPlayerWord(word)) return false;
  if (word.size() > 4 && Equal(std::string_view(word).substr(word.size() - 4), ".san")) return true;
  struct stat st;
  return stat(word.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

PlatformOptions ParsePlatformOptions(int argc, const char* const* argv) {
  PlatformOptions options;
  std::vector<std::string> rest;
  bool options_ended = false;
  auto fail = [&](const std::string& message) {
    if (options.error.empty()) options.error = message;
  };
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    std::string_view word(argv[i]);
    if (!options_ended && (word == "-h" || Equal(word, "help"))) {
      options.help = true;
      continue;
    }
    if (options_ended || word.size() < 2 || word.substr(0, 2) != "--") {
      if (IsViewerFile(std::string(word))) {
        options.files.emplace_back(word);
      } else {
        rest.emplace_back(word);
      }
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }
    std::string_view name = word.substr(2);
    std::string_view value;
    bool has_value = false;
    if (size_t eq = name.find('='); eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    const std::string option = "--" + std::string(name);
    // A separate value is never one of the player's words or options:
    // "--capture /thelantern" must not make a folder of the demonstration's word.
    auto take_value = [&]() -> bool {
      if (!has_value) {
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        std::string_view candidate = next ? next : "";
        if (next == nullptr || candidate.substr(0, 2) == "--" || IsPlayerWord(candidate)) {
          fail("option " + option + " needs a value");
          return false;
        }
        value = candidate;
        ++i;
        has_value = true;
      }
      return true;
    };
    // Host paths: an empty one would silently mean "here" or "nothing".
    auto take_path = [&](std::string* out) -> bool {
      if (!take_value()) return false;
      if (value.empty()) {
        fail("option " + option + " needs a value");
        return false;
      }
      *out = value;
      return true;
    };
    auto take_seconds = [&](uint32_t* out, uint32_t most) {
      if (!take_value()) return;
      uint32_t seconds = 0;
      if (!ParseNumber(value, &seconds) || seconds < 1 || seconds > most) {
        fail("bad " + option + " '" + std::string(value) + "' (1 to " + std::to_string(most) +
             " seconds)");
      } else {
        *out = seconds;
      }
    };
    const bool flag = name == "help" || name == "version" || name == "window";
    if (flag && has_value) {
      fail("option " + option + " takes no value");
    } else if (name == "help") {
      options.help = true;
    } else if (name == "version") {
      options.version = true;
    } else if (name == "window") {
      options.window = true;
    } else if (name == "scale") {
      if (!take_value()) continue;
      uint32_t scale = 0;
      if (!ParseNumber(value, &scale) || scale < 1 || scale > 16) {
        fail("bad --scale '" + std::string(value) + "' (1 to 16)");
      } else {
        options.scale = static_cast<int>(scale);
      }
    } else if (name == "aspect") {
      if (!take_value()) continue;
      if (value == "4:3") {
        options.aspect = true;
      } else if (value == "none") {
        options.aspect = false;
      } else {
        fail("unknown aspect '" + std::string(value) + "' (4:3 or none)");
      }
    } else if (name == "platform") {
      if (!take_value()) continue;
      if (value == "headless") {
        options.backend = PlatformOptions::Backend::kHeadless;
      } else if (value == "sdl") {
        options.backend = PlatformOptions::Backend::kSdl;
      } else {
        fail("unknown platform '" + std::string(value) + "' (sdl or headless)");
      }
    } else if (name == "clock") {
      if (!take_value()) continue;
      if (value == "virtual") {
        options.clock = PlatformOptions::Clock::kVirtual;
      } else if (value == "real") {
        options.clock = PlatformOptions::Clock::kReal;
      } else {
        fail("unknown clock '" + std::string(value) + "' (virtual or real)");
      }
    } else if (name == "choice") {
      if (!take_value()) continue;
      options.choices_given = true;
      options.choices.clear();
      if (value.empty()) continue;
      for (std::string_view item : Split(value, ',')) {
        int choice = 0;
        if (!ParseChoice(item, &choice)) {
          fail("bad dialog answer '" + std::string(item) + "' in --choice");
          break;
        }
        options.choices.push_back(choice);
      }
    } else if (name == "keys") {
      if (!take_value()) continue;
      options.keys.clear();
      options.screen_keys.clear();
      if (!ParseKeys(value, &options.keys, &options.screen_keys))
        fail("bad --keys list (MS:KEY,...): " + std::string(value));
    } else if (name == "activate") {
      if (!take_value()) continue;
      options.activations.clear();
      options.screen_activations.clear();
      if (!ParseActivations(value, &options.activations, &options.screen_activations))
        fail("bad --activate list (MS:0|1,...): " + std::string(value));
    } else if (name == "timeout") {
      take_seconds(&options.timeout_seconds, kMaxTimeoutSeconds);
    } else if (name == "audio-max") {
      take_seconds(&options.audio_max_seconds, kMaxTimeoutSeconds);
    } else if (name == "capture") {
      take_path(&options.capture_dir);
    } else if (name == "audio-out") {
      take_path(&options.audio_out);
    } else if (name == "trace") {
      take_path(&options.trace_out);
    } else if (name == "instance-dir") {
      if (take_path(&options.instance_dir)) options.instance_dir_given = true;
    } else if (name == "data") {
      take_path(&options.data_dir);
    } else if (name == "play") {
      std::string file;
      if (take_path(&file)) options.files.push_back(file);
    } else if (name == "strings") {
      take_path(&options.strings);
    } else if (name == "fonts") {
      std::string list;
      if (!take_path(&list)) continue;
      options.fonts.clear();
      for (std::string_view font : Split(list, ',')) {
        if (font.empty()) {
          fail("bad --fonts list (A.NUT,B.NUT,...): " + list);
          break;
        }
        options.fonts.emplace_back(font);
      }
    } else {
      fail("unknown option " + option);
    }
  }
  WarnAboutWords(rest, &options.warnings);
  for (size_t i = 0; i < rest.size(); ++i) {
    if (i) options.command_line += ' ';
    options.command_line += rest[i];
  }
  return options;
}

const char* PlatformOptionsHelp() {
  return "Usage: morvane-demos [OPTIONS] [--] [/cobalt2 | /thelantern] [/d1 | /d2] [/cds]\n"
         "       morvane-demos [OPTIONS] FILE.san [FILE2.san ...]\n"
         "\n"
         "Given files (words ending in .san, any case, or naming an existing file, and\n"
         "--play), the viewer plays them in order with their sound, then ends. Keys:\n"
         "Space pause/resume, Right one frame while paused, Home restart the file,\n"
         "+/- speed 0.25x to 4x (silent away from 1x), F12 save the screen as\n"
         "STEM-FRAME.png in the working folder, Tab the overlay, Escape quit.\n"
         "\n"
         "Without /cobalt2 or /thelantern a chooser asks which demonstration to play\n"
         "and comes back after each one. Escape, Alt+X or Alt+F4 ends a demonstration.\n"
         "The words are matched without regard to case; only the first 10 count, and\n"
         "others are ignored with a warning.\n"
         "\n"
         "Options (OPTION=VALUE, or OPTION VALUE when the value is neither one of the\n"
         "words above nor starts with \"--\"; \"--\" ends the options):\n"
         "  --platform=sdl|headless  backend (default sdl)\n"
         "  --data=DIR               folder holding cv2vid and lanvid (default: the\n"
         "                           executable's folder); it must exist. The viewer\n"
         "                           takes the fonts and strings from its cv2vid when\n"
         "                           a file's folder has none\n"
         "  --play=FILE              a file for the viewer (repeatable)\n"
         "  --fonts=A.NUT,B.NUT,...  viewer: the fonts, font 0 first, and\n"
         "  --strings=F.TRS          the string file its text chunks use (default: the\n"
         "                           first demonstration's, when the file's folder holds\n"
         "                           them)\n"
         "  --timeout=SECONDS        end the run after SECONDS on the clock in use\n"
         "                           (virtual or real) with status 3; the sound and\n"
         "                           trace captured so far are written\n"
         "  --window                 sdl: play in a window instead of full screen\n"
         "                           (Alt+Enter switches; closing the window ends the\n"
         "                           demonstration and the program)\n"
         "  --scale=N                sdl: the window 320N x 240N pixels (default 960 x 720)\n"
         "  --aspect=4:3|none        sdl: the 320 x 200 screen shown 4:3 (default) or\n"
         "                           with square pixels\n"
         "  -h, --help, help, --version\n"
         "\n"
         "Headless backend:\n"
         "  --clock=virtual|real     virtual (default) runs as fast as possible\n"
         "  --choice=A,B,...         answers of the successive chooser dialogs: 101 (or\n"
         "                           enter), 102 (lantern), 2 (exit, escape), -1 (fail);\n"
         "                           after them every dialog answers 2\n"
         "  --keys=MS:KEY,...        key presses at clock times in ms, e.g. 500:Escape,\n"
         "                           900:Alt+X, Alt+F4, Shift+2, Ctrl+A, F11, a, VK27;\n"
         "                           keys at the same time are spread 1 ms apart;\n"
         "                           @N:KEY presses it once the N-th screen is visible\n"
         "                           (keys at the same N are spread one screen apart)\n"
         "  --activate=MS:0|1,...    application deactivated (0) or activated (1);\n"
         "                           @N:0|1 once the N-th screen is visible\n"
         "  --capture=DIR            every visible screen as DIR/screen_00000.png...;\n"
         "                           the folder is made if needed and the screen_*.png\n"
         "                           of an earlier run in it are removed\n"
         "  --audio-out=FILE.wav     what the sound card played (an existing file or\n"
         "                           link is replaced, a device written to; never one\n"
         "                           of the demonstration's files)\n"
         "  --trace=FILE.jsonl       one JSON line per screen shown, frame dropped,\n"
         "                           file switched and sound block mixed, with the\n"
         "                           clock (see docs/timing.md); written like --audio-out\n"
         "  --audio-max=SECONDS      longest sound kept for --audio-out (default 3600);\n"
         "                           a run that plays longer fails and writes no file\n"
         "  --instance-dir=DIR       where copies find each other (default: private)\n"
         "\n"
         "Nothing is created when the data folder, the data or an option is wrong.\n"
         "\n"
         "Exit status:\n"
         "  0  normal end (Escape included), or another copy already running\n"
         "  1  the run failed: errors were recorded (the log printed on stderr names\n"
         "     the files and the data folder), the demonstration data is missing, an\n"
         "     output could not be written, or the display, window or chooser could\n"
         "     not be shown, the backend is not part of this build, or a file could\n"
         "     not be played (the reason on stderr)\n"
         "  2  bad option, unusable --data folder or refused output\n"
         "  3  --timeout reached\n";
}
