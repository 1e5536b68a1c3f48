// santool build: scenes turned into .san files and played back through
// santool export (the real engines, headless, on the virtual clock).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "imageio/imageio.h"
#include "santool/run.h"

namespace {

using santest::Has;
using santest::RunSantool;
using santest::ToolRun;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr int kW = 320, kH = 200;

std::string Frame(const std::string& dir, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%05d.png", n);
  return dir + name;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A true-colour picture (RGB, 8 bits a channel).
bool WriteRgbPng(const std::string& path, int w, int h, const Bytes& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(w);
  image.height = png_uint_32(h);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

// A WAV of 16-bit samples, `channels` interleaved.
void WriteWav16(const std::string& path, int rate, int channels, const std::vector<int16_t>& s) {
  Bytes b(44);
  std::memcpy(&b[0], "RIFF", 4);
  WriteLE32(&b[4], uint32_t(36 + 2 * s.size()));
  std::memcpy(&b[8], "WAVEfmt ", 8);
  WriteLE32(&b[16], 16);
  WriteLE16(&b[20], 1);
  WriteLE16(&b[22], uint16_t(channels));
  WriteLE32(&b[24], uint32_t(rate));
  WriteLE32(&b[28], uint32_t(rate * channels * 2));
  WriteLE16(&b[32], uint16_t(channels * 2));
  WriteLE16(&b[34], 16);
  std::memcpy(&b[36], "data", 4);
  WriteLE32(&b[40], uint32_t(2 * s.size()));
  for (int16_t v : s) b.insert(b.end(), {uint8_t(v), uint8_t(uint16_t(v) >> 8)});
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class Build : public santest::TempFolderTest {
 protected:
  // Builds `scene` (written to dir_/NAME.json) and exports the result.
  ToolRun BuildAndExport(const std::string& name, const std::string& scene,
                         const std::string& export_args = "") {
    WriteText(dir_ + "/" + name + ".json", scene);
    ToolRun r = RunSantool("build " + dir_ + "/" + name + ".json -o " + dir_ + "/" + name +
                           ".san --pictures-out " + dir_ + "/" + name + "-shown");
    if (r.code != 0) return r;
    return RunSantool("export " + dir_ + "/" + name + ".san --frames " + dir_ + "/" + name +
                      "-out " + export_args);
  }
  // Every exported frame equals the picture the builder says it shows.
  void ExpectShownAsExported(const std::string& name, int frames) {
    for (int t = 0; t < frames; ++t) {
      imageio::Png8 shown, got;
      ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/" + name + "-shown", t), &shown));
      ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/" + name + "-out", t), &got));
      EXPECT_TRUE(shown.indices == got.indices) << name << " frame " << t;
      EXPECT_TRUE(shown.palette == got.palette) << name << " frame " << t;
    }
    EXPECT_FALSE(fs::exists(Frame(dir_ + "/" + name + "-out", frames)));
  }
};

// Indexed pictures with a new palette and a fade, and true-colour pictures
// in two palette stretches: the player shows exactly the pictures, under
// their own palettes outside the fade.
TEST_F(Build, PicturesComeBackFromThePlayerExactly) {
  const int frames = 10, kRgbW = 198, kRgbH = 117;
  fs::create_directories(dir_ + "/indexed");
  fs::create_directories(dir_ + "/rgb");
  std::vector<imageio::Png8> in(frames);
  for (int t = 0; t < frames; ++t) {
    imageio::Png8& p = in[size_t(t)];
    p.indices.resize(size_t(kW) * kH);
    // Scrolling texture, a flat bar, a noisy square that moves, hidden by
    // the left edge at first.
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint8_t v = uint8_t(((x + 3 * t) / 7 + (y + t) / 5) % 40 + 10);
        if (y > 60 && y < 80) v = uint8_t(200 + t);
        int sx = x - 20 * t + 30, sy = y - 120;
        if (sx >= 0 && sx < 24 && sy >= 0 && sy < 24) v = uint8_t((sx * 97 + sy * 31) ^ (sx * sy));
        p.indices[size_t(y) * kW + size_t(x)] = v;
      }
    uint8_t base = t < 4 ? 0 : 90;  // the palette changes at 4; the fade lands on 9's
    for (int i = 0; i < 768; ++i) p.palette[size_t(i)] = uint8_t(i * 7 + base + (t == 9 ? 33 : 0));
    ASSERT_TRUE(imageio::WritePng8(Frame(dir_ + "/indexed", t), kW, kH, kW, p.indices.data(),
                                   p.palette.data()));
    // Smaller than the screen: shown centred.
    Bytes rgb(size_t(kRgbW) * kRgbH * 3);
    for (int y = 0; y < kRgbH; ++y)
      for (int x = 0; x < kRgbW; ++x) {
        uint8_t* c = &rgb[(size_t(y) * kRgbW + size_t(x)) * 3];
        c[0] = uint8_t(x * 255 / kRgbW);
        c[1] = uint8_t(t < 5 ? 2 * y : 255 - 2 * y);
        c[2] = uint8_t((x + y + 9 * t) % 256);
      }
    ASSERT_TRUE(WriteRgbPng(Frame(dir_ + "/rgb", t), kRgbW, kRgbH, rgb));
  }

  ToolRun r = BuildAndExport("indexed", R"({"pictures": "indexed", "rate": 12, "vector_table": 1,
                                             "fades": [{"frame": 6, "steps": 3}]})");
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectShownAsExported("indexed", frames);
  for (int t = 0; t < frames; ++t) {
    imageio::Png8 got;
    ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/indexed-out", t), &got));
    EXPECT_TRUE(got.indices == in[size_t(t)].indices) << "frame " << t;
    bool fading = t >= 7 && t < 9;
    EXPECT_EQ(got.palette == in[size_t(t)].palette, !fading) << "frame " << t;
  }

  r = BuildAndExport("rgb", R"({"pictures": "rgb", "palette_split": [5]})");
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectShownAsExported("rgb", frames);
  imageio::Png8 first, fourth, fifth;
  ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/rgb-out", 0), &first));
  ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/rgb-out", 4), &fourth));
  ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/rgb-out", 5), &fifth));
  EXPECT_TRUE(first.palette == fourth.palette);
  EXPECT_FALSE(fourth.palette == fifth.palette);
  // The reduction stays close to the input colours.
  imageio::PngPicture source;
  ASSERT_TRUE(imageio::ReadPng(Frame(dir_ + "/rgb", 5), &source));
  double error = 0;
  const size_t left = (kW - kRgbW) / 2, top = (kH - kRgbH) / 2;
  for (size_t y = 0; y < size_t(kH); ++y)
    for (size_t x = 0; x < size_t(kW); ++x) {
      uint8_t index = fifth.indices[y * kW + x];
      if (x < left || x >= left + kRgbW || y < top || y >= top + kRgbH) {
        ASSERT_EQ(index, 0);
        continue;
      }
      for (size_t k = 0; k < 3; ++k)
        error += std::abs(int(fifth.palette[3 * index + k]) -
                          int(source.rgba[4 * ((y - top) * kRgbW + x - left) + k]));
    }
  EXPECT_LT(error / double(kRgbW * kRgbH * 3), 10.0);
}

// Shade and smoothing sprites take their PNG as a mask: under it the player
// shades (an offset, then a table) and smooths (here into one allowed
// entry, so that every smoothed pixel is known) the picture, also after a
// palette change and when a stored smoothing object is fetched again.
TEST_F(Build, ShadeAndSmoothingSpritesChangeWhatTheyCover) {
  const int frames = 4;
  fs::create_directories(dir_ + "/fx");
  std::vector<imageio::Png8> in(frames);
  for (int t = 0; t < frames; ++t) {
    imageio::Png8& p = in[size_t(t)];
    p.indices.resize(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) p.indices[size_t(y) * kW + size_t(x)] = uint8_t((x + y) % 2 ? 40 : 90);
    for (int i = 0; i < 768; ++i) p.palette[size_t(i)] = uint8_t(i * 3 + (t >= 2 ? 50 : 0));
    ASSERT_TRUE(imageio::WritePng8(Frame(dir_ + "/fx", t), kW, kH, kW, p.indices.data(),
                                   p.palette.data()));
  }
  // A 16 x 8 mask with a hole in its middle row.
  Bytes mask(16 * 8, 1), palette(768, 0);
  for (int x = 4; x < 12; ++x) mask[4 * 16 + size_t(x)] = 0;
  ASSERT_TRUE(imageio::WritePng8(dir_ + "/mask.png", 16, 8, 16, mask.data(), palette.data()));
  std::string table = "[";
  for (int i = 0; i < 256; ++i) table += std::to_string(255 - i) + (i < 255 ? "," : "]");
  ToolRun r = BuildAndExport("fx", R"({"pictures": "fx", "overlays": [
      {"png": "mask.png", "codec": 23, "shade": 5, "x": 10, "y": 10, "frames": [0, 3]},
      {"png": "mask.png", "codec": 23, "shade": )" + table + R"(, "x": 40, "y": 10, "frames": 1},
      {"png": "mask.png", "codec": 45, "smooth": [7, 7], "x": 70, "y": 10, "frames": [0, 3]}],
    "stored": [{"png": "mask.png", "codec": 45, "smooth": [8, 8], "x": 100, "y": 10, "frame": 0,
                "fetch": [{"frame": 3, "x": 30}]}]})");
  ASSERT_EQ(r.code, 0) << r.err;
  auto under = [&](int left, int x, int y) {
    return x >= left && x < left + 16 && y >= 10 && y < 18 && mask[size_t(y - 10) * 16 + size_t(x - left)];
  };
  for (int t = 0; t < frames; ++t) {
    imageio::Png8 got;
    ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/fx-out", t), &got));
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint8_t p = in[size_t(t)].indices[size_t(y) * kW + size_t(x)], want = p;
        if (under(10, x, y)) want = uint8_t(p + 5);
        if (t == 1 && under(40, x, y)) want = uint8_t(255 - p);
        if (under(70, x, y)) want = 7;
        if (t == 0 && under(100, x, y)) want = 8;
        if (t == 3 && under(130, x, y)) want = 8;
        ASSERT_EQ(got.indices[size_t(y) * kW + size_t(x)], want) << "frame " << t << " at " << x << "," << y;
      }
  }
}

