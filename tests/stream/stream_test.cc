#include "stream/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "files_fixture.h"
#include "base/log.h"
#include "base/mem.h"

namespace {

using namespace streamtest;

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearLogs(); }
  void TearDown() override {
    while (StreamInspect().ring != nullptr) StreamShutdown();
  }
  void Start(int32_t ring, int32_t largest) {
    ASSERT_EQ(StreamInit(ring, largest), 0);
    StreamReset();
  }
  void File(const std::string& name, std::vector<uint8_t> bytes) {
    WriteBytes(dir_ / name, files_[name] = std::move(bytes));
  }
  std::string Path(const std::string& name) { return dir_ / name; }
  // Requests `name` at `offset`, lets the reader open it and takes the
  // switched result.
  void Open(const std::string& name, int32_t offset) {
    ASSERT_EQ(StreamRequestOpen(Path(name).c_str(), offset), 0);
    StreamReadAhead(1 << 20);
    ASSERT_EQ(StreamFetch(0).status, kStreamSwitched);
  }
  // Fetches n bytes (reading ahead while needed) and checks them against the
  // file at `offset`.
  uint8_t* Expect(const std::string& name, int32_t offset, int32_t n) {
    StreamChunk c = StreamFetch(n);
    for (int i = 0; i < 100 && c.status == kStreamNotYet; ++i, c = StreamFetch(n))
      StreamReadAhead(1 << 20);
    EXPECT_EQ(c.status, kStreamData);
    if (c.status != kStreamData) return nullptr;
    EXPECT_EQ(std::memcmp(c.data, files_[name].data() + offset, static_cast<size_t>(n)), 0)
        << name << " at " << offset;
    return c.data;
  }
  // Past a file's end the positions moved by the whole block, but the zeros
  // there are not the file's: a fetch at the end reports it, one that runs
  // past it is damage. Neither is an endless wait.
  void ExpectEnd() {
    EXPECT_EQ(StreamFetch(1).status, kStreamEnd);
    EXPECT_EQ(StreamFetch(8).status, kStreamEnd);  // nothing was taken
  }
  TempDir dir_{"stream"};
  std::map<std::string, std::vector<uint8_t>> files_;
};

TEST_F(StreamTest, StartAndStopNestAndRoundTheRing) {
  EXPECT_EQ(StreamInit(400000, 300000), 0);
  const uint8_t* ring = StreamInspect().ring;
  EXPECT_NE(ring, nullptr);
  EXPECT_EQ(StreamInspect().ring_size, 399360);
  EXPECT_EQ(StreamInit(100000, 1000), 0);  // nested: nothing changes
  EXPECT_EQ(StreamInspect().ring_size, 399360);
  StreamShutdown();
  EXPECT_EQ(StreamInspect().ring, ring);
  StreamShutdown();
  StreamShutdown();  // one too many: harmless
  // A ring of fewer than two sectors cannot work.
  EXPECT_EQ(StreamInit(4095, 1000), kErrNoMemory);
  EXPECT_EQ(StreamInspect().ring, nullptr);
  EXPECT_EQ(StreamInit(8192, -1), kErrNoMemory);
}

TEST_F(StreamTest, FetchSizeLimits) {
  Start(65536, 8192);
  EXPECT_EQ(StreamFetch(1 << 30).status, kStreamNotYet);  // no file: nothing is done
  EXPECT_TRUE(ErrorLogEntries().empty());
  File("a.san", Pattern(1, 100000));
  Open("a.san", 0);
  Expect("a.san", 0, 8192);  // exactly the largest frame
  StreamChunk c = StreamFetch(8193);
  EXPECT_EQ(c.status, kStreamError);
  EXPECT_EQ(c.data, nullptr);
  EXPECT_EQ(ErrorLogEntries().back(), "File Streamer:  Invalid frame size 8193");
  EXPECT_EQ(StreamFetch(-5).status, kStreamError);
  Expect("a.san", 8192, 10);  // the errors took nothing
}

