// santool export and info on generated files: pictures compared pixel for
// pixel, sound present, damage reported with a failing exit code.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

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
#include "text/font.h"
#include "text/line.h"
#include "text/resource.h"
#include "santool/run.h"
#include "platform/files.h"
#include "stream/slots.h"

namespace {

using santest::Bytes;
using santest::RunSantool;
using santest::Has;
using santest::ToolRun;
using santest::SanFile;
using Json = nlohmann::json;

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

using Santool = santest::TempFolderTest;

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
  Bytes escape = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1b, ']', '0', ';', 'x', 7, 0xE9, 0};
  SanFile g(1);
  g.Frame({{"TEXT", escape}});
  ASSERT_TRUE(santest::WriteFile(dir_ + "/escape.san", g.Finish()));
  ToolRun t = RunSantool("info " + dir_ + "/escape.san");
  EXPECT_EQ(t.code, 0) << t.err;
  EXPECT_TRUE(Has(t.out, "\"\\u001b]0;x\\u0007\\u00e9\"")) << t.out;  // never raw to the terminal
  EXPECT_FALSE(Has(t.out, "\x1b")) << t.out;
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ToolRun r = RunSantool("info " + san + " --json --frames");
  ASSERT_EQ(r.code, 0) << r.err;
  const Json j = Json::parse(r.out);
  EXPECT_EQ(j["file"], san);
  EXPECT_EQ(j["version"], 2);
  EXPECT_EQ(j["frame_count"], 2);
  EXPECT_EQ(j["rate"], 12);
  EXPECT_EQ(j["codecs"], Json({{"20", 3}}));
  EXPECT_EQ(j["tags"]["FOBJ"], 3);
  EXPECT_EQ(j["texts"][0]["text"], "Hello");
  EXPECT_EQ(j["texts"][0]["x"], 5);
  EXPECT_EQ(j["audio"][0]["kind"], "SAUD");
  EXPECT_EQ(j["audio"][0]["samples"], 1000);
  EXPECT_EQ(j["audio"][0]["rates"], Json({22050}));
  EXPECT_EQ(j["frames"][0]["chunks"][1], Json({{"tag", "TEXT"}, {"size", 22}}));
  EXPECT_TRUE(j["damage"].empty());
  // Bytes above 127 of a text are kept, as the characters of the same number.
  EXPECT_EQ(Json::parse(RunSantool("info --json " + dir_ + "/escape.san").out)["texts"][0]["text"],
            "\x1b]0;x\x07\u00e9");

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

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// chk writes what the player's file slots accept; verify and the player find
// the same bad sectors; every way a checksum file can be wrong fails verify.
TEST_F(Santool, ChecksumFilesWrittenAndVerified) {
  const std::string deep = dir_ + "/a/folder/deep/enough/for/a/path/longer/than/55/characters";
  std::filesystem::create_directories(deep);
  SanFile f(2);
  Bytes pixels(100 * 100);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  f.Frame({{"FOBJ", santest::RawObject(0, 0, 100, 100, pixels)}});
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  const Bytes good = f.Finish();
  const size_t sectors = (good.size() + 2047) / 2048;  // the last one short
  ASSERT_GE(sectors, 5u);
  ASSERT_NE(good.size() % 2048, 0u);
  const std::string n = std::to_string(sectors), need = std::to_string(12 + 4 * sectors);
  const std::string san = deep + "/Film.One.san", chk = deep + "/Film.CHK";
  ASSERT_TRUE(santest::WriteFile(san, good));
  ToolRun r = RunSantool("chk '" + san + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadBytes(chk), MakeChecksumFile(good.data(), good.size()));
  EXPECT_EQ(ReadBytes(chk).size(), 12 + 4 * sectors);
  r = RunSantool("verify '" + san + "'");
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, n + " sectors match " + chk)) << r.out;
  // The player reads it verified and without a complaint.
  int16_t slot = FileOpen(platform::ShortEngineName(san).c_str(), 2);
  EXPECT_EQ(FileChecksumSectors(slot), int32_t(sectors));
  FileClose(slot);
  r = RunSantool("export '" + san + "' --frames " + dir_ + "/ok");
  EXPECT_EQ(r.code, 0) << r.err;

  // Bytes flipped in sectors 1 and 3: both named, with their offsets.
  Bytes bad = good;
  bad[2048 + 5] ^= 1;
  bad[3 * 2048 + 100] ^= 0x80;
  ASSERT_TRUE(santest::WriteFile(san, bad));
  r = RunSantool("verify '" + san + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.out, "bad sector 1 at offset 2048") && Has(r.out, "bad sector 3 at offset 6144"))
      << r.out;
  r = RunSantool("verify --json '" + san + "' '" + san + "'");
  EXPECT_EQ(r.code, 1);
  ASSERT_EQ(Lines(r.out), 2u) << r.out;
  Json j = Json::parse(r.out.substr(0, r.out.find('\n')));
  EXPECT_EQ(j["bad"], Json::parse(R"([{"sector":1,"offset":2048},{"sector":3,"offset":6144}])"));
  EXPECT_EQ(j["verified"], sectors);
  EXPECT_EQ(j["ok"], false);
  // The player's reading names the same sectors in its error log.
  r = RunSantool("export '" + san + "' --frames " + dir_ + "/bad");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "sector 1 of") && Has(r.err, "(offset 2048)")) << r.err;

  // The checksum file itself: cut, grown, added up wrong, missing.
  ASSERT_TRUE(santest::WriteFile(san, good));
  const Bytes table = ReadBytes(chk);
  Bytes wrong_total = table;
  wrong_total.back() ^= 1;
  Bytes grown = table;
  grown.insert(grown.end() - 4, {0, 0, 0, 0});  // one more sector of sum 0: the total still holds
  struct Case {
    std::string name;
    Bytes bytes;
    std::string message;
  };
  const Case cases[] = {
      {"cut", Bytes(table.begin(), table.begin() + 8), "Film.CHK is 8 bytes; " + n + " sectors need " + need},
      {"grown", grown, "is " + std::to_string(16 + 4 * sectors) + " bytes; " + n + " sectors need " + need},
      {"total", wrong_total, "the total of the checksum file is"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(santest::WriteFile(chk, c.bytes));
    r = RunSantool("verify '" + san + "'");
    EXPECT_EQ(r.code, 1) << c.name;
    EXPECT_TRUE(Has(r.out, c.message)) << c.name << ": " << r.out;
  }
  std::remove(chk.c_str());
  r = RunSantool("verify --json '" + san + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(Json::parse(r.out)["problems"][0], "no checksum file " + chk)) << r.out;

  // chk refuses, before writing anything, a checksum file as its own input
  // and two inputs that share one checksum file.
  ASSERT_TRUE(santest::WriteFile(deep + "/Film.wav", good));
  for (const std::string& args : {"'" + san + "' '" + deep + "/Film.wav'", "'" + chk + "'"}) {
    ASSERT_TRUE(santest::WriteFile(chk, table));
    r = RunSantool("chk " + args);
    EXPECT_EQ(r.code, 1) << args;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_EQ(ReadBytes(chk), table) << args;
  }

  // The bundled demonstration data comes with checksum files that hold; its
  // maker fails on an output it cannot write, and replaces a dangling link.
  const char* bin = std::getenv("MV_BINARY_DIR");
  const std::string demo = dir_ + "/demo";
  const std::string maker = std::string(bin ? bin : MV_BINARY_ROOT) + "/data/make-demo-data ";
  std::filesystem::create_directories(demo + "/lanvid/demoend.CHK");
  std::filesystem::create_symlink(dir_ + "/outside", demo + "/lanvid/demofrnt.san");
  EXPECT_NE(std::system((maker + demo + " --small 2>/dev/null").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/outside"));
  std::filesystem::remove(demo + "/lanvid/demoend.CHK");
  ASSERT_EQ(std::system((maker + demo + " --small").c_str()), 0);
  r = RunSantool("verify " + demo + "/cv2vid/*.san " + demo + "/lanvid/*.san");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Lines(r.out), 4u) << r.out;
}

// --from/--to write a part of a full export's frames, the earlier frames
// still played; --scale enlarges each of them pixel for pixel.
TEST_F(Santool, ExportRangesAndScale) {
  SanFile f(5);
  f.Frame({{"FOBJ", santest::SolidObject(0, 0, 8, 8, 3)}});
  f.Frame({{"NPAL", santest::Palette(40)}, {"FOBJ", santest::SolidObject(10, 0, 8, 8, 4)}});
  for (int i = 2; i < 5; ++i) f.Frame({{"FOBJ", santest::SolidObject(i * 20, i, 9, 7, uint8_t(i))}});
  const std::string san = dir_ + "/r.san";
  ASSERT_TRUE(santest::WriteFile(san, f.Finish()));
  ASSERT_EQ(RunSantool("export " + san + " --frames " + dir_ + "/full").code, 0);
  ToolRun r = RunSantool("export " + san + " --frames " + dir_ + "/part --from 2 --to 3 --scale 3");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "2 frames written")) << r.out;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/part"))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"frame_00002.png", "frame_00003.png"}));
  for (const std::string& name : names) {
    imageio::Png8 full, part;
    ASSERT_TRUE(imageio::ReadPng8(dir_ + "/full/" + name, &full));
    ASSERT_TRUE(imageio::ReadPng8(dir_ + "/part/" + name, &part));
    ASSERT_EQ(part.width, 960);
    ASSERT_EQ(part.height, 600);
    EXPECT_EQ(part.palette, full.palette) << name;  // frame 1's palette change was played
    size_t differ = 0;
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 960; ++x)
        differ += part.indices[size_t(y) * 960 + x] != full.indices[size_t(y / 3) * 320 + x / 3];
    EXPECT_EQ(differ, 0u) << name;
  }
  // Up to the end when --to is left out.
  r = RunSantool("export " + san + " --frames " + dir_ + "/tail --from 4");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "1 frames written")) << r.out;
  r = RunSantool("export " + san + " --frames " + dir_ + "/past --to 5");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "past the last frame, 4")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/past"));
}

