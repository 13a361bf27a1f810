// Weekly rule: a weekday with a time-of-day range; a start later than the end
// runs past midnight into the next day, e.g. Friday 22:00-06:00 holds Friday
// 23:00 and Saturday 05:59. A rule exists only through make_weekly_rule.
#pragma once

#include <cstdint>
#include <optional>

#include "time/window.h"

namespace hourloom {

class WeeklyRule {
 public:
  constexpr Weekday day() const { return day_; }
  constexpr TimeOfDay start() const { return start_; }
  constexpr TimeOfDay end() const { return end_; }
  constexpr bool is_overnight() const { return end_ < start_; }
  friend constexpr bool operator==(const WeeklyRule&, const WeeklyRule&) = default;

  friend constexpr Result<WeeklyRule> make_weekly_rule(std::uint8_t day, TimeOfDay start, TimeOfDay end);

 private:
  constexpr WeeklyRule(Weekday day, TimeOfDay start, TimeOfDay end) : day_(day), start_(start), end_(end) {}
  Weekday day_;
  TimeOfDay start_;
  TimeOfDay end_;
};

// make_weekly_rule: day is the weekday number as given (0..6 valid); the day
// check comes first, then start = end.
constexpr Result<WeeklyRule> make_weekly_rule(std::uint8_t day, TimeOfDay start, TimeOfDay end) {
  auto weekday = weekday_from_number(day);
  if (!weekday) return fail(ErrorKind::Value, msg::kDayRange);
  if (start == end) return fail(ErrorKind::Value, msg::kSameStartEnd);
  return WeeklyRule(*weekday, start, end);
}

// rule_contains: whether the rule's range holds an instant with this weekday and time of day.
constexpr bool rule_contains(const WeeklyRule& r, Weekday w, TimeOfDay t) {
  if (!r.is_overnight()) return r.day() == w && r.start() <= t && t < r.end();
  return (r.day() == w && r.start() <= t) || (next_weekday(r.day()) == w && t < r.end());
}
constexpr bool rule_contains(const WeeklyRule& r, Instant t) {
  return rule_contains(r, t.weekday_sunday0(), t.time_of_day());
}

// rule_window: the rule's range laid on date d (d's weekday is not checked).
// An overnight range ends on the next date, or at the last instant when d is
// the last representable date.
constexpr TimeWindow rule_window(const WeeklyRule& r, Date d) {
  const Instant start = Instant::FromParts(d, r.start());
  if (!r.is_overnight()) return {start, Instant::FromParts(d, r.end())};
  const auto next = d.add_days(1);
  return {start, next ? Instant::FromParts(*next, r.end()) : Instant::Max()};
}

// rule_carryover: for the first representable date d, which has no day
// before, the part of the day before's overnight occurrence that falls on d
// ([d 00:00, d end) when the rule is on the weekday before d's).
constexpr std::optional<TimeWindow> rule_carryover(const WeeklyRule& r, Date d) {
  if (!r.is_overnight() || next_weekday(r.day()) != d.weekday_sunday0()) return std::nullopt;
  return TimeWindow{Instant::FromParts(d, {}), Instant::FromParts(d, r.end())};
}

}  // namespace hourloom
