// Win32 hands 64-bit values over, and takes them, in two 32-bit halves.
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform::win32 {

inline std::uint64_t joinHalves(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }
inline DWORD highHalf(std::uint64_t value) { return static_cast<DWORD>(value >> 32); }
inline DWORD lowHalf(std::uint64_t value) { return static_cast<DWORD>(value & 0xFFFFFFFF); }

// 100 ns ticks since 1601-01-01 UTC.
inline std::int64_t ticksOf(const FILETIME& time) {
  return static_cast<std::int64_t>(joinHalves(time.dwHighDateTime, time.dwLowDateTime));
}

}  // namespace platform::win32
