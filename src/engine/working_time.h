// Working-time arithmetic: the working time between two instants, the instant
// reached after an amount of working time (with a step-by-step trace), and the
// first slot of a length in which the capacity stays at or above a minimum.
// Working time is open time (capacity >= 1), never weighted by capacity.
//   add_work_duration(weekdays_8_17, mon(16), Hours(2), {}) -> tue(9)
#pragma once

#include <optional>

#include "engine/search.h"

namespace hourloom {

// get_working_duration: open time in [start, end); ValueError when end < start.
Result<Duration> get_working_duration(const Calendar& c, Instant start, Instant end);

// add_work_duration: the first instant at which the open time since start
// reaches d (an instant closing a stretch, rather than the next opening);
// start itself for d = 0. ValueError for d < 0; RuntimeError when the horizon
// (default start + 1,830 days, exclusive) comes first.
Result<Instant> add_work_duration(const Calendar& c, Instant start, Duration d, std::optional<Instant> horizon,
                                  TimeWindow reach = kFullReach);

// trace_work_duration: the same walk, recording the consumed part of every
// open stretch. Stretches are cut at start + 7 days, start + 14 days, ..., so
// open time running across such an instant is two steps.
Result<WorkingTimeTrace> trace_work_duration(const Calendar& c, Instant start, Duration d,
                                             std::optional<Instant> horizon, TimeWindow reach = kFullReach);

// SlotScan: the first-slot search over state windows fed in order from a
// gap-free walk of [.., end): windows of capacity >= minimum join into
// stretches, and the first stretch reaching length d holds the slot
// [stretch start, stretch start + d). Once a stretch starts nearer than d to
// `end`, no slot can follow. The minimum is not checked here.
//   SlotScan scan(Hours(2), 1, friday_00);  scan.feed({[mon 8, mon 17), 1}) -> Found, slot() = [mon 8, mon 10)
class SlotScan {
 public:
  enum class Step { More, Found, Hopeless };
  SlotScan(Duration d, Capacity minimum, Instant end) : d_(d), minimum_(minimum), end_(end) {}
  // feed: the next state window; after Found, slot() holds the answer.
  Step feed(const StateWindow& s) {
    if (s.capacity < minimum_) {
      in_stretch_ = false;
      return Step::More;
    }
    if (in_stretch_ && stretch_.end == s.window.start) {
      stretch_.end = s.window.end;
    } else {
      if (end_ - s.window.start < d_) return Step::Hopeless;
      stretch_ = s.window;
      in_stretch_ = true;
    }
    return d_ <= length(stretch_) ? Step::Found : Step::More;
  }
  TimeWindow slot() const { return {stretch_.start, (stretch_.start + d_).value()}; }

 private:
  Duration d_;
  Capacity minimum_;
  Instant end_;
  TimeWindow stretch_{};
  bool in_stretch_ = false;
};

// find_first_slot: the first (s, s + d) before the horizon in which the capacity
// never drops below `minimum`, s being the start of a stretch of such capacity
// (or start itself when one is running there); absent when none. ValueError for
// d < 0, then for minimum < 1.
Result<std::optional<TimeWindow>> find_first_slot(const Calendar& c, Instant start, Duration d, Capacity minimum,
                                                  std::optional<Instant> horizon, TimeWindow reach = kFullReach);
// first_slot_range: the checked question's search range [start, horizon), or
// absent when no slot of length d fits in it; the errors of find_first_slot.
Result<std::optional<TimeWindow>> first_slot_range(Instant start, Duration d, Capacity minimum,
                                                   std::optional<Instant> horizon, TimeWindow reach = kFullReach);

}  // namespace hourloom
