#include "player_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

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

void WriteSan(const std::string& path, int frames, int base) {
  authoring::SanHeader header;
  for (int i = 1; i < 255; ++i) {
    header.palette[i * 3] = static_cast<uint8_t>(i / 2);
    header.palette[i * 3 + 1] = static_cast<uint8_t>(i / 3);
    header.palette[i * 3 + 2] = static_cast<uint8_t>(i / 4);
  }
  header.palette[255 * 3] = header.palette[255 * 3 + 1] = header.palette[255 * 3 + 2] = 255;
  authoring::SanWriter writer(header);
  std::vector<uint8_t> pixels(320 * 200);
  for (int i = 0; i < frames; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(base + i));
    authoring::Frame frame;
    frame.Fobj(authoring::EncodeRunLength(1, 0, 0, 320, 200, pixels.data(), 320));
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

pid_t Spawn(const std::vector<std::string>& args, int* out_fd, int* err_fd) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  std::string player = PlayerPath();
  std::vector<char*> argv;
  argv.push_back(player.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    execv(player.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  *out_fd = out_pipe[0];
  *err_fd = err_pipe[0];
  return pid;
}

// Reads what is ready on fd into text; false at end of file.
bool Drain(int fd, std::string* text) {
  char buffer[4096];
  ssize_t n = read(fd, buffer, sizeof(buffer));
  if (n <= 0) return false;
  text->append(buffer, static_cast<size_t>(n));
  return true;
}

int Reap(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult RunPlayer(const std::vector<std::string>& args) {
  RunResult result;
  int out_fd, err_fd;
  pid_t pid = Spawn(args, &out_fd, &err_fd);
  bool out_open = true, err_open = true;
  int waited = 0;
  while ((out_open || err_open) && waited < kRunLimitMs) {
    pollfd fds[2] = {{out_open ? out_fd : -1, POLLIN, 0}, {err_open ? err_fd : -1, POLLIN, 0}};
    int ready = poll(fds, 2, 100);
    if (ready == 0) waited += 100;
    if (fds[0].revents) out_open = Drain(out_fd, &result.out);
    if (fds[1].revents) err_open = Drain(err_fd, &result.err);
  }
  if (out_open || err_open) kill(pid, SIGKILL);
  close(out_fd);
  close(err_fd);
  result.exit_code = Reap(pid);
  return result;
}

Background::Background(const std::vector<std::string>& args) {
  int out_fd;
  pid_ = Spawn(args, &out_fd, &err_fd_);
  close(out_fd);
}

Background::~Background() {
  Kill();
  if (err_fd_ >= 0) close(err_fd_);
}

bool Background::WaitForError(const std::string& text, int limit_ms) {
  int waited = 0;
  while (err_.find(text) == std::string::npos) {
    if (waited >= limit_ms || err_fd_ < 0) return false;
    pollfd p{err_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) == 0) {
      waited += 50;
      continue;
    }
    if (!Drain(err_fd_, &err_)) {
      close(err_fd_);
      err_fd_ = -1;
    }
  }
  return true;
}

void Background::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  Reap(pid_);
  pid_ = -1;
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

std::string WithoutLines(const std::string& text, const std::string& prefix) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text.compare(pos, prefix.size(), prefix) != 0) out += text.substr(pos, end - pos);
    pos = end;
  }
  return out;
}

}  // namespace e2e
