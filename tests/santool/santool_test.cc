// santool export and info on generated files: pictures compared pixel for
// pixel, sound present, damage reported with a failing exit code.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "anim/san_builder.h"
#include "authoring/trs.h"
#include "imageio/imageio.h"

namespace {

using santest::Bytes;
using santest::SanFile;

std::string Tool() { return std::string(std::getenv("MV_BINARY_DIR")) + "/tools/santool"; }

struct ToolRun {
  int code;
  std::string out;
};
ToolRun RunSantool(const std::string& args) {
  std::string cmd = Tool() + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ToolRun r{-1, {}};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A sound image: a script of one data block at the output rate, then the
// samples.
Bytes Saud(const Bytes& samples) {
  Bytes script{1, 8};
  santest::BE32(script, 0);
  santest::BE32(script, uint32_t(samples.size()));
  Bytes b;
  santest::Tag(b, "SAUD");
  santest::BE32(b, uint32_t(8 + script.size() + 8 + samples.size()));
  santest::Tag(b, "STRK");
  santest::BE32(b, uint32_t(script.size()));
  b.insert(b.end(), script.begin(), script.end());
  santest::Tag(b, "SDAT");
  santest::BE32(b, uint32_t(samples.size()));
  b.insert(b.end(), samples.begin(), samples.end());
  return Bytes(b.begin() + 8, b.end());  // the payload; the builder adds the header
}

class Santool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mvsantoolXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

TEST_F(Santool, ExportWritesEveryFramePixelForPixel) {
  // Frame 0: a 10x5 gradient at (3, 4). Frame 1: a block at (300, 190) cut by
  // the edge, under a new palette. Frame 2: nothing drawn (cleared bitmap).
  Bytes grad;
  for (int i = 0; i < 50; ++i) grad.push_back(uint8_t(i + 1));
  Bytes pal2 = santest::Palette(100);
  SanFile f(3);
  f.Frame({{"FOBJ", santest::RawObject(3, 4, 10, 5, grad)}});
  f.Frame({{"NPAL", pal2}, {"FOBJ", santest::SolidObject(300, 190, 30, 20, 77)}});
  f.Frame({{"ZZZZ", Bytes{1}}});
  std::string san = dir_ + "/pics.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ToolRun r = RunSantool("export " + san + " --frames " + dir_ + "/out");
  ASSERT_EQ(r.code, 0) << r.out;

  std::vector<uint8_t> expect[3];
  for (auto& e : expect) e.assign(320 * 200, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x) expect[0][(4 + y) * 320 + 3 + x] = uint8_t(y * 10 + x + 1);
  for (int y = 190; y < 200; ++y)
    for (int x = 300; x < 320; ++x) expect[1][y * 320 + x] = 77;
  Bytes pal1 = santest::Palette();
  const Bytes* pals[3] = {&pal1, &pal2, &pal2};
  for (int i = 0; i < 3; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/out/frame_%05d.png", i);
    imageio::Png8 png;
    ASSERT_TRUE(imageio::ReadPng8(dir_ + name, &png)) << name;
    EXPECT_EQ(png.width, 320);
    EXPECT_EQ(png.height, 200);
    EXPECT_EQ(png.palette_entries, 256);
    EXPECT_TRUE(png.indices == expect[i]) << name;
    EXPECT_TRUE(Bytes(png.palette.begin(), png.palette.end()) == *pals[i]) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/out/frame_00003.png"));
}

TEST_F(Santool, ExportIsDeterministicAndCapturesSound) {
  Bytes samples;
  for (int i = 0; i < 4000; ++i) samples.push_back(uint8_t((i / 20) % 2 ? 200 : 56));
  SanFile f(4);
  f.Frame({{"SAUD", Saud(samples)}, {"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  for (int i = 1; i < 4; ++i) f.Frame({{"FOBJ", santest::SolidObject(i * 8, 0, 8, 8, 3)}});
  std::string san = dir_ + "/sound.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ASSERT_EQ(RunSantool("export " + san + " --frames " + dir_ + "/a --audio " + dir_ + "/a.wav").code,
            0);
  ASSERT_EQ(RunSantool("export " + san + " --frames " + dir_ + "/b --audio " + dir_ + "/b.wav").code,
            0);
  imageio::Wav8 a, b;
  ASSERT_TRUE(imageio::ReadWav8(dir_ + "/a.wav", &a));
  ASSERT_TRUE(imageio::ReadWav8(dir_ + "/b.wav", &b));
  EXPECT_EQ(a.rate, 22050u);
  EXPECT_TRUE(a.samples == b.samples);
  int loud = 0;
  for (uint8_t s : a.samples) loud += (s > 150 || s < 100);
  EXPECT_GT(loud, 1000) << "the sound did not reach the capture";
}

TEST_F(Santool, ExportDrawsStringChunksOnlyWithTheirStringFile) {
  // A "TRES" payload: x, y, flags, an unused rectangle, then string number 3.
  Bytes tres(18, 0);
  tres[0] = 20;
  tres[2] = 30;
  tres[16] = 3;
  SanFile f(1);
  f.Frame({{"TRES", tres}});
  std::string san = dir_ + "/text.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ASSERT_TRUE(authoring::WriteTrsFile(dir_ + "/s.trs",
                                      authoring::BuildTrsBody({{3, "HELLO"}}), true));

  auto ink = [&](const std::string& extra, const std::string& out) {
    ToolRun r = RunSantool("export " + san + " --frames " + dir_ + out + extra);
    EXPECT_EQ(r.code, 0) << r.out;
    imageio::Png8 png;
    EXPECT_TRUE(imageio::ReadPng8(dir_ + out + "/frame_00000.png", &png));
    int n = 0;
    for (uint8_t v : png.indices) n += v != 0;
    return n;
  };
  EXPECT_EQ(ink("", "/plain"), 0);  // no string file: the string is missing
  EXPECT_GT(ink(" --strings " + dir_ + "/s.trs", "/strings"), 0);
}

TEST_F(Santool, ExportFailsOnMissingOrDamagedFiles) {
  ToolRun missing = RunSantool("export " + dir_ + "/none.san --frames " + dir_ + "/x");
  EXPECT_NE(missing.code, 0);
  EXPECT_NE(missing.out.find("Cannot open file"), std::string::npos) << missing.out;

  SanFile f(2);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}, {"bad!", Bytes{1, 2}}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 4)}});
  std::string san = dir_ + "/bad.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ToolRun damaged = RunSantool("export " + san + " --frames " + dir_ + "/y");
  EXPECT_NE(damaged.code, 0);
  EXPECT_NE(damaged.out.find("Bad IFF Header found 62616421"), std::string::npos)
      << damaged.out;
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/y/frame_00000.png"));  // shown before the abort
}

