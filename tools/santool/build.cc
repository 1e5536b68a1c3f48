// santool build: a scene file and what it names (pictures, sprites, sounds)
// turned into a .san file. Full pictures are coded with the delta-tile codec,
// whichever method is smaller frame by frame; everything is lossless from the
// indexed pictures on.
#include <libimagequant.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "authoring/audio.h"
#include "authoring/codecs.h"
#include "authoring/palette_fade.h"
#include "authoring/san_writer.h"
#include "imageio/imageio.h"
#include "imageio/output.h"
#include "santool/santool.h"
#include "santool/scan.h"
#include "santool/scene.h"

namespace {

using authoring::Bytes;
using authoring::Palette;
using santool::Scene;
using santool::SceneFail;

constexpr int kMaxWidth = 320, kMaxHeight = 200;  // the player's picture
constexpr int kOutputRate = 22050;
// Sounds up to this many samples may be played in place from their chunk.
constexpr size_t kShortSound = kOutputRate;

// The palette reduction's records, freed by their own functions.
template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using LiqAttr = std::unique_ptr<liq_attr, Freer<liq_attr, liq_attr_destroy>>;
using LiqHistogram = std::unique_ptr<liq_histogram, Freer<liq_histogram, liq_histogram_destroy>>;
using LiqImage = std::unique_ptr<liq_image, Freer<liq_image, liq_image_destroy>>;
using LiqResult = std::unique_ptr<liq_result, Freer<liq_result, liq_result_destroy>>;

struct Picture {
  std::string name;
  std::vector<uint8_t> indices;
  Palette palette{};
};

// One palette for the true-colour pictures [first, end): `rgba` holds them,
// laid over black (the screen has no transparency); their indices are made.
void Reduce(const Scene& scene, std::vector<Picture>& pictures, size_t first,
            std::vector<std::vector<uint8_t>>& rgba, int width, int height) {
  const size_t count = size_t(width) * size_t(height);
  auto fail = [&]() {
    SceneFail(scene, "pictures", pictures[first].name + ": the palette reduction failed");
  };
  LiqAttr attr(liq_attr_create());
  LiqHistogram histogram(liq_histogram_create(attr.get()));
  std::vector<LiqImage> images;
  for (std::vector<uint8_t>& px : rgba) {
    for (size_t p = 0; p < count; ++p) {
      uint8_t* c = &px[4 * p];
      for (int k = 0; k < 3; ++k) c[k] = uint8_t((c[k] * c[3] + 127) / 255);
      c[3] = 255;
    }
    images.emplace_back(liq_image_create_rgba(attr.get(), px.data(), width, height, 0));
    if (!images.back() ||
        liq_histogram_add_image(histogram.get(), attr.get(), images.back().get()) != LIQ_OK)
      fail();
  }
  liq_result* raw = nullptr;
  if (liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK) fail();
  LiqResult result(raw);
  for (size_t i = 0; i < images.size(); ++i) {
    pictures[first + i].indices.assign(count, 0);
    if (liq_write_remapped_image(result.get(), images[i].get(), pictures[first + i].indices.data(),
                                 count) != LIQ_OK)
      fail();
  }
  // The palette is final once the pictures have been remapped.
  Palette palette{};
  const liq_palette* p = liq_get_palette(result.get());
  for (unsigned i = 0; i < p->count && i < 256; ++i) {
    palette[3 * i] = p->entries[i].r;
    palette[3 * i + 1] = p->entries[i].g;
    palette[3 * i + 2] = p->entries[i].b;
  }
  for (size_t i = 0; i < images.size(); ++i) pictures[first + i].palette = palette;
  rgba.clear();
}

// The pictures of the folder in name order; true-colour ones are reduced to
// one palette per stretch between palette splits, a stretch at a time.
std::vector<Picture> LoadPictures(const Scene& scene, int* width, int* height) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(scene.pictures, ec)) {
    std::string n = entry.path().filename().string();
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) names.push_back(n);
  }
  if (ec) SceneFail(scene, "pictures", scene.pictures + ": " + ec.message());
  if (names.empty()) SceneFail(scene, "pictures", scene.pictures + ": no .png pictures");
  if (names.size() > 32767) SceneFail(scene, "pictures", "more than 32767 pictures");
  std::sort(names.begin(), names.end());
  std::vector<Picture> pictures(names.size());
  std::vector<std::vector<uint8_t>> stretch;  // true colour, from `first` on
  size_t first = 0;
  bool indexed = true;
  for (size_t i = 0; i < names.size(); ++i) {
    imageio::PngPicture png;
    std::string path = scene.pictures + "/" + names[i];
    if (std::string error = santool::CheckInput(path); !error.empty())
      SceneFail(scene, "pictures", error);
    imageio::IoResult r = imageio::ReadPng(path, &png, kMaxWidth, kMaxHeight);
    if (!r) SceneFail(scene, "pictures", r.message);
    if (i == 0) {
      *width = png.width, *height = png.height;
      indexed = png.rgba.empty();
      if (indexed && !scene.palette_split.empty())
        SceneFail(scene, "palette_split", "only true-colour pictures are given palettes");
    } else if (png.width != *width || png.height != *height) {
      SceneFail(scene, "pictures", path + ": not the size of " + names[0]);
    } else if (png.rgba.empty() != indexed) {
      SceneFail(scene, "pictures", path + ": indexed and true-colour pictures are mixed");
    }
    pictures[i].name = path;
    if (indexed) {
      pictures[i].indices = std::move(png.indices);
      pictures[i].palette = png.palette;
      continue;
    }
    if (std::find(scene.palette_split.begin(), scene.palette_split.end(), int(i)) !=
        scene.palette_split.end()) {
      Reduce(scene, pictures, first, stretch, *width, *height);
      first = i;
    }
    stretch.push_back(std::move(png.rgba));
  }
  if (!indexed) Reduce(scene, pictures, first, stretch, *width, *height);
  return pictures;
}

