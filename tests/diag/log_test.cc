#include "diag/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::remove_all(dir_); }
  void TearDown() override {
    WriteLog(4, 0, nullptr);
    fs::remove_all(dir_);
  }
  std::string Contents() {
    std::stringstream s;
    s << std::ifstream(dir_ / "logfile.txt").rdbuf();
    return s.str();
  }
  fs::path dir_ = fs::temp_directory_path() / ("mv_diag_" + std::to_string(::getpid()));
};

TEST_F(LogTest, WritesOnlyWhileOpenWithErrorNamesAfterTheCallersText) {
  WriteLog(3, 0, "lost\n");
  WriteLog(1, static_cast<int32_t>(0x88760005u), "lost\n");
  EXPECT_FALSE(LogIsOpen());
  WriteLog(0, 0, (dir_.string() + "\\").c_str());  // creates the directory
  ASSERT_TRUE(LogIsOpen());
  // One backslash before the file name.
  EXPECT_EQ(std::string(LogPath()), dir_.string() + "\\logfile.txt");
  WriteLog(3, 0, nullptr);  // only flushes
  WriteLog(3, 0, "kept\n");
  WriteLog(1, static_cast<int32_t>(0x88760005u), "dd: ");
  WriteLog(2, static_cast<int32_t>(0x88760005u), "ds: ");
  WriteLog(2, static_cast<int32_t>(0x88780096u), nullptr);
  WriteLog(1, 0, nullptr);
  WriteLog(7, 0, "other operation\n");
  const std::string expected =
      "kept\ndd: DDERR_ALREADYINITIALIZED\nds: DS: Error type not recognized.\n"
      "DSERR_BUFFERLOST\nDD: Error type not recognized.\n";
  EXPECT_EQ(Contents(), expected);  // each write is flushed: readable while open
  WriteLog(4, 0, nullptr);
  WriteLog(3, 0, "after\n");
  EXPECT_EQ(Contents(), expected);
  WriteLog(0, 0, dir_.c_str());  // a new open replaces the file
  EXPECT_EQ(std::string(LogPath()), dir_.string() + "\\logfile.txt");
  EXPECT_EQ(Contents(), "");
}

TEST_F(LogTest, APathThatDoesNotFitIsRefused) {
  // 88 characters + "\" + "logfile.txt" = 100: one too many for the buffer.
  std::string dir = dir_.string();
  dir += std::string(88 - dir.size(), 'x');
  WriteLog(0, 0, dir.c_str());
  EXPECT_FALSE(LogIsOpen());
  EXPECT_STREQ(LogPath(), "");
  dir.pop_back();  // 87 fits exactly
  WriteLog(0, 0, dir.c_str());
  EXPECT_TRUE(LogIsOpen());
  WriteLog(4, 0, nullptr);
  fs::remove_all(dir);
}

}  // namespace
