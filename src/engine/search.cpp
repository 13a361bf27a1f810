#include "engine/search.h"

#include <algorithm>

#include "engine/state.h"
#include "engine/derived.h"
#include "engine/interrupt.h"

namespace hourloom {

namespace {

constexpr Duration kOneDay = Duration::FromSeconds(kSecondsPerDay);

}  // namespace

// The boundaries strictly inside a part of the search window that holds t are
// exactly the search window's transitions there, so the part grows from a day
// on either side, doubling on a side until it shows a transition or reaches
// the search window's edge. The usual question pays for two days, not the
// whole search window, and a huge radius costs only what the answer needs.
//
// Transitions are looked for in the whole search window: one at or beyond
// the edge of the reach is still a transition (the caller's conversion
// refuses an answer it cannot hold). Only the current window is cut to the reach.
Result<Transitions> transitions_around(const Calendar& c, Instant t, std::optional<Duration> radius,
                                       TimeWindow reach) {
  auto window = search_window_around(t, radius);
  if (!window) return Unexpected(window.error());
  const TimeWindow cut = *search_window_around(t, radius, reach);  // the radius has passed the check
  Duration back = kOneDay;
  Duration ahead = kOneDay;
  while (true) {
    const Instant lo = t - window->start <= back ? window->start : (t - back).value();
    const Instant hi = capped_add(t, ahead, window->end);
    auto states = state_windows(c, lo, hi);
    if (!states) return Unexpected(states.error());
    Transitions out;
    out.window = cut;
    // The list is gap-free, so the inner boundaries are the ends of all but the last window.
    for (std::size_t i = 0; i < states->size(); ++i) {
      if (contains((*states)[i].window, t)) out.holding = (*states)[i].capacity;
      if (i + 1 == states->size()) break;
      const Instant boundary = (*states)[i].window.end;
      if (boundary < t) {
        out.previous = boundary;
      } else if (boundary == t) {
        out.at_instant = true;
      } else {
        out.next = boundary;
        break;
      }
    }
    const bool back_done = out.previous || lo == window->start;
    const bool ahead_done = out.next || hi == window->end;
    if (back_done && ahead_done) return out;
    if (!back_done) back = (back + back).value_or(Duration::Max());
    if (!ahead_done) ahead = (ahead + ahead).value_or(Duration::Max());
  }
}

Result<TimeWindow> search_window_around(Instant t, std::optional<Duration> radius, TimeWindow reach) {
  if (radius && (radius->is_negative() || radius->is_zero())) return fail(ErrorKind::Value, msg::kRadiusNotPositive);
  const Duration r = radius.value_or(kDefaultSearchRadius);
  const Instant lo = !(reach.start < t) || t - reach.start <= r ? reach.start : (t - r).value();
  const Instant hi = !(t < reach.end) ? reach.end : capped_add(t, r, reach.end);
  return TimeWindow{lo < t ? lo : t, t < hi ? hi : t};
}

Instant search_horizon(Instant start, std::optional<Instant> horizon, TimeWindow reach) {
  if (!(start < reach.end)) return reach.end;
  const Instant end = horizon ? *horizon : capped_add(start, kDefaultSearchSpan, reach.end);
  return end < reach.end ? end : reach.end;
}

// The state window holding t runs from the transition before it (or t itself,
// or the search window's start) to the one after it (or the search window's end).
Result<std::optional<TimeWindow>> get_current_state_window(const Calendar& c, Instant t,
                                                           std::optional<Duration> radius, WantedState wanted,
                                                           TimeWindow reach) {
  auto found = transitions_around(c, t, radius, reach);
  if (!found) return Unexpected(found.error());
  return found->current_window(t, wanted);
}

std::optional<TimeWindow> Transitions::current_window(Instant t, WantedState wanted) const {
  if (!holding || (*holding >= 1) != (wanted == WantedState::Open)) return std::nullopt;
  const Instant from = at_instant ? t : std::max(previous.value_or(window.start), window.start);
  const Instant to = std::min(next.value_or(window.end), window.end);
  if (!(t < to)) return std::nullopt;  // t at the end of the reach
  return TimeWindow{from, to};
}

Result<std::optional<Instant>> get_next_transition_time(const Calendar& c, Instant t, std::optional<Duration> radius,
                                                        TimeWindow reach) {
  auto found = transitions_around(c, t, radius, reach);
  if (!found) return Unexpected(found.error());
  return found->next;
}

Result<std::optional<Instant>> get_previous_transition_time(const Calendar& c, Instant t,
                                                            std::optional<Duration> radius, TimeWindow reach) {
  auto found = transitions_around(c, t, radius, reach);
  if (!found) return Unexpected(found.error());
  return found->previous;
}

// One search answers all three questions: the previous and next transitions
// are read from the same state windows that would be computed again for each.
Result<std::optional<Instant>> get_nearest_transition_time(const Calendar& c, Instant t,
                                                           std::optional<Duration> radius, TimeWindow reach) {
  auto found = transitions_around(c, t, radius, reach);
  if (!found) return Unexpected(found.error());
  if (found->at_instant) return t;
  if (!found->previous) return found->next;
  if (!found->next) return found->previous;
  if (t - *found->previous <= *found->next - t) return found->previous;
  return found->next;
}

// The state windows after t are clipped at t, so the first open one starts at t
// exactly when t is open.
Result<std::optional<Instant>> get_next_open_time(const Calendar& c, Instant t, std::optional<Instant> horizon,
                                                  TimeWindow reach) {
  StateWalk walk(c, t, search_horizon(t, horizon, reach));
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return std::nullopt;
    if ((*s)->can_work()) return (*s)->window.start;
  }
}

