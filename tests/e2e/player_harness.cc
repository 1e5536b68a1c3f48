#include "player_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "authoring/audio.h"
#include "authoring/codecs.h"
#include "authoring/nut.h"
#include "authoring/san_writer.h"
#include "authoring/trs.h"

namespace e2e {

namespace fs = std::filesystem;

constexpr int kRunLimitMs = 120000;

std::string PlayerPath() {
  const char* dir = std::getenv("MV_BINARY_DIR");
  return std::string(dir ? dir : MV_BINARY_ROOT) + "/morvane-demos";
}

TempDir::TempDir() {
  char pattern[] = "/tmp/mv-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void WriteSan(const std::string& path, int frames, int base, bool music, int music_from) {
  authoring::SanHeader header;
  for (int i = 1; i < 255; ++i) {
    header.palette[i * 3] = static_cast<uint8_t>(i / 2);
    header.palette[i * 3 + 1] = static_cast<uint8_t>(i / 3);
    header.palette[i * 3 + 2] = static_cast<uint8_t>(i / 4);
  }
  header.palette[255 * 3] = header.palette[255 * 3 + 1] = header.palette[255 * 3 + 2] = 255;
  authoring::SanWriter writer(header);
  std::vector<uint8_t> pixels(320 * 200);
  // A music stream as the demonstrations carry it: half a second ahead of
  // the picture in frame 0, then a frame's worth (22050 / 15 samples) each.
  constexpr size_t kRate = 22050, kPerFrame = kRate / 15;
  std::vector<authoring::Bytes> blocks;
  if (music && frames - music_from > 1) {
    std::vector<uint8_t> samples(kRate / 2 + kPerFrame * (frames - music_from - 2));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(128 + (i % 64) - 32);
    authoring::TrackScript script;
    script.DataAt(0, static_cast<uint32_t>(samples.size()), kRate).End();
    blocks = authoring::SplitStream(script.bytes(), samples, kRate / 2, kPerFrame).blocks;
  }
  for (int i = 0; i < frames; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(base + i));
    authoring::Frame frame;
    frame.Fobj(authoring::EncodeRunLength(1, 0, 0, 320, 200, pixels.data(), 320));
    const size_t block = static_cast<size_t>(i - music_from);
    if (i >= music_from && block < blocks.size())
      frame.Psad16(1, static_cast<int16_t>(block), 1, authoring::kSoundMusic, 127, 0,
                   blocks[block]);
    writer.AddFrame(frame);
  }
  fs::create_directories(fs::path(path).parent_path());
  std::string error;
  if (!writer.WriteFile(path, &error)) throw std::runtime_error(error);
}

void WriteDemoFolder(const std::string& dir, const DemoFolder& files) {
  fs::create_directories(dir + "/cv2vid");
  fs::create_directories(dir + "/lanvid");
  if (files.first_a) WriteSan(dir + "/cv2vid/O_open_a.san", files.first_a, kColourFirstA);
  if (files.first_b) WriteSan(dir + "/cv2vid/O_open_b.san", files.first_b, kColourFirstB);
  if (files.second_a) WriteSan(dir + "/lanvid/demofrnt.san", files.second_a, kColourSecondA);
  if (files.second_b) WriteSan(dir + "/lanvid/demoend.san", files.second_b, kColourSecondB);
}

namespace {

std::string TempFile(const char* pattern) {
  std::string name = pattern;
  int fd = mkstemp(name.data());
  if (fd < 0) throw std::runtime_error("mkstemp");
  close(fd);
  return name;
}

}  // namespace

Player::Player(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
    : out_path_(TempFile("/tmp/mv-player-out-XXXXXX")),
      err_path_(TempFile("/tmp/mv-player-err-XXXXXX")) {
  std::string path = PlayerPath();
  std::vector<std::string> copy = args;
  std::vector<char*> argv{path.data()};
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(out_path_.c_str(), O_WRONLY | O_CLOEXEC), 1);
    dup2(open(err_path_.c_str(), O_WRONLY | O_CLOEXEC), 2);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
}

Player::~Player() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  unlink(out_path_.c_str());
  unlink(err_path_.c_str());
}

bool Player::Running() {
  if (pid_ <= 0 || ended_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
  return !ended_;
}

bool Player::Wait(int limit_ms, int* exit_code) {
  for (int waited = 0; Running() && waited < limit_ms; waited += 10) usleep(10000);
  if (!ended_) return false;
  if (exit_code) *exit_code = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  return true;
}

void Player::Signal(int sig) {
  if (pid_ > 0 && !ended_) kill(pid_, sig);
}

bool Player::WaitForError(const std::string& text, int limit_ms) {
  for (int waited = 0; waited < limit_ms; waited += 50) {
    const bool running = Running();
    if (Errors().find(text) != std::string::npos) return true;
    if (!running) return false;
    usleep(50000);
  }
  return false;
}

std::string Player::Output() const { return ReadAll(out_path_); }
std::string Player::Errors() const { return ReadAll(err_path_); }

RunResult RunPlayer(const std::vector<std::string>& args) {
  RunResult result;
  Player player(args);
  if (!player.Wait(kRunLimitMs, &result.exit_code)) result.exit_code = -1;  // killed on return
  result.out = player.Output();
  result.err = player.Errors();
  return result;
}

std::vector<imageio::Png8> Screens(const std::string& dir) {
  std::vector<std::string> names;
  if (fs::exists(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<imageio::Png8> screens;
  for (const std::string& name : names) {
    imageio::Png8 png;
    if (imageio::ReadPng8(name, &png)) screens.push_back(std::move(png));
  }
  return screens;
}

std::vector<int> ColourSequence(const std::vector<imageio::Png8>& screens) {
  std::vector<int> colours;
  for (const imageio::Png8& s : screens) {
    if (s.width < 320 || s.height < 200) continue;
    int c = s.indices[150 * s.width + 200];
    if (colours.empty() || colours.back() != c) colours.push_back(c);
  }
  return colours;
}

void WriteTextResources(const std::string& dir) {
  fs::create_directories(dir + "/cv2vid");
  authoring::WriteTrsFile(dir + "/cv2vid/COBALT2.TRS", authoring::BuildTrsBody({{1, "A"}}), false);
  std::vector<std::optional<authoring::GlyphBitmap>> glyphs(66);
  glyphs[65] = authoring::GlyphFromRows({"#.#", ".#.", "#.#"});
  for (const char* font : {"TALKFONT.NUT", "SMALFONT.NUT", "TITLFONT.NUT"})
    authoring::WriteNutFont(dir + "/cv2vid/" + font, glyphs);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace e2e
