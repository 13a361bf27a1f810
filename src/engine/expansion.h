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
// join_sorted: the join step of merge, in place, on windows sorted by
// window_order without empty ones; the end of the joined windows.
template <class It>
It join_sorted(It first, It last) {
  It out = first;
  for (It it = first; it != last; ++it) {
    if (out != first && joins_after(*(out - 1), *it)) {
      if ((out - 1)->end < it->end) (out - 1)->end = it->end;
    } else {
      *out++ = *it;
    }
  }
  return out;
}
// loose_windows: the one-off windows and entries of one side (or of both) that
// overlap the range, clipped to it, in no particular order (read through StoredItems).
enum class LooseSide : unsigned char { Opening, Closing, Either };
std::vector<TimeWindow> loose_windows(const Calendar& c, LooseSide side, TimeWindow range);

}  // namespace hourloom
