// Expansion of a calendar's stored rules and windows into concrete windows
// over a range: rule occurrences, the window merge, and the one-off windows of
// either side; the streams of span_stream.h build the open spans from these.
//   expand_rules(weekdays_8_17, {mon_00, tue_00}) -> [08:00-17:00)
#pragma once

#include <vector>

#include "engine/calendar.h"
#include "engine/time_index.h"

namespace hourloom {

// expand_rules: occurrences of the rules on every date from the day before
// range.start's date to range.end's date, clipped to the range, sorted.
std::vector<TimeWindow> expand_rules(const std::vector<WeeklyRule>& rules, TimeWindow range);
// merge: drops empty windows, sorts by (start, end), joins overlapping or touching ones.
std::vector<TimeWindow> merge(std::vector<TimeWindow> windows);
// loose_windows: the one-off windows and entries of one side (ItemKind::Open or
// ItemKind::Closed) that overlap the range, clipped to it, in no particular
// order; through the time index when the calendar has one.
std::vector<TimeWindow> loose_windows(const Calendar& c, ItemKind side, TimeWindow range);

}  // namespace hourloom
