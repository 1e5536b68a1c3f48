// The player end to end on damaged or missing data: every run ends by
// itself and says what was wrong in its error log, once (that runs on the
// virtual clock repeat themselves exactly is timing_test's).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "player_harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::RunPlayer;
using e2e::TempDir;

using e2e::ReadAll;
using e2e::WriteAll;

// A checksum file for `data` (8 unused bytes, a sum per 2048-byte sector,
// the total), with `bump` added to sector `bad`'s sum (and to the total, so
// the table itself loads).
std::string Checksums(const std::string& data, size_t bad, uint32_t bump) {
  std::string out(8, '\0');
  auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i)));
  };
  uint32_t total = 0;
  for (size_t at = 0, sector = 0; at < data.size(); at += 2048, ++sector) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 2048; i += 4) {
      uint32_t word = 0;
      for (size_t b = 0; b < 4; ++b)
        if (at + i + b < data.size()) word |= uint32_t(uint8_t(data[at + i + b])) << (8 * b);
      sum += word;
    }
    if (sector == bad) sum += bump;
    put(sum);
    total += sum;
  }
  put(total);
  return out;
}

// The header's frame count: a little-endian 16-bit value two bytes into the
// first chunk's payload, behind the 8-byte file header and that chunk's own.
void SetFrameCount(const std::string& path, int16_t count) {
  std::string bytes = ReadAll(path);
  bytes[18] = char(count);
  bytes[19] = char(uint16_t(count) >> 8);
  WriteAll(path, bytes);
}

// The demonstration generator's data, made once for the tests below.
class GeneratedDamage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    demo_ = new TempDir;
    const char* dir = std::getenv("MV_BINARY_DIR");
    std::string tool = std::string(dir ? dir : MV_BINARY_ROOT) + "/data/make-demo-data";
    ASSERT_EQ(std::system((tool + " " + demo_->path() + " >/dev/null 2>&1").c_str()), 0);
  }
  static void TearDownTestSuite() {
    delete demo_;
    demo_ = nullptr;
  }
  // A fresh copy of the generated data.
  std::string Copy(const std::string& name) {
    std::string to = work_ / name;
    fs::copy(demo_->path(), to, fs::copy_options::recursive);
    return to;
  }
  static TempDir* demo_;
  TempDir work_;
};
TempDir* GeneratedDamage::demo_ = nullptr;

uint32_t BigEndian(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
         uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
}
void PutBigEndian(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (24 - 8 * i));
}
// The file offset of top-level chunk `index` (0: the header chunk).
size_t TopChunk(const std::string& b, int index) {
  size_t at = 8;
  for (int i = 0; i < index; ++i) at += 8 + BigEndian(b, at + 4);
  return at;
}

