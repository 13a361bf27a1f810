// Searches around and ahead of an instant: the symmetric search window with
// its radius, forward walks up to a search horizon, the current state window,
// the previous, next and nearest transition, and the next open time.
//   get_next_transition_time(weekdays_8_17, wed(12), {}) -> wed(17)
//   get_next_open_time(weekdays_8_17, fri(17), {}) -> next mon(8)
#pragma once

#include <optional>
#include <vector>

#include "engine/calendar.h"
#include "engine/interrupt.h"
#include "engine/span_stream.h"

namespace hourloom {

inline constexpr Duration kChunkLength = Duration::FromSeconds(7 * kSecondsPerDay);
// kLongestPiece: the longest piece a walk's doubling pieces grow to.
inline constexpr Duration kLongestPiece = Duration::FromSeconds(448 * kSecondsPerDay);

// PieceLengths: the lengths of a walk's pieces, a week and then doubling up
// to kLongestPiece, so a question answered early sweeps little.
class PieceLengths {
 public:
  Duration next() {
    const Duration d = length_;
    if (length_ < kLongestPiece) length_ = (length_ + length_).value();
    return d;
  }

 private:
  Duration length_ = kChunkLength;
};
inline constexpr Duration kDefaultSearchRadius = Duration::FromSeconds(7 * kSecondsPerDay);
inline constexpr Duration kDefaultSearchSpan = Duration::FromSeconds(1830 * kSecondsPerDay);

// Reach: the instants a search may look at. Search windows and horizons are cut
// to it, so no answer lies outside. The Python surface passes the range a
// datetime can hold; the default is every representable instant.
inline constexpr TimeWindow kFullReach{Instant::Min(), Instant::Max()};

// capped_add: t + d, or `cap` when that would reach past it (also when the sum
// leaves the representable range); t <= cap and d >= 0.
inline Instant capped_add(Instant t, Duration d, Instant cap) {
  const Result<Instant> sum = t + d;
  return sum && *sum < cap ? *sum : cap;
}

// capped_sub: t - d, or `floor` when that would reach before it (also when the
// difference leaves the representable range); floor <= t and d >= 0.
inline Instant capped_sub(Instant t, Duration d, Instant floor) {
  if (t - floor <= d) return floor;
  return (t - d).value();  // above floor, hence representable
}

// search_window_around: [t - radius, t + radius] cut to the reach; ValueError
// "Search radius must be positive." for a given radius <= 0. Absent radius: 7 days.
Result<TimeWindow> search_window_around(Instant t, std::optional<Duration> radius, TimeWindow reach = kFullReach);

// search_horizon: the given horizon, or start + 1,830 days, cut to the reach.
Instant search_horizon(Instant start, std::optional<Instant> horizon, TimeWindow reach = kFullReach);

enum class WantedState : bool { Open, Closed };

// get_current_state_window: the state window of the search window that holds t
// and has the wanted state (clipped to the search window), or absent.
Result<std::optional<TimeWindow>> get_current_state_window(const Calendar& c, Instant t,
                                                           std::optional<Duration> radius, WantedState wanted,
                                                           TimeWindow reach = kFullReach);

// Transitions of one search window: the inner boundaries of its state windows
// nearest to t, and the capacity of the state window holding t, if any. Every
// search around an instant below reads its answer from this one record, so
// questions about the same instant and radius can share it.
struct Transitions {
  TimeWindow window;                // the search window, cut to the reach
  std::optional<Instant> previous;  // latest boundary before t
  std::optional<Instant> next;      // earliest boundary after t
  bool at_instant = false;          // a boundary lies exactly at t
  std::optional<Capacity> holding;  // capacity of the state window holding t