TEST_F(StreamTest, OpeningAtAnOffsetSkipsIntoTheFirstSector) {
  Start(65536, 8192);
  File("a.san", Pattern(1, 100000));
  ASSERT_EQ(StreamRequestOpen(Path("a.san").c_str(), 8), 0);
  StreamReadAhead(4096);
  StreamState s = StreamInspect();
  EXPECT_EQ(s.first_block_skip, 8);
  EXPECT_EQ(s.file_position, 8192);  // read from 0; the first block is one frame's worth
  EXPECT_TRUE(StreamSwitchDone());
  EXPECT_EQ(StreamFetch(4).status, kStreamSwitched);
  Expect("a.san", 8, 4);
  Expect("a.san", 12, 4);
  // An offset past the first sector starts at its sector.
  ASSERT_EQ(StreamRequestOpen(Path("a.san").c_str(), 2050), 0);
  StreamReadAhead(4096);
  EXPECT_EQ(StreamInspect().first_block_skip, 2);
  EXPECT_EQ(StreamFetch(4).status, kStreamSwitched);
  Expect("a.san", 2050, 100);
}

TEST_F(StreamTest, BlocksStraddlingTheRingEndComeOutContiguous) {
  Start(16384, 8192);
  File("a.san", Pattern(1, 200000));
  Open("a.san", 0);
  int straddled = 0;
  for (int32_t offset = 0; offset + 5000 <= 150000; offset += 5000) {
    uint8_t* p = Expect("a.san", offset, 5000);
    ASSERT_NE(p, nullptr);
    StreamState s = StreamInspect();
    EXPECT_EQ(p, s.ring + s.read_offset);
    straddled += s.read_offset + 5000 > s.ring_size;
  }
  EXPECT_GT(straddled, 3);
}

TEST_F(StreamTest, SwitchMidFile) {
  Start(65536, 8192);
  File("a.san", Pattern(1, 50000));
  File("b.san", Pattern(2, 30000));
  Open("a.san", 8);
  Expect("a.san", 8, 100);
  ASSERT_EQ(StreamRequestOpen(Path("b.san").c_str(), 8), 0);
  // Until the reader opens it the old file goes on.
  Expect("a.san", 108, 100);
  EXPECT_FALSE(StreamSwitchDone());
  StreamReadAhead(4096);
  EXPECT_TRUE(StreamSwitchDone());
  // The old file's data still in the ring is dropped.
  EXPECT_EQ(StreamFetch(100).status, kStreamSwitched);
  EXPECT_FALSE(StreamSwitchDone());
  Expect("b.san", 8, 100);
  Expect("b.san", 108, 8000);
  // A file that cannot be opened is dropped: the current one goes on.
  ASSERT_EQ(StreamRequestOpen(Path("missing.san").c_str(), 8), 0);
  StreamReadAhead(4096);
  EXPECT_FALSE(StreamInspect().request_pending);
  Expect("b.san", 8108, 100);
  // An empty name restarts the current file.
  ASSERT_EQ(StreamRequestOpen("", 8), 0);
  StreamReadAhead(4096);
  EXPECT_EQ(StreamFetch(100).status, kStreamSwitched);
  Expect("b.san", 8, 100);
}

TEST_F(StreamTest, FileEndNeverShowsAnOlderFilesBytes) {
  Start(16384, 8192);
  File("a.san", std::vector<uint8_t>(20000, 0xAA));  // fills every byte of the ring
  File("b.san", Pattern(2, 5000));
  Open("a.san", 0);
  for (int32_t offset = 0; offset < 20000; offset += 4000) Expect("a.san", offset, 4000);
  ExpectEnd();
  Open("b.san", 0);
  Expect("b.san", 0, 4996);
  EXPECT_EQ(StreamFetch(8).status, kStreamError);  // cut off
  EXPECT_EQ(ErrorLogEntries().back(), "File Streamer:  Read past end of file 8");
  Expect("b.san", 4996, 4);
  ExpectEnd();
  // While another file is asked for, the end of this one is only a wait.
  ASSERT_EQ(StreamRequestOpen(Path("a.san").c_str(), 0), 0);
  EXPECT_EQ(StreamFetch(8).status, kStreamNotYet);
  StreamReadAhead(4096);
  EXPECT_EQ(StreamFetch(8).status, kStreamSwitched);
  Expect("a.san", 0, 8);
}

