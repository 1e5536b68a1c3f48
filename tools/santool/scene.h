// Scene files for "santool build": a JSON description of a .san file (the
// picture folder, palettes and fades, overlays, ghosts, stored objects, sound
// tracks and subtitles), checked field by field. docs/scene-format.md is the
// reference for users; this header is the parsed form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace santool {

// A scene that cannot be used: `what` is "FILE: JSON.PATH: reason".
struct SceneError {
  std::string what;
};

struct FrameRange {
  int first = 0, last = 0;  // both included
};

struct SceneFade {
  std::string path;  // JSON path, for messages
  int frame = 0;     // the fade starts here and lands steps frames later
  int steps = 1;
};

struct SceneSprite {
  std::string path;
  std::string png;  // resolved against the scene's folder
  int codec = 3;
  int x = 0, y = 0;
  int transparent = 0;  // codecs 21 and 44: the index that is skipped
  // Codec 23: pixel p becomes p + shade (modulo 256), or shade_table[p] when
  // the table is given.
  int shade = 0;
  std::vector<uint8_t> shade_table;  // empty, or 256 entries
  // Codec 45: the palette entries smoothing may paint.
  int smooth_first = 0, smooth_last = 255;
};

struct SceneOverlay {
  SceneSprite sprite;
  FrameRange frames;
};

struct SceneFetch {
  int frame = 0;
  int x = 0, y = 0;
};

struct SceneStored {
  SceneSprite sprite;
  int frame = 0;  // stored and drawn here
  std::vector<SceneFetch> fetches;
};

struct SceneGhost {
  int frame = 0;
  int mode = 0;
  int x = 0, y = 0;
};

enum class SoundClass { kEffects, kMusic, kVoice };
enum class SoundForm { kAuto, kShort, kStream };

// One block of a track script; offsets and lengths count samples at 22050 Hz.
struct ScriptBlock {
  enum Kind { kData, kRepeat, kLoop } kind = kData;
  std::string path;
  int64_t offset = 0;
  int64_t length = -1;  // data: -1 means to the end
  int64_t count = 0;    // repeat: samples played in all
  int target = 0;       // loop: index of the block jumped to
};

struct SceneAudio {
  std::string path;
  std::string file;
  int frame = 0;
  SoundClass sound_class = SoundClass::kEffects;
  int volume = 127;  // 0 to 127
  int pan = 0;       // -127 to 127
  int priority = 0;  // 0 to 15
  SoundForm form = SoundForm::kAuto;
  std::vector<ScriptBlock> script;  // empty: the whole sound once
};

struct SceneSubtitle {
  FrameRange frames;
  std::optional<std::string> text;  // "TEXT"
  int string_number = -1;           // "TRES" when text is empty
  int x = 160, y = 180;
  int flags = 1;
  std::optional<std::array<int, 4>> rect;  // left, top, width, height
};

struct Scene {
  std::string file;      // the scene file as given
  std::string pictures;  // resolved folder
  int rate = 15;
  int vector_table = 0;
  std::vector<int> palette_split;  // true colour: frames that start a new palette
  std::vector<SceneFade> fades;
  std::vector<SceneOverlay> overlays;
  std::vector<SceneStored> stored;
  std::vector<SceneGhost> ghosts;
  std::vector<SceneAudio> audio;
  std::vector<SceneSubtitle> subtitles;
};

// Reads and checks a scene file; throws SceneError. Frame numbers are
// checked against the picture count later, by CheckFrames.
Scene ReadScene(const std::string& file);
// Frame numbers against the number of pictures found.
void CheckFrames(const Scene& scene, int frames);
// An error of this scene at a JSON path.
[[noreturn]] void SceneFail(const Scene& scene, const std::string& path, const std::string& what);

}  // namespace santool
