// The demonstrations' music, synthesised note by note: a driving minor-key
// arpeggio tune for "Cobalt Vector II" and a slow music-box waltz for the
// lantern. Deterministic: no randomness but a fixed-seed generator.
#include <algorithm>
#include <cmath>

#include "demo.h"

namespace demo {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Note {
  double beat;   // start, in beats
  double beats;  // length
  int key;       // MIDI key number
};

enum class Voice { kSquare, kTriangle, kPulse, kBell, kPad };

double Frequency(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

// Adds one note to the mix.
void Play(std::vector<double>& mix, int rate, double seconds_per_beat, const Note& n, Voice v,
          double gain) {
  const double f = Frequency(n.key);
  const size_t start = static_cast<size_t>(n.beat * seconds_per_beat * rate);
  double length = n.beats * seconds_per_beat;
  if (v == Voice::kBell) length = std::max(length, 1.6);  // a bell rings on
  const size_t count = static_cast<size_t>(length * rate);
  double phase = 0;
  for (size_t i = 0; i < count && start + i < mix.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double vib = v == Voice::kPulse ? 1.0 + 0.004 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t * 3) : 1.0;
    phase += f * vib / rate;
    phase -= std::floor(phase);
    double s = 0, env = 1;
    const double attack = v == Voice::kPad ? 0.25 : 0.004;
    const double release = 0.03;
    env = std::min(1.0, t / attack);
    double left = length - t;
    if (left < release) env *= std::max(0.0, left / release);
    switch (v) {
      case Voice::kSquare:
        s = phase < 0.5 ? 0.6 : -0.6;
        env *= std::exp(-t * 4.0) * 0.7 + 0.3;
        break;
      case Voice::kTriangle:
        s = 4 * std::abs(phase - 0.5) - 1;
        env *= std::exp(-t * 6.0);
        break;
      case Voice::kPulse:
        s = phase < 0.25 ? 0.7 : -0.3;
        env *= 0.8 + 0.2 * std::exp(-t * 3.0);
        break;
      case Voice::kBell:
        s = std::sin(2 * kPi * phase) + 0.35 * std::sin(4 * kPi * phase) + 0.12 * std::sin(6 * kPi * phase);
        env *= std::exp(-t * 2.6);
        break;
      case Voice::kPad:
        s = std::sin(2 * kPi * phase) * 0.7 + 0.3 * std::sin(2 * kPi * phase * 1.003);
        break;
    }
    mix[start + i] += s * env * gain;
  }
}

std::vector<uint8_t> ToSamples(const std::vector<double>& mix, double fade_in, double fade_out,
                               int rate) {
  std::vector<uint8_t> out(mix.size());
  const double n = static_cast<double>(mix.size());
  for (size_t i = 0; i < mix.size(); ++i) {
    double g = 1;
    double t = i / static_cast<double>(rate), rest = (n - i) / rate;
    if (fade_in > 0 && t < fade_in) g *= t / fade_in;
    if (fade_out > 0 && rest < fade_out) g *= rest / fade_out;
    double v = std::tanh(mix[i] * g * 1.5) * 110.0;
    out[i] = static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(128 + v)), 1, 255));
  }
  return out;
}

}  // namespace