// A request that is refused or whose file cannot be opened is recorded with
// the name; once the current file (if any) is used up, the end is reported
// instead of "not yet" for ever. Names of 56 characters or more are refused
// outright, dropping the pending request too: a cut name would have named
// another file.
TEST_F(StreamTest, FailedRequestsEndTheStream) {
  const std::string overlong = "/" + std::string(49, 'd') + "/x.san";  // 56 characters
  const struct {
    std::string name;
    int16_t result;
    std::string error;
  } cases[] = {
      {Path("missing.san"), 0, "Cannot open file " + Path("missing.san")},
      {overlong, kErrCannotOpen, "File Streamer:  Cannot request " + overlong + " (offset 8)"},
  };
  File("a.san", Pattern(1, 3000));
  Start(65536, 8192);
  EXPECT_EQ(StreamRequestOpen(Path("a.san").c_str(), -1), kErrCannotOpen);
  StreamShutdown();
  for (const auto& c : cases) {
    for (bool with_file : {false, true}) {
      SCOPED_TRACE(c.name + (with_file ? " after a.san" : " first"));
      ClearLogs();
      Start(65536, 8192);
      if (with_file) Open("a.san", 0);
      ASSERT_EQ(StreamRequestOpen(std::string(55, 'x').c_str(), 0), 0);  // pending, then dropped
      EXPECT_EQ(StreamRequestOpen(c.name.c_str(), 8), c.result);
      EXPECT_EQ(StreamInspect().request_pending, c.result == 0);
      StreamReadAhead(4096);
      EXPECT_TRUE(StreamSwitchFailed());
      EXPECT_EQ(ErrorLogEntries(), std::vector<std::string>{c.error});
      if (with_file) {
        Expect("a.san", 0, 3000);  // the current file goes on to its end
        ExpectEnd();
      } else {
        EXPECT_EQ(StreamFetch(8).status, kStreamEnd);
      }
      // A later request that works clears it.
      ASSERT_EQ(StreamRequestOpen(Path("a.san").c_str(), 0), 0);
      EXPECT_FALSE(StreamSwitchFailed());
      StreamReadAhead(4096);
      EXPECT_EQ(StreamFetch(8).status, kStreamSwitched);
      Expect("a.san", 0, 8);
      StreamShutdown();
    }
  }
}

TEST_F(StreamTest, FillAndReset) {
  Start(65536, 8192);
  EXPECT_EQ(StreamFillPercent(), 100);  // no file
  File("a.san", Pattern(1, 1000000));
  Open("a.san", 0);
  StreamReadAhead(16384);
  Expect("a.san", 0, 8000);
  StreamFetch(0);  // releases the 8000 bytes
  EXPECT_EQ(StreamFillPercent(), (8192 + 16384 - 8000) * 100 / 65536);
  StreamReset();
  EXPECT_EQ(StreamInspect().current_file, 0);
  EXPECT_EQ(StreamFetch(8).status, kStreamNotYet);
  // A small file is read whole at once: within a sector of its end, the fill is full.
  File("s.san", Pattern(3, 3000));
  Open("s.san", 0);
  EXPECT_EQ(StreamFillPercent(), 100);
}


// The playback loop skips the reading thread's step when it would have
// nothing to do: the answer must be "work" exactly when a step changes the
// engine, through opening, reading, wrapping the ring, the file's end, a
// switch and a request that fails.
TEST_F(StreamTest, ReaderStepHasWorkExactlyWhenItActs) {
  EXPECT_FALSE(StreamReadAheadHasWork());  // stopped
  Start(16384, 4096);
  File("a.san", Pattern(1, 40000));
  File("b.san", Pattern(2, 9000));
  auto key = [] {
    StreamState s = StreamInspect();
    return std::vector<int64_t>{s.write_offset, s.read_offset, s.current_file, s.file_position,
                                s.switched, s.reached, s.request_pending, s.request_failed,
                                s.data_end};
  };
  int acted = 0, idle = 0;
  auto step = [&](int32_t bytes) {
    const bool work = StreamReadAheadHasWork();
    const std::vector<int64_t> before = key();
    StreamReadAhead(bytes);
    EXPECT_EQ(work, key() != before) << "step " << acted + idle;
    (work ? acted : idle)++;
  };
  step(8192);  // no file, nothing asked for
  ASSERT_EQ(StreamRequestOpen(Path("a.san").c_str(), 0), 0);
  for (int i = 0; i < 40; ++i) {
    step(i % 3 == 0 ? 2048 : 8192);
    step(8192);
    StreamFetch(i == 0 ? 0 : 1500 + 97 * (i % 5));
    if (i == 25 || i == 32) {
      ASSERT_EQ(StreamRequestOpen(Path(i == 25 ? "b.san" : "none.san").c_str(), 0), 0);
    }
  }
  EXPECT_GT(acted, 10);
  EXPECT_GT(idle, 10);
}

}  // namespace
