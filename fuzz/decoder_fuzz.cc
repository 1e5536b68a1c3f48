// libFuzzer target: any bytes as an object payload, drawn into a small
// picture with a clip and flags taken from the input's first bytes.
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DMV_BUILD_FUZZ=ON \
//     -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target decoder_fuzz make-demo-data -j2
//   fuzz/make_corpus.py build-fuzz corpus
//   build-fuzz/fuzz/decoder_fuzz corpus/decoder -max_total_time=300 -rss_limit_mb=2048
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200);
    return true;
  }();
  (void)started;
  if (size < 8) return 0;
  int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
  ClipRect clip{static_cast<int16_t>(static_cast<int8_t>(data[2])),
                static_cast<int16_t>(static_cast<int8_t>(data[3])), static_cast<int16_t>(data[4]),
                static_cast<int16_t>(data[5])};
  uint16_t flags = static_cast<uint16_t>(data[6] | (data[7] << 8));
  data += 8;
  size -= 8;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 0x55);
  Surface surface{pixels.data(), static_cast<uint16_t>(width), static_cast<uint16_t>(height)};
  // An exact copy, so reads past the payload are caught.
  std::vector<uint8_t> payload(data, data + size);
  payload.shrink_to_fit();
  DrawObjectWithin(&surface, (flags & 0x8000) ? nullptr : &clip, 0, 0, flags, payload.data(),
                   static_cast<uint32_t>(size) + (flags & 0x0800 ? 1000 : 0),
                   static_cast<uint32_t>(size), size != 0 ? data[0] : 1, 0);
  return 0;
}
