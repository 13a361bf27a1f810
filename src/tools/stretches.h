// Slots over a list of windows in int64 microseconds: the windows of capacity
// at least a minimum, touching ones joined into stretches, and the first or
// latest slot of a length that fits inside one stretch within bounds.
//   Stretches s(starts, ends, caps, n, minimum);  s.first_slot(from, d, end) -> start or kMissing
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hourloom::tools {

class Stretches {
 public:
  // The n windows sorted by start, none overlapping.
  Stretches(const std::int64_t* starts, const std::int64_t* ends, const std::int64_t* caps, std::size_t n,
            std::int64_t minimum);
  // first_slot: the start of the first slot of length d that starts at or
  // after s and ends by end; kMissing when none.
  std::int64_t first_slot(std::int64_t s, std::int64_t d, std::int64_t end) const;
  // last_slot: the start of the latest slot of length d that ends by e and
  // starts at or after start; kMissing when none.
  std::int64_t last_slot(std::int64_t e, std::int64_t d, std::int64_t start) const;

 private:
  std::vector<std::int64_t> starts_, ends_;
};

}  // namespace hourloom::tools
