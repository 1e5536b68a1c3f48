// The executable as a stranger meets it: exit statuses, the command line,
// and the files it writes. One table per fault class, each row a run of the
// built player (headless, virtual clock) on a small demonstration folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "player_harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::RunPlayer;
using e2e::TempDir;

struct Row {
  std::vector<std::string> args;  // after --platform=headless
  int status;
  std::vector<std::string> err;  // texts stderr must hold
  std::string out = "";          // a text stdout must hold
};

std::string Describe(const Row& row) {
  std::string text;
  for (const std::string& a : row.args) text += a.substr(0, 80) + " ";
  return text;
}

void Expect(const Row& row, const e2e::RunResult& r) {
  EXPECT_EQ(r.exit_code, row.status) << Describe(row) << "\n" << r.err;
  for (const std::string& text : row.err)
    EXPECT_NE(r.err.find(text), std::string::npos) << Describe(row) << "\nwants: " << text
                                                   << "\nstderr: " << r.err;
  EXPECT_NE(r.out.find(row.out), std::string::npos) << Describe(row) << "\n" << r.out;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(e2e::PlayerPath().c_str(), X_OK), 0) << e2e::PlayerPath();
    e2e::WriteDemoFolder(data_.path(), e2e::DemoFolder{8, 4, 30, 10});
    e2e::WriteTextResources(data_.path());
  }
  e2e::RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), "--platform=headless");
    return RunPlayer(args);
  }
  std::string data() const { return "--data=" + data_.path(); }

  TempDir data_;
  TempDir work_;
};

// A run ends 0 only when it did what was asked; what failed is named, with
// the data folder its file names are relative to.
TEST_F(Cli, StatusSaysWhetherTheRunDidWhatWasAsked) {
  TempDir empty, no_fonts, damaged;
  e2e::WriteDemoFolder(no_fonts.path(), e2e::DemoFolder{8, 4, 0, 0});
  e2e::WriteDemoFolder(damaged.path(), e2e::DemoFolder{0, 0, 30, 10});
  const std::string broken = damaged / "lanvid/demofrnt.san";
  fs::resize_file(broken, fs::file_size(broken) / 2);
  const std::string folder = "morvane-demos: data folder: ";
  const std::string wav = work_ / "out.wav";
  const std::string screens = work_ / "screens";
  // What a run cut short by --timeout captured is written all the same.
  const std::string cut_wav = work_ / "cut.wav", cut_trace = work_ / "cut.jsonl";
  std::vector<Row> rows = {
      {{data(), "/cobalt2"}, 0, {}},
      {{data(), "/thelantern", "--keys=@5:Escape"}, 0, {}},  // Escape is a normal end
      {{data(), "--choice=101,102,escape"}, 0, {}},
      // Recorded errors: damaged or missing files.
      {{"--data=" + damaged.path(), "/thelantern"}, 1, {folder + damaged.path() + "\n"}},
      {{"--data=" + no_fonts.path(), "/cobalt2"},
       1,
       {folder + no_fonts.path() + "\n", "COBALT2.TRS", "TALKFONT.NUT. (2 times)\n"}},
      // No data at all: the folder searched and the files expected, before
      // any output is made.
      {{"--data=" + empty.path(), "/cobalt2", "--capture=" + screens, "--audio-out=" + wav},
       1,
       {folder + empty.path() + "\n", "expected cv2vid/O_open_a.san, cv2vid/O_open_b.san",
        "TITLFONT.NUT"}},
      {{"--data=" + empty.path()}, 1, {"cv2vid/O_open_a.san", "lanvid/demofrnt.san"}},
      // Outputs that cannot be written.
      {{data(), "/thelantern", "--audio-out=" + work_.path() + "/no/such/out.wav"},
       2,
       {work_.path() + "/no/such/out.wav", "No such file"}},
      // Runs that cannot end by themselves, and captures without bound.
      {{data(), "/thelantern", "--activate=@12:0", "--timeout=60", "--audio-out=" + cut_wav,
        "--trace=" + cut_trace},
       3,
       {"--timeout after 60"}},
      {{data(), "/thelantern", "--activate=@12:0", "--timeout=60", "--audio-out=/dev/full"},
       1,
       {"--timeout after 60", "/dev/full", "No space left"}},  // cut short or not
      {{data(), "/thelantern", "--keys=@90:Escape", "--activate=@3:0,@4:1", "--timeout=600"},
       0,
       {}},
      {{data(), "/thelantern", "--audio-out=" + wav, "--trace=" + wav}, 2, {"the same file"}},
      {{data(), "/thelantern", "--audio-out=" + wav, "--audio-max=1"},
       1,
       {"--audio-max=1", wav + " not written"}},
  };
  // A capture folder that cannot be written is refused before playing (the
  // permissions bind only those who are not root).
  const std::string read_only = work_ / "read-only";
  fs::create_directories(read_only);
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::owner_exec);
  if (geteuid() != 0)
    rows.push_back({{data(), "/thelantern", "--capture=" + read_only}, 2, {"cannot write in"}});
  for (const Row& row : rows) {
    e2e::RunResult r = Run(row.args);
    Expect(row, r);
    if (row.status == 0) {
      EXPECT_EQ(r.err, "") << Describe(row);
    }
    EXPECT_FALSE(fs::exists(screens)) << Describe(row);
    EXPECT_FALSE(fs::exists(wav)) << Describe(row);
  }
  // The cut run's sound file is whole (its header sizes match its data) and
  // its trace ends on a whole line after the screens shown.
  const std::string sound = e2e::ReadAll(cut_wav);
  ASSERT_GT(sound.size(), 44u);
  auto le32 = [&sound](size_t at) { return ReadLE32(reinterpret_cast<const uint8_t*>(&sound[at])); };
  EXPECT_EQ(le32(4), sound.size() - 8);
  EXPECT_EQ(le32(40) + (le32(40) & 1), sound.size() - 44);
  const std::string trace = e2e::ReadAll(cut_trace);
  EXPECT_NE(trace.find("{\"ev\":\"screen\""), std::string::npos) << trace.substr(0, 200);
  EXPECT_EQ(trace.substr(trace.size() - 2), "}\n");
}