struct Sprite {
  int width = 0, height = 0;
  std::vector<uint8_t> indices;
};

// The smoothing tables the decoder holds: the palette they were made for
// and the entries they paint, or none yet.
struct SmoothingSent {
  bool sent = false;
  Palette palette{};
  int first = 0, last = 255;
};

// A sprite's object payload; its indices are used as they stand. Codecs 23
// and 45 take the sprite as a mask: the pixels whose index is not 0 are
// shaded or smoothed. `palette` is the one the frame shows; a smoothing
// object carries its tables unless the decoder already holds them, and a
// stored one always does, as it may be fetched after others changed them.
Bytes SpriteObject(const Scene& scene, const santool::SceneSprite& s,
                   std::map<std::string, Sprite>& cache, const Palette& palette,
                   SmoothingSent& smoothing, bool stored) {
  auto it = cache.find(s.png);
  if (it == cache.end()) {
    imageio::PngPicture png;
    imageio::IoResult r = imageio::ReadPng(s.png, &png, 4096, 4096);
    if (!r) SceneFail(scene, s.path + ".png", r.message);
    if (!png.rgba.empty())
      SceneFail(scene, s.path + ".png", s.png + ": not an indexed-colour PNG");
    it = cache.emplace(s.png, Sprite{png.width, png.height, std::move(png.indices)}).first;
  }
  const Sprite& p = it->second;
  const uint8_t* px = p.indices.data();
  const auto w = uint16_t(p.width), h = uint16_t(p.height);
  const auto x = int16_t(s.x), y = int16_t(s.y);
  switch (s.codec) {
    case 1:  // pixels 0 show the picture underneath
      return authoring::EncodeRunLength(1, x, y, w, h, px, p.width, authoring::Zeros::kTransparent);
    case 2:  // with a param, codec 2 draws as codec 1
      return authoring::EncodeRunLength(2, x, y, w, h, px, p.width, authoring::Zeros::kTransparent,
                                        1);
    case 3:
      return authoring::EncodeRunLength(3, x, y, w, h, px, p.width);
    case 20:
      return authoring::EncodeRaw(x, y, w, h, px, p.width);
    case 23: {
      authoring::ShadeMode mode = authoring::ShadeMode::Offset(uint8_t(s.shade));
      if (!s.shade_table.empty()) {
        std::array<uint8_t, 256> table{};
        std::copy(s.shade_table.begin(), s.shade_table.end(), table.begin());
        mode = authoring::ShadeMode::SendTable(table);
      }
      return authoring::EncodeShade(x, y, w, h, px, p.width, mode);
    }
    case 45: {
      bool held = smoothing.sent && !stored && smoothing.palette == palette &&
                  smoothing.first == s.smooth_first && smoothing.last == s.smooth_last;
      if (held) return authoring::EncodeSmoothing(x, y, w, h, px, p.width, nullptr);
      smoothing = {true, palette, s.smooth_first, s.smooth_last};
      const authoring::SmoothingTables tables =
          authoring::SmoothingTablesFor(palette.data(), s.smooth_first, s.smooth_last);
      return authoring::EncodeSmoothing(x, y, w, h, px, p.width, &tables);
    }
    default:  // 21 and 44
      return authoring::EncodeSkipLiteral(uint8_t(s.codec), x, y, w, h, px, p.width,
                                          uint8_t(s.transparent));
  }
}

