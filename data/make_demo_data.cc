// make-demo-data OUTDIR [--small]: writes the two bundled demonstrations,
// made procedurally:
//   OUTDIR/cv2vid/O_open_a.san, O_open_b.san, COBALT2.TRS, TALKFONT.NUT,
//                 SMALFONT.NUT, TITLFONT.NUT
//   OUTDIR/lanvid/demofrnt.san, demoend.san
// and beside each ".san" its checksum file (O_open_a.CHK, ...).
// The output is the same bytes on every run. --small makes a few frames per
// file, for the end-to-end tests.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "authoring/audio.h"
#include "authoring/codecs.h"
#include "authoring/nut.h"
#include "authoring/palette_fade.h"
#include "authoring/san_writer.h"
#include "authoring/trs.h"
#include "demo.h"
#include "imageio/output.h"
#include "stream/slots.h"

namespace {

using authoring::Bytes;
using authoring::Frame;
using authoring::Palette;
using authoring::PaletteFade;

// Outputs that could not be written; any fails the run.
int g_failures = 0;

// Writes one output whole or not at all, replacing a link rather than
// writing through it.
void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
  imageio::OutputFile out(path);
  out.Write(bytes.data(), bytes.size());
  if (imageio::IoResult r = out.Commit(); !r) {
    std::fprintf(stderr, "make-demo-data: %s\n", r.message.c_str());
    ++g_failures;
  }
}

constexpr int kW = 320, kH = 200;
constexpr int kFps = 15;
constexpr int kRate = 22050;
constexpr int kPerFrame = kRate / kFps;  // 1470 samples of sound a frame

struct Picture {
  std::vector<uint8_t> px = std::vector<uint8_t>(kW * kH, 0);
  uint8_t& at(int x, int y) { return px[y * kW + x]; }
  void Put(int x, int y, uint8_t c) {
    if (x >= 0 && x < kW && y >= 0 && y < kH) px[y * kW + x] = c;
  }
};

