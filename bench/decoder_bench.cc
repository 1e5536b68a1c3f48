// Decoder inner loops against a plain memcpy of the same destination bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/internal.h"  // CopyBytes, for the copy floor of sprite lines

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kW = 320, kH = 200;

void Put16(Bytes& b, int v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, static_cast<int>(v & 0xFFFF));
  Put16(b, static_cast<int>(v >> 16));
}
Bytes Header(uint8_t codec, int x, int y, int w, int h, int param = 0) {
  Bytes b{codec, 0};
  for (int v : {x, y, w, h, 0, param}) Put16(b, v);
  return b;
}

// --- A moving 320 x 200 picture: a panning textured landscape, a static
// panel at the bottom and a ball moving across.
uint8_t Texture(int x, int y) {
  double v = 40 + 30 * std::sin(x * 0.05) + 25 * std::cos(y * 0.07) + 10 * std::sin((x + y) * 0.13);
  return static_cast<uint8_t>(16 + (static_cast<int>(v) & 0x7F));
}
Bytes Picture(int frame) {
  Bytes pic(kW * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint8_t v;
      if (y >= 160) {
        v = static_cast<uint8_t>(200 + ((x / 40 + y / 20) & 3));  // static panel
      } else {
        v = Texture(x + 2 * frame, y + frame);  // panning
        int dx = x - (60 + 5 * frame), dy = y - 80;
        if (dx * dx + dy * dy < 400) v = static_cast<uint8_t>(150 + ((dx + dy) & 7));
      }
      pic[y * kW + x] = v;
    }
  return pic;
}

// --- A small encoder for block frames (methods 3 and 4) against the previous
// picture: motion vectors of table 0, then fills, quarters or literals.
int Table0(int i) {
  static const int v[16] = {0, 1, 2, 3, 5, 8, 13, 21, -1, -2, -3, -5, -8, -13, -17, -21};
  return v[i];
}
Bytes EncodeBlocks(const Bytes& prev, const Bytes& cur, bool runs) {
  Bytes out;
  auto at = [](const Bytes& p, int x, int y) -> int {
    if (x < 0 || y < 0 || x >= kW || y >= kH) return -1;  // outside: never matches
    return p[y * kW + x];
  };
  int pending = -1;  // index in out of the current run's count byte
  for (int by = 0; by < kH / 4; ++by)
    for (int bx = 0; bx < kW / 4; ++bx) {
      int x0 = bx * 4, y0 = by * 4;
      int best = -1;
      for (int op = runs ? 1 : 0; op < 255 && best < 0; ++op) {
        int vx = Table0(op % 16), vy = Table0(op / 16);
        bool same = true;
        for (int r = 0; r < 4 && same; ++r)
          for (int c = 0; c < 4 && same; ++c)
            same = at(prev, x0 + c + vx, y0 + r + vy) == cur[(y0 + r) * kW + x0 + c];
        if (same) best = op;
      }
      bool unchanged = true;
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
          unchanged = unchanged && prev[(y0 + r) * kW + x0 + c] == cur[(y0 + r) * kW + x0 + c];
      if (runs && unchanged) {
        if (pending >= 0 && out[pending] < 255) {
          ++out[pending];
        } else {
          out.push_back(0);
          out.push_back(0);
          pending = static_cast<int>(out.size()) - 1;
        }
        continue;
      }
      pending = -1;
      if (best >= 0 && best < 0xFD) {
        out.push_back(static_cast<uint8_t>(best));
        continue;
      }
      const uint8_t* b = &cur[y0 * kW + x0];
      bool flat = true;
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) flat = flat && b[r * kW + c] == b[0];
      if (flat) {
        out.push_back(0xFD);
        out.push_back(b[0]);
        continue;
      }
      out.push_back(0xFF);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.push_back(b[r * kW + c]);
    }
  return out;
}

