#include "santool/scene.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>

#include "santool/scan.h"

namespace santool {
namespace {

using nlohmann::json;

std::string Join(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}
std::string Index(const std::string& path, size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// Walks the JSON with the path of each value, for messages.
class Reader {
 public:
  Reader(const Scene& scene, std::string folder) : scene_(scene), folder_(std::move(folder)) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
    SceneFail(scene_, path, what);
  }

  // An object with only the given fields.
  const json& Object(const json& j, const std::string& path,
                     std::initializer_list<const char*> fields) const {
    if (!j.is_object()) Fail(path, "must be an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (std::none_of(fields.begin(), fields.end(), [&](const char* f) { return it.key() == f; }))
        Fail(Join(path, it.key()), "unknown field");
    }
    return j;
  }
  const json& Array(const json& j, const std::string& path) const {
    if (!j.is_array()) Fail(path, "must be a list");
    return j;
  }
  int64_t Int(const json& j, const std::string& path, int64_t low, int64_t high) const {
    if (!j.is_number_integer()) Fail(path, j.dump() + " is not a whole number");
    int64_t v = j.is_number_unsigned() && j.get<uint64_t>() > uint64_t(INT64_MAX)
                    ? INT64_MAX
                    : j.get<int64_t>();
    if (v < low || v > high)
      Fail(path, j.dump() + " is out of range (" + std::to_string(low) + " to " +
                     std::to_string(high) + ")");
    return v;
  }
  // A field that may be missing.
  int64_t Int(const json& o, const std::string& path, const char* key, int64_t low, int64_t high,
              int64_t fallback) const {
    return o.contains(key) ? Int(o[key], Join(path, key), low, high) : fallback;
  }
  const json& Need(const json& o, const std::string& path, const char* key) const {
    if (!o.contains(key)) Fail(Join(path, key), "is missing");
    return o[key];
  }
  std::string String(const json& j, const std::string& path) const {
    if (!j.is_string()) Fail(path, j.dump() + " is not a string");
    return j.get<std::string>();
  }
  // A path relative to the scene's folder.
  std::string File(const json& j, const std::string& path) const {
    std::string name = String(j, path);
    if (name.empty()) Fail(path, "is empty");
    return name[0] == '/' ? name : folder_ + name;
  }
  // A file that is read: it must open as every santool input does.
  std::string Input(const json& j, const std::string& path) const {
    std::string name = File(j, path);
    std::string error = CheckInput(name);
    if (!error.empty()) Fail(path, error);
    return name;
  }
  FrameRange Range(const json& j, const std::string& path) const {
    if (j.is_number_integer()) {
      int f = int(Int(j, path, 0, 32767));
      return {f, f};
    }
    if (!j.is_array() || j.size() != 2) Fail(path, "must be a frame or [first, last]");
    FrameRange r{int(Int(j[0], Index(path, 0), 0, 32767)),
                 int(Int(j[1], Index(path, 1), 0, 32767))};
    if (r.last < r.first) Fail(path, "the last frame comes before the first");
    return r;
  }

  SceneSprite Sprite(const json& o, const std::string& path) const {
    SceneSprite s;
    s.path = path;
    s.png = Input(Need(o, path, "png"), Join(path, "png"));
    const json& codec = Need(o, path, "codec");
    std::string codec_path = Join(path, "codec");
    if (!codec.is_number_integer()) Fail(codec_path, codec.dump() + " is not a codec");
    int64_t c = codec.get<int64_t>();
    static const int kCodecs[] = {1, 2, 3, 20, 21, 23, 44, 45};
    if (std::find(std::begin(kCodecs), std::end(kCodecs), c) == std::end(kCodecs))
      Fail(codec_path, codec.dump() + " is not a codec");
    s.codec = int(c);
    s.x = int(Int(o, path, "x", -32768, 32767, 0));
    s.y = int(Int(o, path, "y", -32768, 32767, 0));
    s.transparent = int(Int(o, path, "transparent", 0, 255, 0));
    if (o.contains("shade")) {
      std::string p = Join(path, "shade");
      if (c != 23) Fail(p, "belongs to codec 23 sprites");
      const json& v = o["shade"];
      if (v.is_array()) {
        if (v.size() != 256) Fail(p, "a table must have 256 entries");
        for (size_t i = 0; i < 256; ++i) s.shade_table.push_back(uint8_t(Int(v[i], Index(p, i), 0, 255)));
      } else {
        s.shade = int(Int(v, p, 0, 255));
      }
    }
    if (o.contains("smooth")) {
      std::string p = Join(path, "smooth");
      if (c != 45) Fail(p, "belongs to codec 45 sprites");
      FrameRange r = Range(o["smooth"], p);  // [first, last] palette entries
      if (r.last > 255) Fail(p, "palette entries go up to 255");
      s.smooth_first = r.first;
      s.smooth_last = r.last;
    }
    return s;
  }

  std::vector<ScriptBlock> Script(const json& j, const std::string& path) const {
    std::vector<ScriptBlock> blocks;
    for (size_t i = 0; i < Array(j, path).size(); ++i) {
      std::string at = Index(path, i);
      const json& o = Object(j[i], at, {"data", "repeat", "loop"});
      if (o.size() != 1) Fail(at, "must hold one of data, repeat, loop");
      ScriptBlock b;
      constexpr int64_t kMax = 0x7FFFFFFF;
      if (o.contains("data")) {
        std::string p = Join(at, "data");
        const json& d = Object(o["data"], p, {"offset", "length"});
        b.kind = ScriptBlock::kData;
        b.path = p;
        b.offset = Int(d, p, "offset", 0, kMax, 0);
        b.length = Int(d, p, "length", 1, kMax, -1);
      } else if (o.contains("repeat")) {
        std::string p = Join(at, "repeat");
        const json& d = Object(o["repeat"], p, {"offset", "length", "count"});
        b.kind = ScriptBlock::kRepeat;
        b.path = p;
        b.offset = Int(d, p, "offset", 0, kMax, 0);
        b.length = Int(Need(d, p, "length"), Join(p, "length"), 1, kMax);
        b.count = Int(Need(d, p, "count"), Join(p, "count"), 1, kMax);
      } else {
        b.kind = ScriptBlock::kLoop;
        b.path = Join(at, "loop");
        b.target = int(Int(o["loop"], b.path, 0, int64_t(i)));
      }
      blocks.push_back(b);
    }
    return blocks;
  }

  SceneAudio Audio(const json& j, const std::string& path) const {
    const json& o =
        Object(j, path, {"file", "frame", "class", "volume", "pan", "priority", "form", "script"});
    SceneAudio a;
    a.path = path;
    a.file = Input(Need(o, path, "file"), Join(path, "file"));
    a.frame = int(Int(o, path, "frame", 0, 32767, 0));
    if (o.contains("class")) {
      std::string c = String(o["class"], Join(path, "class"));
      if (c == "music")
        a.sound_class = SoundClass::kMusic;
      else if (c == "voice")
        a.sound_class = SoundClass::kVoice;
      else if (c == "effects")
        a.sound_class = SoundClass::kEffects;
      else
        Fail(Join(path, "class"), "\"" + c + "\" is not music, voice or effects");
    }
    a.volume = int(Int(o, path, "volume", 0, 127, 127));
    a.pan = int(Int(o, path, "pan", -127, 127, 0));
    a.priority = int(Int(o, path, "priority", 0, 15, 0));
    if (o.contains("form")) {
      std::string f = String(o["form"], Join(path, "form"));
      if (f == "auto")
        a.form = SoundForm::kAuto;
      else if (f == "SAUD")
        a.form = SoundForm::kShort;
      else if (f == "PSAD")
        a.form = SoundForm::kStream;
      else
        Fail(Join(path, "form"), "\"" + f + "\" is not auto, SAUD or PSAD");
    }
    if (a.form == SoundForm::kShort && (a.sound_class != SoundClass::kEffects || a.priority != 0))
      Fail(Join(path, "form"), "a \"SAUD\" sound is always an effect of priority 0");
    if (o.contains("script")) a.script = Script(o["script"], Join(path, "script"));
    return a;
  }

  SceneSubtitle Subtitle(const json& j, const std::string& path) const {
    const json& o = Object(j, path, {"frames", "text", "string", "x", "y", "flags", "rect"});
    SceneSubtitle s;
    s.frames = Range(Need(o, path, "frames"), Join(path, "frames"));
    if (o.contains("text") == o.contains("string")) Fail(path, "needs either text or string");
    if (o.contains("text")) {
      s.text = String(o["text"], Join(path, "text"));
      if (s.text->find('\0') != std::string::npos) Fail(Join(path, "text"), "holds a zero byte");
      // The player lays a text out in a buffer of 4000 bytes.
      if (s.text->size() > 3998) Fail(Join(path, "text"), "is longer than 3998 bytes");
    } else {
      s.string_number = int(Int(o["string"], Join(path, "string"), 0, 65535));
    }
    s.x = int(Int(o, path, "x", -32768, 32767, 160));
    s.y = int(Int(o, path, "y", -32768, 32767, 180));
    s.flags = int(Int(o, path, "flags", 0, 65535, 1));
    if (o.contains("rect")) {
      std::string p = Join(path, "rect");
      const json& r = o["rect"];
      if (!r.is_array() || r.size() != 4) Fail(p, "must be [left, top, width, height]");
      std::array<int, 4> v{};
      for (size_t i = 0; i < 4; ++i) v[i] = int(Int(r[i], Index(p, i), -32768, 32767));
      s.rect = v;
    }
    return s;
  }

 private:
  const Scene& scene_;
  std::string folder_;
};

}  // namespace

void SceneFail(const Scene& scene, const std::string& path, const std::string& what) {
  throw SceneError{scene.file + ": " + (path.empty() ? "" : path + ": ") + what};
}

Scene ReadScene(const std::string& file) {
  Scene scene;
  scene.file = file;
  if (std::string error = CheckInput(file, false, kLargestText); !error.empty())
    throw SceneError{error};
  std::ifstream in(file, std::ios::binary);
  if (!in) SceneFail(scene, "", "cannot open");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) SceneFail(scene, "", "cannot be read");
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    std::string what = e.what();
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
    size_t cut = what.find("] ");
    SceneFail(scene, "", "not JSON: " + (cut == std::string::npos ? what : what.substr(cut + 2)));
  }
  size_t slash = file.find_last_of('/');
  Reader r(scene, slash == std::string::npos ? "" : file.substr(0, slash + 1));
  const json& o = r.Object(root, "",
                           {"pictures", "rate", "vector_table", "palette_split", "fades",
                            "overlays", "stored", "ghosts", "audio", "subtitles"});
  scene.pictures = r.File(r.Need(o, "", "pictures"), "pictures");
  scene.rate = int(r.Int(o, "", "rate", 1, 255, 15));
  scene.vector_table = int(r.Int(o, "", "vector_table", 0, 2, 0));
  if (o.contains("palette_split")) {
    const json& a = r.Array(o["palette_split"], "palette_split");
    for (size_t i = 0; i < a.size(); ++i) {
      int f = int(r.Int(a[i], Index("palette_split", i), 1, 32767));
      if (!scene.palette_split.empty() && f <= scene.palette_split.back())
        r.Fail(Index("palette_split", i), "frames must rise");
      scene.palette_split.push_back(f);
    }
  }
  if (o.contains("fades")) {
    const json& a = r.Array(o["fades"], "fades");
    for (size_t i = 0; i < a.size(); ++i) {
      std::string p = Index("fades", i);
      const json& f = r.Object(a[i], p, {"frame", "steps"});
      SceneFade fade{p, int(r.Int(r.Need(f, p, "frame"), Join(p, "frame"), 0, 32767)),
                     int(r.Int(r.Need(f, p, "steps"), Join(p, "steps"), 1, 128))};
      if (!scene.fades.empty() && fade.frame <= scene.fades.back().frame + scene.fades.back().steps)
        r.Fail(p, "starts before the fade before it has landed");
      scene.fades.push_back(fade);
    }
  }
  if (o.contains("overlays")) {
    const json& a = r.Array(o["overlays"], "overlays");
    for (size_t i = 0; i < a.size(); ++i) {
      std::string p = Index("overlays", i);
      const json& v = r.Object(a[i], p, {"png", "codec", "x", "y", "transparent", "shade", "smooth", "frames"});
      scene.overlays.push_back(
          {r.Sprite(v, p), r.Range(r.Need(v, p, "frames"), Join(p, "frames"))});
    }
  }
  if (o.contains("stored")) {
    const json& a = r.Array(o["stored"], "stored");
    for (size_t i = 0; i < a.size(); ++i) {
      std::string p = Index("stored", i);
      const json& v =
          r.Object(a[i], p, {"png", "codec", "x", "y", "transparent", "shade", "smooth", "frame",
                   "fetch"});
      SceneStored s{
          r.Sprite(v, p), int(r.Int(r.Need(v, p, "frame"), Join(p, "frame"), 0, 32767)), {}};
      if (v.contains("fetch")) {
        std::string fp = Join(p, "fetch");
        const json& fa = r.Array(v["fetch"], fp);
        for (size_t k = 0; k < fa.size(); ++k) {
          std::string q = Index(fp, k);
          const json& f = r.Object(fa[k], q, {"frame", "x", "y"});
          SceneFetch fetch{int(r.Int(r.Need(f, q, "frame"), Join(q, "frame"), 0, 32767)),
                           int(r.Int(f, q, "x", -32768, 32767, 0)),
                           int(r.Int(f, q, "y", -32768, 32767, 0))};
          if (fetch.frame <= s.frame)
            r.Fail(Join(q, "frame"), "must come after the frame that stores");
          s.fetches.push_back(fetch);
        }
      }
      scene.stored.push_back(s);
    }
    // One stored object at a time: the next store replaces it.
    for (size_t i = 1; i < scene.stored.size(); ++i) {
      for (const SceneFetch& f : scene.stored[i - 1].fetches)
        if (f.frame >= scene.stored[i].frame)
          r.Fail(Index("stored", i) + ".frame", "stores over an object that is still fetched");
      if (scene.stored[i].frame <= scene.stored[i - 1].frame)
        r.Fail(Index("stored", i) + ".frame", "frames must rise");
    }
  }
  if (o.contains("ghosts")) {
    const json& a = r.Array(o["ghosts"], "ghosts");
    for (size_t i = 0; i < a.size(); ++i) {
      std::string p = Index("ghosts", i);
      const json& g = r.Object(a[i], p, {"frame", "mode", "x", "y"});
      scene.ghosts.push_back({int(r.Int(r.Need(g, p, "frame"), Join(p, "frame"), 0, 32767)),
                              int(r.Int(g, p, "mode", 0, 2, 0)),
                              int(r.Int(g, p, "x", -32768, 32767, 0)),
                              int(r.Int(g, p, "y", -32768, 32767, 0))});
    }
  }
  if (o.contains("audio")) {
    const json& a = r.Array(o["audio"], "audio");
    for (size_t i = 0; i < a.size(); ++i) scene.audio.push_back(r.Audio(a[i], Index("audio", i)));
  }
  if (o.contains("subtitles")) {
    const json& a = r.Array(o["subtitles"], "subtitles");
    for (size_t i = 0; i < a.size(); ++i)
      scene.subtitles.push_back(r.Subtitle(a[i], Index("subtitles", i)));
  }
  return scene;
}

