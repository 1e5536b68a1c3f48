// The sound output driver: DirectSound, the 40 ms output tick, and the
// integer mixing machinery (accumulator, volume tables and curve, clip table)
// that every mixing pass goes through.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Adds `input_count` samples from `source`, stretched or squeezed to
// `output_count`, into the accumulator from `output_index` on. `volume` is
// read as a signed byte; `step` is always 1; `pan` is carried but unused.
using MixInProc = void (*)(const uint8_t* source, int32_t output_index, int32_t output_count,
                           int32_t input_count, int32_t step, int32_t volume, int32_t pan);
// The mixer's entry, called once per output block.
using SoundBlockCallback = void (*)(int32_t block_length, MixInProc mix_in);

constexpr int32_t kOutputBlockLength = 1024;
constexpr int32_t kOutputBlockCount = 5;
constexpr int32_t kOutputTickMs = 40;

// The command entry the mixer knows the driver by. Commands: 1 probe, 2 open
// (a rate, b channel count, c the block callback), 3 close, 5/6 store/answer
// the user word, 7 (a rate) recreate the output buffer, 8 answer the rate.
int32_t SoundDriverProc(int32_t command, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                        intptr_t e);

// 0 opened, 1 already open (only the count rises), -1 failed (nothing kept).
int32_t OpenSoundOutput(int32_t rate, int32_t channel_count, SoundBlockCallback callback);
// Lowers the open count; the last close stops the tick, then frees.
void CloseSoundOutput();
// (Re)creates the looping secondary buffer of five blocks, filled with
// silence and playing from 0. 0 or -1.
int32_t CreateOutputBuffer(int32_t rate);
// Builds the clip table for `channel_count` channels, the accumulator and the
// volume tables. 0 or -1 (nothing kept).
int32_t BuildMixTables(int32_t channel_count, int32_t block_length);
void FreeMixTables();
// The 40 ms tick (a multimedia timer callback).
void OutputTimerProc(UINT timer_id, UINT msg, uintptr_t user, uintptr_t dw1, uintptr_t dw2);
void MixIn(const uint8_t* source, int32_t output_index, int32_t output_count,
           int32_t input_count, int32_t step, int32_t volume, int32_t pan);

// Called by the display when the application is activated (non-zero) or
// deactivated (0).
void SetSoundOutputActive(int32_t flag);

// Muted, the output keeps mixing (the channels move on as they would) but
// the card gets silence.
void SetSoundOutputMuted(bool muted);

// Where the priority cooperative level is set: the display's main window.
// Without a source the window is null (the backends do not need one).
using SoundWindowSource = HWND (*)();
void SetSoundOutputWindowSource(SoundWindowSource source);

// Inspection (tests, benchmarks, the overlay).
// Volume 0..127 (or negative, by magnitude) to a table level 0..32.
int32_t VolumeCurveLevel(int32_t volume);
// Entry [level][sample] of the volume tables; tables must be built.
int16_t VolumeTableEntry(int32_t level, int32_t sample);
// The clip table's byte for a sum (clamped to the table's range).
uint8_t ClipTableAt(int32_t sum);
// The accumulator of the block being mixed (block length sums), or null.
int32_t* MixAccumulator();
// Clears the accumulator, has the callback mix one block into it and
// converts it into the mix buffer; returns the mix buffer.
const uint8_t* MixOneBlock();
// Converts the accumulator as it stands into the mix buffer; returns it.
const uint8_t* ConvertMixBlock();
int16_t OutputState();      // 1 idle, 0 starting, 2 running
int16_t NextOutputBlock();  // 0..4
uint16_t OutputOpenCount();
