// santool export and info on generated files: pictures compared pixel for
// pixel, sound present, damage reported with a failing exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "anim/san_builder.h"
#include "authoring/trs.h"
#include "base/bytes.h"
#include "imageio/imageio.h"

namespace {

using santest::Bytes;
using santest::SanFile;

std::string Tool() {
  const char* dir = std::getenv("MV_BINARY_DIR");
  return std::string(dir ? dir : MV_BINARY_ROOT) + "/tools/santool";
}

struct ToolRun {
  int code;
  std::string out, err;
};
// Runs the built santool; stdout and stderr are kept apart.
ToolRun RunSantool(const std::string& args) {
  char err_name[] = "/tmp/mvsantoolerrXXXXXX";
  int fd = mkstemp(err_name);
  if (fd >= 0) close(fd);
  std::string cmd = Tool() + " " + args + " 2>" + err_name;
  FILE* p = popen(cmd.c_str(), "r");
  ToolRun r{-1, {}, {}};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err_name, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(err_name);
  return r;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t Lines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

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
  ASSERT_EQ(r.code, 0) << r.err;

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
  ASSERT_EQ(
      RunSantool("export " + san + " --frames " + dir_ + "/a --audio " + dir_ + "/a.wav").code, 0);
  ASSERT_EQ(
      RunSantool("export " + san + " --frames " + dir_ + "/b --audio " + dir_ + "/b.wav").code, 0);
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
  ASSERT_TRUE(
      authoring::WriteTrsFile(dir_ + "/s.trs", authoring::BuildTrsBody({{3, "HELLO"}}), true));

  auto ink = [&](const std::string& extra, const std::string& out) {
    ToolRun r = RunSantool("export " + san + " --frames " + dir_ + out + extra);
    EXPECT_EQ(r.code, 0) << r.err;
    imageio::Png8 png;
    EXPECT_TRUE(imageio::ReadPng8(dir_ + out + "/frame_00000.png", &png));
    int n = 0;
    for (uint8_t v : png.indices) n += v != 0;
    return n;
  };
  EXPECT_EQ(ink("", "/plain"), 0);  // no string file: the string is missing
  EXPECT_GT(ink(" --strings " + dir_ + "/s.trs", "/strings"), 0);
}

TEST_F(Santool, InfoReportsStructureTextsAudioAndDamage) {
  Bytes text = {5, 0, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (char c : std::string("Hello")) text.push_back(uint8_t(c));
  text.push_back(0);
  Bytes samples(1000, 128);
  SanFile f(2, 2, 12);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)}, {"TEXT", text}, {"SAUD", Saud(samples)}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)},
           {"FOBJ", santest::SolidObject(0, 0, 2, 2, 3)}});
  std::string san = dir_ + "/info.san";
  Bytes escape = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1b, ']', '0', ';', 'x', 7, 0};
  SanFile g(1);
  g.Frame({{"TEXT", escape}});
  ASSERT_TRUE(santest::WriteFile(dir_ + "/escape.san", g.Finish()));
  ToolRun t = RunSantool("info " + dir_ + "/escape.san");
  EXPECT_EQ(t.code, 0) << t.err;
  EXPECT_TRUE(Has(t.out, "\"\\u001b]0;x\\u0007\"")) << t.out;  // never raw to the terminal
  EXPECT_FALSE(Has(t.out, "\x1b")) << t.out;
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ToolRun r = RunSantool("info " + san + " --json --frames");
  ASSERT_EQ(r.code, 0) << r.err;
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