// cmake --install puts the programs, the manual page and the completion in
// their places under the prefix.
TEST_F(Santool, InstallRules) {
  const char* bin = std::getenv("MV_BINARY_DIR");
  std::string cmd = std::string(MV_CMAKE) + " --install " + (bin ? bin : MV_BINARY_ROOT) +
                    " --prefix " + dir_ + "/usr >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (const char* path : {"/usr/bin/santool", "/usr/bin/morvane-demos", "/usr/share/man/man1/santool.1",
                           "/usr/share/bash-completion/completions/santool"})
    EXPECT_TRUE(std::filesystem::exists(dir_ + path)) << path;
  // The completion offers the commands, their options and the films.
  std::ofstream(dir_ + "/film.san") << "x";
  std::ofstream(dir_ + "/notes.txt") << "x";
  const std::string script = "cd " + dir_ + " && source usr/share/bash-completion/completions/santool; "
                             "c() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _santool; "
                             "echo \"${COMPREPLY[*]}\"; }; "
                             "c santool \"\"; c santool export x --sc; c santool verify --; c santool info fi; "
                             "c santool font x --l; c santool build s.json -o fi";
  FILE* p = popen(("bash -c '" + script + "'").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  EXPECT_EQ(out,
            "info export chk verify build font strings trace help\n--scale\n--help --json\nfilm.san\n"
            "--last\nfilm.san\n");
}

