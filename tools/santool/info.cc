// santool info: reads ".san" files chunk by chunk, every read bounds-checked,
// and reports their header, frames, codecs and tags, audio, texts and damage.
#include <cstdio>
#include <string>
#include <vector>

#include "engines/engines.h"
#include "santool/santool.h"
#include "santool/scan.h"

using namespace santool;

namespace {

constexpr int32_t kOutputRate = kEngineSizes.output_rate;

std::string Json(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += char(c);
    }
  }
  return o + "\"";
}

double Seconds(const Sound& s) {
  int32_t rate = s.rates.empty() ? kOutputRate : s.rates[0];
  return rate > 0 ? double(s.total) / rate : 0;
}

void PrintText(const Report& r, bool frames) {
  std::printf("version %d, %d frames, %d frames per second%s\n", r.version, r.frame_count,
              r.rate ? r.rate : 15, r.rate ? "" : " (player's default)");
  if (frames) {
    for (size_t i = 0; i < r.frames.size(); ++i) {
      std::printf("frame %zu at %u, %u bytes:", i, r.frames[i].offset, r.frames[i].size);
      for (const Sub& s : r.frames[i].subs) std::printf(" %s(%u)", s.tag.c_str(), s.size);
      std::printf("\n");
    }
  }
  std::printf("tags:");
  for (auto& [t, n] : r.tags) std::printf(" %s %d", t.c_str(), n);
  std::printf("\ncodecs:");
  for (auto& [c, n] : r.codecs) std::printf(" %d: %d", c, n);
  std::printf("\n");
  for (const Sound& s : r.sounds) {
    std::printf("audio %s track %d key %d from frame %d: %d blocks, %d samples, %.2f s, rates",
                s.kind.c_str(), s.track, s.key, s.first_frame, s.blocks, s.total, Seconds(s));
    for (int32_t rate : s.rates) std::printf(" %d", rate);
    std::printf("\n");
  }
  for (const Text& t : r.texts) {
    if (t.number >= 0)
      std::printf("text frame %d %s at %d,%d flags %u: string %d\n", t.frame, t.tag.c_str(), t.x,
                  t.y, t.flags, t.number);
    else
      // Quoted and escaped: a chunk's control bytes never reach the terminal raw.
      std::printf("text frame %d %s at %d,%d flags %u: %s\n", t.frame, t.tag.c_str(), t.x, t.y,
                  t.flags, Json(t.text).c_str());
  }
  for (const Damage& d : r.damage) std::printf("damage at %u: %s\n", d.offset, d.what.c_str());
}

void PrintJson(const std::string& file, const Report& r, bool frames) {
  std::printf("{\"file\": %s, \"version\": %d, \"frame_count\": %d, \"rate\": %d",
              Json(file).c_str(), r.version, r.frame_count, r.rate);
  if (frames) {
    std::printf(", \"frames\": [");
    for (size_t i = 0; i < r.frames.size(); ++i) {
      std::printf("%s{\"offset\": %u, \"size\": %u, \"chunks\": [", i ? ", " : "",
                  r.frames[i].offset, r.frames[i].size);
      for (size_t j = 0; j < r.frames[i].subs.size(); ++j)
        std::printf("%s{\"tag\": %s, \"size\": %u}", j ? ", " : "",
                    Json(r.frames[i].subs[j].tag).c_str(), r.frames[i].subs[j].size);
      std::printf("]}");
    }
    std::printf("]");
  }
  std::printf(", \"tags\": {");
  bool first = true;
  for (auto& [t, n] : r.tags) {
    std::printf("%s%s: %d", first ? "" : ", ", Json(t).c_str(), n);
    first = false;
  }
  std::printf("}, \"codecs\": {");
  first = true;
  for (auto& [c, n] : r.codecs) {
    std::printf("%s\"%d\": %d", first ? "" : ", ", c, n);
    first = false;
  }
  std::printf("}, \"audio\": [");
  for (size_t i = 0; i < r.sounds.size(); ++i) {
    const Sound& s = r.sounds[i];
    std::printf(
        "%s{\"kind\": %s, \"track\": %d, \"key\": %d, \"first_frame\": %d, "
        "\"blocks\": %d, \"samples\": %d, \"seconds\": %.3f, \"rates\": [",
        i ? ", " : "", Json(s.kind).c_str(), s.track, s.key, s.first_frame, s.blocks, s.total,
        Seconds(s));
    for (size_t j = 0; j < s.rates.size(); ++j) std::printf("%s%d", j ? ", " : "", s.rates[j]);
    std::printf("]}");
  }
  std::printf("], \"texts\": [");
  for (size_t i = 0; i < r.texts.size(); ++i) {
    const Text& t = r.texts[i];
    std::printf("%s{\"frame\": %d, \"tag\": %s, \"x\": %d, \"y\": %d, \"flags\": %u, ",
                i ? ", " : "", t.frame, Json(t.tag).c_str(), t.x, t.y, t.flags);
    if (t.number >= 0)
      std::printf("\"string\": %d}", t.number);
    else
      std::printf("\"text\": %s}", Json(t.text).c_str());
  }
  std::printf("], \"damage\": [");
  for (size_t i = 0; i < r.damage.size(); ++i)
    std::printf("%s{\"offset\": %u, \"what\": %s}", i ? ", " : "", r.damage[i].offset,
                Json(r.damage[i].what).c_str());
  std::printf("]}\n");
}

}  // namespace

int RunInfo(const InfoOptions& options) {
  // Every file is reported; any failure fails the run.
  int status = 0;
  for (const std::string& file : options.files) {
    Report r;
    // The engines' rule for opening and sizes; read a chunk at a time.
    std::string error = CheckInput(file);
    if (error.empty() && !Scan(file, &r, &error)) status = 1;
    if (!error.empty()) {
      std::fprintf(stderr, "santool: %s\n", error.c_str());
      status = 1;
      continue;
    }
    if (options.json) {
      PrintJson(file, r, options.frames);
    } else {
      if (options.files.size() > 1) std::printf("%s:\n", file.c_str());
      PrintText(r, options.frames);
    }
    if (!r.damage.empty()) status = 1;
  }
  std::fflush(stdout);
  return status;
}
