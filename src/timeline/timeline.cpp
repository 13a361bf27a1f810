#include "timeline/timeline.h"

#include "engine/analysis.h"
#include "engine/backward.h"
#include "engine/state.h"
#include "engine/working_time.h"
#include "timeline/micro_index.h"

namespace hourloom {

namespace {

Result<void> require_inside(const Timeline& tl, Instant start, Instant end) {
  if (end < start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
  const TimeWindow w = tl.window();
  if (start < w.start || w.end < end) return fail(ErrorKind::Value, msg::kRangeOutsideTimeline);
  return {};
}

// for_each_clipped: visit(window, capacity) for the states of [start, end)
// clipped to it, in order, until visit returns false; [start, end) lies
// inside the compiled range.
template <class Visit>
void for_each_clipped(const Timeline& tl, Instant start, Instant end, Visit visit) {
  if (!(start < end)) return;
  for (std::size_t i = tl.locate(start); i < tl.size() && tl.start_of(i) < end; ++i) {
    const Instant from = tl.start_of(i) < start ? start : tl.start_of(i);
    const Instant to = end < tl.end_of(i) ? end : tl.end_of(i);
    if (!visit(TimeWindow{from, to}, tl.capacity_of(i))) return;
  }
}

// kept_windows: the clipped states that `keep` accepts, touching ones joined.
template <class Keep>
Result<std::vector<TimeWindow>> kept_windows(const Timeline& tl, Instant start, Instant end, Keep keep) {
  if (auto inside = require_inside(tl, start, end); !inside) return Unexpected(inside.error());
  std::vector<TimeWindow> out;
  for_each_clipped(tl, start, end, [&](TimeWindow w, Capacity capacity) {
    if (!keep(capacity)) return true;
    if (!out.empty() && out.back().end == w.start)
      out.back().end = w.end;
    else
      out.push_back(w);
    return true;
  });
  return out;
}

}  // namespace

Timeline::Timeline(Calendar calendar, TimeWindow window, const std::vector<StateWindow>& states) {
  auto frozen = std::make_shared<Frozen>();
  frozen->calendar = std::move(calendar);
  frozen->window = window;
  frozen->ends.reserve(states.size());
  frozen->end_keys.reserve(states.size());
  frozen->capacities.reserve(states.size());
  for (const StateWindow& s : states) {
    frozen->ends.push_back(s.window.end);
    frozen->end_keys.push_back(key_of(s.window.end));
    frozen->capacities.push_back(s.capacity);
  }
  if (!states.empty()) {
    const std::int64_t base = window.start.unix_seconds();
    const std::int64_t span = window.end.unix_seconds() - base;
    const auto limit = static_cast<std::int64_t>(2 * states.size());
    while ((span >> frozen->bucket_shift) > limit) ++frozen->bucket_shift;
    const auto buckets = static_cast<std::size_t>(span >> frozen->bucket_shift) + 1;
    frozen->bucket_first.reserve(buckets + 1);
    const std::size_t last = states.size() - 1;
    std::size_t i = 0;
    for (std::size_t b = 0; b < buckets; ++b) {
      const Key first = key_of_seconds(base + (static_cast<std::int64_t>(b) << frozen->bucket_shift));
      while (i < last && frozen->end_keys[i] <= first) ++i;
      frozen->bucket_first.push_back(static_cast<std::uint32_t>(i));
    }
    frozen->bucket_first.push_back(static_cast<std::uint32_t>(last));
  }
  frozen_ = std::move(frozen);
}

const MicroIndex& Timeline::micro_index() const {
  const Frozen& f = *frozen_;
  std::call_once(f.micro_built, [&] { f.micro = std::make_shared<const MicroIndex>(*this); });
  return *f.micro;
}

Result<Timeline> compile_timeline(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return Unexpected(states.error());
  return Timeline(c, TimeWindow{start, end}, *states);
}

Result<std::size_t> state_index_at(const Timeline& tl, Instant t) {
  const std::size_t i = tl.locate(t);
  if (i == Timeline::kOutside) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
  return i;
}

Result<Capacity> timeline_capacity_at(const Timeline& tl, Instant t) {
  auto i = state_index_at(tl, t);
  if (!i) return Unexpected(i.error());
  return tl.capacity_of(*i);
}

Result<bool> timeline_can_work(const Timeline& tl, Instant t) {
  auto capacity = timeline_capacity_at(tl, t);
  if (!capacity) return Unexpected(capacity.error());
  return *capacity >= 1;
}

InstantAnalysis state_analysis(const Timeline& tl, std::size_t i, Instant t, bool include_matches, TimeWindow reach) {
  InstantAnalysis a;
  a.instant = t;
  a.capacity = tl.capacity_of(i);
  a.current_window = TimeWindow{tl.start_of(i), tl.end_of(i)};
  // The compiled edges are not transitions: the state's own start (when before
  // t), else the start of the one before; the state's end unless it is the last.
  for (std::size_t k = i + 1; k-- > 0;) {
    const Instant s = tl.start_of(k);
    if (s != tl.window().start && s < t) {
      a.previous_transition = s;
      break;
    }
  }
  if (i + 1 < tl.size()) a.next_transition = tl.end_of(i);
  if (include_matches) a.matches = windows_at_default_radius(tl.calendar(), t, reach);
  return a;
}

Result<InstantAnalysis> timeline_instant_analysis(const Timeline& tl, Instant t, bool include_matches,
                                                  TimeWindow reach) {
  auto i = state_index_at(tl, t);
  if (!i) return Unexpected(i.error());
  return state_analysis(tl, *i, t, include_matches, reach);
}

Result<std::vector<StateWindow>> timeline_state_windows(const Timeline& tl, Instant start, Instant end) {
  if (auto inside = require_inside(tl, start, end); !inside) return Unexpected(inside.error());
  std::vector<StateWindow> out;
  for_each_clipped(tl, start, end, [&](TimeWindow w, Capacity capacity) {
    out.push_back({w, capacity});
    return true;
  });
  return out;
}

Result<std::vector<TimeWindow>> timeline_open_windows(const Timeline& tl, Instant start, Instant end) {
  return kept_windows(tl, start, end, [](Capacity c) { return c > 0; });
}

Result<std::vector<TimeWindow>> timeline_unavailable_windows(const Timeline& tl, Instant start, Instant end) {
  return kept_windows(tl, start, end, [](Capacity c) { return c == 0; });
}

Result<std::vector<TimeWindow>> timeline_capacity_windows(const Timeline& tl, Instant start, Instant end,
                                                          Capacity minimum) {
  if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
  return kept_windows(tl, start, end, [minimum](Capacity c) { return c >= minimum; });
}

// The open pieces' lengths add up to the open windows' (lengths of adjacent
// windows add up) and, all lying inside one range of instants, cannot overflow.
Result<Duration> timeline_working_duration(const Timeline& tl, Instant start, Instant end) {
  if (auto inside = require_inside(tl, start, end); !inside) return Unexpected(inside.error());
  Duration total;
  for_each_clipped(tl, start, end, [&](TimeWindow w, Capacity capacity) {
    if (capacity > 0) total = *(total + length(w));
    return true;
  });
  return total;
}

Result<TimelineAnalysis> timeline_analyze_range(const Timeline& tl, Instant start, Instant end) {
  auto segments = timeline_state_windows(tl, start, end);
  if (!segments) return Unexpected(segments.error());
  return TimelineAnalysis{TimeWindow{start, end}, std::move(*segments)};
}

// The states are gap-free, so kept neighbours join into one stretch; the walk
// stops at the first stretch long enough, whose slot never passes its end, or
// once a stretch starts too near the end for any to be.
Result<std::optional<TimeWindow>> timeline_first_slot(const Timeline& tl, Instant start, Duration duration,
                                                      Capacity minimum, std::optional<Instant> until) {
  if (duration.is_negative()) return fail(ErrorKind::Value, msg::kNegativeDuration);
  const Instant end = until.value_or(tl.window().end);
  if (auto inside = require_inside(tl, start, end); !inside) return Unexpected(inside.error());
  SlotScan scan(duration, minimum, end);
  std::optional<TimeWindow> slot;
  for_each_clipped(tl, start, end, [&](TimeWindow w, Capacity capacity) {
    const SlotScan::Step step = scan.feed({w, capacity});
    if (step == SlotScan::Step::Found) slot = scan.slot();
    return step == SlotScan::Step::More;
  });
  return slot;
}

Result<std::optional<TimeWindow>> timeline_last_slot(const Timeline& tl, Instant end, Duration d, Capacity minimum,
                                                     std::optional<Instant> bound) {
  if (d.is_negative()) return fail(ErrorKind::Value, msg::kNegativeDuration);
  const Instant begin = bound.value_or(tl.window().start);
  if (auto inside = require_inside(tl, begin, end); !inside) return Unexpected(inside.error());
  if (!(begin < end)) return std::nullopt;
  SlotScanBack scan(d, minimum, begin);
  // The last state starting before end, down to the one holding begin.
  std::size_t i = end == tl.window().end ? tl.size() - 1 : tl.locate(end);
  if (!(tl.start_of(i) < end)) --i;
  for (;; --i) {
    const Instant from = tl.start_of(i) < begin ? begin : tl.start_of(i);
    const Instant to = end < tl.end_of(i) ? end : tl.end_of(i);
    switch (scan.feed({{from, to}, tl.capacity_of(i)})) {
      case SlotScanBack::Step::More: break;
      case SlotScanBack::Step::Found: return scan.slot();
      case SlotScanBack::Step::Hopeless: return std::nullopt;
    }
    if (!(begin < from)) return std::nullopt;
  }
}

std::vector<WindowMatch> windows_at_default_radius(const Calendar& c, Instant t, TimeWindow reach) {
  return get_windows_at(c, t, std::nullopt, reach).value();  // the default radius is valid
}

}  // namespace hourloom