// Host paths of any length, in any case and with backslashes, for every
// input and output; every command judges a file alike.
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
  EXPECT_EQ(RunSantool("chk '" + engine_style + "'").code, 0);
  EXPECT_TRUE(std::filesystem::exists(deep + "/a.CHK"));
  EXPECT_EQ(RunSantool("verify '" + engine_style + "'").code, 0);

  // No folder, pipe or device (which would block or never end), nothing the
  // engines cannot open nor texts above a text's size: every command refuses
  // with the same words; trace, reading once through, takes a pipe.
  const std::string huge = dir_ + "/huge.san", pipe = dir_ + "/pipe", zero = dir_ + "/zero",
                    text = dir_ + "/text";
  { std::ofstream(huge, std::ios::binary) << "ANIM"; }
  std::filesystem::resize_file(huge, 3ull << 30);  // sparse: no space taken
  { std::ofstream(text) << "1: A\n"; }
  std::filesystem::resize_file(text, 100 << 20);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(mknod(zero.c_str(), S_IFCHR | 0666, makedev(1, 5)), 0);
  for (const std::string& input : {dir_, huge, dir_ + "/none.san", pipe, zero, text}) {
    const std::string in = "'" + input + "'", never = dir_ + "/never";
    std::vector<std::string> commands = {"strings " + in + " -o " + never,
                                         "strings --dump " + in, "build " + in + " -o " + never};
    if (input != text)
      commands.insert(commands.end(),
                      {"info " + in, "export " + in + " --frames " + never, "chk " + in,
                       "verify " + in, "font " + in + " -o " + never,
                       "export " + deep + "/a.san --frames " + never + " --fonts " + in});
    if (input != pipe && input != huge && input != text) commands.push_back("trace " + in);
    for (const std::string& command : commands) {
      ToolRun refused = RunSantool(command);
      EXPECT_EQ(refused.code, 1) << command;
      EXPECT_TRUE(Has(refused.err, "Cannot open file " + input + ": ")) << refused.err;
      EXPECT_EQ(Lines(refused.err), 1u) << command << ": " << refused.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/never"));
  r = RunSantool("trace " + huge);  // any size, but no line longer than a trace's
  EXPECT_TRUE(r.code == 1 && Has(r.err, "line 1: not a trace line")) << r.err;
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
  // So is the link an input was named through (another link to it is replaced).
  const std::string link = dir_ + "/link.san";
  std::filesystem::create_symlink(san, link);
  EXPECT_EQ(RunSantool("export " + link + " --frames " + dir_ + "/made --audio " + link).code, 1);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(intact(san) && intact(font));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/made"));
  // A missing input, or a sound or trace file that cannot be made, makes
  // neither the folder chain nor the other outputs.
  for (const std::string& args : {dir_ + "/none.san --audio " + dir_ + "/x.wav",
                                  san + " --audio " + dir_ + "/no/x.wav --trace " + dir_ + "/t",
                                  san + " --trace " + dir_ + "/no/t --audio " + dir_ + "/x.wav"}) {
    ToolRun r = RunSantool("export " + args + " --frames " + dir_ + "/x/y/z");
    EXPECT_TRUE(r.code == 1 && Has(r.err, ": No such file or directory")) << args << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/x") || std::filesystem::exists(dir_ + "/t"));
  }
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
      {"chk", 2, "", "file is required"},
      {"verify --help", 0, "docs/format.md#checksum-files", ""},
      {"export " + san + " --frames x --scale 9", 2, "", "--scale"},
      {"export " + san + " --frames x --from", 2, "", "--from"},
      {"export " + san + " --frames x --from 3 --to 2", 2, "", "--from 3 is after --to 2"},
      {"info " + san + " >/dev/full", 1, "", "santool: standard output: "},
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

// Fonts: console fonts (PSF 1 and 2, gzip-compressed or not) and BDF fonts
// written by santool, loaded by the text engine's loader and drawn as a line.
namespace fonts {

// A 4 x 6 test glyph per letter: its bit pattern drawn from the code.
std::vector<uint8_t> Bits(int code, int width, int height) {
  std::vector<uint8_t> px(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) px[size_t(y) * width + x] = ((code * 7 + y * 3 + x * 5) % 4) == 0;
  return px;
}

// Rows of `width` bits, leftmost in the highest bit.
void PutRows(Bytes& b, const std::vector<uint8_t>& px, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int byte = 0; byte < (width + 7) / 8; ++byte) {
      uint8_t v = 0;
      for (int k = 0; k < 8 && byte * 8 + k < width; ++k) v |= px[size_t(y) * width + byte * 8 + k] << (7 - k);
      b.push_back(v);
    }
}

// PSF 2, 10 x 6, glyph i drawing code 'A' + i (through its Unicode table).
Bytes Psf2() {
  Bytes b;
  for (uint32_t v : {0x864AB572u, 0u, 32u, 1u, 3u, 12u, 6u, 10u})
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
  for (int i = 0; i < 3; ++i) PutRows(b, Bits('A' + i, 10, 6), 10, 6);
  for (int i = 0; i < 3; ++i) b.insert(b.end(), {uint8_t('A' + i), 0xFE, 'x', 'y', 0xFF});
  return b;
}

// PSF 1 without a table: glyph number = code; 8 x 5.
Bytes Psf1() {
  Bytes b{0x36, 0x04, 0x00, 5};
  for (int c = 0; c < 256; ++c) PutRows(b, Bits(c, 8, 5), 8, 5);
  return b;
}

// BDF of 'A' to 'C', 5 wide cells of ascent 5 + descent 2.
std::string Bdf() {
  std::string s = "STARTFONT 2.1\nFONTBOUNDINGBOX 5 7 0 -2\nSTARTPROPERTIES 2\nFONT_ASCENT 5\nFONT_DESCENT 2\n"
                  "ENDPROPERTIES\nCHARS 3\n";
  for (int c = 'A'; c <= 'C'; ++c) {
    Bytes rows;
    PutRows(rows, Bits(c, 5, 7), 5, 7);
    s += "STARTCHAR x\nENCODING " + std::to_string(c) + "\nDWIDTH 5 0\nBBX 5 7 0 -2\nBITMAP\n";
    for (uint8_t r : rows) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X\n", r);
      s += hex;
    }
    s += "ENDCHAR\n";
  }
  return s + "ENDFONT\n";
}

bool WriteGz(const std::string& path, const Bytes& data) {
  gzFile f = gzopen(path.c_str(), "wb");
  return f && gzwrite(f, data.data(), unsigned(data.size())) == int(data.size()) && gzclose(f) == Z_OK;
}

}  // namespace fonts