std::vector<uint8_t> CobaltMusic(int part, size_t count, int rate) {
  std::vector<double> mix(count, 0.0);
  const double spb = 60.0 / 128.0;  // 128 beats a minute
  const double beats = count / (spb * rate);
  // A minor: Am, F, C, G, one bar each.
  const int roots[4] = {45, 41, 48, 43};
  const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
  for (int bar = 0; bar * 4 < beats + 4; ++bar) {
    int c = bar % 4;
    for (int e = 0; e < 8; ++e) {  // bass: eighths, octave jumps
      Play(mix, rate, spb, {bar * 4 + e * 0.5, 0.45, roots[c] + (e % 2 ? 12 : 0)}, Voice::kSquare, 0.22);
    }
    for (int s = 0; s < 16; ++s) {  // arpeggio: sixteenths up and down the chord
      static const int order[4] = {0, 1, 2, 1};
      Play(mix, rate, spb, {bar * 4 + s * 0.25, 0.22, chords[c][order[s % 4]] + 12}, Voice::kTriangle, 0.16);
    }
  }
  // The lead tune: enters in the second bar of the first part and carries on
  // through the second, which ends on a held A.
  static const Note lead_a[] = {
      {4, 1, 72}, {5, 0.5, 71}, {5.5, 0.5, 69}, {6, 2, 64},
      {8, 1, 65}, {9, 0.5, 67}, {9.5, 0.5, 69}, {10, 2, 72},
      {12, 1.5, 76}, {13.5, 0.5, 74}, {14, 1, 72}, {15, 1, 71},
      {16, 1, 69}, {17, 0.5, 71}, {17.5, 0.5, 72}, {18, 2, 74},
      {20, 1, 72}, {21, 1, 69}, {22, 2, 65},
  };
  static const Note lead_b[] = {
      {0, 1, 76}, {1, 0.5, 74}, {1.5, 0.5, 72}, {2, 2, 69},
      {4, 1, 77}, {5, 0.5, 76}, {5.5, 0.5, 74}, {6, 2, 72},
      {8, 1, 79}, {9, 1, 76}, {10, 2, 72},
      {12, 1, 74}, {13, 1, 71}, {14, 2, 67},
      {16, 6, 69},
  };
  if (part == 0) {
    for (const Note& n : lead_a) Play(mix, rate, spb, n, Voice::kPulse, 0.3);
  } else {
    for (const Note& n : lead_b) Play(mix, rate, spb, n, Voice::kPulse, 0.3);
  }
  return ToSamples(mix, part == 0 ? 0.8 : 0.0, part == 0 ? 0.0 : 1.5, rate);
}

std::vector<uint8_t> LanternMusic(int part, size_t count, int rate) {
  std::vector<double> mix(count, 0.0);
  const double spb = 60.0 / 84.0;  // a slow waltz
  const double beats = count / (spb * rate);
  // C, Am, F, G; bass on the first beat, soft chord pad under the bar.
  const int roots[4] = {48, 45, 41, 43};
  const int pads[4][3] = {{60, 64, 67}, {57, 60, 64}, {57, 60, 65}, {55, 59, 62}};
  for (int bar = 0; bar * 3 < beats + 3; ++bar) {
    int c = (bar + part * 2) % 4;
    Play(mix, rate, spb, {bar * 3.0, 2.8, roots[c]}, Voice::kBell, 0.18);
    for (int k = 0; k < 3; ++k) Play(mix, rate, spb, {bar * 3.0, 2.9, pads[c][k]}, Voice::kPad, 0.05);
  }
  static const Note box_a[] = {
      {0, 1, 76}, {1, 1, 79}, {2, 1, 84}, {3, 2, 83}, {5, 1, 79},
      {6, 1, 77}, {7, 1, 76}, {8, 1, 74}, {9, 3, 76},
      {12, 1, 72}, {13, 1, 74}, {14, 1, 76}, {15, 2, 79},
  };
  static const Note box_b[] = {
      {0, 1, 77}, {1, 1, 76}, {2, 1, 74}, {3, 2, 72}, {5, 1, 71},
      {6, 1, 72}, {7, 1, 74}, {8, 1, 71}, {9, 3, 72},
      {12, 6, 84},
  };
  if (part == 0) {
    for (const Note& n : box_a) Play(mix, rate, spb, n, Voice::kBell, 0.32);
  } else {
    for (const Note& n : box_b) Play(mix, rate, spb, n, Voice::kBell, 0.32);
  }
  return ToSamples(mix, part == 0 ? 1.0 : 0.0, part == 0 ? 0.0 : 2.0, rate);
}

std::vector<uint8_t> Whoosh(size_t count, int rate) {
  std::vector<double> mix(count, 0.0);
  uint32_t seed = 0x5EED1234u;
  double low = 0, band = 0;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    double noise = ((seed >> 9) & 0xFFFF) / 32768.0 - 1.0;
    double t = static_cast<double>(i) / count;
    double cutoff = 0.02 + 0.3 * t;  // a rising sweep
    low += cutoff * (noise - low);
    band += cutoff * (low - band);
    mix[i] = (low - band) * 3.0 * std::sin(kPi * t);
  }
  (void)rate;
  return ToSamples(mix, 0, 0, rate);
}

}  // namespace demo
