#include "santool/scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "anim/format.h"
#include "base/bytes.h"
#include "base/tags.h"
#include "engines/engines.h"
#include "platform/files.h"
#include "stream/slots.h"

namespace santool {
namespace {

// What the player's engines take: a larger chunk is damage to them.
constexpr uint32_t kLargestChunk = uint32_t(kEngineSizes.largest_frame);
constexpr int32_t kOutputRate = kEngineSizes.output_rate;

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

// One frame's payload `d`, which starts at file offset `base`.
void WalkFrame(Report& r, const std::vector<uint8_t>& d, uint32_t base, FrameInfo* f) {
  int frame_index = int(r.frames.size());
  uint32_t at = 0;
  int64_t remaining = int64_t(d.size());
  while (remaining > 4) {
    if (((base + at) & 1) && d[at] == 0) {
      ++at;
      --remaining;
    }
    if (remaining < 8) break;
    uint32_t tag = ReadBE32(d.data() + at), csize = ReadBE32(d.data() + at + 4);
    uint32_t offset = base + at;
    if (int64_t(csize) > remaining - 8) {
      r.damage.push_back({offset,
                          "sub-chunk " + TagText(tag) + " of " + std::to_string(csize) +
                              " bytes runs past the end of its frame",
                          true, tag});
      return;
    }
    if (!IsPlainTag(tag)) {
      r.damage.push_back({offset, "bad sub-chunk tag " + TagText(tag), true, tag});
      return;
    }
    std::string name = TagText(tag);
    f->subs.push_back({name, csize, offset});
    ++r.tags[name];
    const uint8_t* payload = d.data() + at + 8;
    if (tag == kTagFOBJ) {
      if (csize >= 14)
        ++r.codecs[payload[0]];
      else
        r.damage.push_back({offset, "object of " + std::to_string(csize) + " bytes"});
    } else if (tag == kTagSAUD || tag == kTagPSAD) {
      Audio(r, frame_index, tag, d.data() + at, csize);
    } else if (tag == kTagTEXT || tag == kTagTRES) {
      if (csize >= (tag == kTagTRES ? 18u : 16u)) {
        Text t{frame_index, name, ReadLE16s(payload), ReadLE16s(payload + 2), ReadLE16(payload + 4),
               {},          -1};
        if (tag == kTagTRES) {
          t.number = ReadLE16s(payload + 16);
        } else {
          for (uint32_t i = 16; i < csize && payload[i]; ++i) t.text += char(payload[i]);
        }
        r.texts.push_back(t);
      } else {
        r.damage.push_back({offset, name + " of " + std::to_string(csize) + " bytes"});
      }
    }
    at += 8 + csize;
    remaining -= int64_t(csize) + 8;
  }
}

}  // namespace

std::string TagText(uint32_t tag) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = char(tag >> shift);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

std::string CheckInput(const std::string& path, bool streamed, int64_t largest) {
  std::string host = platform::ResolvePath(path.c_str());
  struct stat st;
  int reason = 0;
  if (host.empty())
    reason = ENOENT;
  else if (stat(host.c_str(), &st) != 0)
    reason = errno;
  else if (S_ISDIR(st.st_mode))
    reason = EISDIR;
  else if (streamed && S_ISFIFO(st.st_mode))
    return {};  // opening it waits for the writer, as the user means it to
  else if (!S_ISREG(st.st_mode))  // a pipe would block the open, a device never ends
    return "Cannot open file " + path + ": not a regular file";
  else if (!streamed && st.st_size > std::min<int64_t>(largest, INT32_MAX))
    reason = EFBIG;  // the engines' file positions are 32-bit
  if (reason == 0) {
    errno = 0;
    platform::File* file = platform::OpenFile(path.c_str(), "rb");
    if (file != nullptr) {
      platform::CloseFile(file);
      return {};
    }
    reason = errno ? errno : EIO;
  }
  return "Cannot open file " + path + ": " + std::strerror(reason);
}

std::string ChecksumPath(const std::string& input) {
  std::string engine = platform::ShortEngineName(platform::ResolvePath(input.c_str()));
  std::string chk = ChecksumFileName(engine);
  return chk.empty() ? std::string() : platform::ResolvePath(chk.c_str());
}

bool Scan(const std::string& path, Report* report, std::string* error) {
  Report& r = *report;
  errno = 0;
  platform::File* file = platform::OpenFile(path.c_str(), "rb");
  if (file == nullptr) {
    const int reason = errno ? errno : EIO;
    *error = CheckInput(path);
    // A file that opens on the second try still failed the first time.
    if (error->empty()) *error = "Cannot open file " + path + ": " + std::strerror(reason);
    return false;
  }
  platform::SeekFile(file, 0, 2);
  long length = platform::TellFile(file);
  platform::SeekFile(file, 0, 0);
  if (length < 0 || length > INT32_MAX) {
    platform::CloseFile(file);
    *error = "Cannot open file " + path + ": " + std::strerror(EFBIG);
    return false;
  }
  const uint32_t size = uint32_t(length);
  uint8_t head[8];
  if (size < 8 || platform::ReadFile(file, head, 4) != 4 || ReadBE32(head) != kTagANIM)
    r.damage.push_back({0, "no ANIM header"});
  std::vector<uint8_t> chunk;
  bool header = false;
  uint32_t at = kFirstChunkOffset;
  platform::SeekFile(file, long(at), 0);
  while (at < size) {
    if (size - at < 8) {
      r.damage.push_back({at, std::to_string(size - at) + " stray bytes at the end"});
      break;
    }
    if (platform::ReadFile(file, head, 8) != 8) {
      r.damage.push_back({at, "cannot be read"});
      break;
    }
    uint32_t tag = ReadBE32(head), csize = ReadBE32(head + 4);
    uint8_t first = head[0];
    if (first != kHeaderLetter && first != kFrameLetter) {
      r.damage.push_back({at, "invalid top-level chunk " + TagText(tag)});
      break;
    }
    if (csize > kLargestChunk) {
      r.damage.push_back({at, "chunk of " + std::to_string(csize) + " bytes, above " + std::to_string(kLargestChunk)});
      break;
    }
    if (csize > size - at - 8) {
      r.damage.push_back({at, "chunk " + TagText(tag) + " runs past the end of the file"});
      break;
    }
    chunk.resize(csize);
    if (csize != 0 && platform::ReadFile(file, chunk.data(), csize) != csize) {
      r.damage.push_back({at, "cannot be read"});
      break;
    }
    const uint8_t* p = chunk.data();
    if (first == kHeaderLetter) {
      header = true;
      if (csize >= 4) {
        r.version = ReadLE16(p);
        r.frame_count = ReadLE16s(p + 2);
        if ((r.version & 0xFF) > 1 && csize >= 776) r.rate = ReadLE16(p + kHeaderRateOffset);
      } else {
        r.damage.push_back({at, "header of " + std::to_string(csize) + " bytes"});
      }
    } else {
      FrameInfo f{at, csize, {}};
      WalkFrame(r, chunk, at + 8, &f);
      r.frames.push_back(f);
    }
    at += 8 + csize;
  }
  platform::CloseFile(file);
  // A file without a header chunk, or with a negative frame count, is damaged.
  if (!header && size >= 8) r.damage.push_back({uint32_t(kFirstChunkOffset), "no header chunk"});
  if (header && r.frame_count < 0)
    r.damage.push_back(
        {uint32_t(kFirstChunkOffset), "header says " + std::to_string(r.frame_count) + " frames"});
  else if (header && int(r.frames.size()) != r.frame_count)
    r.damage.push_back({size, "header says " + std::to_string(r.frame_count) +
                                  " frames, the file holds " + std::to_string(r.frames.size())});
  return true;
}

}  // namespace santool
