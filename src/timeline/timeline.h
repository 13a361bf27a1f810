// Compiled timeline: a calendar's state windows over a fixed range, computed
// once and frozen, so that instants and sub-ranges are answered by binary
// search without expanding rules again. A timeline never changes; copies share
// one frozen state, so copying costs a reference count.
//   auto tl = compile_timeline(cal, mon_00, next_mon_00);   // cal: weekdays 08-17
//   timeline_capacity_at(*tl, mon(9)) -> 1     timeline_capacity_at(*tl, next_mon_00) -> ValueError
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/calendar.h"

namespace hourloom {

class MicroIndex;

class Timeline {
 public:
  static constexpr std::size_t kOutside = static_cast<std::size_t>(-1);

  // From the state windows of exactly [window.start, window.end) as the state
  // sweep returns them (ordered, gap-free, covering the window).
  Timeline(Calendar calendar, TimeWindow window, const std::vector<StateWindow>& states);

  const Calendar& calendar() const { return frozen_->calendar; }
  TimeWindow window() const { return frozen_->window; }
  std::size_t size() const { return frozen_->ends.size(); }
  Instant start_of(std::size_t i) const { return i == 0 ? frozen_->window.start : frozen_->ends[i - 1]; }
  Instant end_of(std::size_t i) const { return frozen_->ends[i]; }
  Capacity capacity_of(std::size_t i) const { return frozen_->capacities[i]; }

  // micro_index: the states keyed by whole microseconds, built on first use
  // and kept with them (copies share it); any number of threads may ask.
  const MicroIndex& micro_index() const;

  // locate: the index of the state holding t, or kOutside when t is before the
  // compiled start or not before the compiled end. The bucket of t's second
  // names the few states it can lie in; a halving search that does not branch
  // on the data picks among them.
  std::size_t locate(Instant t) const {
    const Frozen& f = *frozen_;
    if (t < f.window.start || !(t < f.window.end)) return kOutside;
    const auto b = static_cast<std::size_t>((t.unix_seconds() - f.window.start.unix_seconds()) >> f.bucket_shift);
    return search(key_of(t), f.bucket_first[b], f.bucket_first[b + 1]);
  }
  // locate_near: the same answer, found at once when t lies in the state at
  // `hint` (the previous answer of an ascending run) or in the next one.
  std::size_t locate_near(Instant t, std::size_t hint) const {
    const Frozen& f = *frozen_;
    if (hint + 1 < f.end_keys.size() && f.window.start <= t) {
      const Key k = key_of(t);
      const Key* keys = f.end_keys.data();
      if (hint == 0 ? k < keys[0] : keys[hint - 1] <= k && k < keys[hint]) return hint;
      if (keys[hint] <= k && k < keys[hint + 1]) return hint + 1;
    }
    return locate(t);
  }

 private:
  // Key: an instant as one integer in the same order (seconds, then the
  // fraction), so that the search compares without branching.
  using Key = __int128;
  static Key key_of_seconds(std::int64_t s) { return static_cast<Key>(s) * (Key{1} << 32); }
  static Key key_of(Instant t) { return key_of_seconds(t.unix_seconds()) + t.nanos(); }

  // search: the first i in [lo, hi] whose end is after k; keys[hi] is.
  std::size_t search(Key k, std::size_t lo, std::size_t hi) const {
    const Key* keys = frozen_->end_keys.data();
    const Key* base = keys + lo;
    for (std::size_t n = hi - lo + 1; n > 1; n -= n / 2) {
      const std::size_t half = n / 2;
      base += half & (std::size_t{0} - static_cast<std::size_t>(base[half - 1] <= k));
    }
    return static_cast<std::size_t>(base - keys);
  }

  struct Frozen {
    Calendar calendar;  // read only for window matches
    TimeWindow window;
    std::vector<Instant> ends;  // state i is [start_of(i), ends[i])
    std::vector<Key> end_keys;
    std::vector<Capacity> capacities;
    // Bucket b holds the seconds from the compiled start's second + b << bucket_shift
    // on; bucket_first[b] is the state holding its first instant (the last
    // state for the final entry). There are about twice as many buckets as states.
    int bucket_shift = 0;
    std::vector<std::uint32_t> bucket_first;
    mutable std::once_flag micro_built;
    mutable std::shared_ptr<const MicroIndex> micro;
  };
  std::shared_ptr<const Frozen> frozen_;
};

// compile_timeline: ValueError "End must be greater than or equal to start."
// when end < start; start = end gives a timeline without states.
Result<Timeline> compile_timeline(const Calendar& c, Instant start, Instant end);

// state_index_at: ValueError "Timestamp is outside the compiled timeline." for
// an instant before the compiled start or at or after the compiled end.
Result<std::size_t> state_index_at(const Timeline& tl, Instant t);
Result<Capacity> timeline_capacity_at(const Timeline& tl, Instant t);
Result<bool> timeline_can_work(const Timeline& tl, Instant t);

// state_analysis: the analysis at t, which state i holds: that state as the
// current window; the compiled edges are never transitions. With
// include_matches, the window matches of the stored calendar at t with the
// default search radius, whose search window is also cut to `reach`.
InstantAnalysis state_analysis(const Timeline& tl, std::size_t i, Instant t, bool include_matches, TimeWindow reach);
// timeline_instant_analysis: state_analysis at the state holding t.
Result<InstantAnalysis> timeline_instant_analysis(const Timeline& tl, Instant t, bool include_matches,
                                                  TimeWindow reach);

// Sub-ranges: ValueError "End must be greater than or equal to start.", then
// "Range is outside the compiled timeline." unless the compiled range holds
// [start, end]. The states are clipped to the sub-range.
Result<std::vector<StateWindow>> timeline_state_windows(const Timeline& tl, Instant start, Instant end);
Result<std::vector<TimeWindow>> timeline_open_windows(const Timeline& tl, Instant start, Instant end);
Result<std::vector<TimeWindow>> timeline_unavailable_windows(const Timeline& tl, Instant start, Instant end);
// timeline_capacity_windows: "Required capacity must be positive." first.
Result<std::vector<TimeWindow>> timeline_capacity_windows(const Timeline& tl, Instant start, Instant end,
                                                          Capacity minimum);
// timeline_working_duration: the open time of the sub-range, not weighted by capacity.
Result<Duration> timeline_working_duration(const Timeline& tl, Instant start, Instant end);
Result<TimelineAnalysis> timeline_analyze_range(const Timeline& tl, Instant start, Instant end);

// timeline_first_slot: the first `duration` of the sub-range [start, until or
// the compiled end) inside one stretch of capacity >= minimum (not checked: a
// minimum of 0 or below keeps closed time too). A zero duration gives the empty
// window at the first such stretch. ValueError "Duration cannot be negative."
// first, then the sub-range errors.
Result<std::optional<TimeWindow>> timeline_first_slot(const Timeline& tl, Instant start, Duration duration,
                                                      Capacity minimum, std::optional<Instant> until);
// timeline_last_slot: the mirror, as find_last_slot over the states of
// [bound or the compiled start, end); the minimum is not checked either.
Result<std::optional<TimeWindow>> timeline_last_slot(const Timeline& tl, Instant end, Duration duration,
                                                     Capacity minimum, std::optional<Instant> bound);

// windows_at_default_radius: the calendar's window matches at t: the state
// window holding t within t -/+ 7 days (cut to `reach`) as an Available or
// Unavailable match, then the raw matches.
std::vector<WindowMatch> windows_at_default_radius(const Calendar& c, Instant t, TimeWindow reach);

}  // namespace hourloom
