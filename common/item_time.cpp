#include "common/item_time.h"

#include <cmath>
#include <cstdint>

namespace {

// Milliseconds from 1601-01-01 (FILETIME's origin) to 1899-12-30 (DATE's).
constexpr int64_t kOriginGapMs = 9435312000000LL;
constexpr int64_t kTicksPerMs = 10000;
constexpr double kMsPerDay = 86400000.0;

uint64_t ToU64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
FILETIME FromU64(uint64_t v) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return ft;
}

}  // namespace

bool TimeToFileTime(double time, FILETIME* utc) {
    if (!utc) return false;
    if (time == 0) {
        *utc = FromU64(0);
        return true;
    }
    double ms = std::round(time * kMsPerDay);   // half away from zero
    // Outside FILETIME's range (before 1601, or past what 63 bits hold).
    if (!std::isfinite(ms) || ms < -static_cast<double>(kOriginGapMs) || ms > 9.0e14)
        return false;
    int64_t ticks = (static_cast<int64_t>(ms) + kOriginGapMs) * kTicksPerMs;
    FILETIME local = FromU64(static_cast<uint64_t>(ticks));
    return LocalFileTimeToFileTime(&local, utc) != FALSE;
}

bool FileTimeToTime(const FILETIME& utc, double* time) {
    if (!time) return false;
    if (ToU64(utc) == 0) {
        *time = 0;
        return true;
    }
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local)) return false;
    int64_t ticks = static_cast<int64_t>(ToU64(local)) - kOriginGapMs * kTicksPerMs;
    *time = static_cast<double>(ticks / kTicksPerMs) * (1.0 / kMsPerDay);
    return true;
}

bool TimeToLocalSystemTime(double time, SYSTEMTIME* local) {
    if (!local) return false;
    if (time == 0) {
        *local = SYSTEMTIME{};
        return true;
    }
    FILETIME utc, localFt;
    return TimeToFileTime(time, &utc) && FileTimeToLocalFileTime(&utc, &localFt) &&
           FileTimeToSystemTime(&localFt, local);
}

bool LocalSystemTimeToTime(const SYSTEMTIME& local, double* time) {
    FILETIME localFt, utc;
    return SystemTimeToFileTime(&local, &localFt) && LocalFileTimeToFileTime(&localFt, &utc) &&
           FileTimeToTime(utc, time);
}
