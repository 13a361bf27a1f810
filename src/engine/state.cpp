#include "engine/state.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/span_stream.h"

namespace hourloom {

namespace {

// Capacity layer of the sweep: a clipped override or Capacity entry. Its
// position in the layer list is its rank; the highest active rank wins.
struct Layer {
  TimeWindow window;
  Capacity capacity;
};

// emit: appends [from, to) with `capacity`, joining it to the last window when
// the capacities are equal. The sweep emits gap-free, so from == last end.
void emit(std::vector<StateWindow>& out, Instant from, Instant to, Capacity capacity) {
  if (!out.empty() && out.back().capacity == capacity) {
    out.back().window.end = to;
    return;
  }
  out.push_back({{from, to}, capacity});
}

// Open spans swept together with the capacity layers. The spans arrive one
// at a time from the stream; the active set is a max-heap of ranks with lazy
// deletion: a layer whose end has passed is dropped when it reaches the top.
// Closed stretches are skipped whole, their layer events being caught up at
// the next open span.
std::vector<StateWindow> simple_state_windows(const Calendar& c, TimeWindow range) {
  OpenSpanStream spans(c, range);

  std::vector<Layer> layers;
  for (const CapacityWindow& o : c.capacity_overrides)
    if (auto w = clip(o.window, range)) layers.push_back({*w, o.capacity});
  for (const Entry& e : c.entries)
    if (e.kind == EntryKind::Capacity)
      if (auto w = clip(e.window, range)) layers.push_back({*w, e.capacity});

  // Each open span adds at most two windows, each layer boundary one more.
  std::vector<StateWindow> out;
  out.reserve(reservation(2 * open_span_bound(c, range) + 1 + 2 * layers.size()));
  if (layers.empty()) {
    Instant pos = range.start;
    while (auto s = spans.next()) {
      if (pos < s->start) emit(out, pos, s->start, 0);
      emit(out, s->start, s->end, c.default_capacity);
      pos = s->end;
    }
    if (pos < range.end) emit(out, pos, range.end, 0);
    return out;
  }

  const auto n = static_cast<std::uint32_t>(layers.size());
  std::vector<std::uint32_t> by_start(n);
  std::vector<std::uint32_t> by_end(n);
  for (std::uint32_t i = 0; i < n; ++i) by_start[i] = by_end[i] = i;
  std::sort(by_start.begin(), by_start.end(),
            [&](std::uint32_t a, std::uint32_t b) { return layers[a].window.start < layers[b].window.start; });
  std::sort(by_end.begin(), by_end.end(),
            [&](std::uint32_t a, std::uint32_t b) { return layers[a].window.end < layers[b].window.end; });
  std::vector<std::uint32_t> heap;
  heap.reserve(n);
  std::vector<bool> ended(n, false);

  std::uint32_t next_start = 0;
  std::uint32_t next_end = 0;
  std::optional<TimeWindow> span = spans.next();
  Instant pos = range.start;
  while (pos < range.end) {
    if (!span || pos < span->start) {
      const Instant to = span ? span->start : range.end;
      emit(out, pos, to, 0);
      pos = to;
      continue;
    }
    // Layers active at pos: started at or before it, not yet ended.
    while (next_start < n && layers[by_start[next_start]].window.start <= pos) {
      heap.push_back(by_start[next_start++]);
      std::push_heap(heap.begin(), heap.end());
    }
    while (next_end < n && layers[by_end[next_end]].window.end <= pos) ended[by_end[next_end++]] = true;
    while (!heap.empty() && ended[heap.front()]) {
      std::pop_heap(heap.begin(), heap.end());
      heap.pop_back();
    }

    Instant to = span->end;
    if (next_start < n) to = std::min(to, layers[by_start[next_start]].window.start);
    if (next_end < n) to = std::min(to, layers[by_end[next_end]].window.end);
    const Capacity capacity = heap.empty() ? c.default_capacity : layers[heap.front()].capacity;
    emit(out, pos, to, capacity);
    pos = to;
    if (pos == span->end) span = spans.next();
  }
  return out;
}

// A composite's timeline: its components' timelines walked side by side. Each
// segment takes 0 where any component is 0, else the smallest capacity.
Result<std::vector<StateWindow>> composite_state_windows(const Calendar& c, TimeWindow range) {
  std::vector<std::vector<StateWindow>> parts;
  parts.reserve(c.components.size());
  std::size_t total = 0;
  for (const Calendar& component : c.components) {
    auto part = state_windows(component, range.start, range.end);
    if (!part) return std::unexpected(part.error());
    total += part->size();
    parts.push_back(std::move(*part));
  }

  std::vector<StateWindow> out;
  out.reserve(total);
  std::vector<std::size_t> at(parts.size(), 0);
  Instant pos = range.start;
  while (pos < range.end) {
    Instant to = range.end;
    Capacity capacity = std::numeric_limits<Capacity>::max();
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const std::vector<StateWindow>& part = parts[k];
      while (part[at[k]].window.end <= pos) ++at[k];
      const StateWindow& s = part[at[k]];
      capacity = std::min(capacity, s.capacity);
      to = std::min(to, s.window.end);
    }
    emit(out, pos, to, capacity);
    pos = to;
  }
  return out;
}

// holds: contains(w, t), tuned for the point lookup, which tests every stored
// window against one instant and almost always misses. A window can only hold
// t when start.seconds <= t.seconds <= end.seconds; that cheap, well-predicted
// test runs first and the exact comparison only on a candidate.
inline bool holds(const TimeWindow& w, Instant t) {
  const std::int64_t ts = t.unix_seconds();
  const bool candidate = (w.start.unix_seconds() <= ts) & (ts <= w.end.unix_seconds());
  if (__builtin_expect(!candidate, 1)) return false;
  return contains(w, t);
}

bool rules_contain(const std::vector<WeeklyRule>& rules, Weekday w, TimeOfDay t) {
  for (const WeeklyRule& r : rules)
    if (rule_contains(r, w, t)) return true;
  return false;
}

bool windows_contain(const std::vector<TimeWindow>& windows, Instant t) {
  for (const TimeWindow& w : windows)
    if (holds(w, t)) return true;
  return false;
}

Capacity simple_capacity_at(const Calendar& c, Instant t) {
  const TimeOfDay tod = t.time_of_day();
  const Weekday w = t.date().weekday_sunday0();
  bool open = rules_contain(c.open_rules, w, tod) || windows_contain(c.open_windows, t);

  // One pass over the entries: a Closed entry closes the instant whatever
  // else holds; otherwise note an Open entry and the last Capacity entry.
  const Entry* last_capacity = nullptr;
  for (const Entry& e : c.entries) {
    if (!holds(e.window, t)) continue;
    switch (e.kind) {
      case EntryKind::Open:
        open = true;
        break;
      case EntryKind::Closed:
        return 0;
      case EntryKind::Capacity:
        last_capacity = &e;
        break;
    }
  }
  if (!open) return 0;
  if (rules_contain(c.break_rules, w, tod) || windows_contain(c.closed_windows, t)) return 0;

  // The last capacity taken wins: Capacity entries count after every
  // override, and the overrides are scanned backward to the first hit.
  if (last_capacity) return last_capacity->capacity;
  for (auto o = c.capacity_overrides.rbegin(); o != c.capacity_overrides.rend(); ++o)
    if (holds(o->window, t)) return o->capacity;
  return c.default_capacity;
}

// keep_at_least: the state windows with capacity >= minimum, adjacent ones
// joined. The input is sorted and gap-free, so this is their merge.
std::vector<TimeWindow> keep_at_least(const std::vector<StateWindow>& states, Capacity minimum) {
  std::vector<TimeWindow> out;
  out.reserve(states.size() / 2 + 1);
  for (const StateWindow& s : states) {
    if (s.capacity < minimum) continue;
    if (!out.empty() && out.back().end == s.window.start)
      out.back().end = s.window.end;
    else
      out.push_back(s.window);
  }
  return out;
}

bool all_at_least(const std::vector<StateWindow>& states, Capacity minimum) {
  return std::all_of(states.begin(), states.end(), [&](const StateWindow& s) { return s.capacity >= minimum; });
}

}  // namespace