TEST_F(Santool, InfoReportsStructureTextsAudioAndDamage) {
  Bytes text = {5, 0, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (char c : std::string("Hello")) text.push_back(uint8_t(c));
  text.push_back(0);
  Bytes samples(1000, 128);
  SanFile f(2, 2, 12);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)}, {"TEXT", text}, {"SAUD", Saud(samples)}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)}, {"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)}});
  std::string san = dir_ + "/info.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ToolRun r = RunSantool("info " + san + " --json --frames");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("\"version\": 2, \"frame_count\": 2, \"rate\": 12"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"codecs\": {\"20\": 3}"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"text\": \"Hello\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"kind\": \"SAUD\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"samples\": 1000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"rates\": [22050]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"tag\": \"TEXT\", \"size\": 22}"), std::string::npos) << r.out;

  // A sub-chunk that runs past its frame, found with its offset.
  Bytes bad = f.Finish();
  santest::PatchBE32(bad, 8 + 8 + 794 + 8 + 4, 99999);
  std::string badsan = dir_ + "/infobad.san";
  ASSERT_TRUE(santest::WriteFile(badsan, bad));
  ToolRun d = RunSantool("info " + badsan);
  EXPECT_NE(d.code, 0);
  EXPECT_NE(d.out.find("damage at 818: sub-chunk FOBJ of 99999 bytes runs past the end"),
            std::string::npos)
      << d.out;
}

}  // namespace
