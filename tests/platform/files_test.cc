#include "platform/files.h"
#include "platform/testing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mv_files_XXXXXX";
    dir_ = mkdtemp(tmpl);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    platform::SetReadFaultHook(nullptr);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  void Write(const std::string& path, const std::string& bytes) {
    if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string dir_;
  fs::path old_;
};

TEST_F(FilesTest, BackslashesAndCaseAreResolved) {
  Write("CV2VID/O_OPEN_A.SAN", "hello");
  platform::File* f = platform::OpenFile("cv2vid\\O_open_a.san", "rb");
  ASSERT_NE(f, nullptr);
  char buf[8] = {};
  EXPECT_EQ(platform::ReadFile(f, buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "hello");
  platform::CloseFile(f);
  EXPECT_EQ(platform::ResolvePath("cv2vid\\o_open_a.SAN"), "CV2VID/O_OPEN_A.SAN");
  EXPECT_EQ(platform::OpenFile("cv2vid\\missing.san", "rb"), nullptr);
  EXPECT_EQ(platform::OpenFile("cv2vid", "rb"), nullptr);  // a directory is no file
  ASSERT_EQ(mkfifo("CV2VID/pipe.CHK", 0600), 0);  // nor a pipe: its open would wait for a writer
  EXPECT_EQ(platform::OpenFile("cv2vid\\pipe.CHK", "rb"), nullptr);
  // The exact name wins over another case; the current folder is found by case too.
  Write("a/Data.bin", "upper");
  Write("a/data.bin", "lower");
  EXPECT_EQ(platform::ResolvePath("A\\data.bin"), "a/data.bin");
  fs::create_directories("Data/Sub");
  ASSERT_TRUE(SetCurrentDirectoryA("data\\sub"));
  char cwd[512];
  ASSERT_GT(GetCurrentDirectoryA(sizeof cwd, cwd), 0u);
  EXPECT_EQ(fs::path(cwd).filename(), "Sub");
}

TEST_F(FilesTest, ShortNamesStandForHostPathsOfAnyLength) {
  const std::string folder = dir_ + "/" + std::string(80, 'f') + "/Mixed";
  Write(folder + "/Demo.San", "data");
  Write(folder + "/DEMO.CHK", "sums");
  std::string name = platform::ShortEngineName(folder + "/Demo.San");
  EXPECT_LE(name.size(), 12u) << name;
  EXPECT_EQ(platform::ShortEngineName(folder + "/Demo.San"), name);  // registered once
  platform::File* f = platform::OpenFile(name.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  platform::CloseFile(f);
  // The name the engines derive by replacing what follows the first dot.
  std::string chk = name.substr(0, name.find('.')) + ".chk";
  EXPECT_EQ(platform::ResolvePath(chk.c_str()), folder + "/DEMO.CHK");
  EXPECT_EQ(platform::ExpandAliases("Cannot open file " + chk + "."),
            "Cannot open file " + folder + "/Demo.chk.");
  // A longer alias sharing a prefix is not taken for a shorter one.
  std::string names[10];
  for (int i = 0; i < 10; ++i)
    names[i] = platform::ShortEngineName(dir_ + "/n" + std::to_string(i) + ".san");
  EXPECT_EQ(platform::ExpandAliases(names[9]), dir_ + "/n9.san");
  EXPECT_EQ(platform::ResolvePath("@nothing.san"), "@nothing.san");
}

TEST_F(FilesTest, FaultHookCorruptsAndShortensReads) {
  Write("f.bin", std::string(100, 'x'));
  int calls = 0;
  platform::SetReadFaultHook([&](const std::string&, long offset, uint8_t* data, size_t got) {
    ++calls;
    EXPECT_EQ(offset, calls == 1 ? 0 : 10);
    data[0] = 'y';
    return got > 10 ? size_t{10} : got;
  });
  platform::File* f = platform::OpenFile("F.BIN", "rb");
  ASSERT_NE(f, nullptr);
  char buf[100];
  EXPECT_EQ(platform::ReadFile(f, buf, 100), 10u);
  EXPECT_EQ(buf[0], 'y');
  EXPECT_EQ(platform::TellFile(f), 10);  // a short read leaves the stream after what was reported
  EXPECT_EQ(platform::ReadFile(f, buf, 100), 10u);
  platform::CloseFile(f);
}

}  // namespace
