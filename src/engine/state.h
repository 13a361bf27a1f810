// State windows and capacity: the gap-free timeline of a range with one
// capacity per window, the capacity at an instant, and the window lists and
// coverage answers derived from them. A composite's capacity is its operator
// tree's value over its calendars' capacities (program.h).
//   state_windows(cal, mon_00, tue_00) -> [00-08) 0, [08-12) 1, [12-13) 0, [13-17) 1, [17-24) 0
#pragma once

#include <cstddef>
#include <limits>
#include <variant>
#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// combine_capacity: an intersection's capacity from the capacities of two of
// its operands: 0 where either is 0, else the smaller. kNoComponents is its identity.
constexpr Capacity combine_capacity(Capacity a, Capacity b) { return a < b ? a : b; }
inline constexpr Capacity kNoComponents = std::numeric_limits<Capacity>::max();

// state_windows: ValueError when end < start; empty for start = end. The list
// is ordered, gap-free, covers [start, end) and neighbours differ in capacity.
Result<std::vector<StateWindow>> state_windows(const Calendar& c, Instant start, Instant end);
// StateSink: takes state windows one at a time; false from take stops the walk.
// expect hears first about how many may come (an estimate, for reserving).
class StateSink {
 public:
  virtual void expect(std::size_t) {}
  virtual bool take(const StateWindow& s) = 0;

 protected:
  ~StateSink() = default;
};
// each_state_window: the windows state_windows lists, handed to the sink in
// order as the walk makes them, so that no list of them is held here; the
// same errors. A sink that stops ends the walk without an error.
Result<void> each_state_window(const Calendar& c, Instant start, Instant end, StateSink& sink);
// get_capacity_at: capacity at one instant; 0 where closed. Cannot fail.
Capacity get_capacity_at(const Calendar& c, Instant t);
// require_positive_capacity: "Required capacity must be positive." for minimum < 1.
Result<void> require_positive_capacity(Capacity minimum);
// get_capacity_windows: merged windows with capacity >= minimum;
// "Required capacity must be positive." (checked first) when minimum < 1.
Result<std::vector<TimeWindow>> get_capacity_windows(const Calendar& c, Instant start, Instant end, Capacity minimum);
// get_open_windows: merged windows with capacity >= 1.
Result<std::vector<TimeWindow>> get_open_windows(const Calendar& c, Instant start, Instant end);
// get_unavailable_windows: the parts of [start, end) with capacity 0.
Result<std::vector<TimeWindow>> get_unavailable_windows(const Calendar& c, Instant start, Instant end);

// window_can_work: true for an empty window; else whether open time covers it.
// Both coverage questions walk the timeline and stop at the first piece that
// falls short, so a closed hour early in a huge window ends the walk there.
Result<bool> window_can_work(const Calendar& c, TimeWindow w);
// window_has_capacity: minimum < 1 fails first; true for an empty window; else
// whether the windows with at least `minimum` cover it.
Result<bool> window_has_capacity(const Calendar& c, TimeWindow w, Capacity minimum);

// MinimumCapacity: a required capacity of at least 1, checked once when made
// ("Required capacity must be positive."), so that a bad minimum is refused
// before the question's other inputs are looked at.
struct MinimumCapacity {
  Capacity value = 1;
  static Result<MinimumCapacity> From(Capacity minimum) {
    if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
    return MinimumCapacity{minimum};
  }
};

// Target: the subject of a coverage question, one instant or a whole window.
using Target = std::variant<Instant, TimeWindow>;

// can_work: capacity at least 1 at the instant, or over the whole window (see
// window_can_work).
inline Result<bool> can_work(const Calendar& c, const Target& target) {
  if (const TimeWindow* w = std::get_if<TimeWindow>(&target)) return window_can_work(c, *w);
  return get_capacity_at(c, *std::get_if<Instant>(&target)) >= 1;
}
// has_capacity: capacity at least `minimum` at the instant, or over the whole
// window (see window_has_capacity).
inline Result<bool> has_capacity(const Calendar& c, const Target& target, MinimumCapacity minimum) {
  if (const TimeWindow* w = std::get_if<TimeWindow>(&target)) return window_has_capacity(c, *w, minimum.value);
  return get_capacity_at(c, *std::get_if<Instant>(&target)) >= minimum.value;
}

}  // namespace hourloom
