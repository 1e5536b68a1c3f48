#include "stream/slots.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "files_fixture.h"
#include "platform/files.h"
#include "platform/testing.h"
#include "base/log.h"
#include "base/switches.h"

namespace {

using namespace streamtest;

class SlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearLogs();
    ResetSwitches();
    SetSwitch(kSwitchDebugLevel, 1);  // notes are recorded
  }
  void TearDown() override {
    platform::SetReadFaultHook(nullptr);
    ResetSwitches();
  }
  // Opens `name` in mode 2 and returns its checksum sector count.
  static int32_t Sectors(const std::string& name) {
    int16_t s = FileOpen(name.c_str(), 2);
    EXPECT_NE(s, 0) << name;
    int32_t sectors = FileChecksumSectors(s);
    FileClose(s);
    return sectors;
  }
  TempDir dir_{"slots"};
};

TEST_F(SlotsTest, FortyNineSlotsSeekAndRead) {
  WriteBytes(dir_ / "a.bin", Pattern(1, 5000));
  std::string name = dir_ / "a.bin";
  for (int i = 1; i <= 49; ++i) ASSERT_EQ(FileOpen(name.c_str(), 0), i);
  EXPECT_EQ(FileOpen(name.c_str(), 2), 0);  // the 50th open file
  FileClose(21);
  EXPECT_EQ(FileOpen(name.c_str(), 2), 21);
  for (int16_t s = 0; s <= 49; ++s) FileClose(s);
  EXPECT_EQ(FileOpen((dir_ / "missing.bin").c_str(), 2), 0);
  EXPECT_EQ(FileSeek(1, 0, 0), -1);

  int16_t s = FileOpen((dir_ / "A.BIN").c_str(), 2);  // case-insensitive
  ASSERT_NE(s, 0);
  EXPECT_EQ(FileLength(s), 5000);
  EXPECT_EQ(FileChecksumSectors(s), -1);  // no checksum file: unverified
  EXPECT_EQ(FileSeek(s, 0, 2), 5000);
  EXPECT_EQ(FileSeek(s, 100, 0), 100);
  EXPECT_EQ(FileSeek(s, 50, 1), 150);
  uint8_t b[10];
  EXPECT_EQ(FileReadChecked(s, b, 10), 10);
  EXPECT_EQ(b[0], PatternByte(1, 150));
  EXPECT_EQ(FileTell(s), 160);
  FileClose(s);
}

TEST_F(SlotsTest, ChecksumTableIsFoundBesideTheDataFile) {
  auto data = Pattern(2, 3 * kSectorBytes);
  std::filesystem::create_directories(dir_.path() / "cv2vid");
  WriteBytes(dir_.path() / "cv2vid" / "O_open_a.san", data);
  auto chk = ChecksumFile(data);
  WriteBytes(dir_.path() / "cv2vid" / "O_open_a.CHK", chk);
  std::string name = dir_.path().string() + "\\CV2VID\\O_open_a.san";
  EXPECT_EQ(Sectors(name), 3);
  EXPECT_EQ(NoteLogEntries(),
            (std::vector<std::string>{"Reading checksum size " + std::to_string(chk.size()) + ".\n",
                                      "+ checksum okay."}));
  // Other modes never load a table.
  int16_t s = FileOpen(name.c_str(), 0);
  EXPECT_EQ(FileChecksumSectors(s), -1);
  FileClose(s);
  // The table's name comes from the file name only, not the folder's dots.
  std::filesystem::create_directories(dir_.path() / "my.dir");
  WriteBytes(dir_.path() / "my.dir" / "clip.v1.san", data);
  WriteBytes(dir_.path() / "my.dir" / "clip.CHK", ChecksumFile(Pattern(3, kSectorBytes)));
  WriteBytes(dir_.path() / "my.CHK", ChecksumFile(Pattern(9, 2 * kSectorBytes)));
  EXPECT_EQ(Sectors(dir_ / "my.dir/clip.v1.san"), 1);
}

TEST_F(SlotsTest, OverlongChecksumNameOpensUnverified) {
  // 59 characters before the dot fit the 64-character name; 60 do not.
  std::string base = dir_.path().string() + "/";
  if (base.size() > 50) GTEST_SKIP() << "temporary folder name too long for this test";
  std::string fits = base + std::string(59 - base.size(), 'f');
  std::string too_long = base + std::string(60 - base.size(), 'g');
  auto data = Pattern(4, kSectorBytes);
  for (const std::string& n : {fits, too_long}) {
    WriteBytes(n + ".san", data);
    WriteBytes(n + ".CHK", ChecksumFile(data));
  }
  // What a cut name would find: never opened.
  WriteBytes(too_long.substr(0, 59) + ".CHK", ChecksumFile(data, 1));
  WriteBytes(too_long.substr(0, 59) + ".CH", ChecksumFile(data, 1));
  EXPECT_EQ(Sectors(fits + ".san"), 1);
  EXPECT_EQ(Sectors(too_long + ".san"), -1);
  EXPECT_TRUE(ErrorLogEntries().empty());
}

