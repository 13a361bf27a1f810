// Expansion of a calendar's stored rules and windows into concrete windows
// over a range: rule occurrences, the window merge, and the open spans of a
// simple calendar (opening minus closing, before capacities).
//   calendar_windows(cal, {mon_00, tue_00}) -> [08:00-12:00), [13:00-17:00)
#pragma once

#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// expand_rules: occurrences of the rules on every date from the day before
// range.start's date to range.end's date, clipped to the range, sorted.
std::vector<TimeWindow> expand_rules(const std::vector<WeeklyRule>& rules, TimeWindow range);
// merge: drops empty windows, sorts by (start, end), joins overlapping or touching ones.
std::vector<TimeWindow> merge(std::vector<TimeWindow> windows);
// add_entry_windows: appends the windows of the entries of `kind`, clipped to the range.
// `entries` is any sequence of Entry (the calendar's EntryList or a vector).
template <class Entries>
void add_entry_windows(const Entries& entries, EntryKind kind, TimeWindow range, std::vector<TimeWindow>& out) {
  for (const Entry& e : entries)
    if (e.kind == kind)
      if (auto piece = clip(e.window, range)) out.push_back(*piece);
}
// calendar_windows: open spans of a simple calendar in the range, merged.
std::vector<TimeWindow> calendar_windows(const Calendar& c, TimeWindow range);

}  // namespace hourloom
