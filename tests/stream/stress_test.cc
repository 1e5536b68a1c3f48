// A reading thread and a consumer taking random-sized chunks, with random
// file switches; every byte handed out must be the file's byte. Runs under
// the thread sanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "files_fixture.h"
#include "stream/stream.h"

namespace {

using namespace streamtest;

TEST(StreamStress, ReaderThreadAndConsumerAgreeOnEveryByte) {
  TempDir dir("stream_stress");
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> files;
  for (size_t size : {20u << 20, 300000u, 1000003u, 77777u}) {
    const std::string base = dir / ("f" + std::to_string(files.size()));
    files.push_back(Pattern(100 + static_cast<uint32_t>(files.size()), size));
    names.push_back(base + ".san");
    WriteBytes(names.back(), files.back());
    if (files.size() % 2 == 1) WriteBytes(base + ".CHK", ChecksumFile(files.back()));
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
  int current = -1, pending = 0;  // the file asked for, or -1
  size_t offset = 0, pending_offset = 8, total = 0, switches = 0;
  ASSERT_EQ(StreamRequestOpen(names[0].c_str(), 8), 0);
  while (total < (40u << 20)) {
    size_t left = current < 0 ? 0 : files[current].size() - offset;
    if (pending < 0 && (rng() % 500 == 0 || (current >= 0 && left == 0))) {
      pending = static_cast<int>(rng() % files.size());
      pending_offset = rng() % 2 ? 8 : rng() % files[pending].size();
      ASSERT_EQ(StreamRequestOpen(names[pending].c_str(), static_cast<int32_t>(pending_offset)), 0);
    }
    int32_t n = static_cast<int32_t>(std::min<size_t>(1 + rng() % kLargest, left));
    StreamChunk c = StreamFetch(n);
    if (c.status == kStreamNotYet || (c.status == kStreamData && n == 0)) {
      std::this_thread::yield();
    } else if (c.status == kStreamSwitched) {
      ASSERT_GE(pending, 0);
      current = std::exchange(pending, -1);
      offset = pending_offset;
      ++switches;
    } else {
      ASSERT_EQ(c.status, kStreamData);
      ASSERT_GE(current, 0);
      ASSERT_EQ(std::memcmp(c.data, files[current].data() + offset, static_cast<size_t>(n)), 0)
          << "file " << current << " at " << offset << ", " << n << " bytes";
      offset += static_cast<size_t>(n);
      total += static_cast<size_t>(n);
    }
  }
  stop.store(true);
  reader.join();
  StreamShutdown();
  EXPECT_GT(switches, 3u);
}

}  // namespace