Bytes DeltaFrame(int method, int sequence, uint32_t length, int flags, const Bytes& data) {
  Bytes p = Header(37, 0, 0, kW, kH);
  p.push_back(static_cast<uint8_t>(method));
  p.push_back(0);
  Put16(p, sequence);
  Put32(p, length);
  Put32(p, 0);
  p.push_back(static_cast<uint8_t>(flags));
  p.insert(p.end(), 3, 0);
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

struct Decoder {
  Decoder() { InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, kW, kH); }
  ~Decoder() { ShutdownDecoder(); }
};

int16_t Draw(Surface& s, const Bytes& p, uint16_t flags = 0, uint8_t tint = 1) {
  return DrawObject(&s, nullptr, 0, 0, flags, p.data(), static_cast<uint32_t>(p.size()), tint, 0);
}

void Memcpy(benchmark::State& state) {
  size_t n = static_cast<size_t>(state.range(0));
  // Source and destination in one block half a page apart: where the heap
  // happens to put two separate blocks a multiple of 4096 bytes apart, the
  // copy runs many times slower and the baseline would flatter the codecs.
  Bytes block(2 * n + 4096, 7);
  const uint8_t* src = block.data();
  uint8_t* dst = block.data() + n + 2048;
  for (auto _ : state) {
    benchmark::DoNotOptimize(src);
    std::memcpy(dst, src, n);
    benchmark::DoNotOptimize(dst);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(Memcpy)->Arg(64000)->Arg(4096)->Arg(2000);

void BlockFrame(benchmark::State& state, int method) {
  Decoder decoder;
  Bytes screen(kW * kH);
  Surface s{screen.data(), kW, kH};
  Bytes p0 = Picture(0), p1 = Picture(1);
  Bytes key = DeltaFrame(0, 0, kW * kH, 0, p0);
  // Sequence 1 decodes against the key; later ones (sequence 0, always taken)
  // repeat the same work against whichever buffer is previous.
  Bytes blocks = EncodeBlocks(p0, p1, method == 4);
  Bytes frame = DeltaFrame(method, 1, 0, 4, blocks);
  Draw(s, key);
  Draw(s, frame);
  if (screen != p1) {
    state.SkipWithError("encoder and decoder disagree");
    return;
  }
  frame[16] = 0;  // sequence 0
  frame[17] = 0;
  for (auto _ : state) {
    Draw(s, frame);
    benchmark::ClobberMemory();
  }
  state.counters["data_bytes"] = static_cast<double>(blocks.size());
  state.SetLabel("vs Memcpy/64000 limit 4");
}
void Codec37Method3(benchmark::State& state) { BlockFrame(state, 3); }
void Codec37Method4(benchmark::State& state) { BlockFrame(state, 4); }
BENCHMARK(Codec37Method3);
BENCHMARK(Codec37Method4);

// The data movement of a block frame alone, no opcodes: each block row as
// four rows of 320 bytes copied from the other buffer at a displacement of
// one row and one column, then the frame copied to the screen. What the
// decoder could approach if every block row were one stretch of one vector.
void Codec37DataMovement(benchmark::State& state) {
  Bytes buffers(3 * kW * kH), screen(kW * kH);
  uint8_t* prev = buffers.data() + kW;
  uint8_t* cur = buffers.data() + 2 * kW * kH;
  for (auto _ : state) {
    benchmark::DoNotOptimize(prev);
    for (int row = 0; row < kH; ++row) std::memcpy(cur + row * kW, prev + row * kW + kW + 1, kW);
    std::memcpy(screen.data(), cur, kW * kH);
    benchmark::ClobberMemory();
  }
  state.SetLabel("vs Memcpy/64000 limit 0");
}
BENCHMARK(Codec37DataMovement);

void Show(benchmark::State& state, int flags) {
  Decoder decoder;
  Bytes screen(kW * kH);
  Surface s{screen.data(), kW, kH};
  Bytes pic = Picture(3);
  for (size_t i = 0; i < pic.size(); i += 5) pic[i] = 0;
  Draw(s, DeltaFrame(0, 0, kW * kH, 0, pic));
  Bytes show = DeltaFrame(1, 0, 0, flags, {});
  for (auto _ : state) {
    Draw(s, show);
    benchmark::ClobberMemory();
  }
  state.SetLabel(flags ? "vs Memcpy/64000 limit 1.5" : "vs Memcpy/64000 limit 1.2");
}
void Codec37ShowOpaque(benchmark::State& state) { Show(state, 0); }
void Codec37ShowTransparent(benchmark::State& state) { Show(state, 2); }
BENCHMARK(Codec37ShowOpaque);
BENCHMARK(Codec37ShowTransparent);

// --- 64 x 64 sprites: a textured disc on a transparent ground.
int SpritePixel(int x, int y) {
  int dx = x - 32, dy = y - 32;
  if (dx * dx + dy * dy >= 31 * 31) return -1;
  return 1 + ((x * 3 + y * 5) & 31);
}
Bytes RunLengthSprite() {
  Bytes p = Header(1, 0, 0, 64, 64);
  for (int y = 0; y < 64; ++y) {
    Bytes codes;
    int x = 0;
    while (x < 64) {
      int start = x;
      if (SpritePixel(x, y) < 0) {
        while (x < 64 && x - start < 128 && SpritePixel(x, y) < 0) ++x;
        codes.push_back(static_cast<uint8_t>(((x - start - 1) << 1) | 1));
        codes.push_back(0);
      } else {
        while (x < 64 && x - start < 128 && SpritePixel(x, y) >= 0) ++x;
        codes.push_back(static_cast<uint8_t>((x - start - 1) << 1));
        for (int i = start; i < x; ++i) codes.push_back(static_cast<uint8_t>(SpritePixel(i, y)));
      }
    }
    Put16(p, static_cast<int>(codes.size()));
    p.insert(p.end(), codes.begin(), codes.end());
  }
  return p;
}
Bytes SkipLiteralSprite(uint8_t codec) {
  Bytes p = Header(codec, 0, 0, 64, 64);
  for (int y = 0; y < 64; ++y) {
    Bytes body;
    int x = 0;
    while (x < 64) {
      int start = x;
      while (x < 64 && SpritePixel(x, y) < 0) ++x;
      Put16(body, x - start);
      if (x == 64) break;
      start = x;
      while (x < 64 && SpritePixel(x, y) >= 0) ++x;
      Put16(body, x - start - 1);
      for (int i = start; i < x; ++i) body.push_back(static_cast<uint8_t>(SpritePixel(i, y)));
    }
    Put16(p, static_cast<int>(body.size()));
    p.insert(p.end(), body.begin(), body.end());
  }
  return p;
}

// The sprites' baselines: Memcpy/4096 copies their 64 x 64 pixels in one
// block; this copies them row by row into the same place of the screen, as a
// raw 64 x 64 bitmap would be drawn.
void MemcpySpriteRows(benchmark::State& state) {
  Bytes src(64 * 64, 7), screen(kW * kH);
  for (auto _ : state) {
    benchmark::DoNotOptimize(src.data());
    for (int row = 0; row < 64; ++row)
      std::memcpy(&screen[(60 + row) * kW + 100], &src[row * 64], 64);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(MemcpySpriteRows);

void Sprite(benchmark::State& state, const Bytes& sprite, uint16_t flags, uint8_t tint,
            double limit) {
  Decoder decoder;
  Bytes screen(kW * kH);
  Surface s{screen.data(), kW, kH};
  for (auto _ : state) {
    DrawObject(&s, nullptr, 100, 60, flags, sprite.data(), static_cast<uint32_t>(sprite.size()),
               tint, 3);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel("vs MemcpySpriteRows limit " + std::to_string(limit));
}
void Codec1Sprite(benchmark::State& state) { Sprite(state, RunLengthSprite(), 0, 1, 2); }
void Codec1SpriteMirrored(benchmark::State& state) { Sprite(state, RunLengthSprite(), DrawMirrorX, 1, 3); }
void Codec21Sprite(benchmark::State& state) { Sprite(state, SkipLiteralSprite(21), 0, 1, 2); }
void Codec44Sprite(benchmark::State& state) { Sprite(state, SkipLiteralSprite(44), 0, 9, 2); }
void Codec44SpriteBox(benchmark::State& state) {
  Sprite(state, SkipLiteralSprite(44), DrawOpaque, 9, 3);
}
// --- Floors of a variable-length line format, measured on the codec 21
// sprite above: its line fields walked without drawing, and its literals
// copied without reading any field. Not codecs: what a line walker cannot go
// below on this machine, against the same baseline.
void FloorSpriteParseOnly(benchmark::State& state) {
  const Bytes sprite = SkipLiteralSprite(21);
  for (auto _ : state) {
    const uint8_t* p = sprite.data() + 14;
    benchmark::DoNotOptimize(p);
    int32_t covered = 0;
    for (int line = 0; line < 64; ++line) {
      const uint8_t* next = p + 2 + (p[0] | p[1] << 8);
      p += 2;
      int32_t pos = 0;
      for (;;) {
        pos += p[0] | p[1] << 8;
        if (pos >= 64) break;
        int32_t n = (p[2] | p[3] << 8) + 1;
        p += 4 + n;
        pos += n;
        if (pos >= 64) break;
      }
      covered += pos;
      p = next;
    }
    benchmark::DoNotOptimize(covered);
  }
  state.SetLabel("vs MemcpySpriteRows limit 0");
}
BENCHMARK(FloorSpriteParseOnly);

struct Literal {
  int32_t dst, src, n;
};
void FloorSpriteCopyOnly(benchmark::State& state) {
  const Bytes sprite = SkipLiteralSprite(21);
  std::vector<Literal> literals;  // the sprite's literals, found once
  const uint8_t* p = sprite.data() + 14;
  for (int line = 0; line < 64; ++line) {
    const uint8_t* next = p + 2 + (p[0] | p[1] << 8);
    p += 2;
    int32_t pos = 0;
    while (p < next) {
      pos += p[0] | p[1] << 8;
      if (pos >= 64) break;
      int32_t n = (p[2] | p[3] << 8) + 1;
      literals.push_back({(60 + line) * kW + 100 + pos, static_cast<int32_t>(p + 4 - sprite.data()), n});
      p += 4 + n;
      pos += n;
    }
    p = next;
  }
  Bytes screen(kW * kH);
  for (auto _ : state) {
    const uint8_t* src = sprite.data();
    benchmark::DoNotOptimize(src);
    for (const Literal& l : literals)
      decoder_internal::CopyBytes(screen.data() + l.dst, src + l.src, l.n);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
  state.counters["literals"] = static_cast<double>(literals.size());
  state.SetLabel("vs MemcpySpriteRows limit 0");
}
BENCHMARK(FloorSpriteCopyOnly);

BENCHMARK(Codec1Sprite);
BENCHMARK(Codec1SpriteMirrored);
BENCHMARK(Codec21Sprite);
BENCHMARK(Codec44Sprite);
BENCHMARK(Codec44SpriteBox);

// --- Smoothing 2000 pixels: 20 records of 100 pixels, on successive rows
// (runs that the codec smooths two at a time) or all on one row (one after
// the other: a single chain through the left neighbour).
void Smoothing2000(benchmark::State& state, int row_step) {
  Decoder decoder;
  Bytes screen = Picture(2);
  Surface s{screen.data(), kW, kH};
  Bytes tables = Header(45, 0, 0, 0, 0);
  Put16(tables, 0);
  Put16(tables, 0);
  tables.push_back(1);
  tables.push_back(0);
  for (int i = 0; i < 768; ++i) tables.push_back(static_cast<uint8_t>(i / 3));
  for (int i = 0; i < 32768 / 128; ++i) {
    tables.push_back(128);
    tables.push_back(static_cast<uint8_t>(i));
  }
  Draw(s, tables);
  Bytes p = Header(45, 0, 0, 0, 0);  // records only, with the tables kept
  Put16(p, 0);
  Put16(p, 1);
  p.push_back(1);
  p.push_back(0);
  for (int r = 0; r < 20; ++r) {
    Put16(p, r == 0 ? 100 : -99);
    p.push_back(static_cast<uint8_t>(r == 0 ? 20 : row_step));
    p.push_back(99);
  }
  for (auto _ : state) {
    Draw(s, p);
    benchmark::ClobberMemory();
  }
  state.counters["budget_ns"] = 4.0 * 2000;  // 4 ns a pixel
}
void Codec45Smoothing2000(benchmark::State& state) { Smoothing2000(state, 1); }
void Codec45Smoothing2000OneRow(benchmark::State& state) { Smoothing2000(state, 0); }
BENCHMARK(Codec45Smoothing2000);
BENCHMARK(Codec45Smoothing2000OneRow);

// The floor of codec 45: its chain alone over 2000 pixels as the codec runs
// it (the left neighbour's palette word read at a byte offset and added to a
// precomputed sum of the other three, the table offset formed, the table
// read), with no other work. Then its two reads alone, chained: the
// palette word read at an offset that the table gave, the table read at an
// offset that the palette word gives.
uint64_t Read64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
uint16_t Read16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void FloorCodec45Chain2000(benchmark::State& state) {
  std::vector<uint64_t> palette(256), rest(2000);
  std::vector<uint16_t> table(32768);
  for (int i = 0; i < 256; ++i)
    palette[i] = uint64_t(i / 3) << 6 | uint64_t(i / 3) << 20 | uint64_t(i / 3) << 40;
  for (int i = 0; i < 32768; ++i) table[i] = static_cast<uint16_t>((i * 7 >> 7 & 255) * 8);
  for (int i = 0; i < 2000; ++i) rest[i] = 3 * palette[Texture(i, 2 * i)];
  const auto* pal = reinterpret_cast<const uint8_t*>(palette.data());
  const auto* tab = reinterpret_cast<const uint8_t*>(table.data());
  for (auto _ : state) {
    uintptr_t left = 0;
    for (uint64_t r : rest) {
      uint64_t sum = r + Read64(pal + left);
      const uint8_t* row = tab + (sum & 0xF800);
      asm("" : "+r"(row));
      left = Read16(row + (((sum >> 19) & 0x7C0) | ((sum >> 44) & 0x3E)));
    }
    benchmark::DoNotOptimize(left);
  }
  state.counters["budget_ns"] = 4.0 * 2000;
  state.SetLabel("floor");
}
BENCHMARK(FloorCodec45Chain2000);

void FloorCodec45TwoReads2000(benchmark::State& state) {
  std::vector<uint64_t> palette(256);
  std::vector<uint16_t> table(32768);
  for (int i = 0; i < 256; ++i) palette[i] = static_cast<uint64_t>(i * 254) & 0xFFFE;
  for (int i = 0; i < 32768; ++i) table[i] = static_cast<uint16_t>((i * 7 >> 7 & 255) * 8);
  const auto* pal = reinterpret_cast<const uint8_t*>(palette.data());
  const auto* tab = reinterpret_cast<const uint8_t*>(table.data());
  for (auto _ : state) {
    uintptr_t left = 0;
    for (int i = 0; i < 2000; ++i) left = Read16(tab + Read64(pal + left));
    benchmark::DoNotOptimize(left);
  }
  state.counters["budget_ns"] = 4.0 * 2000;
  state.SetLabel("floor");
}
BENCHMARK(FloorCodec45TwoReads2000);

}  // namespace
