// Window matches: the stored rules, windows, entries and capacity overrides of
// a calendar that contain an instant, reported as stored (not clipped), in a
// fixed order. They explain a state; they do not decide it.
//   add_raw_window_matches(cal, tue_03, out)  // Monday 22:00-06:00 rule -> OpenRule [mon 22:00, tue 06:00)
#pragma once

#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// add_raw_window_matches: appends, for a simple calendar, the matches of its
// open rules (OpenRule), break rules (BreakRule), closed windows (ClosedWindow,
// capacity 0), entries (Open -> OpenWindow, Closed -> ClosedWindow without a
// capacity, WithCapacity -> CapacityOverride with its capacity) and capacity
// overrides, in that order. One-off open windows are not reported. A composite
// appends its components' matches in component order.
void add_raw_window_matches(const Calendar& c, Instant t, std::vector<WindowMatch>& out);

}  // namespace hourloom
