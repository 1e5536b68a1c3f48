#include "diag/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mv_diag_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override {
    WriteLog(4, 0, nullptr);
    fs::remove_all(dir_);
  }
  std::string Contents() {
    std::ifstream in(dir_ / "logfile.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST_F(LogTest, NothingIsWrittenBeforeAnOpenOrAfterAClose) {
  WriteLog(3, 0, "lost\n");
  WriteLog(1, 0x88760005, "lost\n");
  EXPECT_FALSE(LogIsOpen());
  WriteLog(0, 0, dir_.c_str());  // creates the directory
  ASSERT_TRUE(LogIsOpen());
  WriteLog(3, 0, nullptr);  // only flushes
  WriteLog(3, 0, "kept\n");
  WriteLog(4, 0, nullptr);
  WriteLog(3, 0, "after\n");
  WriteLog(7, 0, "other operation\n");
  EXPECT_EQ(Contents(), "kept\n");
}

TEST_F(LogTest, ErrorNamesFollowTheCallersText) {
  WriteLog(0, 0, dir_.c_str());
  WriteLog(1, static_cast<int32_t>(0x88760005u), "dd: ");
  WriteLog(2, static_cast<int32_t>(0x88760005u), "ds: ");
  WriteLog(2, static_cast<int32_t>(0x88780096u), nullptr);
  WriteLog(1, 0, nullptr);
  // Each write is flushed: readable while the file is still open.
  EXPECT_EQ(Contents(),
            "dd: DDERR_ALREADYINITIALIZED\n"
            "ds: DS: Error type not recognized.\n"
            "DSERR_BUFFERLOST\n"
            "DD: Error type not recognized.\n");
}

TEST(LogNames, TablesNameTheirCodes) {
  EXPECT_STREQ(DirectDrawErrorName(static_cast<int32_t>(0x8876024Eu)), "DDERR_UNSUPPORTEDMODE\n");
  EXPECT_STREQ(DirectSoundErrorName(static_cast<int32_t>(0x887800A0u)), "DSERR_OTHERAPPHASPRIO\n");
  EXPECT_STREQ(DirectSoundErrorName(0), "DS: Error type not recognized.\n");
}

TEST_F(LogTest, OneBackslashBeforeTheFileName) {
  std::string with = dir_.string() + "\\";
  WriteLog(0, 0, with.c_str());
  EXPECT_EQ(std::string(LogPath()), dir_.string() + "\\logfile.txt");
  WriteLog(0, 0, dir_.c_str());  // a second open replaces the first file
  EXPECT_EQ(std::string(LogPath()), dir_.string() + "\\logfile.txt");
  EXPECT_TRUE(LogIsOpen());
  EXPECT_TRUE(fs::exists(dir_ / "logfile.txt"));
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
