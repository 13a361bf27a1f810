// Expansion of a calendar's stored windows into concrete windows over a range:
// the window merge and the one-off windows of either side; the streams of
// span_stream.h build the open spans from these and the rule occurrences.
//   merge({[9-12), [8-10)}) -> [8-12)
#pragma once

#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// merge: drops empty windows, sorts by (start, end), joins overlapping or touching ones.
std::vector<TimeWindow> merge(std::vector<TimeWindow> windows);
// loose_windows: the opening and closing one-off windows and entries that
// overlap the range, clipped to it, in no particular order (read through StoredItems).
std::vector<TimeWindow> loose_windows(const Calendar& c, TimeWindow range);

}  // namespace hourloom
