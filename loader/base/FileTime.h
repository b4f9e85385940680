// File times (100-nanosecond steps since 1601) and seconds since 1970, both ways (Win32).
#pragma once

#include <cstdint>

#include <windows.h>

constexpr int64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// Whole seconds since 1970.
inline int64_t SecondsSince1970(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
}

// False when the seconds lie outside what a file time holds.
inline bool FileTimeFromSeconds(int64_t seconds, FILETIME* time) {
    const int64_t since1601 = seconds + kSecondsFrom1601To1970;
    if (since1601 < 0 || since1601 > INT64_MAX / kFileTimeTicksPerSecond)
        return false;
    const uint64_t ticks = static_cast<uint64_t>(since1601) * kFileTimeTicksPerSecond;
    *time = FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    return true;
}