// A small deterministic generator.
struct Random {
  uint32_t s;
  explicit Random(uint32_t seed) : s(seed) {}
  uint32_t Next() {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  }
  int Range(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

void SetRgb(Palette& p, int i, double r, double g, double b) {
  p[3 * i] = static_cast<uint8_t>(std::clamp(std::lround(r), 0L, 255L));
  p[3 * i + 1] = static_cast<uint8_t>(std::clamp(std::lround(g), 0L, 255L));
  p[3 * i + 2] = static_cast<uint8_t>(std::clamp(std::lround(b), 0L, 255L));
}
void Ramp(Palette& p, int first, int count, std::array<double, 3> a, std::array<double, 3> b) {
  for (int i = 0; i < count; ++i) {
    double t = count > 1 ? static_cast<double>(i) / (count - 1) : 0;
    SetRgb(p, first + i, a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t);
  }
}

// One file in the making: frames are collected with their sub-chunks.
struct Film {
  int frames;
  std::vector<Frame> frame;
  explicit Film(int n) : frames(n), frame(n) {}

  // The sound as a music stream: block 0 carries half a second ahead of the
  // picture, then each frame the next frame's worth, so the mixer never runs
  // dry; no block goes into the last frame, which the player repeats.
  void AddMusic(const std::vector<uint8_t>& samples, int16_t track, int16_t key) {
    authoring::TrackScript script;
    script.DataAt(0, static_cast<uint32_t>(samples.size()), kRate).End();
    authoring::StreamBlocks blocks = authoring::SplitStream(script.bytes(), samples, kRate / 2, kPerFrame);
    for (size_t b = 0; b < blocks.blocks.size(); ++b) {
      int f = std::min(static_cast<int>(b), frames - 2);
      if (f < 0) f = 0;
      frame[f].Psad16(track, static_cast<int16_t>(b), key, authoring::kSoundMusic, 127, 0, blocks.blocks[b]);
    }
  }

  void Write(const std::string& path, const Palette& header_palette) const {
    authoring::SanHeader h;
    h.palette = header_palette;
    h.fps = kFps;
    authoring::SanWriter w(h);
    for (const Frame& f : frame) w.AddFrame(f);
    // Each film has its checksum file beside it, so that playing the bundled
    // data goes through the player's sector verification.
    authoring::Bytes bytes = w.Finish();
    // The name rule on the file's own name: the folder may be of any length.
    size_t slash = path.find_last_of('/') + 1;
    std::string chk = ChecksumFileName(path.substr(slash));
    if (!chk.empty()) chk = path.substr(0, slash) + chk;
    if (chk.empty()) {
      std::fprintf(stderr, "make-demo-data: %s: the name is too long for a checksum file\n",
                   path.c_str());
      ++g_failures;
      return;
    }
    Save(path, bytes);
    Save(chk, MakeChecksumFile(bytes.data(), bytes.size()));
  }
};

// ---------------------------------------------------------------------------
// "Cobalt Vector II": a dart-shaped ship glides in over a blue planet through
// a three-layer starfield, the title shines above; in the second file the
// ship jumps away, the stars stretch into streaks and everything fades out.

// Palette: 15 text, 16 shadow, 17-20 title ramp, 32-95 sky, 96-127 stars,
// 128-159 planet, 192-223 hull, 224-231 engine flame.
Palette CobaltPalette() {
  Palette p{};
  SetRgb(p, 15, 235, 240, 255);
  SetRgb(p, 16, 8, 10, 40);
  Ramp(p, 17, 4, {150, 230, 255}, {40, 90, 230});
  Ramp(p, 32, 64, {2, 2, 14}, {18, 30, 92});
  Ramp(p, 96, 32, {60, 70, 110}, {255, 255, 255});
  Ramp(p, 128, 32, {4, 10, 40}, {90, 160, 255});
  Ramp(p, 192, 32, {30, 36, 60}, {210, 220, 240});
  Ramp(p, 224, 8, {255, 80, 10}, {255, 240, 160});
  SetRgb(p, 255, 255, 255, 255);  // the debug overlay draws in index 255
  return p;
}

struct Star {
  int x, y, layer;
};

std::vector<Star> MakeStars() {
  Random r(0xC0BA17u);
  std::vector<Star> stars;
  for (int i = 0; i < 140; ++i) stars.push_back({r.Range(kW), r.Range(kH - 8) + 4, i % 3});
  return stars;
}

uint8_t Sky(int y) { return static_cast<uint8_t>(32 + ((y / 4) * 63) / 49); }

bool OnPlanet(int x, int y, uint8_t* colour) {
  const double cx = 262, cy = 168, r = 74;
  double dx = x - cx, dy = y - cy;
  double d2 = dx * dx + dy * dy;
  if (d2 > r * r) return false;
  // Lit from the upper left, in bands.
  double nz = std::sqrt(std::max(0.0, r * r - d2)) / r;
  double light = std::clamp((-dx * 0.6 - dy * 0.5) / r + nz * 0.7, 0.0, 1.0);
  double band = 0.08 * std::sin(y * 0.21 + std::sin(x * 0.05) * 1.5);
  *colour = static_cast<uint8_t>(128 + std::clamp(static_cast<int>((light + band) * 31), 0, 31));
  return true;
}

void FillPolygon(Picture& pic, const std::vector<std::array<double, 2>>& pts, uint8_t c0, uint8_t c1,
                 double top, double bottom) {
  double ymin = 1e9, ymax = -1e9;
  for (auto& p : pts) ymin = std::min(ymin, p[1]), ymax = std::max(ymax, p[1]);
  for (int y = static_cast<int>(std::ceil(ymin)); y <= static_cast<int>(std::floor(ymax)); ++y) {
    std::vector<double> xs;
    for (size_t i = 0; i < pts.size(); ++i) {
      auto a = pts[i], b = pts[(i + 1) % pts.size()];
      if ((a[1] <= y && b[1] > y) || (b[1] <= y && a[1] > y)) {
        xs.push_back(a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
      }
    }
    std::sort(xs.begin(), xs.end());
    double t = bottom > top ? std::clamp((y - top) / (bottom - top), 0.0, 1.0) : 0;
    uint8_t c = static_cast<uint8_t>(c0 + std::lround((c1 - c0) * t));
    for (size_t i = 0; i + 1 < xs.size(); i += 2)
      for (int x = static_cast<int>(std::ceil(xs[i])); x <= static_cast<int>(std::floor(xs[i + 1])); ++x)
        pic.Put(x, y, c);
  }
}

void DrawShip(Picture& pic, int sx, int sy, int t, bool boost) {
  // Hull, lit from above; a canopy; an engine flame that flickers.
  FillPolygon(pic, {{{sx + 30.0, sy + 0.0}, {sx - 14.0, sy - 11.0}, {sx - 8.0, sy + 0.0}, {sx - 14.0, sy + 11.0}}},
              223, 196, sy - 11.0, sy + 11.0);
  FillPolygon(pic, {{{sx + 4.0, sy - 16.0}, {sx + 10.0, sy - 4.0}, {sx - 6.0, sy - 4.0}}}, 215, 200, sy - 16.0, sy - 4.0);
  FillPolygon(pic, {{{sx + 4.0, sy + 16.0}, {sx + 10.0, sy + 4.0}, {sx - 6.0, sy + 4.0}}}, 200, 194, sy + 4.0, sy + 16.0);
  FillPolygon(pic, {{{sx + 14.0, sy - 1.0}, {sx + 4.0, sy - 4.0}, {sx + 2.0, sy + 1.0}}}, 140, 156, sy - 4.0, sy + 1.0);
  int flame = (boost ? 26 : 8) + ((t * 7) % 5);
  for (int k = 0; k < flame; ++k) {
    int half = std::max(0, 4 - k * 4 / std::max(1, flame));
    for (int dy = -half; dy <= half; ++dy) pic.Put(sx - 9 - k, sy + dy, static_cast<uint8_t>(231 - std::min(7, k * 8 / flame + std::abs(dy))));
  }
}

Picture CobaltPicture(const std::vector<Star>& stars, int t, bool second, int frames) {
  Picture pic;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint8_t c;
      pic.at(x, y) = OnPlanet(x, y, &c) ? c : Sky(y);
    }
  // Stars behind the planet; the second file goes on from the first's time.
  const int time = second ? t + 1000 : t;
  double warp = 0;
  int ship_x = 0, ship_y = 0;
  bool boost = false;
  if (!second) {
    double u = std::min(1.0, t / std::max(1.0, frames * 0.6));
    ship_x = static_cast<int>(-40 + 150 * (1 - (1 - u) * (1 - u)));
  } else {
    ship_x = 110;
    int go = t - frames / 4;
    if (go > 0) {
      boost = true;
      ship_x += go * go / 3;
      warp = std::min(1.0, go / (frames * 0.4));
    }
  }
  ship_y = 92 + static_cast<int>(std::lround(5 * std::sin(t * 0.2)));
  for (const Star& s : stars) {
    const int speed = s.layer + 1;
    int x = ((s.x - speed * time) % kW + kW) % kW;
    int streak = 1 + static_cast<int>(warp * warp * speed * 10);
    uint8_t c = static_cast<uint8_t>(100 + s.layer * 10 + (s.y * 7 % 5));
    for (int k = 0; k < streak; ++k) {
      int xx = x + k;
      if (xx >= kW) break;
      uint8_t under;
      if (OnPlanet(xx, s.y, &under)) break;
      pic.at(xx, s.y) = static_cast<uint8_t>(c + (k == 0 ? s.layer * 5 : 0));
    }
    if (s.layer == 2 && streak == 1 && x > 0 && x + 1 < kW) {  // near stars twinkle as small crosses
      uint8_t u;
      if (!OnPlanet(x, s.y, &u) && ((time + s.x) / 4) % 3 == 0) {
        pic.at(x - 1, s.y) = 104;
        pic.at(x + 1, s.y) = 104;
        pic.at(x, s.y - 1) = 104;
        pic.at(x, s.y + 1) = 104;
      }
    }
  }
  if (ship_x < kW + 40) DrawShip(pic, ship_x, ship_y, t, boost);
  return pic;
}

void MakeCobalt(const std::string& dir, int frames_a, int frames_b) {
  const Palette full = CobaltPalette();
  const Palette black{};
  const std::vector<Star> stars = MakeStars();
  const int fade = std::max(1, std::min(15, frames_a / 3));

  // First file: fade in, the ship arrives, the title and the first subtitles.
  {
    Film film(frames_a);
    authoring::DeltaTileEncoder enc(kW, kH);
    PaletteFade pf;
    pf.current = black;
    for (int t = 0; t < frames_a; ++t) {
      Picture pic = CobaltPicture(stars, t, false, frames_a);
      Frame& f = film.frame[t];
      f.Fobj(t == 0 ? enc.Intra(pic.px.data(), kW) : enc.Inter(pic.px.data(), kW));
      if (t == 0) {
        auto d = pf.Plan(full, fade);
        pf.Start(d);
        f.XpalStart(d);
      } else if (t <= fade && t < frames_a - 1) {
        pf.Step();
        f.XpalStep();
      }
      if (t >= frames_a / 5) f.Tres(160, 22, 1, nullptr, 1);
      if (t >= frames_a / 3 && t < frames_a * 2 / 3) f.Tres(160, 168, 1, nullptr, 2);
      if (t >= frames_a * 2 / 3) f.Tres(160, 168, 1, nullptr, 3);
      f.Text(160, 190, 1, nullptr, "^f01Press Esc to leave");
    }
    film.AddMusic(demo::CobaltMusic(0, static_cast<size_t>(frames_a) * kPerFrame, kRate), 1, 0x0C01);
    film.Write(dir + "/O_open_a.san", black);
  }
  // Second file, played on top of the first: the jump and the fade-out.
  {
    Film film(frames_b);
    authoring::DeltaTileEncoder enc(kW, kH);
    PaletteFade pf;
    pf.current = full;
    const int fade_out = std::max(1, std::min(15, frames_b / 3));
    const int fade_start = frames_b - 2 - fade_out;  // steps end before the last frame
    for (int t = 0; t < frames_b; ++t) {
      Picture pic = CobaltPicture(stars, t, true, frames_b);
      Frame& f = film.frame[t];
      f.Fobj(t == 0 ? enc.Intra(pic.px.data(), kW) : enc.Inter(pic.px.data(), kW));
      if (t == fade_start && t >= 0) {
        auto d = pf.Plan(black, fade_out);
        pf.Start(d);
        f.XpalStart(d);
      } else if (t > fade_start && t <= fade_start + fade_out && t < frames_b - 1) {
        pf.Step();
        f.XpalStep();
      }
      f.Tres(160, 22, 1, nullptr, 1);
      if (t < frames_b / 2) f.Tres(160, 168, 1, nullptr, 4);
      else f.Tres(160, 168, 1, nullptr, 5);
      if (t == frames_b / 4 + 1 && t < frames_b - 1) {
        authoring::TrackScript s;
        std::vector<uint8_t> whoosh = demo::Whoosh(kRate * 3 / 10, kRate);
        s.DataAt(0, static_cast<uint32_t>(whoosh.size()), kRate).End();
        f.Saud(authoring::SoundImage(s.bytes(), whoosh));
      }
    }
    film.AddMusic(demo::CobaltMusic(1, static_cast<size_t>(frames_b) * kPerFrame, kRate), 2, 0x0C02);
    film.Write(dir + "/O_open_b.san", full);
  }
  // The string file and the three fonts.
  std::vector<authoring::TrsEntry> strings = {
      {1, "^f02COBALT VECTOR II"},
      {2, "Sector Seven, beyond the blue giant."},
      {3, "One ship still answers the call."},
      {4, "Course laid in. Engines to full."},
      {5, "Hold on to something!"},
  };
  const std::string body = authoring::BuildTrsBody(strings);
  Save(dir + "/COBALT2.TRS", std::vector<uint8_t>(body.begin(), body.end()));
  Save(dir + "/TALKFONT.NUT", authoring::BuildNutFont(demo::MakeTalkFont()));
  Save(dir + "/SMALFONT.NUT", authoring::BuildNutFont(demo::MakeFont(1, false)));
  Save(dir + "/TITLFONT.NUT", authoring::BuildNutFont(demo::MakeFont(3, true)));
}

// ---------------------------------------------------------------------------
// "The Lantern": a lantern hangs in the dark over a meadow; its flame
// flickers, the glow around it breathes with the flame, moths circle it and
// fireflies drift and blink. Titles in the built-in font.

// Palette: 15 text, 32-95 glow, 96-127 metal, 128-143 flame, 144-151 moth,
// 160-167 fireflies, 176-191 meadow.
Palette LanternPalette(double glow) {
  Palette p{};
  SetRgb(p, 15, 255, 236, 200);
  for (int i = 0; i < 64; ++i) {
    double t = i / 63.0;
    SetRgb(p, 32 + i, glow * (6 + 200 * t * t), glow * (4 + 120 * t * t * t), glow * (10 + 30 * t * t * t * t));
  }
  Ramp(p, 96, 32, {20, 14, 8}, {200, 150, 80});
  for (int i = 0; i < 16; ++i) {
    double t = i / 15.0;
    SetRgb(p, 128 + i, 255, 140 + 115 * t * glow, 40 + 200 * t * t * glow);
  }
  Ramp(p, 144, 8, {70, 60, 50}, {220, 205, 180});
  Ramp(p, 160, 8, {40, 60, 10}, {220, 255, 90});
  Ramp(p, 176, 16, {2, 6, 8}, {24, 48, 30});
  SetRgb(p, 255, 255, 255, 255);  // the debug overlay draws in index 255
  return p;
}

constexpr int kLx = 160, kLy = 96;  // the flame's centre

Picture LanternBackground() {
  Picture pic;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double dx = x - kLx, dy = (y - kLy) * 1.15;
      double d = std::sqrt(dx * dx + dy * dy);
      int g = std::clamp(63 - static_cast<int>(d * 0.5), 0, 63);
      pic.at(x, y) = static_cast<uint8_t>(32 + g);
    }
  // The meadow: a dark band with grass blades, lit a little near the lantern.
  Random r(0x1A7E2u);
  std::vector<int> blade(kW);
  for (int x = 0; x < kW; ++x) blade[x] = 4 + r.Range(10);
  for (int x = 0; x < kW; ++x) {
    int top = 178 - blade[x] + static_cast<int>(3 * std::sin(x * 0.07));
    for (int y = std::max(0, top); y < kH; ++y) {
      int lit = std::clamp(15 - std::abs(x - kLx) / 10 - (y - top) / 3, 0, 15);
      pic.at(x, y) = static_cast<uint8_t>(176 + lit);
    }
  }
  // The lantern: chain, cap, glass with bars, base.
  for (int y = 0; y < kLy - 34; ++y) pic.at(kLx, y) = static_cast<uint8_t>((y / 3) % 2 ? 104 : 112);
  for (int y = kLy - 34; y < kLy - 24; ++y) {
    int half = 6 + (y - (kLy - 34)) * 14 / 10;
    for (int x = -half; x <= half; ++x) pic.at(kLx + x, y) = static_cast<uint8_t>(100 + (half - std::abs(x)) * 24 / std::max(1, half));
  }
  for (int y = kLy - 24; y < kLy + 26; ++y)
    for (int x = -18; x <= 18; ++x) {
      uint8_t c;
      if (std::abs(x) >= 16) c = static_cast<uint8_t>(110 + (x < 0 ? 10 : 0));
      else if (x == 0 && (y < kLy - 10 || y > kLy + 14)) c = 108;
      else c = static_cast<uint8_t>(32 + std::clamp(63 - (std::abs(x) + std::abs(y - kLy) / 2) / 3, 40, 63));
      pic.at(kLx + x, y) = c;
    }
  for (int y = kLy + 26; y < kLy + 34; ++y) {
    int half = 20 - (y - (kLy + 26));
    for (int x = -half; x <= half; ++x) pic.at(kLx + x, y) = static_cast<uint8_t>(98 + (half - std::abs(x)));
  }
  return pic;
}

void DrawFlame(Picture& pic, int t) {
  Random r(0xF1A3Eu + static_cast<uint32_t>(t) * 7919u);
  int height = 14 + r.Range(5);
  int sway = r.Range(3) - 1;
  for (int k = 0; k < height; ++k) {
    double u = static_cast<double>(k) / height;
    int half = static_cast<int>(std::lround(5 * std::sin(3.14159 * (1 - u) * 0.9) * (1 - u * 0.5)));
    int cx = kLx + static_cast<int>(std::lround(sway * u * 2));
    for (int x = -half; x <= half; ++x) {
      int c = 143 - static_cast<int>(u * 8) - std::abs(x) * 2;
      pic.Put(cx + x, kLy + 8 - k, static_cast<uint8_t>(std::clamp(c, 128, 143)));
    }
  }
}

void DrawMoth(Picture& pic, int x, int y, bool up) {
  static const char* kUp[5] = {"X.....X", "XX...XX", ".XXOXX.", "..XOX..", "...O..."};
  static const char* kDown[5] = {".......", "...O...", "XXXOXXX", ".XXOXX.", "X..O..X"};
  const char** shape = up ? kUp : kDown;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 7; ++c) {
      char ch = shape[r][c];
      if (ch == 'X') pic.Put(x + c - 3, y + r - 2, 150);
      if (ch == 'O') pic.Put(x + c - 3, y + r - 2, 146);
    }
}