// An empty Capacity entry or override holds no instant and adds no layer to
// the sweep, so it leaves the spans plain.
bool plain_open_spans(const Calendar& c) {
  return !c.is_composite() && !StoredItems(c).sets_capacities();
}

StateWalk::StateWalk(const Calendar& c, Instant from, Instant to) : calendar_(&c), pos_(from), to_(to) {
  // Without capacity layers the sweep only fills the gaps between open spans
  // with 0 and gives the spans the default capacity; that is done here.
  // The first stream covers a week, which answers most questions with the
  // fewest stored windows clipped; a second one streams the rest.
  if (!(from < to) || !plain_open_spans(c)) return;
  if (c.default_capacity() < 1) {  // never open: one closed window
    buffer_.push_back({{from, to}, 0});
    pos_ = to;
    return;
  }
  stream_end_ = capped_add(from, kChunkLength, to);
  const TimeWindow first{from, stream_end_};
  // A shortcut for the common week that no stored window reaches: the spans
  // OpenSpanStream would read from the rules' week, without building it.
  if (clear_of_date_ends(from, stream_end_) && !StoredItems(c).reach_into(first))
    week_.emplace(c.derived().rules_week_spans, first);
  else
    spans_.emplace(c, first);
}

// stream_rest: after the first week's stream, one over the rest of the range.
void StateWalk::stream_rest() {
  week_.reset();
  spans_.emplace(*calendar_, TimeWindow{stream_end_, to_});
  stream_end_ = to_;
  span_ = spans_->next();
}

// next_buffered: the piece mode's next state window.
Result<std::optional<StateWindow>> StateWalk::next_buffered() {
  while (at_ == buffer_.size()) {
    if (!(pos_ < to_)) return std::nullopt;
    const Instant end = capped_add(pos_, pieces_.next(), to_);
    auto states = state_windows(*calendar_, pos_, end);
    if (!states) return Unexpected(states.error());
    buffer_ = std::move(*states);
    at_ = 0;
    pos_ = end;
  }
  return buffer_[at_++];
}

}  // namespace hourloom