TEST_F(SlotsTest, WrongTotalIsReloadedFiftyOneTimesThenUnverified) {
  auto data = Pattern(5, 2 * kSectorBytes);
  WriteBytes(dir_ / "bad.san", data);
  WriteBytes(dir_ / "bad.CHK", ChecksumFile(data, 0x10));
  int loads = 0;
  platform::SetReadFaultHook([&](const std::string& path, long, uint8_t*, size_t got) {
    loads += path.ends_with(".CHK");
    return got;
  });
  int16_t s = FileOpen((dir_ / "bad.san").c_str(), 2);
  ASSERT_NE(s, 0);
  EXPECT_EQ(loads, 51);
  EXPECT_EQ(FileChecksumSectors(s), -1);
  auto errors = ErrorLogEntries();
  ASSERT_EQ(errors.size(), 10u);  // the ring keeps the last 10
  uint32_t sum = SectorChecksum(data.data()) + SectorChecksum(data.data() + kSectorBytes);
  char expected[200];
  snprintf(expected, sizeof expected,
           "CD Checksum failed - CD may be dirty or damaged.\nCode: %s %X, %X ",
           (dir_ / "bad.CHK").c_str(), sum, sum + 0x10);
  EXPECT_EQ(errors.back(), expected);
  FileClose(s);
}

// A table needs 12 bytes and 4 per sector of the data file (up to 3 more are
// ignored). Shorter than 12: no total, unverified without an error. Larger
// than the data file needs: refused with an error, never read.
TEST_F(SlotsTest, ChecksumFileSizes) {
  auto data = Pattern(6, kSectorBytes + 1);  // two sectors
  WriteBytes(dir_ / "t.san", data);
  auto fits = ChecksumFile(data);
  auto fits_plus3 = fits;
  fits_plus3.insert(fits_plus3.end(), 3, 0xEE);
  auto one_more = ChecksumFile(Pattern(6, 3 * kSectorBytes));
  std::vector<uint8_t> total_one(12, 0);
  total_one[8] = 1;
  const std::tuple<std::vector<uint8_t>, int, size_t, int> cases[] = {
      // table, sectors, errors, reads of the table
      {std::vector<uint8_t>(12, 0), 0, 0, 1},
      {total_one, -1, 10, 51},
      {std::vector<uint8_t>(0), -1, 0, 0},
      {std::vector<uint8_t>(11, 0xFF), -1, 0, 1},
      {fits, 2, 0, 1},
      {fits_plus3, 2, 0, 1},
      {one_more, -1, 1, 0},
      {std::vector<uint8_t>(1 << 20, 0), -1, 1, 0},
  };
  for (const auto& [table, sectors, errors, reads] : cases) {
    ClearLogs();
    WriteBytes(dir_ / "t.CHK", table);
    int table_reads = 0;
    platform::SetReadFaultHook([&](const std::string& path, long, uint8_t*, size_t got) {
      table_reads += path.ends_with(".CHK");
      return got;
    });
    EXPECT_EQ(Sectors(dir_ / "t.san"), sectors) << table.size();
    EXPECT_EQ(ErrorLogEntries().size(), errors) << table.size();
    EXPECT_EQ(table_reads, reads) << table.size();
    if (reads == 0 && errors == 1) {
      EXPECT_NE(ErrorLogEntries()[0].find((dir_ / "t.CHK") + " is too large"), std::string::npos)
          << ErrorLogEntries()[0];
    }
  }
}

// Sector verification with faults injected into the reads.
class VerifyTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    data_ = Pattern(7, 8 * kSectorBytes + 100);
    WriteBytes(dir_ / "v.san", data_);
    WriteBytes(dir_ / "v.CHK", ChecksumFile(data_));
    slot_ = FileOpen((dir_ / "v.san").c_str(), 2);
    ASSERT_EQ(FileChecksumSectors(slot_), 9);
  }
  void TearDown() override {
    FileClose(slot_);
    SlotsTest::TearDown();
  }
  // Damages the byte at file offset `target` in the first `times` reads that
  // cover it (-1: always); counts reads by their start offset.
  void Damage(long target, int times) {
    reads_.clear();
    damaged_ = 0;
    platform::SetReadFaultHook(
        [this, target, times](const std::string& path, long offset, uint8_t* d, size_t got) {
          if (path.find("v.san") == std::string::npos) return got;
          ++reads_[offset];
          if (target >= offset && target < offset + static_cast<long>(got) &&
              (times < 0 || damaged_ < times)) {
            ++damaged_;
            d[target - offset] ^= 0x40;
          }
          return got;
        });
  }
  std::vector<uint8_t> data_;
  int16_t slot_ = 0;
  std::map<long, int> reads_;
  int damaged_ = 0;
};

