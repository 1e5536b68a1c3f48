#include "authoring/codecs.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "decoder/decoder.h"

namespace authoring {
namespace {

size_t RunAt(const uint8_t* data, size_t i, size_t n) {
  size_t r = 1;
  while (i + r < n && r < 128 && data[i + r] == data[i]) ++r;
  return r;
}

struct Box {
  int16_t x = 0, y = 0;
  uint16_t width = 0, height = 0;
};

// The bounding box of a pixel list and the list as a mask over it.
Box MaskOf(const std::vector<PixelPos>& pixels, std::vector<uint8_t>& mask) {
  Box box;
  if (pixels.empty()) return box;
  int min_x = pixels[0].x, max_x = min_x, min_y = pixels[0].y, max_y = min_y;
  for (const PixelPos& p : pixels) {
    min_x = std::min<int>(min_x, p.x), max_x = std::max<int>(max_x, p.x);
    min_y = std::min<int>(min_y, p.y), max_y = std::max<int>(max_y, p.y);
  }
  box = {static_cast<int16_t>(min_x), static_cast<int16_t>(min_y),
         static_cast<uint16_t>(max_x - min_x + 1), static_cast<uint16_t>(max_y - min_y + 1)};
  mask.assign(size_t{box.width} * box.height, 0);
  for (const PixelPos& p : pixels) mask[size_t(p.y - min_y) * box.width + (p.x - min_x)] = 1;
  return box;
}

// 8-bit fields of a shade line: a skip may need several (skip 255, count 0)
// steps, a count several (count 255, skip 0) ones.
void PutShadeRun(Bytes& line, int skip, int count) {
  while (skip > 255) {
    PutU8(line, 255);
    PutU8(line, 0);
    skip -= 255;
  }
  for (;;) {
    const int n = std::min(count, 255);
    PutU8(line, static_cast<uint8_t>(skip));
    PutU8(line, static_cast<uint8_t>(n));
    count -= n;
    if (count == 0) return;
    skip = 0;
  }
}

}  // namespace

ShadeMode ShadeMode::Offset(uint8_t add) {
  ShadeMode m;
  m.param = add;
  return m;
}

ShadeMode ShadeMode::SendTable(const std::array<uint8_t, 256>& table) {
  ShadeMode m;
  m.param = 256;
  m.table = table;
  return m;
}

ShadeMode ShadeMode::KeptTable() {
  ShadeMode m;
  m.param = 257;
  return m;
}

Bytes EncodeShade(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* mask,
                  int pitch, const ShadeMode& mode) {
  Bytes data;
  if (mode.param == 256) PutBytes(data, mode.table.data(), mode.table.size());
  for (int row = 0; row < height; ++row) {
    const uint8_t* m = mask + static_cast<size_t>(row) * pitch;
    Bytes line;
    int c = 0;
    while (c < width) {
      const int from = c;
      while (c < width && m[c] == 0) ++c;
      if (c == width) break;  // the rest of the line stays: no field needed
      const int start = c;
      while (c < width && m[c] != 0) ++c;
      PutShadeRun(line, start - from, c - start);
    }
    PutLE16(data, static_cast<uint16_t>(line.size()));
    PutBytes(data, line);
  }
  return ObjectPayload(kCodecNumberShade, x, y, width, height, mode.param, data);
}

Bytes EncodeShade(const std::vector<PixelPos>& pixels, const ShadeMode& mode) {
  std::vector<uint8_t> mask;
  const Box box = MaskOf(pixels, mask);
  return EncodeShade(box.x, box.y, box.width, box.height, mask.data(), box.width, mode);
}

SmoothingTables SmoothingTablesFor(const uint8_t* palette, int first, int last) {
  SmoothingTables t;
  std::copy(palette, palette + 768, t.palette.begin());
  first = std::clamp(first, 0, 255);
  last = std::clamp(last, first, 255);
  // Each cell of the 15-bit colour is eight steps of the mean wide; its
  // middle in doubled units is 16 c + 7.
  for (int index = 0; index < 32768; ++index) {
    const int want[3] = {16 * (index >> 10) + 7, 16 * ((index >> 5) & 31) + 7, 16 * (index & 31) + 7};
    int best = first;
    int64_t best_distance = std::numeric_limits<int64_t>::max();
    for (int v = first; v <= last; ++v) {
      int64_t d = 0;
      for (int k = 0; k < 3; ++k) {
        const int64_t e = 2 * palette[3 * v + k] - want[k];
        d += e * e;
      }
      if (d < best_distance) best_distance = d, best = v;
    }
    t.colours[index] = static_cast<uint8_t>(best);
  }
  return t;
}

Bytes EncodeSmoothing(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* mask,
                      int pitch, const SmoothingTables* tables) {
  Bytes data;
  PutLE16(data, 0);
  PutLE16(data, tables ? 0 : 1);  // 0: the tables follow
  PutU8(data, 1);                 // version
  PutU8(data, 0);
  if (tables) {
    PutBytes(data, tables->palette.data(), tables->palette.size());
    const auto& c = tables->colours;
    for (size_t i = 0; i < c.size();) {
      size_t n = 1;
      while (i + n < c.size() && n < 255 && c[i + n] == c[i]) ++n;
      PutU8(data, static_cast<uint8_t>(n));
      PutU8(data, c[i]);
      i += n;
    }
  }
  // Records of up to 256 pixels of a row, each moving from the last pixel of
  // the one before (the first from the object's position). A move down is
  // one byte; a larger one goes through a pixel far left of any picture,
  // which the decoder never changes.
  constexpr int kFarLeft = -16384;
  int cx = x, cy = y;
  auto record = [&](int to_x, int to_y, int n) {
    PutLE16(data, static_cast<uint16_t>(to_x - cx));  // wraps as the decoder's position does
    PutU8(data, static_cast<uint8_t>(to_y - cy));
    PutU8(data, static_cast<uint8_t>(n - 1));
    cx = to_x + n - 1;
    cy = to_y;
  };
  for (int row = 0; row < height; ++row) {
    const uint8_t* m = mask + static_cast<size_t>(row) * pitch;
    for (int c = 0; c < width;) {
      if (m[c] == 0) {
        ++c;
        continue;
      }
      int n = 1;
      while (c + n < width && n < 256 && m[c + n] != 0) ++n;
      const int ry = y + row;
      while (ry - cy > 255) record(kFarLeft, cy + 255, 1);
      record(x + c, ry, n);
      c += n;
    }
  }
  return ObjectPayload(kCodecNumberSmoothing, x, y, width, height, 0, data);
}

Bytes EncodeSmoothing(const std::vector<PixelPos>& pixels, const SmoothingTables* tables) {
  std::vector<uint8_t> mask;
  const Box box = MaskOf(pixels, mask);
  return EncodeSmoothing(box.x, box.y, box.width, box.height, mask.data(), box.width, tables);
}

std::array<int8_t, 2> DeltaTileVector(int table, int index) {
  std::array<int8_t, 2> v{};
  CodecDeltaTileVector(table, index, &v[0], &v[1]);
  return v;
}

Bytes ObjectPayload(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                    uint16_t param, const Bytes& data) {
  Bytes b;
  b.reserve(14 + data.size());
  PutU8(b, codec);
  PutU8(b, 0);
  PutLE16(b, static_cast<uint16_t>(x));
  PutLE16(b, static_cast<uint16_t>(y));
  PutLE16(b, width);
  PutLE16(b, height);
  PutLE16(b, 0);
  PutLE16(b, param);
  PutBytes(b, data);
  return b;
}

void PutRunLengthCodes(Bytes& out, const uint8_t* data, size_t n, Zeros zeros) {
  const bool zero_runs_only = zeros == Zeros::kTransparent;
  const bool zero_literals_only = zeros == Zeros::kOpaque;
  // Whether a run may start at i.
  auto run_worth = [&](size_t i) {
    if (zero_literals_only && data[i] == 0) return false;
    size_t run = RunAt(data, i, n);
    return run >= 3 || (zero_runs_only && data[i] == 0) || (run == 2 && i + 2 == n);
  };
  size_t i = 0;
  while (i < n) {
    if (run_worth(i)) {
      size_t run = RunAt(data, i, n);
      out.push_back(static_cast<uint8_t>(((run - 1) << 1) | 1));
      out.push_back(data[i]);
      i += run;
      continue;
    }
    // A literal up to the next run worth coding (or the next zero when zeros
    // must stay runs).
    size_t start = i;
    while (i < n && i - start < 128) {
      if (i > start && run_worth(i)) break;
      ++i;
    }
    size_t count = i - start;
    out.push_back(static_cast<uint8_t>((count - 1) << 1));
    out.insert(out.end(), data + start, data + i);
  }
}

Bytes EncodeRunLength(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                      const uint8_t* pixels, int pitch, Zeros zeros, uint16_t param) {
  Bytes data;
  for (int row = 0; row < height; ++row) {
    Bytes line;
    PutRunLengthCodes(line, pixels + static_cast<size_t>(row) * pitch, width, zeros);
    PutLE16(data, static_cast<uint16_t>(line.size()));
    PutBytes(data, line);
  }
  return ObjectPayload(codec, x, y, width, height, param, data);
}

Bytes EncodeRaw(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* pixels,
                int pitch) {
  Bytes data;
  data.reserve(size_t{width} * height);
  for (int row = 0; row < height; ++row) {
    PutBytes(data, pixels + static_cast<size_t>(row) * pitch, width);
  }
  return ObjectPayload(20, x, y, width, height, 0, data);
}

Bytes EncodeSkipLiteral(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                        const uint8_t* pixels, int pitch, uint8_t transparent) {
  Bytes data;
  for (int row = 0; row < height; ++row) {
    const uint8_t* p = pixels + static_cast<size_t>(row) * pitch;
    Bytes line;
    int c = 0;
    while (c < width) {
      int skip = 0;
      while (c < width && p[c] == transparent) ++skip, ++c;
      PutLE16(line, static_cast<uint16_t>(skip));
      if (c >= width) break;
      int start = c;
      while (c < width && p[c] != transparent && c - start < 65536) ++c;
      PutLE16(line, static_cast<uint16_t>(c - start - 1));
      PutBytes(line, p + start, c - start);
    }
    PutLE16(data, static_cast<uint16_t>(line.size()));
    PutBytes(data, line);
  }
  return ObjectPayload(codec, x, y, width, height, 0, data);
}

DeltaTileEncoder::DeltaTileEncoder(int width, int height, const Options& options)
    : width_(width),
      height_(height),
      stride_(4 * ((width + 3) / 4)),
      rows_(4 * ((height + 3) / 4)),
      // Vectors reach 31 rows and 31 columns either way.
      margin_(32 * static_cast<size_t>(stride_) + 32),
      options_(options) {
  for (auto& b : buffers_) b.assign(picture_size() + 2 * margin_, 0);
  for (int i = 0; i < 255; ++i) {
    auto v = DeltaTileVector(options_.vector_table, i);
    offsets_[i] = v[1] * stride_ + v[0];
  }
}

Bytes DeltaTileEncoder::Header(uint8_t method, int16_t sequence, uint32_t length) const {
  Bytes b;
  PutU8(b, method);
  PutU8(b, options_.vector_table);
  PutLE16(b, static_cast<uint16_t>(sequence));
  PutLE32(b, length);
  PutLE32(b, 0);
  uint8_t flags = (options_.droppable ? 1 : 0) | (options_.transparent ? 2 : 0) |
                  (options_.extended ? 4 : 0);
  PutU8(b, flags);
  PutU8(b, 0);
  PutU8(b, 0);
  PutU8(b, 0);
  return b;
}

void DeltaTileEncoder::LoadPadded(const uint8_t* picture, int pitch, uint8_t* out) const {
  std::memset(out, 0, picture_size());
  for (int r = 0; r < height_; ++r) {
    std::memcpy(out + static_cast<size_t>(r) * stride_, picture + static_cast<size_t>(r) * pitch,
                width_);
  }
}

Bytes DeltaTileEncoder::Intra(const uint8_t* picture, int pitch, int method) {
  uint8_t* cur = Picture(current_);
  LoadPadded(picture, pitch, cur);
  std::fill(buffers_[current_ ^ 1].begin(), buffers_[current_ ^ 1].end(), 0);
  const uint32_t length = static_cast<uint32_t>(picture_size());
  const int16_t sequence = sequence_++;
  Bytes data;
  if (method != 0) {
    data = Header(2, sequence, length);
    PutRunLengthCodes(data, cur, length);
  }
  if (method == 0 || (method == kSmaller && data.size() > 16 + size_t{length})) {
    data = Header(0, sequence, length);
    PutBytes(data, cur, length);
  }
  return ObjectPayload(37, options_.x, options_.y, static_cast<uint16_t>(width_),
                       static_cast<uint16_t>(height_), 0, data);
}

Bytes DeltaTileEncoder::Hold() {
  Bytes data = Header(1, sequence_++, 0);
  return ObjectPayload(37, options_.x, options_.y, static_cast<uint16_t>(width_),
                       static_cast<uint16_t>(height_), 0, data);
}

Bytes DeltaTileEncoder::Inter(const uint8_t* picture, int pitch, int method) {
  const int16_t sequence = sequence_++;
  // The decoder's buffer switch: odd frames always, even ones unless droppable.
  if ((sequence & 1) || !options_.droppable) current_ ^= 1;
  uint8_t* cur = Picture(current_);
  const uint8_t* prev = Picture(current_ ^ 1);
  LoadPadded(picture, pitch, cur);

  const int limit = options_.extended ? 0xFD : 0xFF;
  const int blocks_x = stride_ / 4, blocks_y = rows_ / 4;
  const int total = blocks_x * blocks_y;
  const uint32_t length = static_cast<uint32_t>(picture_size());
  // Both block methods are written side by side; they differ only in how
  // unchanged blocks are told.
  Bytes three = Header(3, sequence, length), four = Header(4, sequence, length);

  auto same = [&](int a, int b) {  // block of cur at a against block of prev at b
    for (int r = 0; r < 4; ++r) {
      if (std::memcmp(cur + a + r * stride_, prev + b + r * stride_, 4) != 0) return false;
    }
    return true;
  };
  int unchanged = 0;  // pending run of unchanged blocks (method 4)
  auto flush = [&]() {
    while (unchanged > 0) {
      int n = std::min(unchanged, 256);
      PutU8(four, 0);
      PutU8(four, static_cast<uint8_t>(n - 1));
      unchanged -= n;
    }
  };
  auto put = [&](const uint8_t* code, size_t n) {
    PutBytes(three, code, n);
    PutBytes(four, code, n);
  };
  for (int k = 0; k < total; ++k) {
    const int bx = (k % blocks_x) * 4, by = (k / blocks_x) * 4;
    const int at = by * stride_ + bx;
    if (same(at, at)) {
      PutU8(three, 0);  // vector 0 is (0, 0) in every table
      ++unchanged;
      continue;
    }
    flush();
    // One byte: the first vector of the table whose source matches exactly
    // (vector 0 is the unchanged block, and the run code in method 4).
    int found = -1;
    for (int b = 1; b < limit && found < 0; ++b) {
      if (same(at, at + offsets_[b])) found = b;
    }
    if (found >= 0) {
      const uint8_t code = static_cast<uint8_t>(found);
      put(&code, 1);
      continue;
    }
    uint8_t code[17];
    for (int r = 0; r < 4; ++r) std::memcpy(code + 1 + 4 * r, cur + at + r * stride_, 4);
    const uint8_t* block = code + 1;
    if (options_.extended) {
      if (std::all_of(block, block + 16, [&](uint8_t v) { return v == block[0]; })) {
        const uint8_t fill[2] = {0xFD, block[0]};
        put(fill, 2);
        continue;
      }
      bool quarters = true;
      for (int i = 0; i < 16 && quarters; ++i) {
        quarters = block[i] == block[4 * ((i / 4) & 2) + ((i % 4) & 2)];
      }
      if (quarters) {
        const uint8_t four_colours[5] = {0xFE, block[0], block[2], block[8], block[10]};
        put(four_colours, 5);
        continue;
      }
    }
    code[0] = 0xFF;
    put(code, 17);
  }
  flush();
  Bytes& data = method == 3 || (method == kSmaller && three.size() < four.size()) ? three : four;
  return ObjectPayload(37, options_.x, options_.y, static_cast<uint16_t>(width_),
                       static_cast<uint16_t>(height_), 0, data);
}

}  // namespace authoring
