// The whole-file loader: missing, empty and differently cased files, and the length
// it hands back when the memory cannot be had.
#include "base/mem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST(Mem, WholeFiles) {
  auto dir = std::filesystem::temp_directory_path() / ("mv_mem_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "empty.bin").close();
  std::ofstream(dir / "Four.BIN", std::ios::binary) << "abcd";
  uint8_t* data = reinterpret_cast<uint8_t*>(0x1);
  int32_t size = -7;
  EXPECT_EQ(LoadWholeFile(&data, &size, (dir / "missing").c_str()), kErrCannotOpen);
  EXPECT_EQ(data, reinterpret_cast<uint8_t*>(0x1));
  EXPECT_EQ(size, -7);
  EXPECT_EQ(LoadWholeFile(&data, &size, (dir / "empty.bin").c_str()), 0);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(size, 0);
  FreeWholeFile(&data);
  EXPECT_EQ(data, nullptr);
  std::string name = (dir / "four.bin").string();
  EXPECT_EQ(LoadWholeFile(&data, nullptr, name.c_str()), 0);
  EXPECT_EQ(memcmp(data, "abcd", 4), 0);
  FreeWholeFile(&data);
  FreeWholeFile(&data);  // a second free does nothing
  std::filesystem::remove_all(dir);
}

// The size variable is filled before the block is asked for, so it holds the
// length after -101 too; the pointer variable is left alone.
TEST(MemDeathTest, LengthIsStoredWhenTheBlockCannotBeHad) {
  if (kSanitized) GTEST_SKIP() << "sanitizers reserve address space of their own";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("mv_mem_big_" + std::to_string(getpid()));
  constexpr off_t kLength = 768L << 20;  // sparse: takes no disk space
  int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, kLength), 0);
  close(fd);
  EXPECT_EXIT(
      {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
          if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
          std::fclose(statm);
        }
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (256L << 20);
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        void* data = &limit;
        int32_t size = -7;
        int16_t result = LoadWholeFile(&data, &size, path.c_str());
        _exit(result == kErrNoMemory && size == kLength && data == &limit ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  std::filesystem::remove(path);
}

}  // namespace
