// The presentation trace: one JSON line per event of a playback (a screen
// made visible, a frame read late, ticks dropped, a file switch, a frame's
// sound handed to the mixer, a sound block mixed), stamped with the clock.
//
// Cheap enough to leave on: lines are formatted into a fixed buffer, never
// allocated, and handed to the sink only when the buffer is full and at the
// end. Events may come from the main thread and from the sound output's
// tick; one lock keeps the lines whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trace {

// Where full buffers go (false: the sink failed; later lines are dropped and
// End reports it). The sink is called with the trace's lock held.
using Sink = bool (*)(void* context, const char* data, size_t size);
// The card's samples played so far (the sound output registers it while it
// is open; without it every line says 0).
using SamplesSource = uint64_t (*)();

// Starts a trace into `sink`; events before Begin and after End cost one
// test of a flag.
void Begin(Sink sink, void* context);
// Flushes what is buffered and stops; false when a write failed.
bool End();
bool On();

void SetSamplesSource(SamplesSource source);

// The context the next lines carry. File names longer than the trace keeps
// are cut.
void QueueFile(const char* name);  // the file that plays after the current one
// The queued file is now current; the frame tick runs `frames_per_second`
// (the render and sync timers at the whole-millisecond period).
void FileSwitched(int32_t frame_period_ms, int32_t frames_per_second);
// The frame being processed; `end_pass`: the last frame shown again at the
// end of its file.
void SetFrame(int32_t frame_number, bool late, int32_t ring_fill, bool end_pass);

// Events.
void Screen(bool pixels);              // a presented screen (pixels or palette only)
void Dropped(uint32_t ticks);          // frame ticks cleared without a read of their own
void Sound(int32_t channel, int64_t stream_at);  // the frame's sound starts at this stream byte
// One block of `length` card samples mixed to be played from card sample
// `card_at` (counted like the played samples), and the stream bytes of
// `channel` it took.
void Mixed(int32_t channel, int64_t from, int64_t to, uint64_t card_at, int32_t length,
           int32_t rate);

}  // namespace trace