void CheckFrames(const Scene& scene, int frames) {
  auto check = [&](int frame, const std::string& path) {
    if (frame >= frames)
      SceneFail(
          scene, path,
          std::to_string(frame) + " is past the last frame (" + std::to_string(frames - 1) + ")");
  };
  for (size_t i = 0; i < scene.palette_split.size(); ++i)
    check(scene.palette_split[i], Index("palette_split", i));
  for (const SceneFade& f : scene.fades) check(f.frame + f.steps, f.path + ".steps");
  for (size_t i = 0; i < scene.overlays.size(); ++i)
    check(scene.overlays[i].frames.last, Index("overlays", i) + ".frames");
  for (size_t i = 0; i < scene.stored.size(); ++i) {
    check(scene.stored[i].frame, Index("stored", i) + ".frame");
    for (size_t k = 0; k < scene.stored[i].fetches.size(); ++k)
      check(scene.stored[i].fetches[k].frame, Index(Index("stored", i) + ".fetch", k) + ".frame");
  }
  for (size_t i = 0; i < scene.ghosts.size(); ++i)
    check(scene.ghosts[i].frame, Index("ghosts", i) + ".frame");
  for (const SceneAudio& a : scene.audio) check(a.frame, a.path + ".frame");
  for (size_t i = 0; i < scene.subtitles.size(); ++i)
    check(scene.subtitles[i].frames.last, Index("subtitles", i) + ".frames");
}

}  // namespace santool