// The sound as the player plays it: mono, 22050 Hz, 8-bit unsigned.
std::vector<uint8_t> LoadSound(const Scene& scene, const santool::SceneAudio& a) {
  const std::string path = a.path + ".file";
  SF_INFO info{};
  SNDFILE* file = sf_open(a.file.c_str(), SFM_READ, &info);
  if (file == nullptr) SceneFail(scene, path, a.file + ": " + sf_strerror(nullptr));
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    SceneFail(scene, path, a.file + ": unusable sound layout");
  }
  if (info.frames / info.samplerate >= 600) {  // held whole in memory
    sf_close(file);
    SceneFail(scene, path, a.file + ": ten minutes or longer");
  }
  // Read a piece at a time, mixed down to one channel as it comes.
  std::vector<float> mono, piece(size_t(4096) * size_t(info.channels));
  mono.reserve(size_t(std::max<sf_count_t>(info.frames, 0)));
  sf_count_t got;
  while ((got = sf_readf_float(file, piece.data(), 4096)) > 0) {
    for (sf_count_t i = 0; i < got; ++i) {
      float sum = 0;
      for (int c = 0; c < info.channels; ++c) sum += piece[size_t(i * info.channels + c)];
      mono.push_back(sum / float(info.channels));
    }
  }
  sf_close(file);
  if (info.samplerate != kOutputRate && !mono.empty()) {
    double ratio = double(kOutputRate) / info.samplerate;
    std::vector<float> out(size_t(std::ceil(double(mono.size()) * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = mono.data();
    data.input_frames = long(mono.size());
    data.data_out = out.data();
    data.output_frames = long(out.size());
    data.src_ratio = ratio;
    int e = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
    if (e != 0) SceneFail(scene, path, a.file + ": " + src_strerror(e));
    out.resize(size_t(data.output_frames_gen));
    mono = std::move(out);
  }
  if (mono.empty()) SceneFail(scene, path, a.file + ": holds no sound");
  std::vector<uint8_t> samples(mono.size());
  for (size_t i = 0; i < mono.size(); ++i)
    samples[i] = uint8_t(std::clamp(std::lround(mono[i] * 128.0f + 128.0f), 0L, 255L));
  return samples;
}

// The track script: the scene's blocks, or the whole sound once, then the end.
Bytes TrackScript(const Scene& scene, const santool::SceneAudio& a, size_t samples) {
  authoring::TrackScript script;
  if (a.form == santool::SoundForm::kShort) {
    // A short sound has no header for its volume and pan.
    if (a.volume != 127) script.Set(authoring::kTargetVolume, uint8_t(a.volume));
    if (a.pan != 0) script.Set(authoring::kTargetPan, uint8_t(int8_t(a.pan)));
  }
  auto in_sound = [&](const santool::ScriptBlock& b, int64_t length) {
    if (b.offset + length > int64_t(samples))
      SceneFail(scene, b.path,
                "reaches sample " + std::to_string(b.offset + length) + " of a sound of " +
                    std::to_string(samples));
  };
  std::vector<size_t> starts;  // of each scene block in the script
  for (const santool::ScriptBlock& b : a.script) {
    starts.push_back(script.size());
    if (b.kind == santool::ScriptBlock::kData) {
      int64_t length = b.length < 0 ? int64_t(samples) - b.offset : b.length;
      if (length <= 0) SceneFail(scene, b.path, "starts past the end of the sound");
      in_sound(b, length);
      script.DataAt(uint32_t(b.offset), uint32_t(length), kOutputRate);
    } else if (b.kind == santool::ScriptBlock::kRepeat) {
      // The repeat block plays `length` samples each time the jump after it
      // brings the script back, `count` in all, then goes on past the jump.
      in_sound(b, std::max(b.length, b.count));
      authoring::TrackScript measure;
      measure.Repeat(0, 0, 0, 0, 0);
      size_t repeat_size = measure.size();
      measure.Jump(0, 0);
      size_t pair_size = measure.size();
      script.Repeat(uint32_t(b.offset), uint32_t(b.count), kOutputRate, uint32_t(b.length),
                    int16_t(pair_size));
      script.Jump(int16_t(-int64_t(repeat_size)), 0);
    } else {
      script.Jump(int16_t(int64_t(starts[size_t(b.target)]) - int64_t(script.size())), 0);
    }
  }
  if (a.script.empty()) script.DataAt(0, uint32_t(samples), kOutputRate);
  script.End();
  if (script.size() > 30000) SceneFail(scene, a.path + ".script", "is too long");
  return script.bytes();
}

// The 16-bit volume byte that the player scales back to `volume`.
uint8_t StreamVolume(int volume) {
  for (int b = 0; b < 256; ++b)
    if ((b * 127) >> 7 == volume) return uint8_t(b);
  return 128;
}

// The sprites of frame t, after its picture: a stored object and fetches of
// it, then the overlays in list order, then the ghosts.
void AddSprites(const Scene& scene, int t, authoring::Frame& f,
                std::map<std::string, Sprite>& cache, const Palette& palette,
                SmoothingSent& smoothing) {
  for (const auto& s : scene.stored) {
    if (s.frame == t) {
      f.Stor();
      f.Fobj(SpriteObject(scene, s.sprite, cache, palette, smoothing, true));
    }
    for (const auto& fetch : s.fetches) {
      if (fetch.frame != t) continue;
      f.Ftch(int16_t(fetch.x), int16_t(fetch.y));
      // The fetched object brings its own smoothing tables.
      if (s.sprite.codec == 45) smoothing.sent = false;
    }
  }
  for (const auto& o : scene.overlays)
    if (o.frames.first <= t && t <= o.frames.last)
      f.Fobj(SpriteObject(scene, o.sprite, cache, palette, smoothing, false));
  for (const auto& g : scene.ghosts)
    if (g.frame == t) f.Gost(uint16_t(g.mode), int16_t(g.x), int16_t(g.y));
}

void AddSubtitles(const Scene& scene, int t, authoring::Frame& f) {
  for (const auto& s : scene.subtitles) {
    if (t < s.frames.first || t > s.frames.last) continue;
    authoring::TextRect rect;
    if (s.rect)
      rect = {int16_t((*s.rect)[0]), int16_t((*s.rect)[1]), int16_t((*s.rect)[2]),
              int16_t((*s.rect)[3])};
    if (s.text)
      f.Text(int16_t(s.x), int16_t(s.y), uint16_t(s.flags), s.rect ? &rect : nullptr, *s.text);
    else
      f.Tres(int16_t(s.x), int16_t(s.y), uint16_t(s.flags), s.rect ? &rect : nullptr,
             uint16_t(s.string_number));
  }
}

// Sounds: short effects whole in one "SAUD"; the others as streams whose
// first block carries half a second and each later frame the next frame's
// worth, so the mixer stays ahead of the picture.
void AddSounds(const Scene& scene, std::vector<authoring::Frame>& out) {
  const int frames = int(out.size());
  const size_t per_frame = size_t((kOutputRate + scene.rate - 1) / scene.rate);
  for (size_t i = 0; i < scene.audio.size(); ++i) {
    santool::SceneAudio a = scene.audio[i];
    std::vector<uint8_t> samples = LoadSound(scene, a);
    if (a.form == santool::SoundForm::kAuto)
      a.form = a.sound_class == santool::SoundClass::kEffects && a.priority == 0 &&
                       samples.size() <= kShortSound
                   ? santool::SoundForm::kShort
                   : santool::SoundForm::kStream;
    Bytes script = TrackScript(scene, a, samples.size());
    if (a.form == santool::SoundForm::kShort) {
      out[size_t(a.frame)].Saud(authoring::SoundImage(script, samples));
      continue;
    }
    uint16_t flags = uint16_t(a.priority) |
                     (a.sound_class == santool::SoundClass::kMusic   ? authoring::kSoundMusic
                      : a.sound_class == santool::SoundClass::kVoice ? authoring::kSoundVoice
                                                                     : 0);
    authoring::StreamBlocks blocks =
        authoring::SplitStream(script, samples, size_t(kOutputRate / 2), per_frame);
    if (blocks.blocks.size() > 32767)
      SceneFail(scene, a.path + ".file", "is too long for a stream");
    // No block goes into the last frame, which the player shows again.
    const int last = std::max(a.frame, frames - 2);
    for (size_t b = 0; b < blocks.blocks.size(); ++b) {
      int f = std::min(a.frame + int(b), last);
      out[size_t(f)].Psad16(int16_t(i + 1), int16_t(b), int16_t(i + 1), flags,
                            StreamVolume(a.volume), int8_t(a.pan), blocks.blocks[b]);
    }
  }
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "santool: %s\n", message.c_str());
  return 1;
}

}  // namespace

