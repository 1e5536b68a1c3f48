// A reading thread and a consumer taking random-sized chunks, with random
// file switches; every byte handed out must be the file's byte. Runs under
// the thread sanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "files_fixture.h"
#include "stream/stream.h"

namespace {

using streamtest::ChecksumFile;
using streamtest::Pattern;
using streamtest::TempDir;
using streamtest::WriteBytes;

struct TestFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

TEST(StreamStress, ReaderThreadAndConsumerAgreeOnEveryByte) {
  TempDir dir("stream_stress");
  std::vector<TestFile> files;
  const size_t sizes[] = {20u << 20, 300000, 1000003, 77777};
  for (size_t i = 0; i < 4; ++i) {
    TestFile f{dir / ("f" + std::to_string(i) + ".san"),
               Pattern(100 + static_cast<uint32_t>(i), sizes[i])};
    WriteBytes(f.name, f.bytes);
    if (i % 2 == 0) WriteBytes(dir / ("f" + std::to_string(i) + ".CHK"), ChecksumFile(f.bytes));
    files.push_back(std::move(f));
  }

  constexpr int32_t kLargest = 32768;
  ASSERT_EQ(StreamInit(131072, kLargest), 0);
  StreamReset();

  std::atomic<bool> stop{false};
  std::thread reader([&stop] {
    std::mt19937 rng(1);
    while (!stop.load()) {
      StreamReadAhead(static_cast<int32_t>(4 + rng() % 29) * 2048);
      std::this_thread::yield();
    }
  });

  std::mt19937 rng(2);
  int current = -1;
  size_t offset = 0;
  int pending = 0;  // file asked for, or -1
  size_t pending_offset = 8;
  ASSERT_EQ(StreamRequestOpen(files[0].name.c_str(), 8), 0);
  size_t total = 0, switches = 0;
  const size_t kTotal = 40u << 20;
  while (total < kTotal) {
    size_t left = current < 0 ? 0 : files[current].bytes.size() - offset;
    if (pending < 0 && (rng() % 500 == 0 || (current >= 0 && left == 0))) {
      pending = static_cast<int>(rng() % files.size());
      pending_offset = rng() % 2 ? 8 : rng() % files[pending].bytes.size();
      ASSERT_EQ(
          StreamRequestOpen(files[pending].name.c_str(), static_cast<int32_t>(pending_offset)), 0);
    }
    int32_t n = static_cast<int32_t>(std::min<size_t>(1 + rng() % kLargest, left));
    StreamChunk c = StreamFetch(n);
    if (c.status == kStreamNotYet || (c.status == kStreamData && n == 0)) {
      std::this_thread::yield();
      continue;
    }
    if (c.status == kStreamSwitched) {
      ASSERT_GE(pending, 0);
      current = pending;
      offset = pending_offset;
      pending = -1;
      ++switches;
      continue;
    }
    ASSERT_EQ(c.status, kStreamData);
    ASSERT_GE(current, 0);
    ASSERT_EQ(std::memcmp(c.data, files[current].bytes.data() + offset, static_cast<size_t>(n)), 0)
        << "file " << current << " at " << offset << ", " << n << " bytes";
    offset += static_cast<size_t>(n);
    total += static_cast<size_t>(n);
  }
  stop.store(true);
  reader.join();
  StreamShutdown();
  EXPECT_GT(switches, 3u);
}

}  // namespace
