// Encoders for the object codecs: run-length (1, 2 with param, 3), raw (20),
// skip-literal (21, 44), shade (23), the delta-tile video codec (37) and
// smoothing (45). Each returns a whole object payload: the 14-byte object
// header and the codec data.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "authoring/bytes.h"

namespace authoring {

// The 14-byte object header followed by `data`.
Bytes ObjectPayload(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                    uint16_t param, const Bytes& data);

// How pixels 0 are coded in run-length data. Codec 1 leaves runs of 0
// transparent but paints literal zeros; codec 3 paints both.
enum class Zeros {
  kAny,          // whichever is shorter (codec 3, or codec 1 drawn opaque)
  kTransparent,  // always runs: 0 shows the picture underneath in codec 1
  kOpaque,       // always literals: 0 paints in codec 1 too
};

// Run-length lines (codecs 1 and 3, or 2 with a non-zero param).
Bytes EncodeRunLength(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                      const uint8_t* pixels, int pitch, Zeros zeros = Zeros::kAny,
                      uint16_t param = 0);

// Raw bitmap (codec 20).
Bytes EncodeRaw(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* pixels,
                int pitch);

// Skip-literal lines (codecs 21 and 44): pixels equal to `transparent` become
// skips, the others literals.
Bytes EncodeSkipLiteral(uint8_t codec, int16_t x, int16_t y, uint16_t width, uint16_t height,
                        const uint8_t* pixels, int pitch, uint8_t transparent = 0);

// A pixel of the picture, for the codecs that change pixels already drawn.
struct PixelPos {
  int16_t x = 0, y = 0;
  friend bool operator==(const PixelPos&, const PixelPos&) = default;
};

// How the shade codec (23) changes each pixel p it lists. The decoder keeps
// the last table it was sent for the life of the process (all zeros before
// the first), so a run of objects sends it once and then keeps it.
struct ShadeMode {
  uint16_t param = 0;                // the object header's param
  std::array<uint8_t, 256> table{};  // sent with the object when param is 256
  // p + add (modulo 256).
  static ShadeMode Offset(uint8_t add);
  // table[p], the table sent with this object and kept by the decoder.
  static ShadeMode SendTable(const std::array<uint8_t, 256>& table);
  // table[p] with the table an earlier object sent.
  static ShadeMode KeptTable();
};

// Shade object (codec 23) at (x, y), width x height: the pixels whose `mask`
// byte is not 0 are changed as `mode` says, the others are left alone. Rows
// of the mask are `pitch` bytes apart.
Bytes EncodeShade(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* mask,
                  int pitch, const ShadeMode& mode);
// The same for a list of pixels (duplicates count once); the object is the
// list's bounding box. An empty list gives an empty object at (0, 0).
Bytes EncodeShade(const std::vector<PixelPos>& pixels, const ShadeMode& mode);

// The smoothing codec's tables: a palette of 256 colours (three 8-bit
// components each, in the order the picture's palette holds them) and, for
// each 15-bit colour (5 bits per component, first component highest), the
// pixel value to paint. The decoder keeps the last tables it was sent (all
// zeros before the first), so later objects may leave them out.
struct SmoothingTables {
  std::array<uint8_t, 768> palette{};
  std::array<uint8_t, 32768> colours{};
};
// Tables for `palette` (768 bytes): each 15-bit colour maps to the palette
// entry nearest (in squared distance) to the middle of its cell. Only the
// entries in [first, last] are chosen, so that pixel values kept for other
// uses (text colours, a cycling range) are never painted.
SmoothingTables SmoothingTablesFor(const uint8_t* palette, int first = 0, int last = 255);

// Smoothing object (codec 45): each listed pixel is repainted with the
// colour table's choice for the mean of its four neighbours, as the picture
// holds them at that moment. Pixels are smoothed row by row, top to bottom
// and left to right in a row (the order of the list does not matter,
// duplicates count once), so a pixel sees its smoothed left and upper
// neighbours. `tables` is sent with the object, or, when null, the tables an
// earlier object sent are kept. The object is the list's bounding box.
// Pixels on the outermost rows and columns of the clip are never changed.
Bytes EncodeSmoothing(const std::vector<PixelPos>& pixels, const SmoothingTables* tables);
// The same for the pixels of a mask (not 0: smooth) at (x, y).
Bytes EncodeSmoothing(int16_t x, int16_t y, uint16_t width, uint16_t height, const uint8_t* mask,
                      int pitch, const SmoothingTables* tables);

// The run-length byte scheme shared by the line codecs and the delta-tile
// codec's method 2: code c, n = (c >> 1) + 1; bit 0 set: a run of the next
// byte, clear: n literal bytes.
void PutRunLengthCodes(Bytes& out, const uint8_t* data, size_t n, Zeros zeros = Zeros::kAny);

// The delta-tile codec's motion vectors: table t, entry i, as (x, y).
std::array<int8_t, 2> DeltaTileVector(int table, int index);

// Encodes full pictures as delta-tile objects, keeping a model of the
// decoder's two frame buffers so that every block frame is coded against
// exactly the picture the decoder holds. Coding is lossless.
class DeltaTileEncoder {
 public:
  struct Options {
    uint8_t vector_table = 0;  // 0, 1 or 2
    bool extended = true;      // frame flag bit 2: single-colour and 2 x 2 blocks
    bool droppable = false;    // frame flag bit 0: odd frames may be dropped when late
    bool transparent = false;  // frame flag bit 1: colour 0 shows what is under
    int16_t x = 0, y = 0;      // object position
  };
  DeltaTileEncoder(int width, int height, const Options& options);
  DeltaTileEncoder(int width, int height) : DeltaTileEncoder(width, height, Options{}) {}

  // Method argument of Intra and Inter: the smaller of the two codings.
  static constexpr int kSmaller = -1;

  // A whole frame, method 0 (raw) or 2 (run-length). It does not depend on
  // earlier frames; the decoder clears its other buffer.
  Bytes Intra(const uint8_t* picture, int pitch, int method = kSmaller);
  // A block frame against the previous one, method 3 or 4 (4 adds runs of
  // unchanged blocks). Each block takes its cheapest exact coding: unchanged
  // (a run, or vector 0 in method 3), a motion vector found by searching the
  // whole table (1 byte), a fill colour (2), four 2 x 2 colours (5), or 16
  // literal pixels (17).
  Bytes Inter(const uint8_t* picture, int pitch, int method = kSmaller);
  // A frame that decodes nothing (method 1): the picture stays.
  Bytes Hold();

  // Sequence number of the next frame; it rises by one with every frame.
  int16_t next_sequence() const { return sequence_; }
  void set_next_sequence(int16_t s) { sequence_ = s; }

  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }

 private:
  Bytes Header(uint8_t method, int16_t sequence, uint32_t length) const;
  void LoadPadded(const uint8_t* picture, int pitch, uint8_t* out) const;

  // The buffers carry zeroed margins as the decoder's do, so that every
  // vector of the table may reach past the picture's edges.
  uint8_t* Picture(int buffer) { return buffers_[buffer].data() + margin_; }
  size_t picture_size() const { return static_cast<size_t>(stride_) * rows_; }

  int width_, height_, stride_, rows_;
  size_t margin_;
  Options options_;
  int16_t sequence_ = 0;
  int current_ = 0;
  std::vector<uint8_t> buffers_[2];
  std::array<int, 255> offsets_{};
};

}  // namespace authoring
