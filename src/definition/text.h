// Reading the instant and time-of-day text of saved definitions:
//   2024-05-13T07:59:59.500   +10000-01-01T00:00:00   23:59:60 (a leap second)
// The grammar is the one time/format.h writes with a 'T' separator; white space
// is tolerated before each separator and at the end, and any number of fraction
// digits is read (nine count).
#pragma once

#include "time/expected.h"
#include <string_view>

#include "time/values.h"

namespace hourloom {

// is_digit: an ASCII decimal digit.
inline constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// parse_instant: "YYYY-MM-DDTHH:MM:SS[.f]" -> Instant, or one of the parser's
// messages ("input is out of range", "premature end of input", ...).
Expected<Instant, const char*> parse_instant(std::string_view text);
// parse_time_of_day: "HH:MM[:SS[.f]]" -> TimeOfDay ("08:00" is 08:00:00).
Expected<TimeOfDay, const char*> parse_time_of_day(std::string_view text);

}  // namespace hourloom
