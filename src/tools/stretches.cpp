#include "tools/stretches.h"

#include <algorithm>

#include "tools/columns.h"

namespace hourloom::tools {

Stretches::Stretches(const std::int64_t* starts, const std::int64_t* ends, const std::int64_t* caps, std::size_t n,
                     std::int64_t minimum) {
  for (std::size_t i = 0; i < n; ++i) {
    if (caps[i] < minimum) continue;
    if (!ends_.empty() && ends_.back() == starts[i]) {
      ends_.back() = ends[i];
    } else {
      starts_.push_back(starts[i]);
      ends_.push_back(ends[i]);
    }
  }
}

// The stretches from the one holding s (or the next) on: the first long enough
// from max(start, s) gives the slot, unless end comes first.
std::int64_t Stretches::first_slot(std::int64_t s, std::int64_t d, std::int64_t end) const {
  if (!(s < end) || end - s < d) return kMissing;
  for (auto j = static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), s) - ends_.begin());
       j < starts_.size() && starts_[j] < end; ++j) {
    const std::int64_t x = std::max(starts_[j], s);
    if (end - x < d) return kMissing;
    if (std::min(ends_[j], end) - x >= d) return x;
  }
  return kMissing;
}

// The mirror of first_slot, from the stretch holding the instant before e back.
std::int64_t Stretches::last_slot(std::int64_t e, std::int64_t d, std::int64_t start) const {
  if (!(start < e) || e - start < d) return kMissing;
  for (auto j = std::lower_bound(starts_.begin(), starts_.end(), e) - starts_.begin() - 1;
       j >= 0 && ends_[j] > start; --j) {
    const std::int64_t y = std::min(ends_[j], e);
    if (y - start < d) return kMissing;
    if (y - std::max(starts_[j], start) >= d) return y - d;
  }
  return kMissing;
}

}  // namespace hourloom::tools
