// Weekly rule: a weekday (Sunday = 0) with a time-of-day range; a start later
// than the end runs past midnight into the next day, e.g. Friday 22:00-06:00
// holds Friday 23:00 and Saturday 05:59.
#pragma once

#include "time/window.h"

namespace hourloom {

struct WeeklyRule {
  Weekday day = 0;
  TimeOfDay start;
  TimeOfDay end;

  constexpr bool is_overnight() const { return end < start; }
  friend constexpr bool operator==(const WeeklyRule&, const WeeklyRule&) = default;
};

// make_weekly_rule: the day check first, then start = end.
constexpr Result<WeeklyRule> make_weekly_rule(Weekday day, TimeOfDay start, TimeOfDay end) {
  if (day > 6) return fail(ErrorKind::Value, msg::kDayRange);
  if (start == end) return fail(ErrorKind::Value, msg::kSameStartEnd);
  return WeeklyRule{day, start, end};
}

constexpr Weekday next_weekday(Weekday d) { return d == 6 ? 0 : static_cast<Weekday>(d + 1); }

// rule_contains: whether the rule's range holds an instant with this weekday and time of day.
constexpr bool rule_contains(const WeeklyRule& r, Weekday w, TimeOfDay t) {
  if (!r.is_overnight()) return r.day == w && r.start <= t && t < r.end;
  return (r.day == w && r.start <= t) || (next_weekday(r.day) == w && t < r.end);
}
constexpr bool rule_contains(const WeeklyRule& r, Instant t) {
  return rule_contains(r, t.weekday_sunday0(), t.time_of_day());
}

// rule_window: the rule's range laid on date d (d's weekday is not checked).
// An overnight range ends on the next date; without one it ends on d itself.
constexpr TimeWindow rule_window(const WeeklyRule& r, Date d) {
  Instant start = Instant::FromParts(d, r.start);
  Date end_date = d;
  if (r.is_overnight()) end_date = d.add_days(1).value_or(d);
  return {start, Instant::FromParts(end_date, r.end)};
}

}  // namespace hourloom
