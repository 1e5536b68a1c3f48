// libFuzzer target: a data file and its ".CHK" checksum file, opened as the
// stream engine opens them (mode "rb" loads and verifies the table), then read
// with checked reads at positions and in block sizes taken from the input.
//   byte 0: length of the checksum file (mod 64), bytes from byte 4 on;
//   byte 1: the data file's size, as a signed step of 64 bytes around the
//           size the table describes (so tables that match, and that are
//           refused as too large, are both reached);
//   byte 2: read block size; byte 3: seek pattern;
//   the rest: the data file's bytes, repeated to its size.
// Both files are memory-backed where /dev/shm is there. The data file is kept
// to 16 sectors or less: a sector that never verifies is read 306 times.
// Build and run: see san_fuzz.cc; the seeds are corpus/chk.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "stream/slots.h"

namespace {

// A block whose sectors never verify is read 306 times: a few reads per input.
constexpr int kMaxReads = 4;

bool Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  if (size != 0) std::fwrite(data, 1, size, f);
  return std::fclose(f) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string base =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/mv_chk_fuzz_" +
      std::to_string(getpid());
  static const std::string data_path = base + ".san", chk_path = base + ".CHK";
  if (size < 4) return 0;
  const uint8_t c0 = data[0], c1 = data[1], c2 = data[2], c3 = data[3];
  data += 4;
  size -= 4;
  size_t chk_size = std::min<size_t>(c0 % 64, size);
  std::vector<uint8_t> chk(data, data + chk_size);
  data += chk_size;
  size -= chk_size;
  int64_t sectors = std::max<int64_t>(0, ChecksumFileSectors(int64_t(chk_size)));
  int64_t length = std::clamp<int64_t>(sectors * kSectorBytes + int8_t(c1) * 64, 0,
                                       16 * kSectorBytes);
  std::vector<uint8_t> file(size_t(length), 0);
  for (size_t i = 0; size != 0 && i < file.size(); ++i) file[i] = data[i % size];
  if (!Write(data_path, file.data(), file.size()) || !Write(chk_path, chk.data(), chk.size()))
    return 0;

  int16_t slot = FileOpen(data_path.c_str(), 2);
  if (slot != 0) {
    int32_t block = 1 + (c2 & 0x0F) * (c2 & 0x10 ? 512 : 97);
    // An exact buffer, so that a read past the block is caught.
    std::vector<uint8_t> buffer(static_cast<size_t>(block));
    for (int i = 0; i < kMaxReads; ++i) {
      switch ((c3 >> (i % 4 * 2)) & 3) {
        case 0: break;  // on from where the last read stopped
        case 1: FileSeek(slot, int32_t(i * 1000 % (length + 1)), 0); break;
        case 2: FileSeek(slot, -block, 1); break;
        case 3: FileSeek(slot, -int32_t(i) * 300, 2); break;
      }
      if (FileReadChecked(slot, buffer.data(), block) <= 0 && (c3 & 3) == 0) break;
    }
    FileTell(slot);
    FileLength(slot);
    FileChecksumSectors(slot);
    FileClose(slot);
  }
  std::remove(data_path.c_str());
  std::remove(chk_path.c_str());
  ClearLogs();
  return 0;
}
