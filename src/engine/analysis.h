// Why a calendar is in its state at an instant: the window matches headed by
// the state window holding the instant, and the one-record analysis of an
// instant (capacity, current window, neighbouring transitions, matches) or of
// a range (its state windows).
//   get_windows_at(weekdays_8_17, mon(9), {}) -> [Available [mon 8, mon 17) 1, OpenRule [mon 8, mon 17)]
#pragma once

#include <optional>
#include <vector>

#include "engine/search.h"

namespace hourloom {

// get_windows_at: the state window holding t within the search window (of t's
// own state, clipped) as an Available or Unavailable match carrying the
// capacity at t, then the raw matches (matches.h). ValueError "Search radius
// must be positive." for a given radius <= 0, whatever matches there are.
Result<std::vector<WindowMatch>> get_windows_at(const Calendar& c, Instant t, std::optional<Duration> radius,
                                                TimeWindow reach = kFullReach);

// instant_analysis: capacity, current state window, previous and next
// transition and matches at t, all over the same search window.
Result<InstantAnalysis> instant_analysis(const Calendar& c, Instant t, std::optional<Duration> radius,
                                         TimeWindow reach = kFullReach);

// range_analysis: the state windows of [start, end); ValueError "End must be
// greater than or equal to start." when end < start.
Result<TimelineAnalysis> range_analysis(const Calendar& c, Instant start, Instant end);

}  // namespace hourloom