Picture LanternPicture(const Picture& background, int t) {
  Picture pic = background;
  DrawFlame(pic, t);
  for (int m = 0; m < 3; ++m) {
    double a = t * (0.09 + 0.03 * m) + m * 2.1;
    int x = kLx + static_cast<int>(std::lround(std::cos(a) * (34 + 12 * m)));
    int y = kLy - 4 + static_cast<int>(std::lround(std::sin(a * 1.3) * (18 + 6 * m)));
    DrawMoth(pic, x, y, ((t + m) / 2) % 2 == 0);
  }
  for (int k = 0; k < 14; ++k) {
    double phase = t * 0.05 + k * 0.9;
    int x = static_cast<int>(20 + (k * 23) % 280 + 14 * std::sin(phase));
    int y = static_cast<int>(120 + (k * 37) % 50 + 8 * std::sin(phase * 1.7));
    double blink = std::sin(t * 0.17 + k * 1.3);
    if (blink > 0.2) {
      uint8_t c = static_cast<uint8_t>(160 + std::min(7, static_cast<int>(blink * 8)));
      pic.Put(x, y, c);
      if (blink > 0.7) {
        pic.Put(x + 1, y, 162);
        pic.Put(x - 1, y, 162);
        pic.Put(x, y - 1, 162);
        pic.Put(x, y + 1, 162);
      }
    }
  }
  return pic;
}

