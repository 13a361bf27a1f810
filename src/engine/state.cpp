#include "engine/state.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include <memory>
#include <variant>

#include "engine/derived.h"
#include "engine/interrupt.h"
#include "engine/program.h"
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
// Kept out of line: inlined, the piecewise-built window stalls on its copy into the vector.
[[gnu::noinline]] void emit(std::vector<StateWindow>& out, Instant from, Instant to, Capacity capacity) {
  if (!out.empty() && out.back().capacity == capacity) {
    out.back().window.end = to;
    return;
  }
  out.push_back({{from, to}, capacity});
}

// collect_layers: the capacity-setting items that overlap the range, clipped
// to it, in layer order (lowest precedence first).
std::vector<Layer> collect_layers(const Calendar& c, TimeWindow range) {
  std::vector<IndexedItem> items;
  StoredItems(c).over(range, [&](const IndexedItem& item) {
    if (sets_capacity(item.kind)) items.push_back(item);
  });
  if (!std::is_sorted(items.begin(), items.end(), layer_order)) std::sort(items.begin(), items.end(), layer_order);
  std::vector<Layer> layers;
  layers.reserve(items.size());
  for (const IndexedItem& item : items) layers.push_back({*clip(item.window, range), item.capacity});
  return layers;
}

// The timeline of a range one piece at a time, so that a question can stop at
// its answer: drain(sink) calls sink(from, to, capacity) for each piece until
// the sink returns false, and says whether it never did; a later drain goes on
// after the last piece handed out. Pieces are gap-free and in order but not
// joined: two neighbours may have the same capacity.