// A short effect at the output rate and a long stereo voice at twice it
// come out of the mixer as the input: the first through one fixed
// per-sample transform, the second at its pitch.
TEST_F(Build, SoundsFollowTheirInputThroughTheMixer) {
  fs::create_directories(dir_ + "/p");
  Bytes black(size_t(kW) * kH, 0), palette(768, 0);
  for (int t = 0; t < 30; ++t)
    ASSERT_TRUE(
        imageio::WritePng8(Frame(dir_ + "/p", t), kW, kH, kW, black.data(), palette.data()));
  Bytes effect;
  for (int i = 0; i < 9000; ++i)
    effect.push_back(uint8_t(128 + std::lround(100 * std::sin(i * 0.05) * std::cos(i * 0.0021))));
  ASSERT_TRUE(imageio::WriteWav8(dir_ + "/effect.wav", effect, 22050));
  std::vector<int16_t> voice;
  for (int i = 0; i < 44100 * 3 / 2; ++i) {
    auto v = int16_t(std::lround(12000 * std::sin(2 * M_PI * 300.0 * i / 44100)));
    voice.insert(voice.end(), {v, v});
  }
  WriteWav16(dir_ + "/voice.wav", 44100, 2, voice);

  ToolRun r = BuildAndExport("effect",
                             R"({"pictures": "p", "audio": [{"file": "effect.wav", "frame": 2}]})",
                             "--audio " + dir_ + "/effect-out.wav");
  ASSERT_EQ(r.code, 0) << r.err;
  imageio::Wav8 got;
  ASSERT_TRUE(imageio::ReadWav8(dir_ + "/effect-out.wav", &got));
  size_t start = 0;
  while (start < got.samples.size() && got.samples[start] == 128) ++start;
  ASSERT_GE(got.samples.size(), start + effect.size());
  // After the fade-in, each input value always gives the same output, and a
  // larger input never a smaller output.
  int map[256];
  std::fill(std::begin(map), std::end(map), -1);
  for (size_t i = 1024; i < effect.size(); ++i) {
    int& m = map[effect[i]];
    int v = got.samples[start + i];
    ASSERT_TRUE(m < 0 || m == v) << "sample " << i;
    m = v;
  }
  for (int a = 0, last = -1; a < 256; ++a) {
    if (map[a] < 0) continue;
    EXPECT_GE(map[a], last) << a;
    last = map[a];
  }
  EXPECT_GT(map[220], map[40] + 80);

  // A script: the first two stretches of 1000 samples, stretches 5 to 7 by a
  // repeat block, then from 9 to the end.
  Bytes stretches;
  for (int i = 0; i < 12000; ++i) stretches.push_back(uint8_t(60 + 12 * (i / 1000)));
  ASSERT_TRUE(imageio::WriteWav8(dir_ + "/stretches.wav", stretches, 22050));
  r = BuildAndExport("script", R"({"pictures": "p", "audio": [{"file": "stretches.wav", "script": [
                                     {"data": {"length": 2000}},
                                     {"repeat": {"offset": 5000, "length": 1000, "count": 3000}},
                                     {"data": {"offset": 9000}}]}]})",
                     "--audio " + dir_ + "/script-out.wav");
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(imageio::ReadWav8(dir_ + "/script-out.wav", &got));
  start = 0;
  while (start < got.samples.size() && got.samples[start] == 128) ++start;
  ASSERT_GE(got.samples.size(), start + 8000);
  const int played[] = {0, 1, 5, 6, 7, 9, 10, 11};
  for (int k = 0; k < 8; ++k) {
    int want = map[60 + 12 * played[k]];
    ASSERT_GE(want, 0);
    EXPECT_EQ(got.samples[start + size_t(k) * 1000 + 500], want) << "stretch " << k;
  }

  r = BuildAndExport("voice",
                     R"({"pictures": "p", "audio": [{"file": "voice.wav", "class": "voice"}]})",
                     "--audio " + dir_ + "/voice-out.wav");
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(imageio::ReadWav8(dir_ + "/voice-out.wav", &got));
  // Swings between well below and well above silence.
  int swings = 0, side = 0;
  size_t first = got.samples.size(), last = 0;
  for (size_t i = 0; i < got.samples.size(); ++i) {
    int now = got.samples[i] < 110 ? -1 : got.samples[i] > 146 ? 1 : side;
    if (now != side && side != 0) {
      ++swings;
      first = std::min(first, i);
      last = i;
    }
    side = now;
  }
  // 1.5 s at 300 Hz: 450 periods, two swings each, over 33075 samples.
  EXPECT_NEAR(swings, 900, 4);
  EXPECT_NEAR(double(last - first), 33075, 150);
}

