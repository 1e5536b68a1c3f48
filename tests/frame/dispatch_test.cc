// The chunk dispatcher: sub-chunk walking, the overlay and preload buffers,
// ghost redraws, conditions and the client callback. Objects go to a
// recording codec so every DrawObject call can be checked. Well-formed frames
// are laid out by the authoring writer, so its chunk layouts are checked
// against the player's reading of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "anim/san_builder.h"
#include "frame/draw.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "frame_fixture.h"
#include "base/log.h"
#include "base/tags.h"
#include "base/switches.h"

namespace {

using santest::Bytes;

struct DrawCall {
  const uint8_t* payload;
  uint32_t size;
  int16_t x, y;
  uint16_t flags;
  uint8_t first_data;  // byte 14 of the payload, to tell objects apart
};
std::vector<DrawCall> g_draws;
int16_t g_codec_result = 0;

int16_t RecordingCodec(int16_t op, const Surface*, const ClipRect*, int16_t x, int16_t y,
                       const uint8_t* payload, uint32_t size, uint16_t flags, uint8_t, uint8_t) {
  if (op != kCodecDraw) return 0;
  g_draws.push_back({payload, size, x, y, flags, size > 14 ? payload[14] : uint8_t(0)});
  return g_codec_result;
}

constexpr uint8_t kRecCodec = 99;

Bytes Object(int x, int y, uint8_t marker, int extra = 1) {
  Bytes b{kRecCodec, 0};
  for (int v : {x, y, 8, 6, 0, 0}) santest::LE16(b, v);
  b.push_back(marker);
  b.resize(b.size() + size_t(std::max(extra - 1, 0)), 0);
  return b;
}

Bytes Words(std::initializer_list<int> ws) {
  Bytes b;
  for (int w : ws) santest::LE16(b, w);
  return b;
}

// One frame's payload laid out at an even address, as the ring keeps it.
struct FrameBytes {
  Bytes bytes;
  void Sub(std::string_view tag, const Bytes& payload, bool pad = true) {
    santest::Tag(bytes, tag);
    santest::BE32(bytes, uint32_t(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    if (pad && (bytes.size() & 1)) bytes.push_back(0);
  }
};
FrameBytes Subs(std::initializer_list<std::pair<std::string_view, Bytes>> subs) {
  FrameBytes f;
  for (const auto& [tag, payload] : subs) f.Sub(tag, payload);
  return f;
}
FrameBytes Of(const authoring::Frame& frame) { return {LaidOut(frame)}; }
using F = authoring::Frame;

struct ClientCall {
  uint32_t size, tag;  // tag 0: an IACT payload, otherwise a text record
  uint16_t flags;
  std::string text;
};
std::vector<ClientCall> g_client_calls;

int16_t Client(RenderBitmap*, const ClipRect*, int16_t, int16_t, const void* record,
               uint32_t size, uint16_t flags) {
  const auto* r = static_cast<const TextRecord*>(record);
  const bool text = size >= 16 && r->kind == kTextRecordKind && r->size == size;
  g_client_calls.push_back({size, text ? r->tag : 0, flags,
                            text ? std::string(reinterpret_cast<const char*>(r->payload) + 16) : ""});
  return 0;
}

class Dispatcher : public FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    static const CodecProc procs[1] = {RecordingCodec};
    static const uint8_t numbers[1] = {kRecCodec};
    InitDecoder(1, procs, numbers, 320, 200);
    ASSERT_EQ(FrameEngineInit(Client, 300000, 400000), 0);
    g_draws.clear();
    g_client_calls.clear();
    g_codec_result = 0;
  }
  void TearDown() override {
    FrameEngineShutdown();
    ShutdownDecoder();
    FrameFixture::TearDown();
  }
  int16_t Run(const FrameBytes& f, uint16_t flags = 0, int16_t x = 0, int16_t y = 0) {
    // Copy to an even-aligned buffer so pad parity follows buffer offsets.
    frame_.assign(f.bytes.begin(), f.bytes.end());
    return ProcessFrameChunks(bitmap(), nullptr, x, y, frame_.data(), uint32_t(frame_.size()),
                              flags);
  }
  bool InFrame(const uint8_t* p) const {
    return p >= frame_.data() && p < frame_.data() + frame_.size();
  }
  std::vector<uint8_t> frame_;
};

TEST_F(Dispatcher, StoredObjectIsDrawnOnceAndFetchedLater) {
  ASSERT_EQ(Run(Of(F().Stor().Fobj(Object(10, 20, 0xA1)))), 0);
  ASSERT_EQ(g_draws.size(), 1u);  // from the overlay buffer, not again as the frame's object
  EXPECT_EQ(g_draws[0].first_data, 0xA1);
  EXPECT_FALSE(InFrame(g_draws[0].payload));  // the stored copy, not the frame
  EXPECT_EQ(g_draws[0].x, 10);
  // The 12-byte form takes the low 16 bits of two big-endian numbers.
  const struct {
    F fetch;
    int16_t x, y;  // where the frame goes
    int16_t want_x, want_y;
  } cases[] = {{F().Ftch(5, 7), 100, 50, 10 + 100 + 5, 20 + 50 + 7},
               {F().FtchLong(0x00010003, -2), 0, 0, 10 + 3, 20 - 2}};
  for (const auto& c : cases) {
    g_draws.clear();
    ASSERT_EQ(Run(Of(c.fetch), 0, c.x, c.y), 0);
    ASSERT_EQ(g_draws.size(), 1u);
    EXPECT_EQ(g_draws[0].first_data, 0xA1);
    EXPECT_EQ(g_draws[0].x, c.want_x);
    EXPECT_EQ(g_draws[0].y, c.want_y);
    EXPECT_EQ(g_draws[0].size, Object(10, 20, 0xA1).size());
  }
}

TEST_F(Dispatcher, StoreSkipsInteractiveChunk) {
  ASSERT_EQ(Run(Of(F().Stor().Iact({1, 2, 3}).Fobj(Object(0, 0, 0xB2))), 0x0007), 0);
  ASSERT_EQ(g_client_calls.size(), 1u);
  EXPECT_EQ(g_client_calls[0].tag, 0u);
  EXPECT_EQ(g_client_calls[0].size, 3u);
  EXPECT_EQ(g_client_calls[0].flags, 0x0007);
  ASSERT_EQ(g_draws.size(), 1u);
  EXPECT_EQ(g_draws[0].first_data, 0xB2);
  EXPECT_FALSE(InFrame(g_draws[0].payload));
}

TEST_F(Dispatcher, GhostRedrawsWithModeBitsAndItsOwnSize) {
  const uint16_t expected[] = {0x2000, 0x4000, 0x6000, 0};
  for (int mode = 0; mode < 4; ++mode) {
    g_draws.clear();
    ASSERT_EQ(Run(Of(F().Fobj(Object(1, 2, 0xC3)).Gost(uint16_t(mode), 30, 40)), 0, 5, 6), 0);
    ASSERT_EQ(g_draws.size(), 2u) << mode;
    EXPECT_EQ(g_draws[1].flags, expected[mode]) << mode;
    EXPECT_EQ(g_draws[1].x, 1 + 5 + 30);
    EXPECT_EQ(g_draws[1].y, 2 + 6 + 40);
    EXPECT_EQ(g_draws[1].size, 6u);  // the ghost chunk's own size
    EXPECT_EQ(g_draws[1].payload, g_draws[0].payload);
  }
}

TEST_F(Dispatcher, PreloadCollectsPiecesInOrderOnly) {
  // Piece 3 does not follow piece 1; a piece too short for its fields is ignored.
  ASSERT_EQ(Run(Of(F().Load(77, 0, {1, 2, 3}).Load(77, 1, {4, 5}).Load(77, 3, {9, 9, 9, 9})
                       .Chunk("LOAD", Words({77, 2})))),
            0);
  FrameState frame = InspectFrame();
  EXPECT_EQ(frame.preload_id, 77);
  ASSERT_EQ(frame.preload_fill, 5);
  EXPECT_EQ(Bytes(frame.preload, frame.preload + 5), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(Dispatcher, ConditionsSkipAndMarkTheNextObject) {
  SetConditionFlag(3);
  EXPECT_EQ(TestConditionFlag(1025), 0);
  // Flag 3 is set: skipped; 3 and 4 differ: skipped; 5 is clear: drawn.
  ASSERT_EQ(Run(Of(F().Skip(3, 0).Fobj(Object(0, 0, 1)).Skip(3, 4).Fobj(Object(0, 0, 2))
                       .Skip(5, 0).Fobj(Object(0, 0, 3)))),
            0);
  ASSERT_EQ(g_draws.size(), 1u);
  EXPECT_EQ(g_draws[0].first_data, 3);
  ClearConditionFlag(3);
  EXPECT_EQ(TestConditionFlag(3), 0);

  // After "SKIP" any non-zero result stops the frame from being shown;
  // otherwise only a result above 0 does.
  g_codec_result = -1;
  const FrameBytes a = Of(F().Fobj(Object(0, 0, 1)));
  Run(a);
  EXPECT_EQ(InspectFrame().no_present, 0);
  Run(Of(F().Skip(5, 0).Fobj(Object(0, 0, 1))));
  EXPECT_EQ(InspectFrame().no_present, 1);
  g_codec_result = 1;
  Run(a);
  EXPECT_EQ(InspectFrame().no_present, 1);
}

// Frames of one kind each: the result, the marker of the one object that
// reaches the codec (-1: none does) and the start of the one error logged.
TEST_F(Dispatcher, FramesAndTheirOutcome) {
  FrameBytes trailing4 = Subs({{"ZZ09", Bytes{1, 2, 3}}, {"FOBJ", Object(0, 0, 7)}});
  trailing4.bytes.insert(trailing4.bytes.end(), {'F', 'O', 'B', 'J'});
  FrameBytes trailing6 = Subs({{"FOBJ", Object(0, 0, 7)}});
  trailing6.bytes.insert(trailing6.bytes.end(), {'F', 'O', 'B', 'J', 0, 0});
  FrameBytes over = Subs({{"FOBJ", Object(0, 0, 7)}});
  santest::PatchBE32(over.bytes, 4, 5000);
  FrameBytes padded, unpadded;
  for (FrameBytes* f : {&padded, &unpadded}) {
    f->Sub("ZZZZ", Bytes{1, 2, 3}, f == &padded);  // odd payload
    f->Sub("FOBJ", Object(0, 0, 9));
  }
  Bytes unterminated = Words({5, 6, 0, 0, 0, 0, 0, 0});
  unterminated.insert(unterminated.end(), {'A', 'B', 'C'});
  const struct {
    const char* name;
    FrameBytes frame;
    int16_t result;
    int marker;
    const char* error;
  } cases[] = {
      // Upper case and numerals in no row of the table: skipped silently.
      {"unknown tag, 4 trailing bytes", trailing4, 0, 7, nullptr},
      {"5 to 7 trailing bytes", trailing6, 0, 7, nullptr},
      {"lower case tag", Subs({{"FoBJ", Object(0, 0, 7)}}), -1, -1, "Bad IFF Header found 466f424a at 0"},
      // The position is the offset inside the frame, never an address.
      {"lower case tag behind another", Subs({{"ZZZZ", Bytes{1, 2}}, {"FoBJ", Object(0, 0, 7)}}), -1,
       -1, "Bad IFF Header found 466f424a at a"},
      {"size past the frame", over, -1, -1, "Bad IFF Header found 464f424a at 0"},
      {"pad byte", padded, 0, 9, nullptr},
      {"no pad byte", unpadded, 0, 9, nullptr},
      {"fetch before any store", Subs({{"FTCH", Words({0, 5, 7})}}), 0, -1, nullptr},
      // The sanitizer build catches any read past the text's payload.
      {"unterminated text", Subs({{"TEXT", unterminated}, {"FOBJ", Object(0, 0, 4)}}), 0, 4, nullptr},
      {"payloads too short",
       Subs({{"FOBJ", Bytes{kRecCodec, 0, 1, 0}},  // under 14 bytes: not an object
             {"GOST", Words({1, 2, 3})},
             {"FTCH", Words({1})},
             {"SKIP", Words({1})},
             {"TEXT", Bytes{1, 2}},
             {"TRES", Words({0, 0, 0, 0, 0, 0, 0, 0})},
             {"NPAL", Bytes(100, 1)},
             {"XPAL", Bytes{0, 0}}}),
       0, -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearLogs();
    g_draws.clear();
    EXPECT_EQ(Run(c.frame), c.result);
    std::vector<int> markers;
    for (const auto& d : g_draws) markers.push_back(d.first_data);
    EXPECT_EQ(markers, c.marker < 0 ? std::vector<int>{} : std::vector<int>{c.marker});
    const auto errors = ErrorLogEntries();
    ASSERT_EQ(errors.size(), c.error ? 1u : 0u);
    if (c.error) {
      EXPECT_EQ(errors[0], c.error);
    }
  }
}

TEST_F(Dispatcher, TextGoesToTheClientWithFlag0x200) {
  ASSERT_EQ(Run(Of(F().Text(5, 6, 0, nullptr, "hi")), 0x0200), 0);
  ASSERT_EQ(g_client_calls.size(), 1u);
  EXPECT_EQ(g_client_calls[0].tag, kTagTEXT);
  EXPECT_EQ(g_client_calls[0].text, "hi");
}

TEST_F(Dispatcher, OverlayTooSmallKeepsPreviousContent) {
  FrameEngineShutdown();
  ASSERT_EQ(FrameEngineInit(Client, 40, 0), 0);
  Run(Of(F().Stor().Fobj(Object(0, 0, 0x11))));  // 15 + 8 bytes fit in 40
  g_draws.clear();
  Run(Of(F().Stor().Fobj(Object(0, 0, 0x22, 40))));  // does not fit
  ASSERT_EQ(g_draws.size(), 1u);
  EXPECT_EQ(g_draws[0].first_data, 0x11);
}

TEST_F(Dispatcher, DebugFrameOutlinesTheObjectAfterSkip) {
  SetSwitch(kSwitchDebugLevel, 1);
  const FrameBytes f = Of(F().Skip(7, 0).Fobj(Object(10, 20, 1)));  // 8 x 6
  ASSERT_EQ(Run(f), 0);
  const uint8_t white = 255;  // the remembered white index
  EXPECT_EQ(Pixel(10, 20), white);
  EXPECT_EQ(Pixel(17, 20), white);
  EXPECT_EQ(Pixel(10, 25), white);
  EXPECT_EQ(Pixel(18, 20), 0);
  EXPECT_EQ(Pixel(10, 26), 0);
  // Without the debug level nothing is drawn around it.
  SetSwitch(kSwitchDebugLevel, 0);
  pixels_.assign(pixels_.size(), 0);
  ASSERT_EQ(Run(f), 0);
  EXPECT_EQ(Pixel(10, 20), 0);
}

TEST(DrawPrimitives, LinesStayInsideClipAndBitmap) {
  std::vector<uint8_t> px(16 * 8, 0);
  Surface s{px.data(), 16, 8};
  ClipRect clip{2, 1, 10, 5};
  DrawHorizontalLine(&s, &clip, -5, 3, 100, 9);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(px[3 * 16 + x], (x >= 2 && x < 12) ? 9 : 0) << x;
  ClipRect huge{-100, -100, 1000, 1000};
  DrawVerticalLine(&s, &huge, 15, -3, 50, 5);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(px[y * 16 + 15], 5);
}

}  // namespace
