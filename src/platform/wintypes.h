// The few Windows types and constants the engines pass through the
// operating-system seam. Our own minimal declarations, with the original
// numeric values.
#pragma once

#include <cstdint>

using BOOL = int32_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using LONG = int32_t;
using HRESULT = int32_t;
using MMRESULT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct WindowObject;
using HWND = WindowObject*;
struct ModuleObject;
using HINSTANCE = ModuleObject*;

constexpr BOOL FALSE_ = 0;
constexpr BOOL TRUE_ = 1;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct POINT {
  LONG x;
  LONG y;
};