// A scene that uses every kind of chunk plays in the headless player, whose
// export fails on any recorded error.
TEST_F(Build, SceneWithEveryFeaturePlaysWithoutErrors) {
  fs::create_directories(dir_ + "/p");
  Bytes pic(size_t(kW) * kH), palette(768);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = uint8_t(i);
  for (int t = 0; t < 12; ++t) {
    for (size_t i = 0; i < pic.size(); ++i) pic[i] = uint8_t((i / 320 + i % 320 + size_t(t)) / 8);
    ASSERT_TRUE(imageio::WritePng8(Frame(dir_ + "/p", t), kW, kH, kW, pic.data(), palette.data()));
  }
  Bytes sprite(24 * 16);
  for (size_t i = 0; i < sprite.size(); ++i) sprite[i] = uint8_t(i % 24 < 4 ? 0 : 100 + i % 7);
  ASSERT_TRUE(imageio::WritePng8(dir_ + "/sprite.png", 24, 16, 24, sprite.data(), palette.data()));
  Bytes tone;
  for (int i = 0; i < 40000; ++i) tone.push_back(uint8_t(128 + (i / 30 % 2 ? 40 : -40)));
  ASSERT_TRUE(imageio::WriteWav8(dir_ + "/tone.wav", tone, 11025));
  WriteText(dir_ + "/strings.trs", "#1\r\nFIRST LINE\r\n#2\r\nSECOND\r\n");
  std::string overlays;
  for (int codec : {1, 2, 3, 20, 21, 44})
    overlays += (overlays.empty() ? "" : ",") + std::string(R"({"png": "sprite.png", "codec": )") +
                std::to_string(codec) + R"(, "x": )" + std::to_string(codec * 9) +
                R"(, "y": -4, "transparent": 0, "frames": [1, 10]})";
  ToolRun r = BuildAndExport("all", R"({
    "pictures": "p", "rate": 10, "fades": [{"frame": 2, "steps": 4}],
    "overlays": [)" + overlays + R"(],
    "stored": [{"png": "sprite.png", "codec": 3, "x": 100, "y": 100, "frame": 3,
                "fetch": [{"frame": 4, "x": 10, "y": 5}, {"frame": 8, "x": -30}]}],
    "ghosts": [{"frame": 5, "mode": 1, "x": 3, "y": 2}, {"frame": 6, "mode": 2}],
    "audio": [{"file": "tone.wav", "class": "music", "volume": 90, "pan": -30, "priority": 3,
               "script": [{"data": {"offset": 0, "length": 5000}},
                          {"repeat": {"offset": 5000, "length": 1000, "count": 3000}},
                          {"data": {"offset": 9000}}, {"loop": 2}]},
              {"file": "tone.wav", "frame": 4, "class": "effects", "form": "SAUD", "volume": 60, "pan": 40,
               "script": [{"data": {"length": 2000}}]}],
    "subtitles": [{"frames": [0, 11], "text": "PLAIN TEXT", "x": 160, "y": 190},
                  {"frames": [3, 7], "string": 2, "flags": 5, "rect": [-5, 10, 200, 40]}]
  })",
                             "--strings " + dir_ + "/strings.trs --audio " + dir_ + "/all.wav");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ToolRun info = RunSantool("info " + dir_ + "/all.san --frames");
  ASSERT_EQ(info.code, 0) << info.err;
  for (const char* tag : {"XPAL", "STOR", "FTCH", "GOST", "PSAD", "SAUD", "TEXT", "TRES"})
    EXPECT_TRUE(Has(info.out, tag)) << tag;
}

