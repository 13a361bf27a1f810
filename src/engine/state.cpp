#include "engine/state.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "engine/span_stream.h"
#include "engine/time_index.h"

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
// Kept out of line: inlined, the piecewise-built window stalls on its copy into the vector.
[[gnu::noinline]] void emit(std::vector<StateWindow>& out, Instant from, Instant to, Capacity capacity) {
  if (!out.empty() && out.back().capacity == capacity) {
    out.back().window.end = to;
    return;
  }
  out.push_back({{from, to}, capacity});
}

// collect_layers: the overrides, then the Capacity entries, that overlap the
// range, clipped to it, each group in stored order.
std::vector<Layer> collect_layers(const Calendar& c, TimeWindow range) {
  std::vector<Layer> layers;
  if (const TimeIndex* ix = current_index(c)) {
    std::vector<IndexedItem> items;
    ix->overlapping(range, [&](const IndexedItem& item) {
      if (item.kind == ItemKind::Override || item.kind == ItemKind::CapacityEntry) items.push_back(item);
    });
    std::sort(items.begin(), items.end(), layer_order);
    layers.reserve(items.size());
    for (const IndexedItem& item : items) layers.push_back({*clip(item.window, range), item.capacity});
    return layers;
  }
  for (const CapacityWindow& o : c.capacity_overrides)
    if (auto w = clip(o.window, range)) layers.push_back({*w, o.capacity});
  for (const Entry& e : c.entries)
    if (e.kind == EntryKind::WithCapacity)
      if (auto w = clip(e.window, range)) layers.push_back({*w, e.capacity});
  return layers;
}

// The timeline of a range one piece at a time, so that a question can stop
// at its answer. Pieces are gap-free and in order but not joined: two
// neighbours may have the same capacity.
//
// A simple calendar sweeps its open spans, which arrive one at a time from
// the stream, together with the capacity layers; the active set is a max-heap
// of ranks with lazy deletion: a layer whose end has passed is dropped when it
// reaches the top. Closed stretches come whole, their layer events being
// caught up at the next open span. A composite walks its components' streams
// side by side: 0 where any component is 0, else the smallest capacity.
class StateStream {
 public:
  StateStream(const Calendar& c, TimeWindow range) : c_(&c), range_(range), pos_(range.start) {
    if (c.is_composite()) {
      parts_.reserve(c.components.size());
      current_.reserve(c.components.size());
      // The range is never empty, so every component has a first piece.
      for (const Calendar& component : c.components) {
        parts_.emplace_back(component, range);
        current_.push_back(*parts_.back().next());
      }
      return;
    }
    spans_.emplace(c, range);
    layers_ = collect_layers(c, range);
    const auto n = static_cast<std::uint32_t>(layers_.size());
    by_start_.resize(n);
    by_end_.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) by_start_[i] = by_end_[i] = i;
    std::sort(by_start_.begin(), by_start_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return layers_[a].window.start < layers_[b].window.start; });
    std::sort(by_end_.begin(), by_end_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return layers_[a].window.end < layers_[b].window.end; });
    ended_.assign(n, false);
    span_ = spans_->next();
  }

  // size_hint: a guess at the number of pieces, for reserving the output.
  std::size_t size_hint() const {
    if (!spans_) return 16;
    return 2 * spans_->bound() + 1 + 2 * layers_.size();
  }

  std::optional<StateWindow> next() { return parts_.empty() ? simple_next() : composite_next(); }

  // drain: sink(from, to, capacity) for each piece until the sink returns
  // false; whether it never did.
  template <class Sink>
  bool drain(Sink&& sink) {
    if (parts_.empty()) {
      return simple_drain(sink);
    } else {
      while (auto piece = composite_next())
        if (!sink(piece->window.start, piece->window.end, piece->capacity)) return false;
    }
    return true;
  }

 private:
  std::optional<StateWindow> composite_next() {
    if (!(pos_ < range_.end)) return std::nullopt;
    const Instant from = pos_;
    Instant to = range_.end;
    Capacity capacity = std::numeric_limits<Capacity>::max();
    for (std::size_t k = 0; k < parts_.size(); ++k) {
      while (current_[k].window.end <= pos_) current_[k] = *parts_[k].next();
      capacity = std::min(capacity, current_[k].capacity);
      to = std::min(to, current_[k].window.end);
    }
    pos_ = to;
    return StateWindow{{from, to}, capacity};
  }

  std::optional<StateWindow> simple_next() {
    std::optional<StateWindow> piece;
    simple_drain([&](Instant from, Instant to, Capacity capacity) {
      piece = StateWindow{{from, to}, capacity};
      return false;
    });
    return piece;
  }

  // simple_drain: the sweep. Its state lives in locals while it runs and is
  // put back when it ends or the sink stops it.
  template <class Sink>
  bool simple_drain(Sink&& sink) {
    Instant pos = pos_;
    std::optional<TimeWindow> span = span_;
    std::uint32_t next_start = next_start_;
    std::uint32_t next_end = next_end_;
    std::vector<std::uint32_t> heap = std::move(heap_);
    std::vector<bool>& ended = ended_;
    const Layer* layers = layers_.data();
    const std::uint32_t* by_start = by_start_.data();
    const std::uint32_t* by_end = by_end_.data();
    const auto n = static_cast<std::uint32_t>(layers_.size());
    const Instant end = range_.end;
    bool going = true;
    while (going && pos < end) {
      const Instant from = pos;
      Capacity capacity = 0;
      if (!span || pos < span->start) {
        pos = span ? span->start : end;
      } else {
        capacity = c_->default_capacity;
        Instant to = span->end;
        if (n > 0) {
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
          if (next_start < n) to = std::min(to, layers[by_start[next_start]].window.start);
          if (next_end < n) to = std::min(to, layers[by_end[next_end]].window.end);
          if (!heap.empty()) capacity = layers[heap.front()].capacity;
        }
        pos = to;
        if (pos == span->end) span = spans_->next();
      }
      going = sink(from, pos, capacity);
    }
    pos_ = pos;
    span_ = span;
    next_start_ = next_start;
    next_end_ = next_end;
    heap_ = std::move(heap);
    return going;
  }

  const Calendar* c_;
  TimeWindow range_;
  Instant pos_;
  // Simple calendar.
  std::optional<OpenSpanStream> spans_;
  std::optional<TimeWindow> span_;
  std::vector<Layer> layers_;
  std::vector<std::uint32_t> by_start_, by_end_, heap_;
  std::vector<bool> ended_;
  std::uint32_t next_start_ = 0, next_end_ = 0;
  // Composite.
  std::vector<StateStream> parts_;
  std::vector<StateWindow> current_;  // each component's piece at pos_
};

