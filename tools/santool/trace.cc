// santool trace: the timing of a played demonstration, from the player's
// --trace lines, per file played: frame intervals, dropped ticks, drift
// against the frame period, and the offset between a frame's picture and the
// moment the card plays the sound that frame carried.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/files.h"
#include "santool/santool.h"
#include "santool/scan.h"

namespace {

// Frames 0 to 9 are each followed by the next read at once, so frame 10
// comes fast too; frame ticks pace the reads from frame 11 on.
constexpr int64_t kFastFrames = 10;
// The player's trace lines are a few hundred bytes.
constexpr size_t kLongestLine = 64 * 1024;

struct Screen {
  int64_t ms;
  int64_t frame;
};
struct SoundStart {
  size_t line;  // position in the trace: the mix that plays it comes later
  int64_t frame;
  int64_t channel;
  int64_t at;
};
struct Mix {
  size_t line;
  int64_t ms, played, channel, from, to, card, length, rate;
};

// One file from its switch to the next one.
struct Played {
  std::string file;
  int64_t period = 0;  // whole milliseconds: the render and sync timers
  double tick = 0;     // the frame tick's exact period
  // Pictures read on frame ticks: after the fast start, not end passes.
  std::vector<Screen> timed;
  size_t screens = 0;
  size_t palette_only = 0;
  size_t late = 0;
  size_t drops = 0;
  int64_t dropped_ticks = 0;
  std::vector<Screen> first_shown;  // each frame's first picture
  std::vector<SoundStart> sounds;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t rank = static_cast<size_t>(std::ceil(p * values.size()));
  return values[std::min(rank > 0 ? rank - 1 : 0, values.size() - 1)];
}

// When the card plays stream byte `at` of `channel`, from the first block
// mixed after line `after` that took it; false when none did.
bool PlayTime(const std::vector<Mix>& mixes, const SoundStart& s, double* ms) {
  for (const Mix& m : mixes) {
    if (m.line < s.line || m.channel != s.channel || s.at < m.from || s.at >= m.to) continue;
    double card = m.card + double(s.at - m.from) * m.length / double(m.to - m.from);
    *ms = m.ms + (card - m.played) * 1000.0 / m.rate;
    return true;
  }
  return false;
}

void Report(const Played& p, const std::vector<Mix>& mixes) {
  std::printf("%s: %zu screens (%zu palette only), frame tick %.2f ms\n", p.file.c_str(),
              p.screens, p.palette_only, p.tick);
  std::vector<double> intervals, deviations;
  for (size_t i = 1; i < p.timed.size(); ++i) {
    double d = double(p.timed[i].ms - p.timed[i - 1].ms);
    intervals.push_back(d);
    deviations.push_back(std::fabs(d - p.tick));
  }
  if (!intervals.empty()) {
    double mean = 0;
    for (double d : intervals) mean += d / intervals.size();
    std::printf("  intervals from frame 11 on: mean %.2f ms, median %.1f ms, p95 %.1f ms, "
                "max %.1f ms; 95%% within %.1f ms of the tick\n",
                mean, Percentile(intervals, 0.5), Percentile(intervals, 0.95),
                Percentile(intervals, 1.0), Percentile(deviations, 0.95));
    // Drift: how far a timed frame is from where the period puts it,
    // counted from the first timed frame by frame numbers.
    double last = 0, largest = 0;
    for (const Screen& s : p.timed) {
      last = double(s.ms - p.timed[0].ms) - double(s.frame - p.timed[0].frame) * p.tick;
      largest = std::max(largest, std::fabs(last));
    }
    std::printf("  drift: %lld ms at the end, %lld ms at most\n", std::llround(last),
                std::llround(largest));
  }
  std::printf("  late frames %zu; dropped ticks %lld in %zu drops\n", p.late,
              static_cast<long long>(p.dropped_ticks), p.drops);
  // Per channel: a stream carries its sound ahead of the picture, a sound
  // effect starts with its frame.
  std::map<int64_t, std::vector<double>> offsets;
  for (const SoundStart& s : p.sounds) {
    if (s.frame <= kFastFrames) continue;
    auto shown = std::find_if(p.first_shown.begin(), p.first_shown.end(),
                              [&](const Screen& f) { return f.frame == s.frame; });
    double played = 0;
    if (shown != p.first_shown.end() && PlayTime(mixes, s, &played))
      offsets[s.channel].push_back(played - double(shown->ms));
  }
  for (const auto& [channel, list] : offsets)
    std::printf("  sound after picture, channel %lld, from frame 11 on: median %.1f ms, "
                "min %.1f ms, max %.1f ms (%zu frames)\n",
                static_cast<long long>(channel), Percentile(list, 0.5), Percentile(list, 0.0),
                Percentile(list, 1.0), list.size());
}

}  // namespace