TEST_F(VerifyTest, ReadAtOffset1000VerifiesExactlySectorOne) {
  std::vector<uint8_t> b(4096);
  for (long target : {1000L, 2047L, 4096L, 5095L}) {  // outside sector 1: not checked
    Damage(target, -1);
    FileSeek(slot_, 1000, 0);
    EXPECT_EQ(FileReadChecked(slot_, b.data(), 4096), 4096) << target;
    EXPECT_EQ(reads_[1000], 1) << target;
  }
  for (long target : {2048L, 4095L}) {  // inside sector 1: re-read until it heals
    Damage(target, 3);
    FileSeek(slot_, 1000, 0);
    EXPECT_EQ(FileReadChecked(slot_, b.data(), 4096), 4096);
    EXPECT_EQ(reads_[1000], 4);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), data_.begin() + 1000));
  }
  EXPECT_EQ(FileTell(slot_), 5096);
  EXPECT_EQ(NoteLogEntries().back(), "CD Checksum error--CD may be dirty or damaged");
  // The file's last, partial sector is never a whole sector.
  Damage(8 * kSectorBytes + 5, -1);
  FileSeek(slot_, 8 * kSectorBytes, 0);
  EXPECT_EQ(FileReadChecked(slot_, b.data(), kSectorBytes), 100);
  EXPECT_EQ(reads_[8 * kSectorBytes], 1);
}

TEST_F(VerifyTest, SectorThatNeverHealsIsRecordedAfter306ReadsAndHandedOnAsRead) {
  std::vector<uint8_t> b(3 * kSectorBytes);
  Damage(2 * kSectorBytes + 7, -1);
  FileSeek(slot_, kSectorBytes, 0);
  EXPECT_EQ(FileReadChecked(slot_, b.data(), 3 * kSectorBytes), 3 * kSectorBytes);
  EXPECT_EQ(reads_[kSectorBytes], 306);
  EXPECT_EQ(reads_[0], 5);  // after the 51st, 102nd, 153rd, 204th and 255th failure
  EXPECT_EQ(FileTell(slot_), 4 * kSectorBytes);
  EXPECT_EQ(b[kSectorBytes + 7], data_[2 * kSectorBytes + 7] ^ 0x40);  // the damage as read
  EXPECT_EQ(ErrorLogEntries(),
            std::vector<std::string>{"Checksum of sector 2 of " + (dir_ / "v.san") +
                                     " (offset 4096) never matched; read as it is"});
  // Healed later: the next block reads normally, without an error.
  platform::SetReadFaultHook(nullptr);
  ClearLogs();
  EXPECT_EQ(FileReadChecked(slot_, b.data(), 2 * kSectorBytes), 2 * kSectorBytes);
  EXPECT_TRUE(ErrorLogEntries().empty());
}

TEST_F(VerifyTest, SectorsPastAShortTableAreUnverified) {
  // A table for the first two sectors only.
  WriteBytes(dir_ / "v.CHK", ChecksumFile({data_.begin(), data_.begin() + 2 * kSectorBytes}));
  int16_t s = FileOpen((dir_ / "v.san").c_str(), 2);
  ASSERT_EQ(FileChecksumSectors(s), 2);
  std::vector<uint8_t> b(6 * kSectorBytes);
  Damage(5 * kSectorBytes, -1);
  EXPECT_EQ(FileReadChecked(s, b.data(), 6 * kSectorBytes), 6 * kSectorBytes);
  EXPECT_EQ(reads_[0], 1);
  Damage(kSectorBytes + 1, 2);
  FileSeek(s, 0, 0);
  EXPECT_EQ(FileReadChecked(s, b.data(), 6 * kSectorBytes), 6 * kSectorBytes);
  EXPECT_EQ(reads_[0], 3);
  FileClose(s);
}

TEST_F(VerifyTest, ShortReadVerifiesOnlyWhatArrived) {
  // A read that comes short leaves the rest of the buffer alone; the caller
  // reads again, so the missing sectors are not judged.
  platform::SetReadFaultHook([](const std::string& path, long, uint8_t*, size_t got) {
    return path.find("v.san") == std::string::npos ? got : std::min<size_t>(got, 3000);
  });
  std::vector<uint8_t> b(4 * kSectorBytes, 0xEE);
  EXPECT_EQ(FileReadChecked(slot_, b.data(), 4 * kSectorBytes), 3000);
  EXPECT_EQ(FileTell(slot_), 3000);
}

}  // namespace
