#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "stream/mem.h"

namespace {

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

  data = nullptr;
  EXPECT_EQ(LoadWholeFile(&data, &size, (dir / "empty.bin").c_str()), 0);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(size, 0);
  FreeWholeFile(&data);
  EXPECT_EQ(data, nullptr);

  std::string name = (dir / "four.bin").string();
  EXPECT_EQ(LoadWholeFile(&data, nullptr, name.c_str()), 0);
  EXPECT_EQ(memcmp(data, "abcd", 4), 0);
  FreeWholeFile(&data);

  // Mode 3 replaces an existing file.
  platform::File* f = PlainOpen(name.c_str(), 3);
  ASSERT_NE(f, nullptr);
  PlainWrite(f, "xy", 2);
  PlainClose(f);
  EXPECT_EQ(LoadWholeFile(&data, &size, name.c_str()), 0);
  EXPECT_EQ(size, 2);
  FreeWholeFile(&data);
  std::filesystem::remove_all(dir);
  FreeWholeFile(&data);  // a second free does nothing
}

}  // namespace