// Mistakes in a scene are named by their JSON path, with status 1, and
// nothing is written.
TEST_F(Build, BadScenesAreNamedAndWriteNothing) {
  fs::create_directories(dir_ + "/p");
  Bytes pic(size_t(kW) * kH, 1), palette(768, 9);
  for (int t = 0; t < 3; ++t)
    ASSERT_TRUE(imageio::WritePng8(Frame(dir_ + "/p", t), kW, kH, kW, pic.data(), palette.data()));
  ASSERT_TRUE(
      imageio::WritePng8(dir_ + "/big.png", 321, 10, 321, Bytes(3210).data(), palette.data()));
  fs::create_directories(dir_ + "/big");
  fs::copy(dir_ + "/big.png", dir_ + "/big/a.png");
  WriteText(dir_ + "/noise.wav", "RIFF....not a sound");
  ASSERT_EQ(mkfifo((dir_ + "/pipe.png").c_str(), 0600), 0);  // would block a reader
  const std::string out = dir_ + "/out.san";
  WriteText(out, "keep");
  struct Case {
    std::string scene, message;
  } cases[] = {
      {"{", "scene.json: not JSON: "},
      {R"({"pictures": "p", "colour": 1})", "scene.json: colour: unknown field"},
      {R"({"rate": 15})", "scene.json: pictures: is missing"},
      {R"({"pictures": "none"})", "scene.json: pictures: " + dir_ + "/none: "},
      {R"({"pictures": "big"})",
       "scene.json: pictures: " + dir_ + "/big/a.png: 321 x 10 is larger than 320 x 200"},
      {R"({"pictures": "p", "rate": 0})", "scene.json: rate: 0 is out of range (1 to 255)"},
      {R"({"pictures": "p", "rate": "fast"})", "scene.json: rate: \"fast\" is not a whole number"},
      {R"({"pictures": "p", "palette_split": [1]})",
       "scene.json: palette_split: only true-colour pictures"},
      {R"({"pictures": "p", "fades": [{"frame": 1, "steps": 2}]})",
       "scene.json: fades[0].steps: 3 is past the last frame (2)"},
      {R"({"pictures": "p", "overlays": [{"png": "big.png", "codec": 22, "frames": 0}]})",
       "scene.json: overlays[0].codec: 22 is not a codec"},
      {R"({"pictures": "p", "overlays": [{"png": "big.png", "codec": 3, "shade": 4, "frames": 0}]})",
       "scene.json: overlays[0].shade: belongs to codec 23 sprites"},
      {R"({"pictures": "p", "overlays": [{"png": "big.png", "codec": 23, "shade": [1, 2], "frames": 0}]})",
       "scene.json: overlays[0].shade: a table must have 256 entries"},
      {R"({"pictures": "p", "stored": [{"png": "big.png", "codec": 45, "smooth": [9, 256], "frame": 0}]})",
       "scene.json: stored[0].smooth: palette entries go up to 255"},
      {R"({"pictures": "p", "stored": [{"png": "big.png", "codec": 3, "frame": 1, "fetch": [{"frame": 1}]}]})",
       "scene.json: stored[0].fetch[0].frame: must come after the frame that stores"},
      {R"({"pictures": "p", "ghosts": [{"frame": 0, "mode": 3}]})",
       "scene.json: ghosts[0].mode: 3 is out of range (0 to 2)"},
      {R"({"pictures": "p", "audio": [{"file": "noise.wav"}]})",
       "scene.json: audio[0].file: " + dir_ + "/noise.wav: "},
      {R"({"pictures": "p", "overlays": [{"png": "pipe.png"}]})",
       "scene.json: overlays[0].png: Cannot open file " + dir_ + "/pipe.png: not a regular file"},
      {R"({"pictures": "p", "audio": [{"file": "noise.wav", "class": "speech"}]})",
       "scene.json: audio[0].class: \"speech\" is not music, voice or effects"},
      {R"({"pictures": "p", "audio": [{"file": "noise.wav", "script": [{"loop": 1}]}]})",
       "scene.json: audio[0].script[0].loop: 1 is out of range (0 to 0)"},
      {R"({"pictures": "p", "subtitles": [{"frames": [2, 1], "text": "A"}]})",
       "scene.json: subtitles[0].frames: the last frame comes before the first"},
      {R"({"pictures": "p", "subtitles": [{"frames": 0, "text": "A", "string": 1}]})",
       "scene.json: subtitles[0]: needs either text or string"},
  };
  for (const Case& c : cases) {
    WriteText(dir_ + "/scene.json", c.scene);
    ToolRun r = RunSantool("build " + dir_ + "/scene.json -o " + out);
    EXPECT_EQ(r.code, 1) << c.scene;
    EXPECT_TRUE(Has(r.err, "santool: " + dir_ + "/" + c.message)) << c.scene << "\n" << r.err;
  }
  // A script that reaches past its sound, and an output that is an input.
  imageio::WriteWav8(dir_ + "/short.wav", Bytes(100, 128), 22050);
  WriteText(dir_ + "/scene.json", R"({"pictures": "p", "audio": [{"file": "short.wav",
      "script": [{"data": {"offset": 50, "length": 51}}]}]})");
  ToolRun r = RunSantool("build " + dir_ + "/scene.json -o " + out);
  EXPECT_TRUE(Has(r.err, "audio[0].script[0].data: reaches sample 101 of a sound of 100")) << r.err;
  r = RunSantool("build " + dir_ + "/scene.json -o " + dir_ + "/short.wav");
  EXPECT_EQ(r.code, 1);
  r = RunSantool("build " + dir_ + "/p -o " + out);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "Cannot open file " + dir_ + "/p: Is a directory")) << r.err;
  std::ifstream kept(out);
  std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "keep");
  EXPECT_EQ(fs::file_size(dir_ + "/short.wav"), 144u);
}

