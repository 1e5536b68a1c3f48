// Codecs not drawn yet: they start and draw nothing.
#include "decoder/decoder.h"

#define MV_PENDING_CODEC(name)                                                              \
  int16_t name(int16_t, const Surface*, const ClipRect*, int16_t, int16_t, const uint8_t*, \
               uint32_t, uint16_t, uint8_t, uint8_t) {                                     \
    return 0;                                                                              \
  }
MV_PENDING_CODEC(CodecShade)
MV_PENDING_CODEC(CodecRaw)
MV_PENDING_CODEC(CodecSmoothing)
