// The stream engine ("File Streamer"): reads the current animation file ahead
// into a ring buffer so the frame reader can take whole chunks as contiguous
// blocks. The reader side (StreamReadAhead, on the reading thread or the
// playback loop) opens requested files and fills the ring with sector-aligned
// blocks read through the checked file slots; the consumer side (StreamFetch,
// the frame reader) takes the next n bytes. One lock guards all of it.
#pragma once

#include <cstdint>

// File names a request may carry (terminating zero not counted).
constexpr int kStreamNameChars = 55;

// What StreamFetch hands back. The values are the original's results.
enum StreamStatus : int32_t {
  kStreamData = 1,      // `data` points to n contiguous bytes
  kStreamSwitched = 0,  // the requested file is reached; the next fetch starts at its first byte
  kStreamNotYet = -1,   // the ring does not hold n bytes yet (or there is no file)
  kStreamError = -2,    // n is negative or larger than the largest frame, or the file
                        // ends inside the n bytes and nothing else is coming
  kStreamEnd = -3,      // the current file's bytes are all taken and nothing else is
                        // coming (no request pending, or the last one failed)
};

struct StreamChunk {
  StreamStatus status;
  // Only with kStreamData: valid until the next StreamFetch, null otherwise.
  uint8_t* data;
};

// Only the first call of a nesting acts: a buffer of ring size request +
// largest frame bytes (the ring, rounded down to a multiple of 2048, then the
// overflow area). 0, or -101 when the buffer cannot be had or the sizes
// cannot make a ring (fewer than two sectors, or a negative largest frame).
int16_t StreamInit(int32_t ring_size_request, int32_t largest_frame);
// The last call of a nesting closes the current file and frees the buffer.
void StreamShutdown();
// Between plays: empty ring, no current file, no switch in progress.
void StreamReset();
// Asks the reader to switch to `name` (null or "" restarts the current file)
// at `offset`. 0, or -103 when the name is longer than 55 characters or the
// offset is negative: such a request is refused like a file that cannot be
// opened (any earlier pending request is dropped too), and the error log
// says so; a name is never cut short into another file's name. A refused
// request, like one whose file the reader cannot open, counts as failed
// (StreamSwitchFailed) until the next request.
int16_t StreamRequestOpen(const char* name, int32_t offset);
// One reader step: carry out a pending request, then read at most
// `maximum_bytes` (rounded down to whole sectors) into the ring.
void StreamReadAhead(int32_t maximum_bytes);
// A reader step would act: a request is pending, or the current file has
// bytes left and the ring room for them. Otherwise StreamReadAhead changes
// nothing (whatever its maximum).
bool StreamReadAheadHasWork();
// Takes the next n bytes (the block of the previous fetch is released first).
StreamChunk StreamFetch(int32_t n);
// Fill of the ring, 0 to 100 (100 with no file or at the file's end). Reads
// without the lock: an estimate.
int16_t StreamFillPercent();
// The reader has opened the requested file and put its first block in the ring.
bool StreamSwitchDone();
// The last request was refused or its file could not be opened, and no other
// is pending: no switch is coming.
bool StreamSwitchFailed();

// A consistent look at the engine, for the debug overlay and tests.
struct StreamState {
  const uint8_t* ring;  // the buffer (null when stopped)
  int32_t ring_size;
  int32_t largest_frame;
  int32_t write_offset;  // offsets into the ring
  int32_t read_offset;
  int16_t current_file;  // file slot, 0 for none
  int32_t file_position;
  int32_t file_size;
  int32_t first_block_skip;
  bool switched;
  bool reached;
  bool request_pending;
  bool request_failed;
  int32_t data_end;  // ring offset where the current file's bytes end
};
StreamState StreamInspect();
