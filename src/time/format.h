// Text form of instants and times of day, shared by representations and saved
// definitions: "2024-05-06 08:00:00.250" and "2024-05-06T08:00:00.250".
// Fields are zero-padded; years outside 0..9999 carry a sign
// ("+10000-01-01 00:00:00"); a leap second shows as second 60; the fraction
// takes 0, 3, 6 or 9 digits.
#pragma once

#include <string>

#include "time/values.h"

namespace hourloom {

// append_instant: t -> "YYYY-MM-DD" separator "HH:MM:SS[.f]" appended to out. Cannot fail.
void append_instant(std::string& out, Instant t, char separator);
// append_time_of_day: t -> "HH:MM:SS[.f]" appended to out. Cannot fail.
void append_time_of_day(std::string& out, TimeOfDay t);
// format_instant: t -> "YYYY-MM-DD HH:MM:SS[.f]". Cannot fail.
std::string format_instant(Instant t);

}  // namespace hourloom
