// Time shifts of the "date" and "time" placeholders: "(+1d)", "(-90m)",
// "(1y -2M 3h)". Years and months move the calendar fields; days, hours,
// minutes and seconds move along the continuous time scale.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct Time_shift {
    std::int64_t years = 0;
    std::int64_t months = 0;
    std::int64_t seconds = 0; // days, hours, minutes and seconds together
};

// Reads a shift at the start of `argument` and removes it. Answers false and
// leaves the argument alone when it does not start with a well-formed shift.
bool take_time_shift(std::wstring& argument, Time_shift& shift);

// The shifted time, always a valid date between the years 1601 and 30827.
SYSTEMTIME apply_time_shift(const SYSTEMTIME& time, const Time_shift& shift);

bool is_leap_year(int year);
int days_in_month(int year, int month);
