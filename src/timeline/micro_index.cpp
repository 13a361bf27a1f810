#include "timeline/micro_index.h"

namespace hourloom {

MicroIndex::MicroIndex(const Timeline& tl, std::int64_t tick) {
  const std::int64_t per_second = kNanosPerSecond / tick;
  const auto ceil = [&](Instant t) {
    if (t.is_leap()) return (t.unix_seconds() + 1) * per_second;
    return t.unix_seconds() * per_second + (t.nanos() + tick - 1) / tick;
  };
  const std::size_t m = tl.size();
  starts_.reserve(m + 2);
  capacities_.reserve(m + 1);
  for (std::size_t i = 0; i < m; ++i) {
    starts_.push_back(ceil(tl.start_of(i)));
    capacities_.push_back(tl.capacity_of(i));
  }
  end_ = ceil(tl.window().end);
  starts_.push_back(end_);
  starts_.push_back(INT64_MAX);  // state_near reads one past the end
  capacities_.push_back(INT64_MIN);
  first_ = starts_.front();
  // About eight buckets per state.
  const auto span = static_cast<std::uint64_t>(end_ - first_);
  while ((span >> shift_) > 8 * m + 1) ++shift_;
  const auto buckets = static_cast<std::size_t>(span >> shift_) + 1;
  bucket_first_.reserve(buckets + 1);
  std::size_t i = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    const std::int64_t at = first_ + static_cast<std::int64_t>(static_cast<std::uint64_t>(b) << shift_);
    while (i + 1 < m && starts_[i + 1] <= at) ++i;
    bucket_first_.push_back(static_cast<std::uint32_t>(i));
  }
  bucket_first_.push_back(static_cast<std::uint32_t>(m == 0 ? 0 : m - 1));
}

}  // namespace hourloom
