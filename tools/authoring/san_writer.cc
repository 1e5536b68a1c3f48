#include "authoring/san_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace authoring {
namespace {

uint32_t TagValue(std::string_view tag) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = (v << 8) | (i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
  return v;
}

void TextHead(Bytes& b, int16_t x, int16_t y, uint16_t flags, const TextRect* rect) {
  PutLE16(b, static_cast<uint16_t>(x));
  PutLE16(b, static_cast<uint16_t>(y));
  PutLE16(b, flags);
  TextRect r = rect ? *rect : TextRect{};
  PutLE16(b, static_cast<uint16_t>(r.left));
  PutLE16(b, static_cast<uint16_t>(r.top));
  PutLE16(b, static_cast<uint16_t>(r.width));
  PutLE16(b, static_cast<uint16_t>(r.height));
  PutLE16(b, 0);
}

}  // namespace

Frame& Frame::Chunk(std::string_view tag, const Bytes& payload) {
  items_.push_back(Item{false, TagValue(tag), payload});
  return *this;
}

Frame& Frame::RawBytes(const Bytes& bytes) {
  items_.push_back(Item{true, 0, bytes});
  return *this;
}

Frame& Frame::Npal(const Palette& palette) { return Chunk("NPAL", Bytes(palette.begin(), palette.end())); }

Frame& Frame::XpalStart(const std::array<int16_t, 768>& deltas) {
  Bytes b;
  PutLE16(b, 0);
  PutLE16(b, 0);
  for (int16_t d : deltas) PutLE16(b, static_cast<uint16_t>(d));
  return Chunk("XPAL", b);
}

Frame& Frame::XpalStartFrom(const std::array<int16_t, 768>& deltas, const Palette& palette) {
  Bytes b;
  PutLE16(b, 0);
  PutLE16(b, 512);
  for (int16_t d : deltas) PutLE16(b, static_cast<uint16_t>(d));
  PutBytes(b, palette.data(), palette.size());
  return Chunk("XPAL", b);
}

Frame& Frame::XpalStep() {
  Bytes b;
  PutLE16(b, 0);
  PutLE16(b, 1);
  return Chunk("XPAL", b);
}

Frame& Frame::Text(int16_t x, int16_t y, uint16_t flags, const TextRect* rect,
                   std::string_view text) {
  Bytes b;
  TextHead(b, x, y, flags, rect);
  PutBytes(b, text.data(), text.size());
  PutU8(b, 0);
  return Chunk("TEXT", b);
}

Frame& Frame::Tres(int16_t x, int16_t y, uint16_t flags, const TextRect* rect,
                   uint16_t string_number) {
  Bytes b;
  TextHead(b, x, y, flags, rect);
  PutLE16(b, string_number);
  return Chunk("TRES", b);
}

Frame& Frame::Ftch(int16_t x, int16_t y) {
  Bytes b;
  PutLE16(b, 0);
  PutLE16(b, static_cast<uint16_t>(x));
  PutLE16(b, static_cast<uint16_t>(y));
  return Chunk("FTCH", b);
}

Frame& Frame::FtchLong(int32_t x, int32_t y) {
  Bytes b;
  PutBE32(b, 0);
  PutBE32(b, static_cast<uint32_t>(x));
  PutBE32(b, static_cast<uint32_t>(y));
  return Chunk("FTCH", b);
}

Frame& Frame::Gost(uint16_t mode, int16_t x, int16_t y) {
  Bytes b;
  PutLE16(b, mode);
  PutLE16(b, static_cast<uint16_t>(x));
  PutLE16(b, static_cast<uint16_t>(y));
  return Chunk("GOST", b);
}

Frame& Frame::Skip(uint16_t a, uint16_t b_number) {
  Bytes b;
  PutLE16(b, a);
  PutLE16(b, b_number);
  return Chunk("SKIP", b);
}