// The bundled demonstrations, exported, built back from their pictures and
// exported again, give the same frames.
TEST_F(Build, DemonstrationsSurviveExportAndBuild) {
  const char* dir = std::getenv("MV_BINARY_DIR");
  std::string maker = std::string(dir ? dir : MV_BINARY_ROOT) + "/data/make-demo-data";
  ASSERT_EQ(std::system((maker + " " + dir_ + "/demo --small >/dev/null").c_str()), 0);
  for (const char* file : {"cv2vid/O_open_a.san", "cv2vid/O_open_b.san", "lanvid/demofrnt.san",
                           "lanvid/demoend.san"}) {
    std::string strings = dir_ + "/demo/cv2vid/COBALT2.TRS";
    ToolRun r = RunSantool("export " + dir_ + "/demo/" + file + " --frames " + dir_ +
                           "/a --strings " + strings);
    ASSERT_EQ(r.code, 0) << file << r.err;
    WriteText(dir_ + "/scene.json", R"({"pictures": "a"})");
    r = RunSantool("build " + dir_ + "/scene.json -o " + dir_ + "/b.san");
    ASSERT_EQ(r.code, 0) << file << r.err;
    r = RunSantool("export " + dir_ + "/b.san --frames " + dir_ + "/b");
    ASSERT_EQ(r.code, 0) << file << r.err;
    for (int t = 0;; ++t) {
      if (!fs::exists(Frame(dir_ + "/a", t))) {
        EXPECT_FALSE(fs::exists(Frame(dir_ + "/b", t))) << file;
        EXPECT_GT(t, 2) << file;
        break;
      }
      imageio::Png8 a, b;
      ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/a", t), &a));
      ASSERT_TRUE(imageio::ReadPng8(Frame(dir_ + "/b", t), &b));
      EXPECT_TRUE(a.indices == b.indices && a.palette == b.palette) << file << " frame " << t;
    }
  }
}

}  // namespace
