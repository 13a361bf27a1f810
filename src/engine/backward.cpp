#include "engine/backward.h"

#include "engine/state.h"

namespace hourloom {

Instant earliest_bound(Instant end, std::optional<Instant> bound, TimeWindow reach) {
  if (!(reach.start < end)) return reach.start;
  const Instant begin = bound ? *bound : capped_sub(end, kDefaultSearchSpan, reach.start);
  return reach.start < begin ? begin : reach.start;
}

Result<std::optional<StateWindow>> BackwardStateWalk::next() {
  if (poll_.stop()) return fail(ErrorKind::Interrupted, msg::kInterrupted);
  while (left_ == 0) {
    if (!(from_ < pos_)) return std::nullopt;
    const Instant start = capped_sub(pos_, pieces_.next(), from_);
    auto states = state_windows(*calendar_, start, pos_);
    if (!states) return Unexpected(states.error());
    buffer_ = std::move(*states);
    left_ = buffer_.size();
    pos_ = start;
  }
  return buffer_[--left_];
}

// Open windows are used up from their ends, so a walk that ends exactly on
// the start of an open window returns that start.
Result<std::optional<Instant>> walk_back_work(const Calendar& c, Instant end, Duration d,
                                              std::optional<Instant> bound, TimeWindow reach) {
  if (d.is_zero()) return end;
  BackwardStateWalk walk(c, earliest_bound(end, bound, reach), end);
  Duration remaining = d;
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return std::nullopt;
    if (!(*s)->can_work()) continue;
    const Duration available = length((*s)->window);
    if (remaining <= available) return ((*s)->window.end - remaining).value();
    remaining = *(remaining - available);  // remaining > available >= 0
  }
}

Result<std::optional<TimeWindow>> last_slot_range(Instant end, Duration d, Capacity minimum,
                                                  std::optional<Instant> bound, TimeWindow reach) {
  if (d.is_negative()) return fail(ErrorKind::Value, msg::kNegativeDuration);
  if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
  const Instant begin = earliest_bound(end, bound, reach);
  if (!(begin < end) || end - begin < d) return std::nullopt;
  return TimeWindow{begin, end};
}

Result<std::optional<TimeWindow>> find_last_slot(const Calendar& c, Instant end, Duration d, Capacity minimum,
                                                 std::optional<Instant> bound, TimeWindow reach) {
  const auto range = last_slot_range(end, d, minimum, bound, reach);
  if (!range || !*range) return range;
  const Instant begin = (*range)->start;
  BackwardStateWalk walk(c, begin, end);
  SlotScanBack scan(d, minimum, begin);
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return std::nullopt;
    switch (scan.feed(**s)) {
      case SlotScanBack::Step::More: break;
      case SlotScanBack::Step::Found: return scan.slot();
      case SlotScanBack::Step::Hopeless: return std::nullopt;
    }
  }
}

}  // namespace hourloom
