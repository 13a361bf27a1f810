// Shared helpers of the engine tests: short builders for dates, times and
// instants, gtest printers for the value types, and check_state_windows(), the
// invariant every state-window list must satisfy.
//   Instant t = mon(8, 30);            // Monday 2024-05-06 08:30
//   EXPECT_TRUE(check_state_windows(list, mon(0), tue(0)));
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "engine/calendar.h"
#include "time/format.h"

namespace hourloom {

// Printers found by ADL, so failures show readable instants.
inline void PrintTo(const Instant& t, std::ostream* os) { *os << format_instant(t); }
inline void PrintTo(const TimeWindow& w, std::ostream* os) {
  *os << "[" << format_instant(w.start) << ", " << format_instant(w.end) << ")";
}
inline void PrintTo(const StateWindow& s, std::ostream* os) {
  PrintTo(s.window, os);
  *os << " cap " << s.capacity;
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
inline Instant sun(unsigned h, unsigned m = 0) { return at(day(-1), h, m); }
inline Instant mon(unsigned h, unsigned m = 0) { return at(day(0), h, m); }
inline Instant tue(unsigned h, unsigned m = 0) { return at(day(1), h, m); }
inline Instant wed(unsigned h, unsigned m = 0) { return at(day(2), h, m); }
inline Instant sat(unsigned h, unsigned m = 0) { return at(day(5), h, m); }

inline TimeWindow win(Instant a, Instant b) { return {a, b}; }
inline StateWindow sw(Instant a, Instant b, Capacity c) { return {{a, b}, c}; }

// Weekday numbers as the editing operations take them.
inline constexpr std::uint8_t kSun = 0, kMon = 1, kTue = 2, kWed = 3, kThu = 4, kFri = 5, kSat = 6;

// check_state_windows: ordered, gap-free, non-empty windows covering
// [start, end) exactly, neighbours of different capacity, no negative capacity.
inline ::testing::AssertionResult check_state_windows(const std::vector<StateWindow>& list, Instant start,
                                                      Instant end) {
  if (start == end) {
    if (list.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "empty range but " << list.size() << " windows";
  }
  if (list.empty()) return ::testing::AssertionFailure() << "no windows for a non-empty range";
  if (list.front().window.start != start)
    return ::testing::AssertionFailure() << "first window starts at " << format_instant(list.front().window.start);
  if (list.back().window.end != end)
    return ::testing::AssertionFailure() << "last window ends at " << format_instant(list.back().window.end);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const StateWindow& s = list[i];
    if (!(s.window.start < s.window.end))
      return ::testing::AssertionFailure() << "window " << i << " is empty or reversed";
    if (s.capacity < 0) return ::testing::AssertionFailure() << "window " << i << " has negative capacity";
    if (i == 0) continue;
    if (list[i - 1].window.end != s.window.start)
      return ::testing::AssertionFailure() << "gap or overlap before window " << i;
    if (list[i - 1].capacity == s.capacity)
      return ::testing::AssertionFailure() << "windows " << i - 1 << " and " << i << " share capacity " << s.capacity;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace test
}  // namespace hourloom