// Host paths of any length, in any case and with backslashes, for every
// input and output; info and export judge a file alike.
TEST_F(Santool, HostPathsFollowOneRule) {
  const std::string deep = dir_ + "/some/folder/deep/enough/to/make/the/path/longer/than/55/chars";
  std::filesystem::create_directories(deep);
  SanFile f(2);
  f.Frame({{"TRES", Bytes{20, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0}}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  const Bytes bytes = f.Finish();
  ASSERT_TRUE(santest::WriteFile(deep + "/a.san", bytes));
  ASSERT_TRUE(santest::WriteFile(deep + "/a long font name.nut", bytes));
  ASSERT_TRUE(
      authoring::WriteTrsFile(deep + "/strings.trs", authoring::BuildTrsBody({{3, "HI"}}), true));
  ToolRun r = RunSantool("export '" + deep + "/a.san' --frames '" + deep + "/out' --audio '" +
                         deep + "/a.wav' --strings '" + deep + "/strings.trs' --fonts '" + deep +
                         "/a long font name.nut'");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "2 frames written")) << r.out;
  EXPECT_TRUE(std::filesystem::exists(deep + "/a.wav"));
  // The checksum file beside a long path is found by its usual name, and
  // named by its host path.
  ASSERT_TRUE(santest::WriteFile(deep + "/A.CHK", Bytes{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  r = RunSantool("export '" + deep + "/a.san' --frames '" + deep + "/out'");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "CD Checksum failed")) << r.err;
  EXPECT_TRUE(Has(r.err, deep + "/a.CHK")) << r.err;
  std::remove((deep + "/A.CHK").c_str());

  // The engines' rule: backslashes and any case.
  std::string engine_style =
      dir_ + "\\SOME\\folder/deep/enough/to/make/the/path/longer/than/55/chars/A.SAN";
  EXPECT_EQ(RunSantool("info '" + engine_style + "'").code, 0);
  EXPECT_EQ(RunSantool("export '" + engine_style + "' --frames " + dir_ + "/o2").code, 0);

  // What the engines refuse, both commands refuse with the same words.
  const std::string huge = dir_ + "/huge.san";
  { std::ofstream(huge, std::ios::binary) << "ANIM"; }
  std::filesystem::resize_file(huge, 2500ull << 20);  // sparse: no space taken
  for (const std::string& input : {dir_, huge, dir_ + "/none.san"}) {
    for (const std::string& command :
         {"info '" + input + "'", "export '" + input + "' --frames " + dir_ + "/never"}) {
      ToolRun refused = RunSantool(command);
      EXPECT_EQ(refused.code, 1) << command;
      EXPECT_TRUE(Has(refused.err, "Cannot open file " + input + ": ")) << refused.err;
      EXPECT_EQ(Lines(refused.err), 1u) << refused.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/never"));
}

// Outputs never cost an input or what was there, and a run that cannot
// succeed fails before writing anything.
TEST_F(Santool, OutputsAreCheckedBeforeWriting) {
  SanFile f(2);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  f.Frame({{"FOBJ", santest::SolidObject(8, 0, 8, 8, 3)}});
  const Bytes bytes = f.Finish();
  const std::string san = dir_ + "/a.san", font = dir_ + "/f.nut";
  ASSERT_TRUE(santest::WriteFile(san, bytes));
  ASSERT_TRUE(santest::WriteFile(font, bytes));
  auto intact = [&](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) == bytes;
  };
  // An output that is an input is refused, nothing is made.
  for (const std::string& audio : {san, font, dir_ + "/./a.san"}) {
    ToolRun r = RunSantool("export " + san + " --fonts " + font + " --frames " + dir_ +
                           "/made --audio " + audio);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "is one of the input files")) << r.err;
    EXPECT_FALSE(Has(r.out, "frames written"));
  }
  EXPECT_TRUE(intact(san) && intact(font));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/made"));
  // A missing input makes neither the folder chain nor the sound file.
  EXPECT_EQ(RunSantool("export " + dir_ + "/none.san --frames " + dir_ + "/x/y/z --audio " + dir_ +
                       "/x.wav")
                .code,
            1);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/x"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/x.wav"));

  // A used folder: the earlier run's extra frames go, a link is replaced
  // (its target kept), other files stay.
  const std::string used = dir_ + "/used";
  std::filesystem::create_directories(used);
  for (const char* name : {"frame_00002.png", "frame_00104.png", "notes.txt"})
    std::ofstream(used + "/" + name) << "old";
  std::filesystem::create_symlink(san, used + "/frame_00000.png");
  ToolRun r = RunSantool("export " + san + " --frames " + used);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(intact(san));
  EXPECT_FALSE(std::filesystem::is_symlink(used + "/frame_00000.png"));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(used))
    left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"frame_00000.png", "frame_00001.png", "notes.txt"}));
  // An input among the pictures the folder's preparation would remove.
  EXPECT_EQ(RunSantool("export " + used + "/frame_00001.png --frames " + used).code, 1);
  EXPECT_TRUE(std::filesystem::exists(used + "/frame_00001.png"));

  // A device takes the sound where it is, is never removed, and its
  // failure is named.
  const std::string node = dir_ + "/full";
  ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  r = RunSantool("export " + san + " --frames " + dir_ + "/d --audio " + node);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "No space left on device")) << r.err;
  struct stat st;
  EXPECT_TRUE(stat(node.c_str(), &st) == 0 && S_ISCHR(st.st_mode));

  // A frame folder that is a file, or a picture that cannot be written: the
  // cause once, not one line per frame.
  std::ofstream(dir_ + "/file") << "x";
  r = RunSantool("export " + san + " --frames " + dir_ + "/file");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  std::filesystem::create_directories(dir_ + "/blocked/frame_00000.png");
  r = RunSantool("export " + san + " --frames " + dir_ + "/blocked");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_TRUE(Has(r.err, "is a folder")) << r.err;
}

