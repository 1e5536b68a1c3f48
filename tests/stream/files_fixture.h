// Generated data files and checksum files for the stream engine's tests.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "stream/slots.h"

namespace streamtest {

// The byte a generated file `id` holds at `offset`.
inline uint8_t PatternByte(uint32_t id, uint32_t offset) {
  uint32_t x = offset * 2654435761u + id * 40503u;
  return static_cast<uint8_t>((x >> 24) ^ (x >> 11) ^ id);
}

inline std::vector<uint8_t> Pattern(uint32_t id, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = PatternByte(id, static_cast<uint32_t>(i));
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A checksum file for `data`: 8 unused bytes, one sum per sector (the last,
// partial sector padded with zeros), then the total.
inline std::vector<uint8_t> ChecksumFile(const std::vector<uint8_t>& data,
                                         uint32_t total_error = 0) {
  std::vector<uint8_t> out(8, 0);
  auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  uint32_t total = total_error;
  for (size_t at = 0; at < data.size(); at += kSectorBytes) {
    uint8_t sector[kSectorBytes] = {};
    std::copy_n(data.begin() + static_cast<long>(at),
                std::min<size_t>(kSectorBytes, data.size() - at), sector);
    put(SectorChecksum(sector));
    total += SectorChecksum(sector);
  }
  put(total);
  return out;
}

// A scratch folder per test program, removed at the end.
class TempDir {
 public:
  explicit TempDir(const std::string& tag)
      : path_(std::filesystem::temp_directory_path() /
              ("mv_" + tag + "_" + std::to_string(getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace streamtest
