// libFuzzer target: any bytes as a file given to `santool info`, reported as
// text or JSON (byte 0: bit 0 JSON, bit 1 every frame), in process, with the
// report written to /dev/null.
// Build and run: see san_fuzz.cc; the seeds are corpus/info.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "santool/santool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* out = std::fopen("/dev/null", "w");
  static const std::string path =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/mv_info_fuzz_" +
      std::to_string(getpid()) + ".san";
  if (size < 1 || out == nullptr) return 0;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  InfoOptions options;
  options.files = {path};
  options.json = data[0] & 1;
  options.frames = data[0] & 2;
  ReportInfo(path, options, out);
  std::remove(path.c_str());
  return 0;
}
