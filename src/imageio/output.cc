#include "imageio/output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/trace.h"

namespace imageio {
namespace {

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

IoResult Fail(const std::string& path, const std::string& what) {
  return IoResult{false, path + ": " + what};
}

bool IsNumberedPicture(const char* name, const std::string& prefix) {
  size_t length = std::strlen(name);
  if (length < prefix.size() + 1 + 5 + 4 || std::strncmp(name, prefix.c_str(), prefix.size()) != 0 ||
      name[prefix.size()] != '_' || std::strcmp(name + length - 4, ".png") != 0)
    return false;
  for (size_t i = prefix.size() + 1; i < length - 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  struct stat st;
  if (path_.empty()) {
    refusal_ = "no file name";
    return;
  }
  if (lstat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      refusal_ = "is a folder";
      return;
    }
    // A device or a pipe takes the bytes where it is; it is never replaced.
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) error_ = errno;
    return;
  }
  std::string pattern = Folder(path_) + "/.mv-output-XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) {
    error_ = errno;
    return;
  }
  // mkstemp makes the file private; an output gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  fd_ = fd;
  temporary_ = pattern;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

// Bytes are gathered up to this many and written in one call: a picture goes
// to the file system in a single write.
constexpr size_t kBufferSize = 1 << 16;

bool OutputFile::Flush() {
  const char* data = buffer_.data();
  size_t left = buffer_.size();
  while (left > 0 && error_ == 0) {
    ssize_t n = ::write(fd_, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      break;
    }
    data += n;
    left -= size_t(n);
  }
  buffer_.clear();
  return error_ == 0;
}

bool OutputFile::Write(const void* data, size_t size) {
  if (!ok()) return false;
  const char* bytes = static_cast<const char*>(data);
  try {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
  } catch (...) {
    error_ = ENOMEM;
    return false;
  }
  return buffer_.size() < kBufferSize || Flush();
}

IoResult OutputFile::Commit() {
  if (!refusal_.empty()) return Fail(path_, refusal_);
  if (fd_ < 0) return Fail(path_, std::string("cannot create: ") + std::strerror(error_));
  Flush();
  if (close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), path_.c_str()) != 0)
    error_ = errno;
  if (error_ != 0) return Fail(path_, std::string("cannot write: ") + std::strerror(error_));
  temporary_.clear();
  return {};
}

void BeginTraceInto(OutputFile& file) {
  trace::Begin(
      [](void* out, const char* data, size_t size) {
        return static_cast<OutputFile*>(out)->Write(data, size);
      },
      &file);
}

bool SameFile(const std::string& output, const std::string& input) {
  struct stat out, in;
  if (lstat(output.c_str(), &out) != 0) return false;
  // A link is replaced, not written through: it is the input only when the
  // input was named through that very link.
  if (S_ISLNK(out.st_mode) ? lstat(input.c_str(), &in) != 0 : stat(input.c_str(), &in) != 0)
    return false;
  return out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

IoResult CheckOutput(const std::string& output, const std::vector<std::string>& inputs) {
  struct stat st;
  if (stat(output.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(output, "is a folder");
  for (const std::string& input : inputs) {
    if (SameFile(output, input)) return Fail(output, "is one of the input files");
  }
  // An output that cannot be made is named now, not after the work for it.
  const bool in_place = lstat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
  if (access(in_place ? output.c_str() : Folder(output).c_str(), in_place ? W_OK : W_OK | X_OK) != 0)
    return Fail(output, std::string("cannot create: ") + std::strerror(errno));
  return {};
}

IoResult PrepareFrameFolder(const std::string& dir, const std::string& prefix) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  struct stat st;
  if (ec) return Fail(dir, "cannot make the folder: " + ec.message());
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(dir, "is not a folder");
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) return Fail(dir, std::string("cannot read the folder: ") + std::strerror(errno));
  IoResult result;
  while (dirent* entry = readdir(folder)) {
    if (!IsNumberedPicture(entry->d_name, prefix)) continue;
    std::string path = dir + "/" + entry->d_name;
    if (lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) continue;
    if (unlink(path.c_str()) != 0 && result.ok)
      result = Fail(path, std::string("cannot remove an earlier picture: ") + std::strerror(errno));
  }
  closedir(folder);
  return result;
}

}  // namespace imageio