  // current_window: the state window holding t when it has the wanted state.
  std::optional<TimeWindow> current_window(Instant t, WantedState wanted) const;
};
// transitions_around: ValueError "Search radius must be positive." for a given
// radius <= 0.
Result<Transitions> transitions_around(const Calendar& c, Instant t, std::optional<Duration> radius,
                                       TimeWindow reach = kFullReach);

// Transitions: capacity changes strictly inside the search window, which is
// not cut to the reach here (only windows are); one at t itself is neither
// next nor previous, but it is the nearest. A tie of the nearest goes to the
// previous transition.
Result<std::optional<Instant>> get_next_transition_time(const Calendar& c, Instant t, std::optional<Duration> radius,
                                                        TimeWindow reach = kFullReach);
Result<std::optional<Instant>> get_previous_transition_time(const Calendar& c, Instant t,
                                                            std::optional<Duration> radius,
                                                            TimeWindow reach = kFullReach);
Result<std::optional<Instant>> get_nearest_transition_time(const Calendar& c, Instant t,
                                                           std::optional<Duration> radius,
                                                           TimeWindow reach = kFullReach);

// get_next_open_time: t itself when open there, else the first open instant
// after it before the horizon (exclusive), or absent.
Result<std::optional<Instant>> get_next_open_time(const Calendar& c, Instant t, std::optional<Instant> horizon,
                                                  TimeWindow reach = kFullReach);

// plain_open_spans: whether the state windows are the open spans at the default
// capacity and 0 between them: a simple calendar without capacity overrides or
// non-empty capacity entries.
bool plain_open_spans(const Calendar& c);

// StateWalk: the state windows of [from, to) one at a time. A simple calendar
// without capacity overrides or capacity entries is read straight from its
// lazily expanded open spans (a week, then the rest; the first week from the
// rules' week of open spans when no stored window reaches it; with a default capacity
// of 0 it is one closed window); any other is asked of the state sweep in pieces
// of 7 days, then 14, 28 and so on (up to 448 days). Either way a question
// answered in the first week pays for about a week, and a walk over the whole
// range costs about one sweep of it. Neighbours may share a capacity (at a
// piece boundary, for instance); every consumer treats them as one stretch.
class StateWalk {
 public:
  StateWalk(const Calendar& c, Instant from, Instant to);
  // next: the next state window; absent at the end. A sweep error ends the walk.
  Result<std::optional<StateWindow>> next();

 private:
  void stream_rest();
  Result<std::optional<StateWindow>> next_buffered();

  const Calendar* calendar_;
  Instant pos_;
  Instant to_;
  std::optional<OpenSpanStream> spans_;  // streaming mode, over [.., stream_end_)
  std::optional<WeekSpans> week_;        // or, for a first week that no stored window reaches, this
  Instant stream_end_;
  std::optional<TimeWindow> span_;       // the next open span not yet handed out
  bool span_ready_ = false;
  PieceLengths pieces_;                  // piece mode
  std::vector<StateWindow> buffer_;
  std::size_t at_ = 0;
  InterruptPoll poll_;
};

// The streaming reads are defined here, so that a search's loop inlines them;
// the piece mode and the switch to the second stream are out of line.
inline Result<std::optional<StateWindow>> StateWalk::next() {
  if (poll_.stop()) return fail(ErrorKind::Interrupted, msg::kInterrupted);
  if (!spans_ && !week_) return next_buffered();
  if (!(pos_ < to_)) return std::nullopt;
  if (!span_ready_) {
    span_ = week_ ? week_->next() : spans_->next();
    span_ready_ = true;
  }
  if (!span_ && stream_end_ < to_ && !(pos_ < stream_end_)) stream_rest();
  const Instant gap_end = span_ ? span_->start : stream_end_;
  if (pos_ < gap_end) {
    const StateWindow gap{{pos_, gap_end}, 0};
    pos_ = gap_end;
    return gap;
  }
  const StateWindow open{*span_, calendar_->default_capacity()};
  pos_ = span_->end;
  span_ready_ = false;
  return open;
}

}  // namespace hourloom
