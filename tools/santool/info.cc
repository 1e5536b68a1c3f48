// santool info: reads a ".san" file directly, every read bounds-checked, and
// reports its header, frames, codecs and tags, audio, texts and damage.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "anim/format.h"
#include "santool/santool.h"

namespace {

constexpr uint32_t kLargestChunk = 300000;
constexpr int32_t kOutputRate = 22050;

struct Sub {
  std::string tag;
  uint32_t size;
  uint32_t offset;
};
struct FrameInfo {
  uint32_t offset, size;
  std::vector<Sub> subs;
};
struct Damage {
  uint32_t offset;
  std::string what;
};
struct Sound {
  std::string kind;  // "SAUD" or "PSAD"
  int32_t track = 0, key = 0;
  int32_t blocks = 0;
  int32_t total = 0;  // sample data size of the whole sound
  std::vector<int32_t> rates;
  int32_t first_frame = 0;
};
struct Text {
  int32_t frame;
  std::string tag;
  int16_t x, y;
  uint16_t flags;
  std::string text;  // TEXT
  int32_t number;    // TRES, else -1
};

struct Report {
  int version = -1, frame_count = -1, rate = 0;
  std::vector<FrameInfo> frames;
  std::map<std::string, int> tags;
  std::map<int, int> codecs;
  std::vector<Sound> sounds;
  std::vector<Text> texts;
  std::vector<Damage> damage;
};

std::string TagText(uint32_t tag) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = char(tag >> shift);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

uint32_t BE32At(const std::vector<uint8_t>& d, size_t at) { return ReadBE32(d.data() + at); }

// Rates named by a sound image's track script (data blocks of types 1, 6, 7).
void ScriptRates(const uint8_t* script, uint32_t length, std::vector<int32_t>* rates) {
  uint32_t at = 0;
  while (at + 2 <= length) {
    uint8_t type = script[at], len = script[at + 1];
    if (at + 2 + len > length) break;
    int32_t rate = 0;
    if (type == 1) rate = kOutputRate;
    if ((type == 6 || type == 7) && len >= 12) rate = int32_t(ReadBE32(script + at + 2 + 8));
    if (rate > 0) {
      bool seen = false;
      for (int32_t r : *rates) seen |= r == rate;
      if (!seen) rates->push_back(rate);
    }
    at += 2u + len;
  }
}

// A sound image (from its tag on) of `length` bytes.
void ReadImage(const uint8_t* image, uint32_t length, Sound* sound) {
  if (length < 16) return;
  uint32_t s = ReadBE32(image + 12);
  if (s > length - 16) return;
  ScriptRates(image + 16, s, &sound->rates);
  if (uint64_t(s) + 24 <= length) sound->total = int32_t(ReadBE32(image + 20 + s));
}

void Audio(Report& r, int frame, uint32_t tag, const uint8_t* chunk, uint32_t size) {
  const uint8_t* p = chunk;
  uint32_t length = size + 8;
  if (tag == kTagSAUD) {
    Sound s;
    s.kind = "SAUD";
    s.blocks = 1;
    s.first_frame = frame;
    ReadImage(p, length, &s);
    r.sounds.push_back(s);
    return;
  }
  if (length < 20) return;
  bool wide = !(p[8] | p[9] | p[12] | p[13] | p[16] | p[17]);
  int32_t track, block, key;
  uint32_t data;
  if (wide) {
    track = int32_t(ReadBE32(p + 8));
    block = int32_t(ReadBE32(p + 12));
    key = int32_t(ReadBE32(p + 16));
    data = 20;
  } else {
    track = ReadLE16s(p + 8);
    block = ReadLE16s(p + 10);
    key = ReadLE16s(p + 12);
    data = 18;
  }
  if (block == 0) {
    Sound s;
    s.kind = "PSAD";
    s.track = track;
    s.key = key;
    s.blocks = 1;
    s.first_frame = frame;
    if (length > data) ReadImage(p + data, length - data, &s);
    r.sounds.push_back(s);
    return;
  }
  for (auto it = r.sounds.rbegin(); it != r.sounds.rend(); ++it) {
    if (it->kind == "PSAD" && it->track == track && it->key == key) {
      ++it->blocks;
      return;
    }
  }
}

void WalkFrame(Report& r, const std::vector<uint8_t>& d, uint32_t start, uint32_t size,
               FrameInfo* f) {
  int frame_index = int(r.frames.size());
  uint32_t at = start;
  int64_t remaining = size;
  while (remaining > 4) {
    if ((at & 1) && d[at] == 0) {
      ++at;
      --remaining;
    }
    if (remaining < 8) break;
    uint32_t tag = BE32At(d, at), csize = BE32At(d, at + 4);
    if (int64_t(csize) > remaining - 8) {
      r.damage.push_back({at, "sub-chunk " + TagText(tag) + " of " + std::to_string(csize) +
                                  " bytes runs past the end of its frame"});
      return;
    }
    if (!IsPlainTag(tag)) {
      r.damage.push_back({at, "bad sub-chunk tag " + TagText(tag)});
      return;
    }
    std::string name = TagText(tag);
    f->subs.push_back({name, csize, at});
    ++r.tags[name];
    const uint8_t* payload = d.data() + at + 8;
    if (tag == kTagFOBJ) {
      if (csize >= 14)
        ++r.codecs[payload[0]];
      else
        r.damage.push_back({at, "object of " + std::to_string(csize) + " bytes"});
    } else if (tag == kTagSAUD || tag == kTagPSAD) {
      Audio(r, frame_index, tag, d.data() + at, csize);
    } else if (tag == kTagTEXT || tag == kTagTRES) {
      if (csize >= (tag == kTagTRES ? 18u : 16u)) {
        Text t{frame_index, name, ReadLE16s(payload), ReadLE16s(payload + 2),
               ReadLE16(payload + 4), {}, -1};
        if (tag == kTagTRES) {
          t.number = ReadLE16s(payload + 16);
        } else {
          for (uint32_t i = 16; i < csize && payload[i]; ++i) t.text += char(payload[i]);
        }
        r.texts.push_back(t);
      } else {
        r.damage.push_back({at, name + " of " + std::to_string(csize) + " bytes"});
      }
    }
    at += 8 + csize;
    remaining -= int64_t(csize) + 8;
  }
}

Report Parse(const std::vector<uint8_t>& d) {
  Report r;
  if (d.size() < 8 || BE32At(d, 0) != kTagANIM) r.damage.push_back({0, "no ANIM header"});
  uint32_t at = kFirstChunkOffset;
  while (at < d.size()) {
    if (d.size() - at < 8) {
      r.damage.push_back({at, std::to_string(d.size() - at) + " stray bytes at the end"});
      break;
    }
    uint32_t tag = BE32At(d, at), size = BE32At(d, at + 4);
    uint8_t first = d[at];
    if (first != kHeaderLetter && first != kFrameLetter) {
      r.damage.push_back({at, "invalid top-level chunk " + TagText(tag)});
      break;
    }
    if (size > kLargestChunk) {
      r.damage.push_back({at, "chunk of " + std::to_string(size) + " bytes, above 300000"});
      break;
    }
    if (size > d.size() - at - 8) {
      r.damage.push_back({at, "chunk " + TagText(tag) + " runs past the end of the file"});
      break;
    }
    const uint8_t* p = d.data() + at + 8;
    if (first == kHeaderLetter) {
      if (size >= 4) {
        r.version = ReadLE16(p);
        r.frame_count = ReadLE16s(p + 2);
        if ((r.version & 0xFF) > 1 && size >= 776) r.rate = ReadLE16(p + kHeaderRateOffset);
      } else {
        r.damage.push_back({at, "header of " + std::to_string(size) + " bytes"});
      }
    } else {
      FrameInfo f{at, size, {}};
      WalkFrame(r, d, at + 8, size, &f);
      r.frames.push_back(f);
    }
    at += 8 + size;
  }
  if (r.frame_count >= 0 && int(r.frames.size()) != r.frame_count)
    r.damage.push_back({uint32_t(d.size()), "header says " + std::to_string(r.frame_count) +
                                                " frames, the file holds " +
                                                std::to_string(r.frames.size())});
  return r;
}

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
      std::printf("text frame %d %s at %d,%d flags %u: \"%s\"\n", t.frame, t.tag.c_str(), t.x,
                  t.y, t.flags, t.text.c_str());
  }
  for (const Damage& d : r.damage) std::printf("damage at %u: %s\n", d.offset, d.what.c_str());
}

void PrintJson(const Report& r, bool frames) {
  std::printf("{\"version\": %d, \"frame_count\": %d, \"rate\": %d", r.version, r.frame_count,
              r.rate);
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
    std::printf("%s{\"kind\": %s, \"track\": %d, \"key\": %d, \"first_frame\": %d, "
                "\"blocks\": %d, \"samples\": %d, \"seconds\": %.3f, \"rates\": [",
                i ? ", " : "", Json(s.kind).c_str(), s.track, s.key, s.first_frame, s.blocks,
                s.total, Seconds(s));
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

int RunInfo(const std::vector<std::string>& args) {
  std::string file;
  bool json = false, frames = false;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (a == "--frames")
      frames = true;
    else if (file.empty())
      file = a;
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: santool info FILE.san [--json] [--frames]\n");
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "Cannot open file %s\n", file.c_str());
    return 1;
  }
  std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Report r = Parse(d);
  if (json)
    PrintJson(r, frames);
  else
    PrintText(r, frames);
  return r.damage.empty() ? 0 : 1;
}