// Every failure fails the run with a message: missing resources, empty,
// headless, frameless, cut and damaged files, for info and export alike.
TEST_F(Santool, FailuresAreReportedAsFailures) {
  SanFile f(2);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}, {"bad!", Bytes{1, 2}}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 4)}});
  const Bytes damaged = f.Finish();
  SanFile g(2);
  g.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  g.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 4)}});
  const Bytes good = g.Finish();
  auto with_count = [&](int count) {
    Bytes b = good;
    b[18] = uint8_t(count);
    b[19] = uint8_t(count >> 8);
    return b;
  };
  Bytes past = good;  // the last frame's size reaches past the end
  size_t last = 8;
  for (size_t at = 8; at < good.size(); at += 8 + ReadBE32(good.data() + at + 4)) last = at;
  santest::PatchBE32(past, last + 4, 300000);
  // Where the bad tag stands in the file.
  const std::string bad_at = std::to_string(
      std::search(damaged.begin(), damaged.end(), std::begin("bad!"), std::begin("bad!") + 4) -
      damaged.begin());
  const std::string ok = dir_ + "/ok.san";
  ASSERT_TRUE(santest::WriteFile(ok, good));
  struct Case {
    std::string name;
    Bytes bytes;
    std::string extra;    // export options
    std::string message;  // on stderr
    bool info_fails;
  };
  const Case cases[] = {
      {"damaged", damaged, "", "damage at " + bad_at + ": bad sub-chunk tag", true},
      {"empty", {}, "", "no ANIM header", true},
      {"eight", {'A', 'N', 'I', 'M', 0, 0, 0, 0}, "", "no header chunk", true},
      {"zero", with_count(0), "", "the header says 0", true},
      {"minus1", with_count(-1), "", "header says -1 frames", true},
      {"minus32768", with_count(-32768), "", "header says -32768 frames", true},
      {"past", past, "", "runs past the end of the file", true},
      {"nofont", good, "--fonts " + ok + "," + dir_ + "/none.nut",
       "Cannot open file " + dir_ + "/none.nut", false},
      {"nostrings", good, "--strings " + dir_ + "/none.trs",
       "Cannot open file " + dir_ + "/none.trs", false},
  };
  for (const Case& c : cases) {
    const std::string san = dir_ + "/" + c.name + ".san";
    ASSERT_TRUE(santest::WriteFile(san, c.bytes));
    ToolRun e = RunSantool("export " + san + " --frames " + dir_ + "/" + c.name + " " + c.extra);
    EXPECT_EQ(e.code, 1) << c.name << e.out;
    EXPECT_TRUE(Has(e.err, c.message)) << c.name << ": " << e.err;
    EXPECT_FALSE(Has(e.out, "frames written")) << c.name;
    ToolRun i = RunSantool("info " + san);
    EXPECT_EQ(i.code, c.info_fails ? 1 : 0) << c.name << i.out;
  }
  EXPECT_TRUE(
      std::filesystem::exists(dir_ + "/damaged/frame_00000.png"));  // shown before the abort
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/nofont"));
  // info reads every file it is given and fails if any fails.
  ToolRun both = RunSantool("info " + dir_ + "/damaged.san " + ok);
  EXPECT_EQ(both.code, 1);
  EXPECT_TRUE(Has(both.out, dir_ + "/damaged.san:\n") && Has(both.out, ok + ":\n")) << both.out;
  ToolRun json = RunSantool("info --json " + ok + " " + ok);
  EXPECT_EQ(json.code, 0);
  EXPECT_EQ(Lines(json.out), 2u) << json.out;
}

