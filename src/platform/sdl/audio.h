// DirectSound on an SDL audio device: the looping secondary buffer is what
// the device plays, its play cursor is where the device is taking bytes.
#pragma once

#include "platform/dsound.h"

namespace platform::sdl {

// DirectSoundCreate of this backend: DSERR_NODRIVER when the audio
// subsystem cannot start. The buffer's device opens at CreateSoundBuffer.
HRESULT CreateDirectSound(LPDIRECTSOUND* object);

// Device buffers open now (leak checks in tests).
int OpenAudioBuffers();

}  // namespace platform::sdl
