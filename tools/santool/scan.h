// santool's reading of ".san" files: one rule for opening an input, shared by
// every command, and a walk over the chunks that holds one chunk at a time.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace santool {

struct Sub {
  std::string tag;
  uint32_t size;
  uint32_t offset;
};
struct FrameInfo {
  uint32_t offset, size;
  std::vector<Sub> subs;
};
// What is wrong at a file offset; a damaged sub-chunk names its tag.
struct Damage {
  uint32_t offset;
  std::string what;
  bool sub_chunk = false;
  uint32_t tag = 0;
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

// Checks that `path` opens as the engines open it (backslashes and case
// resolved, only regular files, none above the engines' 2 GiB limit). Empty
// when it does; otherwise "Cannot open file PATH: reason". A command that
// reads its input once from start to end (`streamed`) also takes a pipe,
// and any size. A file read whole into memory may be held to `largest`.
std::string CheckInput(const std::string& path, bool streamed = false,
                       int64_t largest = INT32_MAX);
// The largest text file (strings, scenes) read whole: far above what the
// player's string files and the scenes need.
constexpr int64_t kLargestText = 64 << 20;

// The checksum file's host path for a data file, found the way the player
// finds it: the engine name's ".CHK", resolved in any case. Empty when the
// name is too long for one.
std::string ChecksumPath(const std::string& input);

// Reads the file (which CheckInput accepted) chunk by chunk. False with a
// message when it cannot be read at all.
bool Scan(const std::string& path, Report* report, std::string* error);

// A tag as four printable characters.
std::string TagText(uint32_t tag);

}  // namespace santool
