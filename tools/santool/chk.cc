// santool chk and verify: the ".CHK" checksum file beside a data file,
// written and checked with the file slots' own name rule, layout and sector
// checksum, so that what verify accepts is what the player accepts.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "imageio/output.h"
#include "platform/files.h"
#include "santool/santool.h"
#include "santool/scan.h"
#include "stream/slots.h"

namespace {

constexpr const char* kSeeChecksums = "see docs/format.md#checksum-files";

// A whole input file mapped read-only (no copy, whatever its size).
class Mapped {
 public:
  explicit Mapped(const std::string& host) {
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      size_ = size_t(st.st_size);
      ok_ = true;
      if (size_ > 0) {
        void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
          ok_ = false;
          size_ = 0;
        } else {
          data_ = static_cast<const uint8_t*>(p);
        }
      }
    }
    close(fd);
  }
  ~Mapped() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
  }
  Mapped(const Mapped&) = delete;
  Mapped& operator=(const Mapped&) = delete;
  bool ok() const { return ok_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool ok_ = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "santool: %s\n", message.c_str());
  return 1;
}

struct Verdict {
  std::string file, checksum_file;
  int64_t sectors = 0;    // the data file's, the last one counted when short
  int64_t verified = 0;   // sectors compared
  struct Bad {
    int64_t sector, offset;
  };
  std::vector<Bad> bad;
  std::vector<std::string> problems;  // about the checksum file itself
};

Verdict Verify(const std::string& file, const Mapped& data) {
  Verdict v;
  v.file = file;
  v.sectors = int64_t((data.size() + kSectorBytes - 1) / kSectorBytes);
  v.checksum_file = santool::ChecksumPath(file);
  if (v.checksum_file.empty()) {
    v.problems.push_back("the name is too long for a checksum file (at most " +
                         std::to_string(kChecksumNameBytes - 5) + " characters before the dot)");
    return v;
  }
  struct stat st;
  if (stat(v.checksum_file.c_str(), &st) != 0) {
    v.problems.push_back("no checksum file " + v.checksum_file);
    return v;
  }
  if (std::string error = santool::CheckInput(v.checksum_file); !error.empty()) {
    v.problems.push_back(error);
    return v;
  }
  Mapped table(v.checksum_file);
  if (!table.ok()) {
    v.problems.push_back("cannot read " + v.checksum_file);
    return v;
  }
  int64_t stored = ChecksumFileSectors(int64_t(table.size()));
  if (stored != v.sectors) {
    v.problems.push_back(v.checksum_file + " is " + std::to_string(table.size()) +
                         " bytes; " + std::to_string(v.sectors) + " sectors need " +
                         std::to_string(12 + 4 * v.sectors));
  }
  if (stored < 0) return v;
  uint32_t sum = 0, total = 0;
  if (!ChecksumTotalMatches(table.data(), stored, &sum, &total)) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "the total of the checksum file is %08X, its checksums add up to %08X", total,
                  sum);
    v.problems.push_back(text);
  }
  uint8_t last[kSectorBytes];
  for (int64_t i = 0; i < v.sectors && i < stored; ++i) {
    size_t at = size_t(i) * kSectorBytes;
    const uint8_t* sector = data.data() + at;
    if (data.size() - at < size_t(kSectorBytes)) {  // a short last sector, padded with zeros
      std::fill(last, last + kSectorBytes, 0);
      std::copy(sector, data.data() + data.size(), last);
      sector = last;
    }
    ++v.verified;
    if (SectorChecksum(sector) != StoredSectorChecksum(table.data(), i))
      v.bad.push_back({i, int64_t(at)});
  }
  return v;
}

}  // namespace

int RunChk(const ChkOptions& options) {
  // Every input is checked before anything is written.
  bool refused = false;
  std::vector<std::string> outputs;
  for (const std::string& file : options.files) {
    std::string error = santool::CheckInput(file);
    std::string out = error.empty() ? santool::ChecksumPath(file) : std::string();
    if (!error.empty()) {
      refused = Fail(error);
    } else if (out.empty()) {
      refused = Fail(file + ": the name is too long for a checksum file");
    } else if (imageio::SameFile(out, platform::ResolvePath(file.c_str()))) {
      refused = Fail(file + ": is its own checksum file");
    } else if (std::find(outputs.begin(), outputs.end(), out) != outputs.end()) {
      refused = Fail(file + ": shares its checksum file " + out + " with another input");
    }
    outputs.push_back(out);
  }
  if (refused) return 1;
  int status = 0;
  for (const std::string& file : options.files) {
    std::string host = platform::ResolvePath(file.c_str());
    Mapped data(host);
    if (!data.ok()) {
      status = Fail("cannot read " + host);
      continue;
    }
    std::vector<uint8_t> bytes = MakeChecksumFile(data.data(), data.size());
    std::string out = santool::ChecksumPath(file);
    imageio::OutputFile output(out);
    output.Write(bytes.data(), bytes.size());
    imageio::IoResult r = output.Commit();
    if (!r) {
      status = Fail(r.message);
      continue;
    }
    std::printf("%s: %zu sectors\n", out.c_str(), (bytes.size() - 12) / 4);
  }
  return status;
}

int RunVerify(const VerifyOptions& options) {
  int status = 0;
  for (const std::string& file : options.files) {
    std::string error = santool::CheckInput(file);
    if (!error.empty()) {
      status = Fail(error);
      continue;
    }
    Mapped data(platform::ResolvePath(file.c_str()));
    if (!data.ok()) {
      status = Fail("cannot read " + file);
      continue;
    }
    Verdict v = Verify(file, data);
    bool good = v.bad.empty() && v.problems.empty();
    if (!good) status = 1;
    if (options.json) {
      nlohmann::ordered_json j;
      j["file"] = v.file;
      j["checksum_file"] = v.checksum_file;
      j["sectors"] = v.sectors;
      j["verified"] = v.verified;
      j["bad"] = nlohmann::json::array();
      for (const Verdict::Bad& b : v.bad)
        j["bad"].push_back({{"sector", b.sector}, {"offset", b.offset}});
      j["problems"] = v.problems;
      j["ok"] = good;
      std::printf("%s\n",
                  j.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace).c_str());
      continue;
    }
    for (const std::string& p : v.problems) std::printf("%s: %s\n", file.c_str(), p.c_str());
    for (const Verdict::Bad& b : v.bad)
      std::printf("%s: bad sector %lld at offset %lld\n", file.c_str(),
                  static_cast<long long>(b.sector), static_cast<long long>(b.offset));
    if (good)
      std::printf("%s: %lld sectors match %s\n", file.c_str(), static_cast<long long>(v.verified),
                  v.checksum_file.c_str());
    else if (v.verified == 0 && v.sectors > 0)
      std::printf("%s: not verified (%s)\n", file.c_str(), kSeeChecksums);
    else
      std::printf("%s: %zu bad of %lld sectors (%s)\n", file.c_str(), v.bad.size(),
                  static_cast<long long>(v.sectors), kSeeChecksums);
  }
  std::fflush(stdout);
  return status;
}