int RunBuild(const BuildOptions& options) {
  try {
    Scene scene = santool::ReadScene(options.scene);
    int width = 0, height = 0;
    std::vector<Picture> pictures = LoadPictures(scene, &width, &height);
    const int frames = int(pictures.size());
    santool::CheckFrames(scene, frames);

    // Outputs are checked against every input before anything is written.
    std::vector<std::string> inputs = {options.scene};
    for (const Picture& p : pictures) inputs.push_back(p.name);
    for (const auto& o : scene.overlays) inputs.push_back(o.sprite.png);
    for (const auto& s : scene.stored) inputs.push_back(s.sprite.png);
    for (const auto& a : scene.audio) inputs.push_back(a.file);
    imageio::IoResult checked = imageio::CheckOutput(options.output, inputs);
    if (!checked) return Fail(checked.message);
    if (!options.quantised.empty()) {
      struct stat st;
      if (stat(options.quantised.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return Fail(options.quantised + ": is not a folder");
      for (const std::string& input : inputs) {
        std::filesystem::path in(input);
        std::error_code ec;
        if (std::filesystem::equivalent(in.parent_path().empty() ? "." : in.parent_path(),
                                        options.quantised, ec) &&
            in.filename().string().rfind("frame_", 0) == 0)
          return Fail(input + ": is one of the input files and would be replaced by a picture");
      }
    }

    std::vector<authoring::Frame> out(static_cast<size_t>(frames));
    // Palettes: the header holds the first; a change is a new palette, or a
    // fade that lands exactly on the picture's palette.
    authoring::PaletteFade shown;
    shown.current = pictures[0].palette;
    std::vector<int> fade_step(static_cast<size_t>(frames), 0);  // 1: start, 2: step
    for (const auto& f : scene.fades) {
      fade_step[size_t(f.frame)] = 1;
      for (int k = 1; k <= f.steps; ++k) fade_step[size_t(f.frame + k)] = 2;
    }
    std::vector<Palette> exported(static_cast<size_t>(frames));
    authoring::DeltaTileEncoder::Options eo;
    eo.vector_table = uint8_t(scene.vector_table);
    eo.x = int16_t((kMaxWidth - width) / 2);
    eo.y = int16_t((kMaxHeight - height) / 2);
    authoring::DeltaTileEncoder encoder(width, height, eo);
    std::map<std::string, Sprite> sprites;
    SmoothingSent smoothing;
    size_t fade_index = 0;
    for (int t = 0; t < frames; ++t) {
      authoring::Frame& f = out[size_t(t)];
      if (fade_step[size_t(t)] == 1) {
        const auto& fade = scene.fades[fade_index++];
        auto deltas = shown.Plan(pictures[size_t(fade.frame + fade.steps)].palette, fade.steps);
        shown.Start(deltas);
        f.XpalStart(deltas);
      } else if (fade_step[size_t(t)] == 2) {
        shown.Step();
        f.XpalStep();
      } else if (shown.current != pictures[size_t(t)].palette) {
        shown.current = pictures[size_t(t)].palette;
        f.Npal(shown.current);
      }
      exported[size_t(t)] = shown.current;
      const uint8_t* px = pictures[size_t(t)].indices.data();
      f.Fobj(t == 0 ? encoder.Intra(px, width) : encoder.Inter(px, width));
      AddSprites(scene, t, f, sprites, shown.current, smoothing);
      AddSubtitles(scene, t, f);
    }

    AddSounds(scene, out);

    authoring::SanHeader header;
    header.palette = pictures[0].palette;
    header.fps = uint16_t(scene.rate);
    authoring::SanWriter writer(header);
    for (const authoring::Frame& f : out) writer.AddFrame(f);
    Bytes file = writer.Finish();
    if (!options.quantised.empty()) {
      // The screen: the picture centred, colour 0 around it.
      imageio::IoResult r = imageio::PrepareFrameFolder(options.quantised, "frame");
      std::vector<uint8_t> screen(size_t(kMaxWidth) * kMaxHeight, 0);
      for (int t = 0; r && t < frames; ++t) {
        for (int y = 0; y < height; ++y)
          std::copy_n(&pictures[size_t(t)].indices[size_t(y) * size_t(width)], width,
                      &screen[size_t(eo.y + y) * kMaxWidth + size_t(eo.x)]);
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%05d.png", t);
        r = imageio::WritePng8(options.quantised + name, kMaxWidth, kMaxHeight, kMaxWidth,
                               screen.data(), exported[size_t(t)].data());
      }
      if (!r) return Fail(r.message);
    }
    imageio::OutputFile output(options.output);
    output.Write(file.data(), file.size());
    imageio::IoResult r = output.Commit();
    if (!r) return Fail(r.message);
    std::fprintf(stdout, "%d frames, %zu bytes written to %s\n", frames, file.size(),
                 options.output.c_str());
    return 0;
  } catch (const santool::SceneError& e) {
    return Fail(e.what);
  } catch (const std::exception& e) {  // out of memory, mostly
    return Fail(options.scene + ": " + e.what());
  }
}
