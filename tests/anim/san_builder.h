// A small ".san" writer for the playback tests: chunks are laid out in file
// order so that pad bytes land on the file offsets the player checks.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace santest {

using Bytes = std::vector<uint8_t>;

inline void LE16(Bytes& b, int v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void BE32(Bytes& b, uint32_t v) {
  b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}
inline void Tag(Bytes& b, std::string_view t) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(t[i]));
}
inline void PatchBE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * (3 - i)));
}

// A raw (codec 20) object: width x height bytes at x, y.
inline Bytes RawObject(int x, int y, int w, int h, const Bytes& pixels) {
  Bytes b{20, 0};
  for (int v : {x, y, w, h, 0, 0}) LE16(b, v);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}
inline Bytes SolidObject(int x, int y, int w, int h, uint8_t colour) {
  return RawObject(x, y, w, h, Bytes(size_t(w) * h, colour));
}

inline Bytes Palette(uint8_t base = 0) {
  Bytes p(768);
  for (int i = 0; i < 768; ++i) p[i] = uint8_t(base + i / 3);
  return p;
}

class SanFile {
 public:
  // version 1 has a 774-byte header, later ones 794 bytes with the rate.
  SanFile(int frame_count, int version = 2, int rate = 0, const Bytes& palette = Palette()) {
    Tag(b_, "ANIM");
    BE32(b_, 0);
    Tag(b_, "AHDR");
    BE32(b_, version > 1 ? 794 : 774);
    for (int v : {version, frame_count, 0}) LE16(b_, v);
    b_.insert(b_.end(), palette.begin(), palette.end());
    if (version > 1) {
      LE16(b_, rate);
      b_.insert(b_.end(), 18, 0);
    }
  }
  void BeginFrame(std::string_view tag = "FRME") {
    Tag(b_, tag);
    frame_at_ = b_.size();
    BE32(b_, 0);
  }
  // A sub-chunk; `pad` adds the zero byte after an odd end of payload.
  void Sub(std::string_view tag, const Bytes& payload, bool pad = true) {
    Tag(b_, tag);
    BE32(b_, uint32_t(payload.size()));
    b_.insert(b_.end(), payload.begin(), payload.end());
    if (pad && (b_.size() & 1)) b_.push_back(0);
  }
  void EndFrame() { PatchBE32(b_, frame_at_, uint32_t(b_.size() - frame_at_ - 4)); }
  // Convenience: one frame holding these sub-chunks.
  void Frame(const std::vector<std::pair<std::string, Bytes>>& subs) {
    BeginFrame();
    for (auto& [t, p] : subs) Sub(t, p);
    EndFrame();
  }
  Bytes Finish(bool anim_size = true) {
    if (anim_size) PatchBE32(b_, 4, uint32_t(b_.size() - 8));
    return b_;
  }

 private:
  Bytes b_;
  size_t frame_at_ = 0;
};

inline bool WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(out.flush());
}

}  // namespace santest
