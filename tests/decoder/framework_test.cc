#include <gtest/gtest.h>

#include <vector>

#include "payload.h"

using namespace dtest;

namespace {

struct Call {
  int16_t operation;
  intptr_t a, b;
  int16_t x, y;
  uint32_t size;
  uint16_t flags;
};
std::vector<Call> g_calls;
int16_t g_start_result = 0;

int16_t Recorder(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                 int16_t y, const uint8_t*, uint32_t size, uint16_t flags, uint8_t, uint8_t) {
  g_calls.push_back({operation, reinterpret_cast<intptr_t>(surface),
                     reinterpret_cast<intptr_t>(clip), x, y, size, flags});
  return operation == kCodecStart ? g_start_result : 7;
}

TEST(Framework, StartsInOrderLooksUpByNumberAndStopsAscending) {
  g_calls.clear();
  CodecProc procs[2] = {Recorder, Recorder};
  uint8_t numbers[2] = {9, 4};
  ASSERT_EQ(InitDecoder(2, procs, numbers, 320, 200), 0);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].operation, kCodecStart);
  EXPECT_EQ(g_calls[0].a, 320);  // start-up carries the picture size
  EXPECT_EQ(g_calls[0].b, 200);
  Canvas c(8, 8);
  EXPECT_EQ(Draw(c, Header(4, 0, 0, 1, 1)), 7);
  EXPECT_EQ(Draw(c, Header(9, 0, 0, 1, 1)), 7);
  EXPECT_EQ(Draw(c, Header(99, 0, 0, 1, 1)), -1);
  EXPECT_EQ(Draw(c, Header(0, 0, 0, 1, 1)), -1);
  g_calls.clear();
  ShutdownDecoder();
  ASSERT_EQ(g_calls.size(), 2u);  // one stop per slot
  EXPECT_EQ(g_calls[0].operation, kCodecStop);
  EXPECT_EQ(Draw(c, Header(4, 0, 0, 1, 1)), -1);
}

TEST(Framework, CodecThatFailsToStartIsAbsent) {
  g_start_result = -101;
  CodecProc procs[1] = {Recorder};
  uint8_t numbers[1] = {5};
  ASSERT_EQ(InitDecoder(1, procs, numbers, 320, 200), 0);
  g_start_result = 0;
  Canvas c(4, 4);
  EXPECT_EQ(Draw(c, Header(5, 0, 0, 1, 1)), -1);
  ShutdownDecoder();
}

TEST(Framework, PositionAbsoluteCentredAndWrapping) {
  CodecProc procs[1] = {Recorder};
  uint8_t numbers[1] = {5};
  InitDecoder(1, procs, numbers, 320, 200);
  Canvas c(4, 4);
  struct Case {
    int hx, hy, width, height;
    int16_t x, y;
    uint16_t flags;
    int want_x, want_y;
  } cases[] = {{3, 4, 7, 9, 10, 20, 0, 13, 24},
               {-30, -40, 7, 9, 10, 20, DrawAbsolute, 10, 20},
               {-30, -40, 7, 9, 10, 20, DrawAbsolute | DrawCentred, 7, 16},
               {32767, 0, 7, 9, 1, 0, 0, -32768, 0},
               {0, 0, 0xFFFF, 0xFFFE, 0, 0, DrawCentred, 1, 1}};  // arithmetic shifts
  for (const Case& k : cases) {
    g_calls.clear();
    Draw(c, Header(5, k.hx, k.hy, k.width, k.height), k.x, k.y, k.flags);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].x, k.want_x) << k.hx;
    EXPECT_EQ(g_calls[0].y, k.want_y) << k.hy;
    EXPECT_EQ(g_calls[0].flags, k.flags);
  }
  ShutdownDecoder();
}

TEST(Framework, ShortOrMissingPayloadIsRefused) {
  DecoderRun run;
  Canvas c(4, 4);
  Bytes header = Header(21, 0, 0, 1, 1);
  EXPECT_EQ(DrawObject(c.surface(), nullptr, 0, 0, 0, header.data(), 13, 1, 0), -1);
  EXPECT_EQ(DrawObject(c.surface(), nullptr, 0, 0, 0, nullptr, 100, 1, 0), -1);
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, header.data(), 500, 13, 1, 0), -1);
}

}  // namespace