Frame& Frame::Load(uint16_t block, uint16_t piece, const Bytes& data) {
  Bytes b;
  PutLE16(b, block);
  PutLE16(b, piece);
  b.resize(b.size() + 6, 0);
  PutBytes(b, data);
  return Chunk("LOAD", b);
}

Frame& Frame::Saud(const Bytes& sound_image) {
  // The image starts with its own "SAUD" header; the body follows it.
  Bytes body;
  if (sound_image.size() > 8) body.assign(sound_image.begin() + 8, sound_image.end());
  return Chunk("SAUD", body);
}

Frame& Frame::Psad16(int16_t track, int16_t block, int16_t key, uint16_t flags, uint8_t volume,
                     int8_t pan, const Bytes& data) {
  Bytes b;
  PutLE16(b, static_cast<uint16_t>(track));
  PutLE16(b, static_cast<uint16_t>(block));
  PutLE16(b, static_cast<uint16_t>(key));
  PutLE16(b, flags);
  PutU8(b, volume);
  PutU8(b, static_cast<uint8_t>(pan));
  PutBytes(b, data);
  return Chunk("PSAD", b);
}

Frame& Frame::Psad32(uint32_t track, uint32_t block, uint32_t key, const Bytes& data) {
  Bytes b;
  PutBE32(b, track);
  PutBE32(b, block);
  PutBE32(b, key);
  PutBytes(b, data);
  return Chunk("PSAD", b);
}

SanWriter::SanWriter(const SanHeader& header) : header_(header) {
  PutTag(bytes_, "ANIM");
  PutBE32(bytes_, 0);  // filled in by Finish
  bool wide = (header.version & 0xFF) > 1;
  uint32_t size = wide ? 794 : 774;
  PutTag(bytes_, header.tag);
  PutBE32(bytes_, size);
  PutLE16(bytes_, header.version);
  count_at_ = bytes_.size();
  PutLE16(bytes_, 0);
  PutLE16(bytes_, 0);
  PutBytes(bytes_, header.palette.data(), header.palette.size());
  if (wide) {
    PutLE16(bytes_, header.fps);
    bytes_.resize(bytes_.size() + 18, 0);
  }
}

void SanWriter::AddFrame(const Frame& frame) {
  size_t start = bytes_.size();
  PutTag(bytes_, "FRME");
  PutBE32(bytes_, 0);
  for (const Frame::Item& item : frame.items_) {
    if (item.raw) {
      PutBytes(bytes_, item.bytes);
      continue;
    }
    if (frame.pad_ && (bytes_.size() & 1)) PutU8(bytes_, 0);
    PutBE32(bytes_, item.tag);
    PutBE32(bytes_, static_cast<uint32_t>(item.bytes.size()));
    PutBytes(bytes_, item.bytes);
  }
  // Keep the next frame's header at an even offset too.
  if (frame.pad_ && !frame.items_.empty() && (bytes_.size() & 1)) PutU8(bytes_, 0);
  SetBE32(bytes_, start + 4, static_cast<uint32_t>(bytes_.size() - start - 8));
  ++frames_;
}

void SanWriter::AddTopChunk(std::string_view tag, const Bytes& payload) {
  PutTag(bytes_, tag);
  PutBE32(bytes_, static_cast<uint32_t>(payload.size()));
  PutBytes(bytes_, payload);
}

Bytes SanWriter::Finish() const {
  Bytes out = bytes_;
  SetBE32(out, 4, static_cast<uint32_t>(out.size() - 8));
  int count = header_.frame_count >= 0 ? header_.frame_count : frames_;
  SetLE16(out, count_at_, static_cast<uint16_t>(count));
  return out;
}

bool SanWriter::WriteFile(const std::string& path, std::string* error) const {
  return WriteBytes(path, Finish(), error);
}

bool WriteBytes(const std::string& path, const Bytes& bytes, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    if (error) *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::remove(path.c_str());
    if (error) *error = path + ": write failed";
  }
  return ok;
}

}  // namespace authoring
