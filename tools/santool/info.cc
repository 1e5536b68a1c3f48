// santool info: reads ".san" files chunk by chunk, every read bounds-checked,
// and reports their header, frames, codecs and tags, audio, texts and damage.
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engines/engines.h"
#include "santool/santool.h"
#include "santool/scan.h"

using namespace santool;

namespace {

constexpr int32_t kOutputRate = kEngineSizes.output_rate;

using Json = nlohmann::ordered_json;

// Texts and tags in a file are single bytes; each is read as the code point
// of the same number, so every byte reaches the output, escaped.
std::string Latin1(const std::string& bytes) {
  std::string o;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      o += char(c);
    } else {
      o += char(0xC0 | (c >> 6));
      o += char(0x80 | (c & 0x3F));
    }
  }
  return o;
}

// JSON text with everything outside printable ASCII escaped: a chunk's
// control bytes never reach the terminal raw.
std::string Dump(const Json& j) { return j.dump(-1, ' ', true, Json::error_handler_t::replace); }

double Seconds(const Sound& s) {
  int32_t rate = s.rates.empty() ? kOutputRate : s.rates[0];
  return rate > 0 ? double(s.total) / rate : 0;
}

void PrintText(FILE* out, const Report& r, bool frames) {
  std::fprintf(out, "version %d, %d frames, %d frames per second%s\n", r.version, r.frame_count,
              r.rate ? r.rate : 15, r.rate ? "" : " (player's default)");
  if (frames) {
    for (size_t i = 0; i < r.frames.size(); ++i) {
      std::fprintf(out, "frame %zu at %u, %u bytes:", i, r.frames[i].offset, r.frames[i].size);
      for (const Sub& s : r.frames[i].subs) std::fprintf(out, " %s(%u)", s.tag.c_str(), s.size);
      std::fprintf(out, "\n");
    }
  }
  std::fprintf(out, "tags:");
  for (auto& [t, n] : r.tags) std::fprintf(out, " %s %d", t.c_str(), n);
  std::fprintf(out, "\ncodecs:");
  for (auto& [c, n] : r.codecs) std::fprintf(out, " %d: %d", c, n);
  std::fprintf(out, "\n");
  for (const Sound& s : r.sounds) {
    std::fprintf(out, "audio %s track %d key %d from frame %d: %d blocks, %d samples, %.2f s, rates",
                s.kind.c_str(), s.track, s.key, s.first_frame, s.blocks, s.total, Seconds(s));
    for (int32_t rate : s.rates) std::fprintf(out, " %d", rate);
    std::fprintf(out, "\n");
  }
  for (const Text& t : r.texts) {
    if (t.number >= 0)
      std::fprintf(out, "text frame %d %s at %d,%d flags %u: string %d\n", t.frame, t.tag.c_str(), t.x,
                  t.y, t.flags, t.number);
    else
      // Quoted and escaped: a chunk's control bytes never reach the terminal raw.
      std::fprintf(out, "text frame %d %s at %d,%d flags %u: %s\n", t.frame, t.tag.c_str(), t.x, t.y,
                  t.flags, Dump(Latin1(t.text)).c_str());
  }
  for (const Damage& d : r.damage) std::fprintf(out, "damage at %u: %s\n", d.offset, d.what.c_str());
  if (!r.damage.empty()) std::fprintf(out, "(the layout: see docs/format.md#chunks)\n");
}

void PrintJson(FILE* out, const std::string& file, const Report& r, bool frames) {
  Json j;
  j["file"] = file;
  j["version"] = r.version;
  j["frame_count"] = r.frame_count;
  j["rate"] = r.rate;
  if (frames) {
    j["frames"] = Json::array();
    for (const FrameInfo& f : r.frames) {
      Json chunks = Json::array();
      for (const Sub& s : f.subs) chunks.push_back({{"tag", Latin1(s.tag)}, {"size", s.size}});
      j["frames"].push_back({{"offset", f.offset}, {"size", f.size}, {"chunks", chunks}});
    }
  }
  j["tags"] = Json::object();
  for (auto& [t, n] : r.tags) j["tags"][Latin1(t)] = n;
  j["codecs"] = Json::object();
  for (auto& [c, n] : r.codecs) j["codecs"][std::to_string(c)] = n;
  j["audio"] = Json::array();
  for (const Sound& s : r.sounds) {
    j["audio"].push_back({{"kind", s.kind},
                          {"track", s.track},
                          {"key", s.key},
                          {"first_frame", s.first_frame},
                          {"blocks", s.blocks},
                          {"samples", s.total},
                          {"seconds", std::round(Seconds(s) * 1000) / 1000},
                          {"rates", s.rates}});
  }
  j["texts"] = Json::array();
  for (const Text& t : r.texts) {
    Json o = {{"frame", t.frame}, {"tag", Latin1(t.tag)}, {"x", t.x},
              {"y", t.y},         {"flags", t.flags}};
    if (t.number >= 0)
      o["string"] = t.number;
    else
      o["text"] = Latin1(t.text);
    j["texts"].push_back(o);
  }
  j["damage"] = Json::array();
  for (const Damage& d : r.damage) j["damage"].push_back({{"offset", d.offset}, {"what", d.what}});
  std::fprintf(out, "%s\n", Dump(j).c_str());
}

}  // namespace

int ReportInfo(const std::string& file, const InfoOptions& options, FILE* out) {
  Report r;
  // The engines' rule for opening and sizes; read a chunk at a time.
  std::string error = CheckInput(file);
  bool read = error.empty() && Scan(file, &r, &error);
  if (!error.empty()) {
    std::fprintf(stderr, "santool: %s\n", error.c_str());
    return 1;
  }
  if (options.json) {
    PrintJson(out, file, r, options.frames);
  } else {
    if (options.files.size() > 1) std::fprintf(out, "%s:\n", file.c_str());
    PrintText(out, r, options.frames);
  }
  return read && r.damage.empty() ? 0 : 1;
}

int RunInfo(const InfoOptions& options) {
  // Every file is reported; any failure fails the run.
  int status = 0;
  for (const std::string& file : options.files) status |= ReportInfo(file, options, stdout);
  std::fflush(stdout);
  return status;
}