TEST_F(Santool, FontsAreWrittenForTheTextEngine) {
  const std::string bdf = dir_ + "/t.bdf", psf1 = dir_ + "/t1.psf", psf2 = dir_ + "/t2.psf.gz";
  std::ofstream(bdf) << fonts::Bdf();
  ASSERT_TRUE(santest::WriteFile(psf1, fonts::Psf1()));
  ASSERT_TRUE(fonts::WriteGz(psf2, fonts::Psf2()));
  ASSERT_EQ(InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200), 0);
  struct Stop {
    ~Stop() { ShutdownDecoder(); }
  } stop;
  struct Case {
    std::string file;
    int width, height;
  } cases[] = {{bdf, 5, 7}, {psf1, 8, 5}, {psf2, 10, 6}};
  for (const Case& c : cases) {
    const std::string nut = dir_ + "/out.nut";
    ToolRun r = RunSantool("font " + c.file + " -o " + nut + " --first A --last 90");
    ASSERT_EQ(r.code, 0) << c.file << r.err;
    Font* font = nullptr;
    ASSERT_EQ(LoadFont(&font, nut.c_str(), 0), 0) << c.file;
    EXPECT_FALSE(HasGlyph(font, '@')) << c.file;  // below --first
    std::vector<uint8_t> canvas(64 * 16, 0);
    Surface s{canvas.data(), 64, 16};
    uint8_t colour = 9;
    DrawTextLine(font, &s, nullptr, 2, 3, 0, &colour, 0, "BAC");
    FreeFont(&font);
    std::vector<uint8_t> want(canvas.size(), 0);
    for (int i = 0; i < 3; ++i) {
      const std::vector<uint8_t> bits = fonts::Bits("BAC"[i], c.width, c.height);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          if (bits[size_t(y) * c.width + x]) want[size_t(3 + y) * 64 + 2 + i * c.width + x] = 9;
    }
    EXPECT_EQ(canvas, want) << c.file;
  }

  // A console font of the distribution: Latin-1 letters at their codes.
  const std::string console = "/usr/share/consolefonts/Lat15-Fixed16.psf.gz";
  ASSERT_TRUE(std::filesystem::exists(console)) << "scripts/setup installs console-setup-linux";
  const std::string nut = dir_ + "/console.nut";
  ASSERT_EQ(RunSantool("font " + console + " -o " + nut).code, 0);
  Font* font = nullptr;
  ASSERT_EQ(LoadFont(&font, nut.c_str(), 0), 0);
  EXPECT_EQ(font->height, 16);
  for (int c : {0x20, 'H' + 0, '~' + 0, 0xE9}) EXPECT_EQ(GlyphWidth(font, uint8_t(c)), 8) << c;
  EXPECT_FALSE(HasGlyph(font, 31));
  std::vector<uint8_t> canvas(64 * 20, 0);
  Surface s{canvas.data(), 64, 20};
  uint8_t colour = 4;
  EXPECT_EQ(DrawTextLine(font, &s, nullptr, 0, 0, 0, &colour, 0, "Hi\xE9"), 17);
  FreeFont(&font);
  size_t ink = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 64; ++x)
      if (canvas[size_t(y) * 64 + x]) {
        ++ink;
        EXPECT_TRUE(x < 24 && y < 16 && canvas[size_t(y) * 64 + x] == 4) << x << "," << y;
      }
  EXPECT_GT(ink, 30u);
}

