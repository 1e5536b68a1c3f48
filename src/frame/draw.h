// Lines and rectangle outlines for the debug overlay and the debug frame.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

// Clipped to `clip`, or to the surface when it is null; a line whose row (or
// column) lies outside draws nothing.
void DrawHorizontalLine(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                        int32_t length, uint8_t colour);
void DrawVerticalLine(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                      int32_t length, uint8_t colour);
void DrawRectOutline(const Surface* surface, const ClipRect* clip, int32_t x, int32_t y,
                     int32_t width, int32_t height, uint8_t colour);
