// Plain reference implementations of expansion and state windows, used only
// by the tests to check the engine's sweeps. They follow the straightforward
// algorithms step by step: rules expanded date by date and stable-sorted,
// every opening window cut against every closing window, a boundary list with
// an ordered set of active override layers, and composites evaluated by asking
// the capacity at the start of every elementary segment. capacity_at also
// serves the minute-by-minute model of the differential tests.
//   ref::state_windows(cal, {mon_00, tue_00}) == state_windows(cal, mon_00, tue_00).value()
#pragma once

#include <algorithm>
#include <limits>
#include <set>
#include <tuple>
#include <vector>

#include "engine/calendar.h"

namespace hourloom::ref {

inline std::vector<TimeWindow> expand_rules(const std::vector<WeeklyRule>& rules, TimeWindow range) {
  std::vector<TimeWindow> out;
  if (!(range.start < range.end)) return out;
  Date d = range.start.date();
  if (auto before = d.add_days(-1)) d = *before;
  const Date last = range.end.date();
  for (;;) {
    for (const WeeklyRule& r : rules) {
      if (r.day != d.weekday_sunday0()) continue;
      if (auto w = intersect(rule_window(r, d), range)) out.push_back(*w);
    }
    if (d == last) break;
    auto next = d.add_days(1);
    if (!next) break;
    d = *next;
  }
  std::stable_sort(out.begin(), out.end(), window_order);
  return out;
}

inline std::vector<TimeWindow> merge(std::vector<TimeWindow> in) {
  std::vector<TimeWindow> kept;
  for (const TimeWindow& w : in)
    if (w.start < w.end) kept.push_back(w);
  std::stable_sort(kept.begin(), kept.end(), window_order);
  std::vector<TimeWindow> out;
  for (const TimeWindow& w : kept) {
    if (!out.empty() && w.start <= out.back().end)
      out.back().end = std::max(out.back().end, w.end);
    else
      out.push_back(w);
  }
  return out;
}

inline void add_clipped(const std::vector<TimeWindow>& in, TimeWindow range, std::vector<TimeWindow>& out) {
  for (const TimeWindow& w : in)
    if (auto c = intersect(w, range)) out.push_back(*c);
}

inline void add_entries(const EntryList& in, EntryKind kind, TimeWindow range,
                        std::vector<TimeWindow>& out) {
  for (const Entry& e : in)
    if (e.kind == kind)
      if (auto c = intersect(e.window, range)) out.push_back(*c);
}

inline std::vector<TimeWindow> calendar_windows(const Calendar& c, TimeWindow range) {
  std::vector<TimeWindow> opening = ref::expand_rules(c.open_rules, range);
  add_clipped(c.open_windows, range, opening);
  add_entries(c.entries, EntryKind::Open, range, opening);
  std::vector<TimeWindow> closing = ref::expand_rules(c.break_rules, range);
  add_clipped(c.closed_windows, range, closing);
  add_entries(c.entries, EntryKind::Closed, range, closing);
  std::stable_sort(closing.begin(), closing.end(), window_order);

  std::vector<TimeWindow> result;
  for (const TimeWindow& o : opening) {
    std::vector<TimeWindow> pieces{o};
    for (const TimeWindow& cut : closing) {
      std::vector<TimeWindow> next;
      for (const TimeWindow& p : pieces) {
        if (cut.end <= p.start || p.end <= cut.start) {
          next.push_back(p);
          continue;
        }
        TimeWindow before{p.start, std::min(cut.start, p.end)};
        TimeWindow after{std::max(cut.end, p.start), p.end};
        if (before.start < before.end) next.push_back(before);
        if (after.start < after.end) next.push_back(after);
      }
      pieces = std::move(next);
      if (pieces.empty()) break;
    }
    result.insert(result.end(), pieces.begin(), pieces.end());
  }
  return ref::merge(std::move(result));
}

// capacity_at: the capacity at t, from the rule occurrences on t's date and
// the date before rather than from weekday arithmetic; a composite is 0 where
// any component is 0, else the smallest capacity.
inline Capacity capacity_at(const Calendar& c, Instant t) {
  if (c.is_composite()) {
    Capacity low = std::numeric_limits<Capacity>::max();
    for (const Calendar& k : c.components) low = std::min(low, ref::capacity_at(k, t));
    return low;
  }
  auto in_rules = [&](const std::vector<WeeklyRule>& rules) {
    for (const WeeklyRule& r : rules)
      for (int back = 0; back <= 1; ++back) {
        const auto d = t.date().add_days(-back);
        if (!d || d->weekday_sunday0() != r.day) continue;
        const auto end_date = r.start < r.end ? d : d->add_days(1);
        if (end_date && Instant::FromParts(*d, r.start) <= t && t < Instant::FromParts(*end_date, r.end)) return true;
      }
    return false;
  };
  auto in_windows = [&](const std::vector<TimeWindow>& ws) {
    return std::any_of(ws.begin(), ws.end(), [&](const TimeWindow& w) { return w.start <= t && t < w.end; });
  };
  auto in_entries = [&](EntryKind kind) {
    return std::any_of(c.entries.begin(), c.entries.end(),
                       [&](const Entry& e) { return e.kind == kind && e.window.start <= t && t < e.window.end; });
  };
  if (!(in_rules(c.open_rules) || in_windows(c.open_windows) || in_entries(EntryKind::Open))) return 0;
  if (in_rules(c.break_rules) || in_windows(c.closed_windows) || in_entries(EntryKind::Closed)) return 0;
  Capacity taken = c.default_capacity;
  for (const CapacityWindow& o : c.capacity_overrides)
    if (o.window.start <= t && t < o.window.end) taken = o.capacity;
  for (const Entry& e : c.entries)
    if (e.kind == EntryKind::Capacity && e.window.start <= t && t < e.window.end) taken = e.capacity;
  return taken;
}

inline void append_joined(std::vector<StateWindow>& out, Instant prev, Instant cur, Capacity cap) {
  if (!out.empty() && out.back().capacity == cap && out.back().window.end == prev)
    out.back().window.end = cur;
  else
    out.push_back({{prev, cur}, cap});
}

inline std::vector<Instant> sorted_unique(std::vector<Instant> b) {
  std::sort(b.begin(), b.end());
  b.erase(std::unique(b.begin(), b.end()), b.end());
  return b;
}

inline std::vector<StateWindow> state_windows(const Calendar& c, TimeWindow range) {
  std::vector<StateWindow> out;
  if (!(range.start < range.end)) return out;

  if (c.is_composite()) {
    std::vector<Instant> bounds{range.start, range.end};
    for (const Calendar& k : c.components)
      for (const StateWindow& s : ref::state_windows(k, range)) {
        bounds.push_back(s.window.start);
        bounds.push_back(s.window.end);
      }
    bounds = sorted_unique(std::move(bounds));
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i)
      append_joined(out, bounds[i], bounds[i + 1], ref::capacity_at(c, bounds[i]));
    return out;
  }