// The glow breathes: a fade every few frames towards a new brightness.
void Flicker(Film& film, PaletteFade& pf, int from, int to, uint32_t seed) {
  Random r(seed);
  const int span = 4;
  for (int t = from; t + span < to; t += span) {
    double glow = 0.82 + 0.18 * (r.Range(100) / 99.0);
    auto d = pf.Plan(LanternPalette(glow), span);
    pf.Start(d);
    film.frame[t].XpalStart(d);
    for (int k = 1; k <= span; ++k) {
      pf.Step();
      film.frame[t + k].XpalStep();
    }
  }
}

void MakeLantern(const std::string& dir, int frames_a, int frames_b) {
  const Palette full = LanternPalette(1.0);
  const Palette black{};
  const Picture background = LanternBackground();
  {
    Film film(frames_a);
    authoring::DeltaTileEncoder enc(kW, kH);
    PaletteFade pf;
    pf.current = black;
    const int fade = std::max(1, std::min(20, frames_a / 3));
    for (int t = 0; t < frames_a; ++t) {
      Picture pic = LanternPicture(background, t);
      Frame& f = film.frame[t];
      f.Fobj(t == 0 ? enc.Intra(pic.px.data(), kW) : enc.Inter(pic.px.data(), kW));
      if (t >= frames_a / 4) f.Text(160, 16, 1, nullptr, "THE LANTERN");
      if (t >= frames_a / 2) f.Text(160, 190, 1, nullptr, "A LIGHT LEFT ON IN THE DARK");
    }
    auto d = pf.Plan(full, fade);
    pf.Start(d);
    film.frame[0].XpalStart(d);
    for (int t = 1; t <= fade && t < frames_a - 1; ++t) {
      pf.Step();
      film.frame[t].XpalStep();
    }
    Flicker(film, pf, fade + 1, frames_a - 1, 0xF11Cu);
    film.AddMusic(demo::LanternMusic(0, static_cast<size_t>(frames_a) * kPerFrame, kRate), 1, 0x1A01);
    film.Write(dir + "/demofrnt.san", black);
  }
  {
    Film film(frames_b);
    authoring::DeltaTileEncoder enc(kW, kH);
    PaletteFade pf;
    pf.current = full;
    const int fade_out = std::max(1, std::min(20, frames_b / 3));
    const int fade_start = frames_b - 2 - fade_out;
    for (int t = 0; t < frames_b; ++t) {
      Picture pic = LanternPicture(background, t + 1000);
      Frame& f = film.frame[t];
      f.Fobj(t == 0 ? enc.Intra(pic.px.data(), kW) : enc.Inter(pic.px.data(), kW));
      f.Text(160, 16, 1, nullptr, "THE LANTERN");
      if (t >= frames_b / 2) f.Text(160, 190, 1, nullptr, "THE END");
    }
    if (fade_start > 1) Flicker(film, pf, 0, fade_start, 0xF12Du);
    if (fade_start >= 0) {
      auto d = pf.Plan(black, fade_out);
      pf.Start(d);
      film.frame[fade_start].XpalStart(d);
      for (int t = fade_start + 1; t <= fade_start + fade_out && t < frames_b - 1; ++t) {
        pf.Step();
        film.frame[t].XpalStep();
      }
    }
    film.AddMusic(demo::LanternMusic(1, static_cast<size_t>(frames_b) * kPerFrame, kRate), 2, 0x1A02);
    film.Write(dir + "/demoend.san", full);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  bool small = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::printf(
          "usage: make-demo-data OUTDIR [--small]\n"
          "Writes the two demonstrations (cv2vid/ and lanvid/: animations, checksums,\n"
          "fonts and strings) into OUTDIR; --small makes six frames a file.\n");
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (a == "--small") small = true;
    else if (!a.empty() && a[0] != '-' && out.empty()) out = a;
    else {
      std::fprintf(stderr, "usage: make-demo-data OUTDIR [--small]\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: make-demo-data OUTDIR [--small]\n");
    return 2;
  }
  for (const char* folder : {"/cv2vid", "/lanvid"}) {
    std::error_code ec;
    std::filesystem::create_directories(out + folder, ec);
    if (ec) {
      std::fprintf(stderr, "make-demo-data: cannot create %s: %s\n", (out + folder).c_str(),
                   ec.message().c_str());
      return 1;
    }
  }
  if (small) {
    MakeCobalt(out + "/cv2vid", 6, 6);
    MakeLantern(out + "/lanvid", 6, 6);
  } else {
    MakeCobalt(out + "/cv2vid", 120, 105);
    MakeLantern(out + "/lanvid", 105, 90);
  }
  return g_failures == 0 ? 0 : 1;
}
