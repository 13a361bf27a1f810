#include "engine/analysis.h"

#include "engine/matches.h"
#include "engine/state.h"

namespace hourloom {

namespace {

// The current window, the transitions and the leading match all come from the
// state windows of one search window, and the search is a function of the
// calendar, t, the radius and the reach alone: asked once, it answers them all
// exactly as separate searches would.
struct AtInstant {
  Capacity capacity;
  Transitions around;
  std::optional<TimeWindow> current;
};

// The state window holding t carries the capacity at t; only when the search
// window does not hold t (t at the end of the reach) is it asked for apart.
Result<AtInstant> look_around(const Calendar& c, Instant t, std::optional<Duration> radius, TimeWindow reach) {
  auto around = transitions_around(c, t, radius, reach);
  if (!around) return Unexpected(around.error());
  const Capacity capacity = around->holding ? *around->holding : get_capacity_at(c, t);
  const auto current = around->current_window(t, capacity >= 1 ? WantedState::Open : WantedState::Closed);
  return AtInstant{capacity, *around, current};
}

std::vector<WindowMatch> matches_of(const Calendar& c, Instant t, const AtInstant& at) {
  std::vector<WindowMatch> out;
  if (at.current)
    out.push_back({at.capacity >= 1 ? WindowKind::Available : WindowKind::Unavailable, *at.current, at.capacity});
  add_raw_window_matches(c, t, out);
  return out;
}

}  // namespace

Result<std::vector<WindowMatch>> get_windows_at(const Calendar& c, Instant t, std::optional<Duration> radius,
                                                TimeWindow reach) {
  auto at = look_around(c, t, radius, reach);
  if (!at) return Unexpected(at.error());
  return matches_of(c, t, *at);
}

Result<InstantAnalysis> instant_analysis(const Calendar& c, Instant t, std::optional<Duration> radius,
                                         TimeWindow reach) {
  auto at = look_around(c, t, radius, reach);
  if (!at) return Unexpected(at.error());
  return InstantAnalysis{t, at->capacity, at->current, at->around.previous, at->around.next, matches_of(c, t, *at)};
}

Result<TimelineAnalysis> range_analysis(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return Unexpected(states.error());
  return TimelineAnalysis{TimeWindow{start, end}, std::move(*states)};
}

}  // namespace hourloom