int RunTrace(const TraceOptions& options) {
  // A trace may come through a pipe from the player; a device or folder is
  // refused, and no line may be longer than a trace line can be, so that no
  // input costs more memory than one line.
  const std::string error = santool::CheckInput(options.file, true);
  std::ifstream in(error.empty() ? platform::ResolvePath(options.file.c_str()) : std::string());
  if (!error.empty() || !in) {
    std::fprintf(stderr, "santool: %s\n",
                 error.empty() ? ("cannot read " + options.file).c_str() : error.c_str());
    return 1;
  }
  std::vector<Played> files;
  std::vector<Mix> mixes;
  std::vector<char> buffer(kLongestLine + 2);
  size_t line = 0;
  try {
    while (in.getline(buffer.data(), std::streamsize(buffer.size()))) {
      ++line;
      const std::string text(buffer.data(), size_t(in.gcount() - (in.eof() ? 0 : 1)));
      const nlohmann::json j = nlohmann::json::parse(text);
      const std::string ev = j.at("ev");
      if (ev == "switch") {
        Played p;
        p.file = j.at("file");
        p.period = j.at("period");
        int64_t fps = j.value("fps", int64_t{0});
        p.tick = fps > 0 ? 1000.0 / fps : double(p.period);
        files.push_back(std::move(p));
        continue;
      }
      if (ev == "mix") {
        mixes.push_back(Mix{line, j.at("ms"), j.at("played"), j.at("chan"), j.at("from"),
                            j.at("to"), j.at("card"), j.at("length"), j.at("rate")});
        continue;
      }
      if (files.empty()) continue;  // before the first header
      Played& p = files.back();
      if (ev == "screen") {
        ++p.screens;
        if (j.at("late").get<bool>()) ++p.late;
        if (!j.at("pixels").get<bool>()) {
          ++p.palette_only;
          continue;
        }
        Screen s{j.at("ms"), j.at("frame")};
        if (p.first_shown.empty() || p.first_shown.back().frame != s.frame)
          p.first_shown.push_back(s);
        if (s.frame > kFastFrames && !j.at("end").get<bool>()) p.timed.push_back(s);
      } else if (ev == "drop") {
        ++p.drops;
        p.dropped_ticks += j.at("ticks").get<int64_t>();
      } else if (ev == "sound") {
        p.sounds.push_back(SoundStart{line, j.at("frame"), j.at("chan"), j.at("at")});
      }
    }
    if (!in.eof() && in.gcount() == std::streamsize(buffer.size() - 1)) {
      std::fprintf(stderr, "santool: %s line %zu: not a trace line (longer than %zu bytes)\n",
                   options.file.c_str(), line + 1, kLongestLine);
      return 1;
    }
  } catch (const nlohmann::json::exception& e) {
    std::fprintf(stderr, "santool: %s line %zu: not a trace line (%s)\n", options.file.c_str(),
                 line, e.what());
    return 1;
  }
  if (files.empty()) {
    std::fprintf(stderr, "santool: %s: no file was played in this trace\n", options.file.c_str());
    return 1;
  }
  for (const Played& p : files) Report(p, mixes);
  return 0;
}