// SimpleSweep: a simple calendar's open spans, which arrive one at a time from
// the stream, swept together with the capacity layers; the active set is a
// max-heap of ranks with lazy deletion: a layer whose end has passed is
// dropped when it reaches the top. Closed stretches come whole, their layer
// events being caught up at the next open span.
class SimpleSweep {
 public:
  // polls: whether the sweep asks the interruption hook (a composite's walk asks it instead).
  SimpleSweep(const Calendar& c, TimeWindow range, bool polls = true)
      : c_(&c), range_(range), pos_(range.start), spans_(c, range), layers_(collect_layers(c, range)), polls_(polls) {
    const auto n = static_cast<std::uint32_t>(layers_.size());
    by_start_.resize(n);
    by_end_.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) by_start_[i] = by_end_[i] = i;
    std::sort(by_start_.begin(), by_start_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return layers_[a].window.start < layers_[b].window.start; });
    std::sort(by_end_.begin(), by_end_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return layers_[a].window.end < layers_[b].window.end; });
    ended_.assign(n, false);
    span_ = spans_.next();
  }

  // size_hint: a guess at the number of pieces, for reserving the output.
  std::size_t size_hint() const { return 2 * spans_.bound() + 1 + 2 * layers_.size(); }
  // was_interrupted: whether the last drain stopped at the hook's request.
  bool was_interrupted() const { return interrupted_; }

  // drain: the sweep. Its state lives in locals while it runs and is put back
  // when it ends or the sink stops it.
  template <class Sink>
  bool drain(Sink&& sink) {
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
      if (polls_ && poll_.stop()) {
        interrupted_ = true;
        going = false;
        break;
      }
      const Instant from = pos;
      Capacity capacity = 0;
      if (!span || pos < span->start) {
        pos = span ? span->start : end;
      } else {
        capacity = c_->default_capacity();
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
        if (pos == span->end) span = spans_.next();
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

 private:
  const Calendar* c_;
  TimeWindow range_;
  Instant pos_;
  OpenSpanStream spans_;
  std::optional<TimeWindow> span_;
  std::vector<Layer> layers_;
  std::vector<std::uint32_t> by_start_, by_end_, heap_;
  std::vector<bool> ended_;
  std::uint32_t next_start_ = 0, next_end_ = 0;
  bool polls_;
  bool interrupted_ = false;
  InterruptPoll poll_;
};

// CompositeWalk: one walk for any operator tree. The tree's sources (its
// simple calendars and repeats) are swept side by side; the walk cuts the
// range where any source's piece ends and where a within window or an
// effective switch lies, and gives each segment the value of the tree's
// operators over the sources' capacities there. A source is swept only over
// the hull of where some path to it is in force (within windows and effective
// pieces gate their operands), and started when the walk reaches it.
// Leaves are drained a batch of pieces at a time, so what is held does not
// grow with the range: all batches together hold at most about kHeld pieces.
// A repeat sweeps its pattern once over one period (or over the part of one
// that a shorter range maps to) and replays it.
class CompositeWalk {
 public:
  using Tables = std::vector<std::vector<StateWindow>>;

  // A repeat sweeps only the part of its pattern that the range maps to,
  // except a repeat inside another's pattern: the patterns of those are swept
  // over their whole periods first, the innermost first, so that no pattern's
  // walk starts another.
  CompositeWalk(const Calendar& c, TimeWindow range) : CompositeWalk(*c.derived().algebra, 0, range, nullptr) {
    const std::vector<Program>& programs = algebra_->programs;
    const auto has_repeat = [](const Program& p) {
      return std::any_of(p.nodes.begin(), p.nodes.end(),
                         [](const Program::Node& n) { return !n.leaf && n.composition->op == Operator::Repeat; });
    };
    if (std::none_of(programs.begin() + 1, programs.end(), has_repeat)) return;
    own_tables_ = std::make_unique<Tables>(programs.size());
    tables_ = own_tables_.get();
    // A pattern is swept once the patterns of its own repeats are (Kahn's
    // order); one that no pattern repeats is left to the walk.
    std::vector<std::uint32_t> waiting(programs.size(), 0);
    std::vector<std::vector<std::uint32_t>> users(programs.size());
    std::vector<std::uint32_t> ready;
    for (std::uint32_t p = 1; p < programs.size(); ++p) {
      for (const Program::Node& n : programs[p].nodes)
        if (!n.leaf && n.composition->op == Operator::Repeat) ++waiting[p], users[n.pattern].push_back(p);
      if (waiting[p] == 0) ready.push_back(p);
    }
    while (!ready.empty()) {
      const std::uint32_t p = ready.back();
      ready.pop_back();
      const Composition& k = *programs[p].repeat;
      if (!users[p].empty() && !sweep_pattern(p, {k.anchor, *(k.anchor + k.period)}, (*own_tables_)[p])) return;
      for (std::uint32_t user : users[p])
        if (--waiting[user] == 0) ready.push_back(user);
    }
  }

  // polls: whether the walk asks the interruption hook (not while derived data is built).
  CompositeWalk(const Algebra& algebra, std::uint32_t program, TimeWindow range, const Tables* tables,
                bool polls = true)
      : algebra_(&algebra), program_(&algebra.programs[program]), tables_(tables), pos_(range.start), end_(range.end),
        polls_(polls) {
    const Program& p = *program_;
    values_.assign(p.nodes.size(), 0);
    // Where each node is in force, parents before children.
    std::vector<TimeWindow> reach(p.nodes.size(), TimeWindow{range.end, range.end});
    reach.back() = range;
    for (std::size_t i = p.nodes.size(); i-- > 0;) {
      const Program::Node& node = p.nodes[i];
      const TimeWindow r = reach[i];
      if (is_empty(r)) continue;
      if (node.is_source()) {
        Source& s = sources_.emplace_back();
        s.node = static_cast<std::uint32_t>(i);
        s.reach = r;
        continue;
      }
      const Composition& k = *node.composition;
      if (k.op == Operator::Within) add_cut(k.window.start, r), add_cut(k.window.end, r);
      for (const Switch& w : k.switches) add_cut(w.from, r);
      for (std::uint32_t j = 0; j < node.count; ++j) {
        std::optional<TimeWindow> gated = r;
        if (k.op == Operator::Within) gated = intersect(r, k.window);
        if (k.op == Operator::Effective) gated = intersect(r, piece_of(k, static_cast<std::int32_t>(j)));
        if (!gated) continue;
        TimeWindow& child = reach[p.children[node.first + j]];
        child = is_empty(child) ? *gated : TimeWindow{std::min(child.start, gated->start), std::max(child.end, gated->end)};
      }
    }
    std::sort(cuts_.begin(), cuts_.end());
    cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
    std::size_t leaves = 0;
    for (const Source& s : sources_) leaves += p.nodes[s.node].leaf ? 1 : 0;
    most_ = std::max<std::size_t>(1, kHeld / std::max<std::size_t>(1, leaves));
  }

  std::size_t size_hint() const { return 16; }

  bool was_interrupted() const { return interrupted_; }

  template <class Sink>
  bool drain(Sink&& sink) {
    const Program& p = *program_;
    Capacity* values = values_.data();
    if (interrupted_) return false;
    while (pos_ < end_) {
      if (polls_ && poll_.stop()) {
        interrupted_ = true;
        return false;
      }
      const Instant from = pos_;
      Instant to = end_;
      while (next_cut_ < cuts_.size() && cuts_[next_cut_] <= from) ++next_cut_;
      if (next_cut_ < cuts_.size()) to = std::min(to, cuts_[next_cut_]);
      for (Source& s : sources_) {
        Capacity v = 0;
        if (from < s.reach.start) {
          to = std::min(to, s.reach.start);
        } else if (from < s.reach.end) {
          const StateWindow* piece = at(s, from);
          if (!piece) return false;
          v = piece->capacity;
          to = std::min(to, piece->window.end);
        }
        values[s.node] = v;
      }
      for (std::size_t i = 0; i < p.nodes.size(); ++i)
        if (!p.nodes[i].is_source()) values[i] = combine(p, p.nodes[i], values, from);
      pos_ = to;
      if (!sink(from, to, values[p.nodes.size() - 1])) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kHeld = 1 << 14;
  struct Source {
    std::uint32_t node = 0;
    TimeWindow reach{};  // where it is asked; swept from its start on
    StateWindow piece{};  // the current piece, on the walk's clock
    // A leaf: its sweep, drained in batches starting small and doubling up to most_.
    std::unique_ptr<SimpleSweep> sweep;
    std::vector<StateWindow> pieces;
    std::size_t at = 0;
    std::size_t batch = 16;
    // A repeat: its pattern's pieces on the pattern's clock, and the shift
    // that brings the current one onto the walk's.
    const std::vector<StateWindow>* table = nullptr;
    std::vector<StateWindow> own_table;  // when the pattern was not swept beforehand
    Duration shift;
  };

  // piece_of: the hull of where effective's component j is in force.
  static TimeWindow piece_of(const Composition& k, std::int32_t j) {
    for (std::size_t i = 0; i < k.switches.size(); ++i)
      if (k.switches[i].component == j)
        return {k.switches[i].from, i + 1 < k.switches.size() ? k.switches[i + 1].from : Instant::Max()};
    return {};
  }
  void add_cut(Instant t, TimeWindow r) {
    if (r.start < t && t < r.end) cuts_.push_back(t);
  }

  // at: the source's piece holding t (t inside its reach, and not before the
  // piece last handed out); nullptr when the walk was interrupted.
  const StateWindow* at(Source& s, Instant t) {
    if (!s.sweep && !s.table && !start(s, t)) return nullptr;  // not started yet
    while (s.piece.window.end <= t) advance(s);
    return &s.piece;
  }

  bool start(Source& s, Instant t) {
    const Program::Node& node = program_->nodes[s.node];
    const TimeWindow range{t, s.reach.end};
    if (node.leaf) {
      s.sweep = std::make_unique<SimpleSweep>(*node.leaf, range, false);
      refill(s);
      s.piece = s.pieces[0];
      return true;
    }
    // The pattern over one period, or over the one or two parts of one that
    // a range shorter than the period maps to.
    const Composition& k = *node.composition;
    const Instant mapped = repeat_instant(k, t);
    const Instant period_end = *(k.anchor + k.period);
    const Duration span = range.end - range.start;
    std::size_t first = 0;
    if (tables_ && !(*tables_)[node.pattern].empty()) {  // swept beforehand
      s.table = &(*tables_)[node.pattern];
    } else if (!(span < k.period)) {
      if (!sweep_pattern(node.pattern, {k.anchor, period_end}, s.own_table)) return false;
    } else if (span <= period_end - mapped) {
      if (!sweep_pattern(node.pattern, {mapped, *(mapped + span)}, s.own_table)) return false;
    } else {
      const Duration rest = *(span - (period_end - mapped));
      if (!sweep_pattern(node.pattern, {mapped, period_end}, s.own_table) ||
          !sweep_pattern(node.pattern, {k.anchor, *(k.anchor + rest)}, s.own_table))
        return false;
    }
    if (!s.table) s.table = &s.own_table;
    const std::vector<StateWindow>& table = *s.table;
    if (table.front().window.start == k.anchor)  // a whole period: find the piece holding the mapped instant
      first = static_cast<std::size_t>(std::upper_bound(table.begin(), table.end(), mapped,
                                                        [](Instant x, const StateWindow& w) { return x < w.window.end; }) -
                                       table.begin());
    s.at = first;
    s.shift = t - mapped;
    s.piece = shifted(s, table[first]);
    return true;
  }

  // sweep_pattern: appends the states of the pattern program over w.
  bool sweep_pattern(std::uint32_t pattern, TimeWindow w, std::vector<StateWindow>& out) {
    std::vector<StateWindow> part;
    CompositeWalk walk(*algebra_, pattern, w, tables_, polls_);
    walk.drain([&](Instant from, Instant to, Capacity capacity) {
      emit(part, from, to, capacity);
      return true;
    });
    if (walk.was_interrupted()) {
      interrupted_ = true;
      return false;
    }
    out.insert(out.end(), part.begin(), part.end());
    return true;
  }

  StateWindow shifted(const Source& s, const StateWindow& piece) const {
    const auto from = piece.window.start + s.shift;
    const auto to = piece.window.end + s.shift;
    return {{from ? *from : pos_, to ? std::min(*to, end_) : end_}, piece.capacity};
  }

  // advance: the source's next piece. A repeat's table is replayed in a
  // cycle; a piece that starts before the one before it ended begins the
  // next period.
  void advance(Source& s) {
    if (s.sweep) {
      if (++s.at == s.pieces.size()) refill(s);
      s.piece = s.pieces[s.at];
      return;
    }
    const std::vector<StateWindow>& table = *s.table;
    const Instant before = table[s.at].window.end;
    if (++s.at == table.size()) s.at = 0;
    if (table[s.at].window.start < before) s.shift = *(s.shift + program_->nodes[s.node].composition->period);
    s.piece = shifted(s, table[s.at]);
  }

  // refill: the sweep's next batch; never empty while it has range left.
  // Batches start small, so a question answered early sweeps little.
  void refill(Source& s) const {
    s.pieces.clear();
    s.at = 0;
    const std::size_t wanted = std::min(s.batch, most_);
    s.sweep->drain([&](Instant from, Instant to, Capacity capacity) {
      s.pieces.push_back({{from, to}, capacity});
      return s.pieces.size() < wanted;
    });
    s.batch = 2 * wanted;
  }

  const Algebra* algebra_;
  const Program* program_;
  const Tables* tables_;                // the patterns swept beforehand, by program (empty: not swept)
  std::unique_ptr<Tables> own_tables_;  // a top-level walk's
  std::vector<Source> sources_;
  std::vector<Capacity> values_;
  std::vector<Instant> cuts_;  // within edges and effective switches inside the range
  std::size_t next_cut_ = 0;
  std::size_t most_ = 1;  // the largest batch of one leaf
  Instant pos_;
  Instant end_;
  bool polls_;
  bool interrupted_ = false;
  InterruptPoll poll_;
};

}  // namespace

void set_week(Algebra& a) {
  CompositeWalk walk(a, 0, kRulesWeek, nullptr, false);
  std::vector<StateWindow> week;
  walk.drain([&](Instant from, Instant to, Capacity capacity) {
    emit(week, from, to, capacity);
    return true;
  });
  if (!walk.was_interrupted()) a.week = std::move(week);
}

namespace {

// StateStream: the sweep of a simple calendar or the walk of a composite.
class StateStream {
 public:
  StateStream(const Calendar& c, TimeWindow range) : impl_(make(c, range)) {}
  std::size_t size_hint() const {
    return std::visit([](const auto& s) { return s.size_hint(); }, impl_);
  }
  template <class Sink>
  bool drain(Sink&& sink) {
    return std::visit([&](auto& s) { return s.drain(sink); }, impl_);
  }
  bool was_interrupted() const {
    return std::visit([](const auto& s) { return s.was_interrupted(); }, impl_);
  }

 private:
  using Impl = std::variant<SimpleSweep, CompositeWalk>;
  static Impl make(const Calendar& c, TimeWindow range) {
    if (c.is_composite()) return Impl(std::in_place_type<CompositeWalk>, c, range);
    return Impl(std::in_place_type<SimpleSweep>, c, range);
  }
  Impl impl_;
};

// all_at_least: whether the capacity is at least `minimum` throughout the
// non-empty window; stops at the first piece below it.
Result<bool> all_at_least(const Calendar& c, TimeWindow w, Capacity minimum) {
  StateStream stream(c, w);
  const bool all = stream.drain([&](Instant, Instant, Capacity capacity) { return capacity >= minimum; });
  if (stream.was_interrupted()) return fail(ErrorKind::Interrupted, msg::kInterrupted);
  return all;
}

bool rules_contain(const std::vector<WeeklyRule>& rules, Weekday w, TimeOfDay t) {
  for (const WeeklyRule& r : rules)
    if (rule_contains(r, w, t)) return true;
  return false;
}

// simple_capacity_at: the point lookup. A closing item closes t whatever else
// holds, so the first one found ends the search; otherwise t needs an opening
// item or rule and no break, and the capacity is that of the last layer in
// force (layer_order), or the default.
Capacity simple_capacity_at(const Calendar& c, Instant t) {
  bool open = false;
  // The winning layer so far, as layer_order ranks it: its kind and order.
  IndexedItem top{{}, 0, 0, ItemKind::OpenWindow};  // a kind that sets no capacity: none yet
  const bool closed = !StoredItems(c).at(t, [&](const IndexedItem& item) {
    switch (item.kind) {
      case ItemKind::OpenWindow:
      case ItemKind::OpenEntry:
        open = true;
        return true;
      case ItemKind::ClosedWindow:
      case ItemKind::ClosedEntry:
        return false;
      case ItemKind::Override:
      case ItemKind::CapacityEntry:
        if (top.kind == ItemKind::OpenWindow || layer_order(top, item)) {
          top.kind = item.kind;
          top.order = item.order;
          top.capacity = item.capacity;
        }
        return true;
    }
    return true;
  });
  if (closed) return 0;
  const TimeOfDay tod = t.time_of_day();
  const Weekday w = t.date().weekday_sunday0();
  if (!open && !rules_contain(c.open_rules(), w, tod)) return 0;
  if (rules_contain(c.break_rules(), w, tod)) return 0;
  return top.kind == ItemKind::OpenWindow ? c.default_capacity() : top.capacity;
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

Result<void> each_state_window(const Calendar& c, Instant start, Instant end, StateSink& sink) {
  if (end < start) return fail(ErrorKind::Value, msg::kEndBeforeStart);
  if (end == start) return {};
  StateStream stream(c, TimeWindow{start, end});
  sink.expect(stream.size_hint());
  // The last window made, which the next piece extends while their capacities are equal.
  StateWindow held{};
  bool holding = false, going = true;
  stream.drain([&](Instant from, Instant to, Capacity capacity) {
    if (holding && held.capacity == capacity) {
      held.window.end = to;
      return true;
    }
    if (holding && !(going = sink.take(held))) return false;
    held = StateWindow{{from, to}, capacity};
    holding = true;
    return true;
  });
  if (stream.was_interrupted()) return fail(ErrorKind::Interrupted, msg::kInterrupted);
  if (going && holding) sink.take(held);
  return {};
}

Result<std::vector<StateWindow>> state_windows(const Calendar& c, Instant start, Instant end) {
  struct Collect final : StateSink {
    std::vector<StateWindow> out;
    void expect(std::size_t n) override { out.reserve(reservation(n)); }
    bool take(const StateWindow& s) override {
      out.push_back(s);
      return true;
    }
  } collect;
  if (auto done = each_state_window(c, start, end, collect); !done) return Unexpected(done.error());
  return std::move(collect.out);
}

// A composite's tree is evaluated node by node, children first, with an
// explicit stack of frames for the repeats' patterns, each asked on its own
// clock. The values live in one list per thread, so a warm thread asks
// without allocating.
Capacity get_capacity_at(const Calendar& c, Instant t) {
  if (!c.is_composite()) return simple_capacity_at(c, t);
  const Algebra& algebra = *c.derived().algebra;
  if (!algebra.week.empty() && !t.is_leap() && clear_of_date_ends(t, t)) {
    constexpr std::int64_t kWeek = 7 * kSecondsPerDay;
    const std::int64_t into = floor_mod(t.unix_seconds() - kRulesWeek.start.unix_seconds(), kWeek);
    const Instant at = *(kRulesWeek.start + Duration::FromNormalized(into, t.nanos()));
    return std::upper_bound(algebra.week.begin(), algebra.week.end(), at,
                            [](Instant x, const StateWindow& s) { return x < s.window.end; })
        ->capacity;
  }
  const Program* top = &algebra.programs[0];
  // A repeat of a simple calendar (or of such a repeat) asks it at once.
  while (top->nodes.size() == 1 && !top->nodes[0].leaf && top->nodes[0].composition->op == Operator::Repeat) {
    t = repeat_instant(*top->nodes[0].composition, t);
    top = &algebra.programs[top->nodes[0].pattern];
  }
  if (top->nodes.size() == 1 && top->nodes[0].leaf) return simple_capacity_at(*top->nodes[0].leaf, t);
  if (top->leaf_intersection) {
    Capacity capacity = kNoComponents;
    for (std::size_t i = 0; i + 1 < top->nodes.size(); ++i) {
      capacity = combine_capacity(capacity, simple_capacity_at(*top->nodes[i].leaf, t));
      if (capacity == 0) return 0;  // no other calendar can raise it again
    }
    return capacity;
  }
  struct Frame {
    const Program* program;
    Instant t;
    std::size_t next;  // the node to evaluate next
    std::size_t base;  // where its values start
  };
  thread_local std::vector<Frame> frames;
  thread_local std::vector<Capacity> values;
  frames.clear();
  values.clear();
  const auto enter = [&](const Program& p, Instant at) {
    frames.push_back({&p, at, 0, values.size()});
    values.resize(values.size() + p.nodes.size());
  };
  enter(*top, t);
  while (true) {
    Frame& f = frames.back();
    const Program& p = *f.program;
    bool entered = false;
    while (f.next < p.nodes.size()) {
      const Program::Node& node = p.nodes[f.next];
      if (node.leaf) {
        values[f.base + f.next] = simple_capacity_at(*node.leaf, f.t);
      } else if (node.composition->op == Operator::Repeat) {
        enter(algebra.programs[node.pattern], repeat_instant(*node.composition, f.t));
        entered = true;
        break;
      } else {
        values[f.base + f.next] = combine(p, node, values.data() + f.base, f.t);
      }
      ++f.next;
    }
    if (entered) continue;
    const Capacity result = values[f.base + p.nodes.size() - 1];
    values.resize(f.base);
    frames.pop_back();
    if (frames.empty()) return result;
    Frame& caller = frames.back();
    values[caller.base + caller.next++] = result;
  }
}

Result<std::vector<TimeWindow>> get_capacity_windows(const Calendar& c, Instant start, Instant end, Capacity minimum) {
  if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
  auto states = state_windows(c, start, end);
  if (!states) return Unexpected(states.error());
  return keep_at_least(*states, minimum);
}

Result<std::vector<TimeWindow>> get_open_windows(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return Unexpected(states.error());
  return keep_at_least(*states, 1);
}

// The closed parts of a gap-free timeline are exactly its capacity-0 windows,
// and two of them are never neighbours.
Result<std::vector<TimeWindow>> get_unavailable_windows(const Calendar& c, Instant start, Instant end) {
  auto states = state_windows(c, start, end);
  if (!states) return Unexpected(states.error());
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
  if (auto ok = require_positive_capacity(minimum); !ok) return Unexpected(ok.error());
  if (is_empty(w)) return true;
  return all_at_least(c, w, minimum);
}

}  // namespace hourloom