TEST_F(Santool, FontAndStringFailuresWriteNothing) {
  const std::string text = dir_ + "/t.txt", bdf = dir_ + "/t.bdf", out = dir_ + "/out";
  std::ofstream(text) << "1: a\n";
  std::ofstream(bdf) << fonts::Bdf();
  Bytes damaged = fonts::Psf2();
  damaged.resize(50);
  ASSERT_TRUE(santest::WriteFile(dir_ + "/cut.psf", damaged));
  const std::string whole_bdf = fonts::Bdf();
  std::ofstream(dir_ + "/cut.bdf") << whole_bdf.substr(0, whole_bdf.find("ENDCHAR"));
  std::ofstream(out) << "kept";
  struct Case {
    std::string args;
    int code;
    std::string message;
  } cases[] = {
      {"font " + text + " -o " + out, 1, "is neither a console (PSF) font nor a BDF font"},
      {"font " + dir_ + "/cut.psf -o " + out, 1, "damaged console font"},
      {"font " + dir_ + "/cut.bdf -o " + out, 1, "the last glyph has no ENDCHAR"},
      {"font " + bdf + " -o " + out + " --first 100", 1, "no glyph for codes 100 to 255"},
      {"font " + bdf + " -o " + bdf, 1, "is one of the input files"},
      {"font " + bdf + " -o " + out + " --first 90 --last 80", 2, "--first and --last"},
      {"font " + bdf, 2, "--output"},
      {"strings " + text, 2, "-o OUT.TRS"},
      {"strings --dump " + text + " -o " + out, 2, "excludes"},
      {"strings " + text + " -o " + text, 1, "is one of the input files"},
  };
  const std::pair<const char*, const char*> bad_texts[] = {
      {"1: a\n2:\n", "string 2 is empty"},
      {"1: a\n | #b\n", "string 1 has a line that starts with \"#\" or \"/\""},
      {"3: /x\n", "string 3 has a line"},
      {"1: a\n1: b\n", ":2: string 1 is given twice"},
      {"1: a\\q\n", ":1: unknown escape"},
      {"1: a\n |\n", "string 1 ends with a line end"},
      {" | a\n", "a continuation line without a string"},
      {"x: a\n", "expected \"NUMBER: text\""},
      {"1: \xE2\x82\xAC\n", "above U+00FF"},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const auto& [body, message] : bad_texts) {
    const std::string bad = dir_ + "/bad" + std::to_string(all.size()) + ".txt";
    std::ofstream(bad) << body;
    all.push_back({"strings " + bad + " -o " + out, 1, message});
  }
  for (const Case& c : all) {
    ToolRun r = RunSantool(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, c.message)) << c.args << "\n" << r.err;
    std::ifstream in(out);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "kept") << c.args;
  }
}

