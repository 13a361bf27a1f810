// Walking back from an end: the state windows of a range streamed from its end
// toward its start, the instant a given amount of open time before an end, and
// the latest slot that finishes by an end. Each walk stops at its answer.
//   walk_back_work(weekdays_8_17, tue(10), Hours(3), {}) -> mon(16)
#pragma once

#include <optional>
#include <vector>

#include "engine/search.h"

namespace hourloom {

// earliest_bound: the given bound, or end - 1,830 days, cut to the reach: the
// earliest instant a backward walk from `end` may use.
Instant earliest_bound(Instant end, std::optional<Instant> bound, TimeWindow reach = kFullReach);

// BackwardStateWalk: the state windows of [from, to) one at a time, latest
// first, asked of the state sweep in pieces ending where the last one began:
// 7 days, then 14, 28 and so on (up to 448 days), so a question answered in
// the last week pays for about a week. Neighbours may share a capacity.
class BackwardStateWalk {
 public:
  BackwardStateWalk(const Calendar& c, Instant from, Instant to) : calendar_(&c), from_(from), pos_(to) {}
  // next: the next earlier state window; absent at the start. A sweep error ends the walk.
  Result<std::optional<StateWindow>> next();

 private:
  const Calendar* calendar_;
  Instant from_;
  Instant pos_;  // the walk's pieces cover [pos_, to)
  PieceLengths pieces_;
  std::vector<StateWindow> buffer_;
  std::size_t left_ = 0;  // buffer_[0, left_) not yet handed out
  InterruptPoll poll_;
};

// walk_back_work: the latest instant x >= the bound with open time d in
// [x, end): for d > 0 it lies in an open stretch or is its start; end itself
// for d = 0; absent when the bound comes first. d >= 0.
Result<std::optional<Instant>> walk_back_work(const Calendar& c, Instant end, Duration d,
                                              std::optional<Instant> bound, TimeWindow reach = kFullReach);

// SlotScanBack: SlotScan's mirror over state windows fed latest first from a
// gap-free walk of [begin, ..): the first stretch reaching length d holds the
// slot [stretch end - d, stretch end). Once a stretch ends nearer than d to
// `begin`, no slot can precede it. The minimum is not checked here.
class SlotScanBack {
 public:
  enum class Step { More, Found, Hopeless };
  SlotScanBack(Duration d, Capacity minimum, Instant begin) : d_(d), minimum_(minimum), begin_(begin) {}
  Step feed(const StateWindow& s) {
    if (s.capacity < minimum_) {
      in_stretch_ = false;
      return Step::More;
    }
    if (in_stretch_ && stretch_.start == s.window.end) {
      stretch_.start = s.window.start;
    } else {
      if (s.window.end - begin_ < d_) return Step::Hopeless;
      stretch_ = s.window;
      in_stretch_ = true;
    }
    return d_ <= length(stretch_) ? Step::Found : Step::More;
  }
  TimeWindow slot() const { return {(stretch_.end - d_).value(), stretch_.end}; }

 private:
  Duration d_;
  Capacity minimum_;
  Instant begin_;
  TimeWindow stretch_{};
  bool in_stretch_ = false;
};

// find_last_slot: the latest [x, x + d) with x >= the bound and x + d <= end in
// which the capacity never drops below `minimum`; for d = 0 the end of the
// last such stretch before end (end itself when one runs up to it); absent
// when none. ValueError for d < 0, then for minimum < 1.
Result<std::optional<TimeWindow>> find_last_slot(const Calendar& c, Instant end, Duration d, Capacity minimum,
                                                 std::optional<Instant> bound, TimeWindow reach = kFullReach);
// last_slot_range: the checked question's search range [bound, end), or
// absent when no slot of length d fits in it; the errors of find_last_slot.
Result<std::optional<TimeWindow>> last_slot_range(Instant end, Duration d, Capacity minimum,
                                                  std::optional<Instant> bound, TimeWindow reach = kFullReach);

}  // namespace hourloom
