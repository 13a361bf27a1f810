// TimeWindow, the half-open range [start, end) used everywhere in the engine,
// and the predicates that spell out the half-open convention once:
//   contains(w, t): start <= t < end     overlaps(a, b): strict on both sides
//   joins_after(a, b): joinable by a merge     clip(w, range): non-empty part or nullopt
#pragma once

#include <optional>

#include "time/values.h"

namespace hourloom {

struct TimeWindow {
  Instant start;
  Instant end;
  friend constexpr bool operator==(const TimeWindow&, const TimeWindow&) = default;
};

// make_window: start, end -> window; ValueError when end < start (start = end is valid).
constexpr Result<TimeWindow> make_window(Instant start, Instant end) {
  if (end < start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
  return TimeWindow{start, end};
}

constexpr bool is_empty(const TimeWindow& w) { return !(w.start < w.end); }
constexpr bool contains(const TimeWindow& w, Instant t) { return w.start <= t && t < w.end; }
constexpr bool overlaps(const TimeWindow& a, const TimeWindow& b) { return a.start < b.end && b.start < a.end; }
// joins_after: b starts no later than a ends, given a.start <= b.start.
constexpr bool joins_after(const TimeWindow& a, const TimeWindow& b) { return b.start <= a.end; }
constexpr Duration length(const TimeWindow& w) { return w.end - w.start; }

// intersect: the common part when it is non-empty, else nullopt (touching or
// empty windows have no common part).
constexpr std::optional<TimeWindow> intersect(const TimeWindow& a, const TimeWindow& b) {
  Instant lo = a.start < b.start ? b.start : a.start;
  Instant hi = a.end < b.end ? a.end : b.end;
  if (lo < hi) return TimeWindow{lo, hi};
  return std::nullopt;
}
// clip is intersect under the name the expansion code uses for "w cut to a range".
constexpr std::optional<TimeWindow> clip(const TimeWindow& w, const TimeWindow& range) { return intersect(w, range); }

// window_order: by start, then end.
constexpr bool window_order(const TimeWindow& a, const TimeWindow& b) {
  return a.start < b.start || (a.start == b.start && a.end < b.end);
}

}  // namespace hourloom