  const std::vector<TimeWindow> spans = ref::calendar_windows(c, range);
  struct Layer {
    TimeWindow w;
    unsigned seq;
    Capacity cap;
  };
  std::vector<Layer> layers;
  for (const CapacityWindow& o : c.capacity_overrides)
    if (auto w = intersect(o.window, range)) layers.push_back({*w, static_cast<unsigned>(layers.size()), o.capacity});
  for (const Entry& e : c.entries)
    if (e.kind == EntryKind::Capacity)
      if (auto w = intersect(e.window, range)) layers.push_back({*w, static_cast<unsigned>(layers.size()), e.capacity});

  std::vector<Instant> bounds{range.start, range.end};
  for (const TimeWindow& s : spans) bounds.insert(bounds.end(), {s.start, s.end});
  for (const Layer& l : layers) bounds.insert(bounds.end(), {l.w.start, l.w.end});
  bounds = sorted_unique(std::move(bounds));

  struct Event {
    Instant at;
    int direction;  // end = 0, start = 1
    unsigned seq;
  };
  std::vector<Event> events;
  for (const Layer& l : layers) {
    events.push_back({l.w.start, 1, l.seq});
    events.push_back({l.w.end, 0, l.seq});
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return std::tie(a.at, a.direction, a.seq) < std::tie(b.at, b.direction, b.seq);
  });

  std::set<unsigned> active;
  std::size_t ev = 0;
  std::size_t sp = 0;
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
    const Instant prev = bounds[i];
    const Instant cur = bounds[i + 1];
    while (ev < events.size() && events[ev].at <= prev) {
      if (events[ev].at == prev) {
        if (events[ev].direction == 1)
          active.insert(events[ev].seq);
        else
          active.erase(events[ev].seq);
      }
      ++ev;
    }
    while (sp < spans.size() && spans[sp].end <= prev) ++sp;
    const bool open = sp < spans.size() && spans[sp].start <= prev && cur <= spans[sp].end;
    Capacity cap = 0;
    if (open) cap = active.empty() ? c.default_capacity : layers[*active.rbegin()].cap;
    append_joined(out, prev, cur, cap);
  }
  return out;
}

inline std::vector<TimeWindow> capacity_windows(const Calendar& c, TimeWindow range, Capacity minimum) {
  std::vector<TimeWindow> keep;
  for (const StateWindow& s : ref::state_windows(c, range))
    if (s.capacity >= minimum) keep.push_back(s.window);
  return ref::merge(std::move(keep));
}

inline std::vector<TimeWindow> unavailable_windows(const Calendar& c, TimeWindow range) {
  std::vector<TimeWindow> out;
  if (!(range.start < range.end)) return out;
  Instant cursor = range.start;
  for (const TimeWindow& w : ref::capacity_windows(c, range, 1)) {
    if (cursor < w.start) out.push_back({cursor, w.start});
    cursor = std::max(cursor, w.end);
  }
  if (cursor < range.end) out.push_back({cursor, range.end});
  return out;
}

}  // namespace hourloom::ref