Result<void> require_positive_capacity(Capacity minimum) {
  if (minimum < 1) return fail(ErrorKind::Value, msg::kCapacityNotPositive);
  return {};
}

Result<std::vector<StateWindow>> state_windows(const Calendar& c, Instant start, Instant end) {
  if (end < start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
  if (end == start) return std::vector<StateWindow>{};
  const TimeWindow range{start, end};
  if (c.is_composite()) return composite_state_windows(c, range);
  return simple_state_windows(c, range);
}

Capacity get_capacity_at(const Calendar& c, Instant t) {
  if (!c.is_composite()) return simple_capacity_at(c, t);
  Capacity smallest = std::numeric_limits<Capacity>::max();
  for (const Calendar& component : c.components) {
    const Capacity capacity = get_capacity_at(component, t);
    if (capacity == 0) return 0;
    smallest = std::min(smallest, capacity);
  }
  return smallest;
}

Result<std::vector<TimeWindow>> get_capacity_windows(const Calendar& c, Instant start, Instant end, Capacity minimum) {
  if (auto ok = require_positive_capacity(minimum); !ok) return std::unexpected(ok.error());
  auto states = state_windows(c, start, end);
  if (!states) return std::unexpected(states.error());
  return keep_at_least(*states, minimum);
}

Result<std::vector<TimeWindow>> get_open_windows(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return std::unexpected(states.error());
  return keep_at_least(*states, 1);
}

// The closed parts of a gap-free timeline are exactly its capacity-0 windows,
// and two of them are never neighbours.
Result<std::vector<TimeWindow>> get_unavailable_windows(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return std::unexpected(states.error());
  std::vector<TimeWindow> out;
  for (const StateWindow& s : *states)
    if (!s.can_work()) out.push_back(s.window);
  return out;
}

bool covers(TimeWindow range, const std::vector<TimeWindow>& windows) {
  Instant cursor = range.start;
  for (const TimeWindow& w : windows) {
    if (cursor < w.start) return false;
    if (cursor < w.end) {
      cursor = w.end;
      if (!(cursor < range.end)) return true;
    }
  }
  return !(cursor < range.end);
}

// Coverage of a window by the windows that meet a capacity is, on a gap-free
// timeline of that window, the same as every state window meeting it.
Result<bool> window_can_work(const Calendar& c, TimeWindow w) {
  if (is_empty(w)) return true;
  auto states = state_windows(c, w.start, w.end);
  if (!states) return std::unexpected(states.error());
  return all_at_least(*states, 1);
}

Result<bool> window_has_capacity(const Calendar& c, TimeWindow w, Capacity minimum) {
  if (auto ok = require_positive_capacity(minimum); !ok) return std::unexpected(ok.error());
  if (is_empty(w)) return true;
  auto states = state_windows(c, w.start, w.end);
  if (!states) return std::unexpected(states.error());
  return all_at_least(*states, minimum);
}

}  // namespace hourloom
