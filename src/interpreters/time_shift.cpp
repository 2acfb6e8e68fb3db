#include "interpreters/time_shift.h"

#include "trace/trace.h"

#include <algorithm>

namespace {

constexpr int first_year = 1601;
constexpr int last_year = 30827;
// More than the whole representable range (about 9.2e11 s), small enough that
// converting to 100 ns ticks never overflows.
constexpr std::int64_t seconds_limit = 920000000000LL;
constexpr std::int64_t ticks_per_second = 10000000;

std::int64_t clamp_add(std::int64_t a, std::int64_t b, std::int64_t limit) {
    // Both operands stay within ±limit, so the sum cannot overflow.
    return std::clamp(std::clamp(a, -limit, limit) + std::clamp(b, -limit, limit), -limit, limit);
}

// value * unit, saturated to the shift limit.
std::int64_t scaled(std::int64_t value, std::int64_t unit) {
    const std::int64_t bound = seconds_limit / unit;
    return std::clamp(value, -bound, bound) * unit;
}

// False for a time Windows cannot convert; 0 ticks is a valid moment
// (1601-01-01 00:00), not a failure.
bool to_ticks(const SYSTEMTIME& time, std::uint64_t& ticks) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file))
        return false;
    ticks = (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

SYSTEMTIME from_ticks(std::uint64_t ticks) {
    FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME time{};
    FileTimeToSystemTime(&file, &time);
    return time;
}

SYSTEMTIME last_moment() {
    SYSTEMTIME time{};
    time.wYear = last_year;
    time.wMonth = 12;
    time.wDay = 31;
    time.wHour = 23;
    time.wMinute = 59;
    time.wSecond = 59;
    time.wMilliseconds = 999;
    return time;
}

} // namespace

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 31;
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

bool take_time_shift(std::wstring& argument, Time_shift& shift) {
    if (argument.empty() || argument[0] != L'(')
        return false;
    const std::size_t close = argument.find(L')');
    if (close == std::wstring::npos)
        return false;
    Time_shift result;
    std::size_t i = 1;
    while (i < close) {
        if (argument[i] == L' ') {
            ++i;
            continue;
        }
        bool negative = false;
        if (argument[i] == L'+' || argument[i] == L'-') {
            negative = argument[i] == L'-';
            ++i;
        }
        if (i >= close || argument[i] < L'0' || argument[i] > L'9')
            return false;
        std::int64_t value = 0;
        while (i < close && argument[i] >= L'0' && argument[i] <= L'9') {
            // Saturates: a shift of more than the whole range is the whole range.
            value = std::min<std::int64_t>(value * 10 + (argument[i] - L'0'), seconds_limit);
            ++i;
        }
        if (negative)
            value = -value;
        if (i >= close)
            return false;
        switch (argument[i]) {
        case L'y':
            result.years = clamp_add(result.years, value, seconds_limit);
            break;
        case L'M':
            result.months = clamp_add(result.months, value, seconds_limit);
            break;
        case L'd':
            result.seconds = clamp_add(result.seconds, scaled(value, 86400), seconds_limit);
            break;
        case L'h':
            result.seconds = clamp_add(result.seconds, scaled(value, 3600), seconds_limit);
            break;
        case L'm':
            result.seconds = clamp_add(result.seconds, scaled(value, 60), seconds_limit);
            break;
        case L's':
            result.seconds = clamp_add(result.seconds, value, seconds_limit);
            break;
        default:
            return false;
        }
        ++i;
    }
    argument.erase(0, close + 1);
    shift = result;
    return true;
}

SYSTEMTIME apply_time_shift(const SYSTEMTIME& time, const Time_shift& shift) {
    SYSTEMTIME shifted = time;
    // Calendar part: months carry into years both ways.
    std::int64_t month_index = static_cast<std::int64_t>(time.wYear) * 12 + (time.wMonth - 1);
    month_index += std::clamp<std::int64_t>(shift.years, -100000, 100000) * 12;
    month_index += std::clamp<std::int64_t>(shift.months, -1200000, 1200000);
    std::int64_t year = month_index >= 0 ? month_index / 12 : (month_index - 11) / 12;
    int month = static_cast<int>(month_index - year * 12) + 1;
    int day = std::max<int>(time.wDay, 1);
    // Beyond the year range the date stops at the range's first or last day.
    if (year < first_year) {
        year = first_year;
        month = 1;
        day = 1;
    } else if (year > last_year) {
        year = last_year;
        month = 12;
        day = 31;
    }
    shifted.wYear = static_cast<WORD>(year);
    shifted.wMonth = static_cast<WORD>(month);
    shifted.wDay = static_cast<WORD>(std::min(day, days_in_month(static_cast<int>(year), month)));
    shifted.wDayOfWeek = 0;
    std::uint64_t ticks = 0;
    // Without a continuous part, only the weekday is recomputed, through the time scale.
    if (shift.seconds == 0)
        return to_ticks(shifted, ticks) ? from_ticks(ticks) : shifted;
    // Continuous part, limited to the first (tick 0) and the last representable moment.
    if (!to_ticks(shifted, ticks)) {
        Trace::error("apply_time_shift") << "the date before the shift is not valid; unshifted";
        return shifted;
    }
    std::uint64_t high = 0;
    to_ticks(last_moment(), high);
    const std::uint64_t delta =
        static_cast<std::uint64_t>(shift.seconds < 0 ? -shift.seconds : shift.seconds) *
        ticks_per_second;
    std::uint64_t result;
    if (shift.seconds < 0)
        result = ticks < delta ? 0 : ticks - delta;
    else
        result = high - ticks < delta ? high : ticks + delta;
    return from_ticks(result);
}
