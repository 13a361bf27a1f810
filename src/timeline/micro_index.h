// The states of a compiled timeline keyed by whole microseconds, as columns
// of datetime64[us] values ask for them; built once per timeline and kept with
// its frozen states (Timeline::micro_index).
//   const MicroIndex& m = tl.micro_index();  if (m.holds(us)) cap = m.capacity_of(m.state(us));
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "timeline/timeline.h"

namespace hourloom {

// MicroIndex: the states of a timeline keyed by whole microseconds (or ticks
// of `tick` nanoseconds, when the window fits int64 of them): an instant of
// whole ticks lies at or after a boundary exactly when it lies at or after the
// boundary rounded up to the tick, so the answers are the timeline's. Buckets of equal
// length name the state holding their first instant, as the timeline's do.
class MicroIndex {
 public:
  explicit MicroIndex(const Timeline& tl, std::int64_t tick = kNanosPerMicro);
  bool holds(std::int64_t us) const { return first_ <= us && us < end_; }
  // state: the state holding us (which holds()). Buckets are shorter than
  // most states: two steps without a branch settle nearly every instant, a
  // loop the rest.
  std::size_t state(std::int64_t us) const {
    const std::int64_t* b = starts_.data();
    std::size_t i = bucket_first_[static_cast<std::size_t>(static_cast<std::uint64_t>(us - first_) >> shift_)];
    i += static_cast<std::size_t>(b[i + 1] <= us);
    i += static_cast<std::size_t>(b[i + 1] <= us);
    while (b[i + 1] <= us) ++i;
    return i;
  }
  // state_near: the same, found at once when us lies in state `hint` (the
  // previous answer of an ascending run) or the next one.
  std::size_t state_near(std::int64_t us, std::size_t hint) const {
    const std::int64_t* b = starts_.data();
    if (b[hint] <= us) {
      if (us < b[hint + 1]) return hint;
      if (us < b[hint + 2]) return hint + 1;
    }
    return state(us);
  }
  std::int64_t capacity_of(std::size_t i) const { return capacities_[i]; }  // INT64_MIN at the end
  std::int64_t start_of(std::size_t i) const { return starts_[i]; }

 private:
  std::vector<std::int64_t> starts_;  // state i is [starts_[i], starts_[i + 1]); the last entry is the end
  std::vector<std::int64_t> capacities_;
  std::vector<std::uint32_t> bucket_first_;
  std::int64_t first_ = 0, end_ = 0;
  int shift_ = 0;
};

}  // namespace hourloom