// Words and options: help before any backend, unknown words named, values
// never taken from the player's words or options.
TEST_F(Cli, CommandLineIsUnderstoodOrRefused) {
  const std::string unknown = "ignoring unknown word '";
  const std::string usage = "Usage: morvane-demos";
  std::string long_word(5000, 'x');
  std::string too_long = data_.path();
  while (too_long.size() < 5000) too_long += "/" + std::string(200, 'd');
  std::vector<std::string> eleven(10, "/d1");
  eleven.push_back("/thelantern");
  eleven.insert(eleven.begin(), {data(), "--choice=2", "--capture=" + (work_ / "c")});
  const std::vector<Row> rows = {
      {{"-h"}, 0, {}, usage},
      {{"help"}, 0, {}, usage},
      {{"--version"}, 0, {}, "morvane-demos 0."},
      {{data(), "--choice=2", "/cobalt", "cobalt2", "-x"},
       0,
       {unknown + "/cobalt'", unknown + "cobalt2'", unknown + "-x'"}},
      {{data(), "--choice=2", "/COBALT2", "/TheLantern", "/D2", "/Cds"}, 0, {}},  // not warned
      {{data(), "--choice=2", long_word}, 0, {unknown + std::string(40, 'x') + "...'"}},
      {eleven, 0, {"ignoring '/thelantern': only the first 10 words count"}},
      {{data(), "--choice=2", "--", "--help"}, 0, {unknown + "--help'"}},
      {{data(), "--capture", "/thelantern"}, 2, {"option --capture needs a value"}},
      {{data(), "--audio-out", "--choice=2"}, 2, {"option --audio-out needs a value"}},
      {{data(), "--choice=2", "--data"}, 2, {"option --data needs a value"}},
      {{"--data=", "--choice=2"}, 2, {"option --data needs a value"}},
      {{data(), "--window=yes"}, 2, {"option --window takes no value"}},
      {{data(), "--timeout=0"}, 2, {"bad --timeout '0'"}},
      {{data(), "--no-such-option"}, 2, {"unknown option --no-such-option"}},
      {{data(), "--keys=soon:Escape"}, 2, {"bad --keys list"}},
      // A bad data folder is refused, not replaced by the executable's.
      {{"--data=" + (work_ / "missing"), "/cobalt2"}, 2, {"cannot use the data folder"}},
      {{"--data=" + data_.path() + "/cv2vid/COBALT2.TRS"}, 2, {"not a folder"}},
      {{"--data=" + too_long}, 2, {"File name too long"}},
  };
  for (const Row& row : rows) Expect(row, Run(row.args));
  EXPECT_TRUE(e2e::Screens(work_ / "c").empty());  // the eleventh word played nothing

  // Help under the default backend needs no display, and tells the statuses
  // the program gives.
  e2e::RunResult help = RunPlayer({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.find("255"), std::string::npos);
  for (const char* status : {"\n  1  ", "\n  2  ", "\n  3  --timeout"})
    EXPECT_NE(help.out.find(status), std::string::npos) << status;
  EXPECT_NE(help.out.find("screen_*.png\n                           of an earlier run"),
            std::string::npos);
}

// Outputs replace what was there as a whole, never write through a link,
// never replace a device, never touch an input; host paths of any length
// the system takes work.
TEST_F(Cli, OutputsNeverCostWhatWasThere) {
  const std::string wav = work_ / "out.wav";
  auto play = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {data(), "/thelantern"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };
  auto is_wave = [](const std::string& path) {
    imageio::Wav8 sound;
    return imageio::ReadWav8(path, &sound) && sound.rate == 22050u;
  };

  {  // An existing file is replaced; a link is replaced, its target kept.
    std::ofstream(wav) << "old";
    const std::string target = work_ / "target", link = work_ / "link.wav";
    std::ofstream(target) << "keep";
    fs::create_symlink(target, link);
    EXPECT_EQ(play({"--audio-out=" + wav}).exit_code, 0);
    EXPECT_TRUE(is_wave(wav));
    EXPECT_EQ(play({"--audio-out=" + link}).exit_code, 0);
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_TRUE(is_wave(link));
    EXPECT_EQ(e2e::ReadAll(target), "keep");
  }
  {  // A device is written in place and stays a device.
    const std::string device = work_ / "null";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
      e2e::RunResult r = play({"--audio-out=" + device});
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_TRUE(fs::is_character_file(device));
    }
  }
  {  // A data file of the demonstration is never an output.
    const std::string input = data_ / "lanvid/demoend.san";
    const std::string before = e2e::ReadAll(input);
    e2e::RunResult r = play({"--audio-out=" + input});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(input), std::string::npos) << r.err;
    EXPECT_EQ(e2e::ReadAll(input), before);
    EXPECT_EQ(play({"--audio-out=" + work_.path()}).exit_code, 2);  // a folder
    EXPECT_EQ(play({"--trace=" + input}).exit_code, 2);
    EXPECT_EQ(e2e::ReadAll(input), before);
    EXPECT_EQ(play({"--instance-dir=" + input}).exit_code, 2);  // a file, not a folder
  }
  {  // A used capture folder keeps only this run's screens.
    const std::string screens = work_ / "screens";
    fs::create_directories(screens);
    std::ofstream(screens + "/screen_99999.png") << "stale";
    std::ofstream(screens + "/notes.txt") << "mine";
    e2e::RunResult r = play({"--capture=" + screens});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(fs::exists(screens + "/screen_99999.png"));
    EXPECT_TRUE(fs::exists(screens + "/notes.txt"));
    EXPECT_EQ(e2e::Screens(screens).size(), static_cast<size_t>(std::distance(
                                                 fs::directory_iterator(screens),
                                                 fs::directory_iterator())) - 1);
    EXPECT_EQ(play({"--capture=" + wav}).exit_code, 2);  // a file, not a folder
  }
  {  // Deep paths, far beyond the engines' own name limits.
    std::string deep = work_.path();
    for (int i = 0; i < 12; ++i) deep += "/" + std::string(60, static_cast<char>('a' + i));
    const std::string deep_data = deep + "/data";
    e2e::WriteDemoFolder(deep_data, e2e::DemoFolder{0, 0, 6, 3});
    e2e::RunResult r = Run({"--data=" + deep_data, "/thelantern", "--capture=" + deep + "/c",
                            "--audio-out=" + deep + "/a.wav", "--instance-dir=" + deep + "/i",
                            "--trace=" + deep + "/t.jsonl"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(e2e::ReadAll(deep + "/t.jsonl").find("{\"ev\":\"switch\""), std::string::npos);
    EXPECT_EQ(e2e::ColourSequence(e2e::Screens(deep + "/c")).back(), e2e::kColourSecondB + 2);
    EXPECT_TRUE(is_wave(deep + "/a.wav"));
  }
}

}  // namespace
