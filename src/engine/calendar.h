// The engine's calendar record and its validated editing operations.
// A calendar keeps its rules, windows, overrides and entries exactly in the
// order they were added. The only derived data is a time index over its
// windows, overrides and entries, kept beside the sequences: it never changes
// an answer, equality ignores it and copies share it until one is edited. A
// calendar with components is a composite: the intersection of its
// components, query-only.
//   Calendar c;
//   add_open_rule(c, 1, TimeOfDay::FromHms(8, 0, 0), TimeOfDay::FromHms(17, 0, 0));
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "engine/entry_list.h"
#include "time/records.h"
#include "time/weekly_rule.h"

namespace hourloom {

class TimeIndex;

// The sequences are edited only through the operations below, which keep the
// index in step; windows and overrides may also be appended directly, the
// index picks them up on the next question.
struct Calendar {
  Capacity default_capacity = 1;
  std::vector<WeeklyRule> open_rules;
  std::vector<WeeklyRule> break_rules;
  std::vector<TimeWindow> open_windows;
  std::vector<TimeWindow> closed_windows;
  std::vector<CapacityWindow> capacity_overrides;
  EntryList entries;
  std::vector<Calendar> components;
  // Built by the first question that needs it (see time_index.h).
  mutable std::shared_ptr<TimeIndex> index;
  // The open time of 7 days that no stored window reaches, the same for any
  // such 7 days: a function of the weekly rules alone, kept by the first
  // working-time question that measures it and forgotten by any rule edit.
  mutable std::optional<Duration> rules_week_open_time;

  bool is_composite() const { return !components.empty(); }
  friend bool operator==(const Calendar& a, const Calendar& b) {
    return a.default_capacity == b.default_capacity && a.open_rules == b.open_rules &&
           a.break_rules == b.break_rules && a.open_windows == b.open_windows &&
           a.closed_windows == b.closed_windows && a.capacity_overrides == b.capacity_overrides &&
           a.entries == b.entries && a.components == b.components;
  }
};

// Editing. Each runs its checks in a fixed order (composite refusal first,
// except add_holiday, whose date overflow comes first) and changes nothing
// when one fails. A rule's day is the weekday number as the caller gives it;
// ValueError "Day must be in DayOfWeek range 0..6." outside 0..6.
Result<void> add_open_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end);
Result<void> add_break_rule(Calendar& c, std::uint8_t day, TimeOfDay start, TimeOfDay end);
// add_weekday_open_rules, add_weekday_break_rules: the rule on Monday to Friday, in that order.
Result<void> add_weekday_open_rules(Calendar& c, TimeOfDay start, TimeOfDay end);
Result<void> add_weekday_break_rules(Calendar& c, TimeOfDay start, TimeOfDay end);
Result<void> add_open_window(Calendar& c, Instant start, Instant end);
Result<void> add_closed_window(Calendar& c, Instant start, Instant end);
// add_holiday: [date 00:00, next date 00:00) as a closed window; OverflowError
// "Date overflow." when the next date does not exist.
Result<void> add_holiday(Calendar& c, Date date);
Result<void> set_default_capacity(Calendar& c, Capacity capacity);
Result<void> add_capacity_override(Calendar& c, Instant start, Instant end, Capacity capacity);
// set_entry: replaces the entry with the same id in place (keeping its
// position) or appends a new one. Ids are compared exactly, untrimmed.
Result<void> set_entry(Calendar& c, std::string id, EntryKind kind, Instant start, Instant end, Capacity capacity);
// remove_entry: true when an entry with exactly this id was removed.
Result<bool> remove_entry(Calendar& c, std::string_view id);
// find_entry: the first entry with exactly this id, or nullptr. Blank ids are
// refused with "Entry id cannot be empty.".
Result<const Entry*> find_entry(const Calendar& c, std::string_view id);

// Clearing: each empties one sequence; clear resets the whole record.
Result<void> clear_open_rules(Calendar& c);
Result<void> clear_break_rules(Calendar& c);
Result<void> clear_open_windows(Calendar& c);
Result<void> clear_closed_windows(Calendar& c);
Result<void> clear_capacity_overrides(Calendar& c);
Result<void> clear_entries(Calendar& c);
Result<void> clear(Calendar& c);

// is_blank_id: empty or only Unicode white space (id is UTF-8).
bool is_blank_id(std::string_view id);

// make_composite: a composite whose components are the given calendars, in order.
Calendar make_composite(std::vector<Calendar> components);

}  // namespace hourloom