// Damage the generator's files in one way each: the run ends by itself with
// the documented message (or plays on, where a missing resource only costs
// its text), with the documented status, and never crashes or hangs (a
// timeout on the virtual clock would answer 3).
TEST_F(GeneratedDamage, EachDamageEndsOrContinuesAsDesigned) {
  const std::string kFront = "/lanvid/demofrnt.san";
  auto edit = [](const std::string& path, const std::function<void(std::string&)>& change) {
    std::string bytes = ReadAll(path);
    change(bytes);
    WriteAll(path, bytes);
  };
  const std::string kChk = "/lanvid/demofrnt.CHK";
  const struct {
    const char* name;
    const char* demo;
    std::function<void(const std::string& dir)> damage;
    std::string error;  // "": any message
    bool plays_on;      // every screen of the undamaged run is shown
  } cases[] = {
      {"second file missing", "/thelantern",
       [](const std::string& d) { fs::remove(d + "/lanvid/demoend.san"); },
       "Cannot open file lanvid\\demoend.san", false},
      {"frame count 0", "/thelantern", [&](const std::string& d) { SetFrameCount(d + kFront, 0); },
       "Read invalid frame count 0 -- CD may be dirty or damaged.", false},
      {"frame count -32768", "/thelantern",
       [&](const std::string& d) { SetFrameCount(d + kFront, -32768); },
       "Read invalid frame count -32768 -- CD may be dirty or damaged.", false},
      {"sector sum that never matches", "/thelantern",
       [&](const std::string& d) { WriteAll(d + kChk, Checksums(ReadAll(d + kFront), 1, 1)); },
       "Checksum of sector 1 of lanvid\\demofrnt.san (offset 2048) never matched; read as it is",
       false},
      {"checksum file too large", "/thelantern",
       [&](const std::string& d) { WriteAll(d + kChk, std::string(ReadAll(d + kChk).size() + 4, 0)); },
       "Checksum file lanvid\\demofrnt.CHK is too large", false},
      {"truncated inside a frame", "/thelantern",
       [&](const std::string& d) {
         edit(d + kFront, [](std::string& b) { b.resize(TopChunk(b, 3) + 100); });
         fs::remove(d + "/lanvid/demofrnt.CHK");
       },
       "File Streamer:  Read past end of file", false},
      {"truncated with its checksums", "/thelantern",
       [&](const std::string& d) {
         edit(d + kFront, [](std::string& b) { b.resize(b.size() / 2 + 1); });
       },
       "File Streamer:  Read past end of file", false},
      {"flipped bytes", "/thelantern",
       [&](const std::string& d) {
         edit(d + kFront, [](std::string& b) {
           for (size_t at = TopChunk(b, 1); at < b.size(); at += 211) b[at] = char(~b[at]);
         });
         fs::remove(d + "/lanvid/demofrnt.CHK");
       },
       "", false},
      {"sub-chunk running past its frame", "/thelantern",
       [&](const std::string& d) {
         edit(d + kFront, [](std::string& b) {
           size_t frame = TopChunk(b, 2);
           PutBigEndian(b, frame + 12, BigEndian(b, frame + 4));
         });
         fs::remove(d + "/lanvid/demofrnt.CHK");
       },
       "Bad IFF Header found", false},
      {"top-level chunk of 300001 bytes", "/thelantern",
       [&](const std::string& d) {
         edit(d + kFront, [](std::string& b) { PutBigEndian(b, TopChunk(b, 2) + 4, 300001); });
         fs::remove(d + "/lanvid/demofrnt.CHK");
       },
       "File Streamer:  Invalid frame size 300001", false},
      {"first font missing", "/cobalt2",
       [](const std::string& d) { fs::remove(d + "/cv2vid/TALKFONT.NUT"); },
       "Cannot open resource CV2VID\\TALKFONT.NUT. (2 times)", true},
      {"last font missing", "/cobalt2",
       [](const std::string& d) { fs::remove(d + "/cv2vid/TITLFONT.NUT"); },
       "Cannot open resource CV2VID\\TITLFONT.NUT. (2 times)", true},
      {"string file missing", "/cobalt2",
       [](const std::string& d) { fs::remove(d + "/cv2vid/COBALT2.TRS"); },
       "Cannot open resource CV2VID\\COBALT2.TRS.", true},
  };
  auto run = [&](const std::string& data, const std::string& capture, const char* demo) {
    return RunPlayer({"--platform=headless", "--data=" + data, "--capture=" + capture,
                      "--timeout=3600", demo});
  };
  const std::string clean_capture = work_ / "clean";
  ASSERT_EQ(run(demo_->path(), clean_capture, "/cobalt2").exit_code, 0);
  const size_t clean_screens = e2e::Screens(clean_capture).size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string data = Copy(c.name);
    c.damage(data);
    std::string capture = work_ / (std::string(c.name) + ".screens");
    e2e::RunResult r = run(data, capture, c.demo);
    // Recorded errors fail the run; 3 would be a hang ended by the timeout.
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    size_t screens = e2e::Screens(capture).size();
    EXPECT_GT(screens, 0u);
    if (c.plays_on) {
      EXPECT_EQ(screens, clean_screens);
    }
  }
}

}  // namespace
