#pragma once
// The platform's basic scalar types, with the sizes and values the system's code and files rely
// on. Shared by every layer; no behaviour lives here.
#include <cstdint>

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using LONGLONG = std::int64_t;
using REFERENCE_TIME = std::int64_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
// A window handle is the native X11 window id of a widget.
using HWND = unsigned long;

constexpr UINT WM_USER = 0x0400;
