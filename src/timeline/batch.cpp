#include "timeline/batch.h"

namespace hourloom {

Result<std::vector<Capacity>> batch_capacities_at(const TimelineBatch& b, Instant t) {
  std::vector<Capacity> out;
  out.reserve(b.timelines.size());
  for (const Timeline& tl : b.timelines) {
    auto capacity = timeline_capacity_at(tl, t);
    if (!capacity) return Unexpected(capacity.error());
    out.push_back(*capacity);
  }
  return out;
}

Result<std::vector<InstantAnalysis>> batch_analyze(const TimelineBatch& b, Instant t, bool include_matches,
                                                   TimeWindow reach) {
  std::vector<InstantAnalysis> out;
  out.reserve(b.timelines.size());
  for (const Timeline& tl : b.timelines) {
    auto a = timeline_instant_analysis(tl, t, include_matches, reach);
    if (!a) return Unexpected(a.error());
    out.push_back(std::move(*a));
  }
  return out;
}

}  // namespace hourloom