// The conventions of a command line, for every command.
TEST_F(Santool, CommandLineConventions) {
  const std::string san = dir_ + "/a.san";
  SanFile f(1);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  struct Case {
    std::string args;
    int code;
    std::string out, err;  // parts of each stream; empty: the stream is empty
  };
  const Case cases[] = {
      {"--help", 0, "Usage: santool", ""},
      {"-h", 0, "Usage: santool", ""},
      {"help", 0, "Usage: santool", ""},
      {"help export", 0, "Usage: santool export", ""},
      {"export -h", 0, "earlier run left there are removed", ""},
      {"info --help", 0, "Usage: santool info", ""},
      {"--version", 0, "santool ", ""},
      {"info --version", 0, "santool ", ""},
      {"", 2, "", "Try 'santool --help'"},
      {"play " + san, 2, "", "Try 'santool --help'"},
      {"info --bogus " + san, 2, "", "--bogus"},
      {"export " + san + " --frames", 2, "", "--frames: 1 required TEXT missing"},
      {"export " + san, 2, "", "--frames is required"},
      {"info -- --help", 1, "", "Cannot open file --help"},
  };
  for (const Case& c : cases) {
    ToolRun r = RunSantool(c.args);
    EXPECT_EQ(r.code, c.code) << c.args;
    if (c.out.empty())
      EXPECT_EQ(r.out, "") << c.args;
    else
      EXPECT_TRUE(Has(r.out, c.out)) << c.args << ": " << r.out;
    if (c.err.empty())
      EXPECT_EQ(r.err, "") << c.args;
    else
      EXPECT_TRUE(Has(r.err, c.err)) << c.args << ": " << r.err;
  }
}

}  // namespace

// santool trace: a small trace whose figures are known. Frames 11 to 14 are
// read on ticks (one tick dropped before frame 14). Frame 12 (shown at 167)
// carries stream byte 2205, which the block mixed at 200 ms, starting at the
// card sample playing then, puts 2205 samples (100 ms) in: heard at 300 ms,
// 133 ms after its picture.
TEST_F(Santool, TraceSummarisesIntervalsDropsAndTheSoundOffset) {
  const std::string path = dir_ + "/t.jsonl";
  std::ofstream(path)
      << R"({"ev":"switch","ms":0,"played":0,"file":"a.san","period":66,"fps":15})" "\n"
         R"({"ev":"screen","ms":30,"played":0,"file":"a.san","frame":10,"pixels":true,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"screen","ms":100,"played":0,"file":"a.san","frame":11,"pixels":true,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"sound","ms":167,"played":0,"file":"a.san","frame":12,"chan":3,"at":2205})" "\n"
         R"({"ev":"screen","ms":167,"played":0,"file":"a.san","frame":12,"pixels":true,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"screen","ms":170,"played":0,"file":"a.san","frame":12,"pixels":false,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"mix","ms":200,"played":4410,"file":"a.san","chan":3,"from":0,"to":4410,"card":4410,"length":4410,"rate":22050})" "\n"
         R"({"ev":"screen","ms":233,"played":0,"file":"a.san","frame":13,"pixels":true,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"drop","ms":367,"played":0,"file":"a.san","frame":13,"ticks":1})" "\n"
         R"({"ev":"screen","ms":367,"played":0,"file":"a.san","frame":14,"pixels":true,"late":false,"fill":90,"end":false})" "\n"
         R"({"ev":"screen","ms":370,"played":0,"file":"a.san","frame":15,"pixels":true,"late":false,"fill":90,"end":true})" "\n";
  ToolRun r = RunSantool("trace " + path);
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* figure :
       {"a.san: 7 screens (1 palette only), frame tick 66.67 ms",
        "mean 89.00 ms, median 67.0 ms, p95 134.0 ms, max 134.0 ms",
        "drift: 67 ms at the end, 67 ms at most", "late frames 0; dropped ticks 1 in 1 drops",
        "channel 3, from frame 11 on: median 133.0 ms, min 133.0 ms, max 133.0 ms (1 frames)"})
    EXPECT_NE(r.out.find(figure), std::string::npos) << figure << "\n" << r.out;
  std::ofstream(path, std::ios::app) << "{\"ev\":\n";
  r = RunSantool("trace " + path);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("line 12"), std::string::npos) << r.err;
  EXPECT_EQ(RunSantool("trace " + dir_ + "/none.jsonl").code, 1);
  // An export traces its play too, under the file's own name.
  SanFile f(14);
  for (int i = 0; i < 14; ++i) f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, uint8_t(i))}});
  ASSERT_TRUE(santest::WriteFile(dir_ + "/f.san", f.Finish()));
  r = RunSantool("export " + dir_ + "/f.san --frames " + dir_ + "/x --trace " + path);
  ASSERT_EQ(r.code, 0) << r.err;
  r = RunSantool("trace " + path);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(dir_ + "/f.san: 15 screens"), std::string::npos) << r.out;
}
