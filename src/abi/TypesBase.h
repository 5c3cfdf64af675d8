// Base scalar names used across the library's interfaces (Windows-style
// names kept for the VM contract; all 32-bit on i386 unless stated).
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using HINSTANCE = void*;
using HMODULE = void*;
using HWND = std::uint32_t;
using HANDLE_VX = std::uint32_t;

// Filled by IVM::InfoVM(9, ...): the VM's clock, Windows layout.
struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// Exported from the shared library (everything else is hidden).
#define KV_EXPORT __attribute__((visibility("default")))

static_assert(sizeof(void*) == 4, "the component is built for 32-bit x86");
