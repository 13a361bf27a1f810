// Shared helpers of the engine tests: short builders for dates, times and
// instants, and gtest printers for the value types.
//   Instant t = mon(8, 30);            // Monday 2024-05-06 08:30
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "engine/calendar.h"
#include "time/format.h"

namespace hourloom {

// Printers found by ADL, so failures show readable instants.
inline void PrintTo(const Instant& t, std::ostream* os) { *os << format_instant(t); }
inline void PrintTo(const TimeWindow& w, std::ostream* os) {
  *os << "[" << format_instant(w.start) << ", " << format_instant(w.end) << ")";
}
inline void PrintTo(const Error& e, std::ostream* os) {
  *os << "Error{" << static_cast<int>(e.kind) << ", \"" << e.message << "\"}";
}

namespace test {

inline Date date(std::int64_t y, unsigned m, unsigned d) { return Date::FromCivil(y, m, d).value(); }
inline TimeOfDay hm(unsigned h, unsigned m = 0) { return TimeOfDay::FromHms(h, m, 0); }
inline Instant at(Date d, unsigned h = 0, unsigned m = 0, unsigned s = 0, std::uint32_t nanos = 0) {
  return Instant::FromParts(d, TimeOfDay::FromHms(h, m, s, nanos));
}
inline Instant at(std::int64_t y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0) {
  return at(date(y, mo, d), h, mi);
}

// The reference week: Monday 2024-05-06 to Sunday 2024-05-12.
inline Date kMonday = date(2024, 5, 6);
inline Date day(int offset) { return kMonday.add_days(offset).value(); }
inline Instant mon(unsigned h, unsigned m = 0) { return at(day(0), h, m); }
inline Instant tue(unsigned h, unsigned m = 0) { return at(day(1), h, m); }

inline TimeWindow win(Instant a, Instant b) { return {a, b}; }

// Weekday numbers as the editing operations take them.
inline constexpr std::uint8_t kSun = 0, kMon = 1, kTue = 2, kWed = 3, kThu = 4, kFri = 5, kSat = 6;

}  // namespace test
}  // namespace hourloom
