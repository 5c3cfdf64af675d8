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
using LONG = std::int32_t;  // the Windows LONG: 32 bits in both editions, unlike long
using HINSTANCE = void*;
using HMODULE = void*;
// Window and object handles are opaque words of the VM's: 32 bits on i386,
// pointer-sized on x86-64 (a 64-bit VM may hand out addresses as handles).
using HWND = std::uintptr_t;
using HANDLE_VX = std::uintptr_t;

// Filled by IVM::InfoVM(9, ...): the VM's clock, Windows layout.
struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// Exported from the shared library (everything else is hidden).
#define KV_EXPORT __attribute__((visibility("default")))

// Two editions share every published layout: i386 (ILP32, the product a
// 32-bit VM loads) and x86-64 (LP64: every word that holds a pointer or a
// handle is pointer-sized, integers keep their widths, natural alignment).
#if defined(__i386__)
static_assert(sizeof(void*) == 4 && sizeof(long) == 4, "the i386 edition is ILP32");
#elif defined(__x86_64__)
static_assert(sizeof(void*) == 8 && sizeof(long) == 8, "the x86-64 edition is LP64");
#else
#error "kv140std builds for i386 or x86-64"
#endif

// A layout figure of this edition: the first on i386, the second on x86-64.
// The size and offset checks of the published structures use it.
constexpr std::size_t nSelonEdition(std::size_t nI386, std::size_t nX8664) {
  return sizeof(void*) == 4 ? nI386 : nX8664;
}