TEST_F(Santool, StringsRoundTripThroughThePlayersLoader) {
  // The text as --dump writes it: ascending numbers, continuations, escapes,
  // Latin-1 letters as UTF-8, blanks kept.
  const std::string canonical =
      "0: Zero\n"
      "3: Hello\n"
      " | World\n"
      " |\n"
      " |  \\\\back\\r\\x01\ttab \xC3\xA9 ^c010\n"
      "7:  two blanks \n"
      "300: a # b\n";
  const std::string loose =  // the same strings, written by hand
      "# subtitles\r\n\r\n300: a # b\r\n3: Hello\r\n   | World\r\n|\r\n  |  \\\\back\\x0D\\x01\ttab "
      "\xC3\xA9 ^c010\r\n0: Zero\n7:  two blanks \n";
  std::ofstream(dir_ + "/canonical.txt") << canonical;
  std::ofstream(dir_ + "/loose.txt") << loose;
  for (const char* source : {"canonical", "loose"}) {
    for (const char* scramble : {"", " --scramble"}) {
      const std::string trs = dir_ + "/" + source + ".trs";
      ToolRun r = RunSantool(std::string("strings ") + dir_ + "/" + source + ".txt -o " + trs + scramble);
      ASSERT_EQ(r.code, 0) << source << scramble << r.err;
      r = RunSantool("strings --dump " + trs);
      EXPECT_EQ(r.code, 0) << r.err;
      EXPECT_EQ(r.out, canonical) << source << scramble;
      std::ifstream in(trs, std::ios::binary);
      EXPECT_EQ(in.get() == 'E', *scramble != 0);
      TextResource* res = nullptr;
      ASSERT_EQ(LoadTextResource(&res, trs.c_str()), 0);
      EXPECT_EQ(res->count, 301);
      EXPECT_STREQ(GetText(res, 3), "Hello\nWorld\n\n \\back\r\x01\ttab \xE9 ^c010");
      EXPECT_STREQ(GetText(res, 7), " two blanks ");
      EXPECT_EQ(GetText(res, 1), nullptr);
      FreeTextResource(&res);
    }
  }
}

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
