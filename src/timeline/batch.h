// Timeline batch: several compiled timelines asked about one instant at once,
// answers in batch order. Built once from existing timelines (which it shares,
// frozen) and never changed.
//   batch_capacities_at({day_shift, late_shift}, tue(15)) -> [1, 2]
#pragma once

#include <vector>

#include "timeline/timeline.h"

namespace hourloom {

struct TimelineBatch {
  std::vector<Timeline> timelines;
};

// batch_capacities_at, batch_analyze: one answer per timeline; the first
// timeline that does not hold t ends the call with its error, as does an error
// while finding matches.
Result<std::vector<Capacity>> batch_capacities_at(const TimelineBatch& b, Instant t);
Result<std::vector<InstantAnalysis>> batch_analyze(const TimelineBatch& b, Instant t, bool include_matches,
                                                   TimeWindow reach);

}  // namespace hourloom