// A composite's whole timeline: its components' timelines, each computed
// whole (the fast path of the sweep), walked side by side. Each segment takes
// 0 where any component is 0, else the smallest capacity.
std::vector<StateWindow> composite_state_windows(const Calendar& c, TimeWindow range) {
  std::vector<std::vector<StateWindow>> parts;
  parts.reserve(c.components.size());
  std::size_t total = 0;
  for (const Calendar& component : c.components) {
    parts.push_back(*state_windows(component, range.start, range.end));
    total += parts.back().size();
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
      capacity = std::min(capacity, part[at[k]].capacity);
      to = std::min(to, part[at[k]].window.end);
    }
    emit(out, pos, to, capacity);
    pos = to;
  }
  return out;
}

// all_at_least: whether the capacity is at least `minimum` throughout the
// non-empty window; stops at the first piece below it.
bool all_at_least(const Calendar& c, TimeWindow w, Capacity minimum) {
  StateStream stream(c, w);
  return stream.drain([&](Instant, Instant, Capacity capacity) { return capacity >= minimum; });
}

bool rules_contain(const std::vector<WeeklyRule>& rules, Weekday w, TimeOfDay t) {
  for (const WeeklyRule& r : rules)
    if (rule_contains(r, w, t)) return true;
  return false;
}

bool windows_contain(const std::vector<TimeWindow>& windows, Instant t) {
  for (const TimeWindow& w : windows)
    if (contains(w, t)) return true;
  return false;
}

// indexed_capacity_at: simple_capacity_at over the items that hold t.
Capacity indexed_capacity_at(const Calendar& c, const TimeIndex& ix, Instant t) {
  bool open = false;
  bool closed = false;
  const IndexedItem* override_taken = nullptr;
  const IndexedItem* entry_taken = nullptr;
  ix.stab(t, [&](const IndexedItem& item) {
    switch (item.kind) {
      case ItemKind::Open:
        open = true;
        break;
      case ItemKind::Closed:
        closed = true;
        break;
      case ItemKind::Override:
        if (!override_taken || override_taken->order < item.order) override_taken = &item;
        break;
      case ItemKind::CapacityEntry:
        if (!entry_taken || entry_taken->order < item.order) entry_taken = &item;
        break;
    }
  });
  if (closed) return 0;
  const TimeOfDay tod = t.time_of_day();
  const Weekday w = t.date().weekday_sunday0();
  if (!open && !rules_contain(c.open_rules, w, tod)) return 0;
  if (rules_contain(c.break_rules, w, tod)) return 0;
  if (entry_taken) return entry_taken->capacity;
  if (override_taken) return override_taken->capacity;
  return c.default_capacity;
}

Capacity simple_capacity_at(const Calendar& c, Instant t) {
  if (const TimeIndex* ix = current_index(c)) return indexed_capacity_at(c, *ix, t);
  const TimeOfDay tod = t.time_of_day();
  const Weekday w = t.date().weekday_sunday0();
  bool open = rules_contain(c.open_rules, w, tod) || windows_contain(c.open_windows, t);

  // One pass over the entries: a Closed entry closes the instant whatever
  // else holds; otherwise note an Open entry and the last Capacity entry.
  const Entry* last_capacity = nullptr;
  for (const Entry& e : c.entries) {
    if (!contains(e.window, t)) continue;
    switch (e.kind) {
      case EntryKind::Open:
        open = true;
        break;
      case EntryKind::Closed:
        return 0;
      case EntryKind::WithCapacity:
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
    if (contains(o->window, t)) return o->capacity;
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
  StateStream stream(c, range);
  std::vector<StateWindow> out;
  out.reserve(reservation(stream.size_hint()));
  stream.drain([&](Instant from, Instant to, Capacity capacity) {
    emit(out, from, to, capacity);
    return true;
  });
  return out;
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

// Coverage of a window by the windows that meet a capacity is, on a gap-free
// timeline of that window, the same as every state window meeting it.
Result<bool> window_can_work(const Calendar& c, TimeWindow w) {
  if (is_empty(w)) return true;
  return all_at_least(c, w, 1);
}

Result<bool> window_has_capacity(const Calendar& c, TimeWindow w, Capacity minimum) {
  if (auto ok = require_positive_capacity(minimum); !ok) return std::unexpected(ok.error());
  if (is_empty(w)) return true;
  return all_at_least(c, w, minimum);
}

}  // namespace hourloom
