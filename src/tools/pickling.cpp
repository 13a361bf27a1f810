#include "tools/pickling.h"

#include <limits>

#include "definition/conversion.h"
#include "time/utf8.h"

namespace hourloom::tools {

namespace {

constexpr unsigned char kVersion = 1;
constexpr unsigned char kOperatorsVersion = 2;
constexpr const char* kDamaged = "the payload is damaged or not a hourloom_tools pickle";

constexpr std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
constexpr std::int64_t unzigzag(std::uint64_t v) {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

// instant_of: seconds since the epoch and a fraction as an instant, or nullopt
// outside the instant range or for a fraction no time of day holds.
std::optional<Instant> instant_of(std::int64_t seconds, std::uint64_t nanos) {
  if (seconds < Instant::Min().unix_seconds() || seconds > Instant::Max().unix_seconds() || nanos > UINT32_MAX)
    return std::nullopt;
  const auto day = floor_div(seconds, kSecondsPerDay);
  const auto time = TimeOfDay::FromSeconds(static_cast<std::uint32_t>(floor_mod(seconds, kSecondsPerDay)),
                                           static_cast<std::uint32_t>(nanos));
  if (!time) return std::nullopt;
  const Instant t = Instant::FromParts(Date::FromDays(static_cast<std::int32_t>(day)), *time);
  if (Instant::Max() < t) return std::nullopt;  // a leap second after the last one
  return t;
}

}  // namespace

// ---------------------------------------------------------------- writing

Writer::Writer(Kind kind, bool operators) : operators_(operators) {
  out_.reserve(64);
  out_.push_back(static_cast<char>(operators ? kOperatorsVersion : kVersion));
  out_.push_back(static_cast<char>(kind));
}

void Writer::unsigned_int(std::uint64_t v) {
  while (v >= 0x80) {
    out_.push_back(static_cast<char>((v & 0x7f) | 0x80));
    v >>= 7;
  }
  out_.push_back(static_cast<char>(v));
}
void Writer::signed_int(std::int64_t v) { unsigned_int(zigzag(v)); }
void Writer::instant(Instant t) {
  signed_int(t.unix_seconds());
  unsigned_int(t.nanos());
}
void Writer::duration(Duration d) {
  signed_int(d.seconds());
  unsigned_int(d.nanos());
}
void Writer::time_of_day(TimeOfDay t) {
  unsigned_int(t.seconds());
  unsigned_int(t.nanos());
}
void Writer::window(TimeWindow w) {
  instant(w.start);
  signed_int(w.end.unix_seconds() - w.start.unix_seconds());
  unsigned_int(w.end.nanos());
}
void Writer::text(std::string_view s) {
  unsigned_int(s.size());
  out_.append(s);
}

void Writer::rule(unsigned day, TimeOfDay start, TimeOfDay end) {
  unsigned_int(day);
  time_of_day(start);
  time_of_day(end);
}
void Writer::rule(const WeeklyRule& r) { rule(weekday_number(r.day()), r.start(), r.end()); }
void Writer::entry(std::string_view id, std::uint8_t kind, TimeWindow w, std::int64_t capacity) {
  text(id);
  unsigned_int(kind);
  window(w);
  signed_int(capacity);
}
void Writer::entry(const Entry& e) { entry(e.id, static_cast<std::uint8_t>(e.kind), e.window, e.capacity); }
void Writer::with_capacity(TimeWindow w, std::int64_t capacity) {
  window(w);
  signed_int(capacity);
}

void Writer::match(const WindowMatch& m) {
  unsigned_int(static_cast<std::uint8_t>(m.kind));
  window(m.window);
  // A present capacity is written shifted by one; zero marks an absent one.
  unsigned_int(m.capacity ? zigzag(*m.capacity) + 1 : 0);
}

void Writer::step(const WorkingTimeTraceStep& s) {
  window(s.window);
  duration(s.duration);
}
void Writer::trace(const WorkingTimeTrace& t) {
  instant(t.start);
  duration(t.requested);
  instant(t.result);
  unsigned_int(t.steps.size());
  for (const WorkingTimeTraceStep& s : t.steps) step(s);
}

void Writer::analysis(const InstantAnalysis& a) {
  instant(a.instant);
  signed_int(a.capacity);
  unsigned_int(a.current_window.has_value());
  if (a.current_window) window(*a.current_window);
  for (const auto* t : {&a.previous_transition, &a.next_transition}) {
    unsigned_int(t->has_value());
    if (*t) instant(**t);
  }
  unsigned_int(a.matches.size());
  for (const WindowMatch& m : a.matches) match(m);
}

void Writer::timeline_analysis(const TimelineAnalysis& a) {
  window(a.window);
  unsigned_int(a.segments.size());
  for (const StateWindow& s : a.segments) state(s);
}

void Writer::definition(const Definition& d) {
  signed_int(d.default_capacity);
  for (const auto* rules : {&d.open_rules, &d.break_rules}) {
    unsigned_int(rules->size());
    for (const RuleDefinition& r : *rules) rule(r.day, r.start, r.end);
  }
  for (const auto* windows : {&d.open_windows, &d.closed_windows}) {
    unsigned_int(windows->size());
    for (const WindowDefinition& x : *windows) window(TimeWindow{x.start, x.end});
  }
  unsigned_int(d.capacity_windows.size());
  for (const CapacityDefinition& o : d.capacity_windows) with_capacity(TimeWindow{o.start, o.end}, o.capacity);
  unsigned_int(d.entries.size());
  for (const EntryDefinition& e : d.entries) entry(e.id, e.kind, TimeWindow{e.start, e.end}, e.capacity);
}

// A calendar is written node by node, depth first, with a stack of its own so
// that any depth that can be built can be written: each node is its own items
// and its number of components (and in version 2 its operation). A
// composite has the items of an empty calendar.
void Writer::calendar(const Calendar& root) {
  std::vector<const Calendar*> pending{&root};
  while (!pending.empty()) {
    const Calendar& c = *pending.back();
    pending.pop_back();
    definition(c.is_composite() ? Definition{} : to_definition(c).value());
    const std::vector<Calendar>& parts = c.components();
    unsigned_int(parts.size());
    operation(c);
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back(&*part);
  }
}

// operation: 0 for a simple calendar, else the operator's number plus 1 and
// the parameters it reads.
void Writer::operation(const Calendar& c) {
  const Composition* k = c.composition();
  if (!operators_) {
    if (k && k->op != Operator::Intersection) wants_operators_ = true;
    return;
  }
  if (!k) {
    unsigned_int(0);
    return;
  }
  unsigned_int(static_cast<std::uint64_t>(k->op) + 1);
  switch (k->op) {
    case Operator::Scale: signed_int(k->factor); break;
    case Operator::Within: window(k->window); break;
    case Operator::Repeat:
      instant(k->anchor);
      duration(k->period);
      break;
    case Operator::Effective:
      unsigned_int(k->switches.size());
      for (const Switch& w : k->switches) {
        instant(w.from);
        signed_int(w.component);
      }
      break;
    default: break;
  }
}

// The calendar, the window, then each state's window and capacity.
void Writer::timeline(const Timeline& tl) {
  calendar(tl.calendar());
  window(tl.window());
  unsigned_int(tl.size());
  for (std::size_t i = 0; i < tl.size(); ++i) with_capacity(TimeWindow{tl.start_of(i), tl.end_of(i)}, tl.capacity_of(i));
}

void Writer::batch(const TimelineBatch& b) {
  unsigned_int(b.timelines.size());
  for (const Timeline& tl : b.timelines) timeline(tl);
}

// ---------------------------------------------------------------- reading

Unexpected<Error> Reader::damaged() { return fail(ErrorKind::Value, kDamaged); }

std::optional<Kind> Reader::kind_of(std::string_view payload) {
  if (payload.size() < 2) return std::nullopt;
  if (static_cast<unsigned char>(payload[0]) != kVersion && static_cast<unsigned char>(payload[0]) != kOperatorsVersion)
    return std::nullopt;
  const auto k = static_cast<unsigned char>(payload[1]);
  if (k < static_cast<unsigned char>(Kind::Window) || k > static_cast<unsigned char>(Kind::TraceStep))
    return std::nullopt;
  return static_cast<Kind>(k);
}

Reader::Reader(std::string_view payload, Kind kind)
    : pos_(reinterpret_cast<const unsigned char*>(payload.data())), end_(pos_ + payload.size()) {
  if (kind_of(payload) == kind) {
    operators_ = *pos_ == kOperatorsVersion;
    pos_ += 2;
  } else
    pos_ = end_ = nullptr;  // every read fails
}

Result<std::uint64_t> Reader::unsigned_int() {
  std::uint64_t v = 0;
  for (int shift = 0; pos_ != end_ && shift < 64; shift += 7) {
    const unsigned char b = *pos_++;
    if (shift == 63 && b > 1) break;
    v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
    if (!(b & 0x80)) return v;
  }
  pos_ = end_ = nullptr;
  return damaged();
}

Result<std::int64_t> Reader::signed_int() {
  auto v = unsigned_int();
  if (!v) return Unexpected(v.error());
  return unzigzag(*v);
}

Result<std::int32_t> Reader::int32() {
  auto v = signed_int();
  if (!v) return Unexpected(v.error());
  if (*v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
    return damaged();
  return static_cast<std::int32_t>(*v);
}

Result<std::uint8_t> Reader::byte_value() {
  auto v = unsigned_int();
  if (!v) return Unexpected(v.error());
  if (*v > 0xff) return damaged();
  return static_cast<std::uint8_t>(*v);
}


Result<Instant> Reader::instant() {
  auto s = signed_int();
  auto n = s ? unsigned_int() : Result<std::uint64_t>(damaged());
  if (!n) return damaged();
  auto t = instant_of(*s, *n);
  if (!t) return damaged();
  return *t;
}

Result<Duration> Reader::duration() {
  auto s = signed_int();
  auto n = s ? unsigned_int() : Result<std::uint64_t>(damaged());
  if (!n || *n >= static_cast<std::uint64_t>(kNanosPerSecond)) return damaged();
  const auto d = Duration::FromNormalized(*s, static_cast<std::uint32_t>(*n));
  if (d < Duration::Min() || Duration::Max() < d) return damaged();
  return d;
}

Result<TimeOfDay> Reader::time_of_day() {
  auto s = unsigned_int();
  auto n = s ? unsigned_int() : Result<std::uint64_t>(damaged());
  if (!n || *s > UINT32_MAX || *n > UINT32_MAX) return damaged();
  auto t = TimeOfDay::FromSeconds(static_cast<std::uint32_t>(*s), static_cast<std::uint32_t>(*n));
  if (!t) return damaged();
  return *t;
}

Result<std::pair<Instant, Instant>> Reader::raw_window() {
  auto start = instant();
  auto offset = start ? signed_int() : Result<std::int64_t>(damaged());
  auto nanos = offset ? unsigned_int() : Result<std::uint64_t>(damaged());
  if (!nanos) return damaged();
  std::int64_t end_seconds = 0;
  if (__builtin_add_overflow(start->unix_seconds(), *offset, &end_seconds)) return damaged();
  auto end = instant_of(end_seconds, *nanos);
  if (!end) return damaged();
  return std::pair{*start, *end};
}

Result<TimeWindow> Reader::window() {
  auto w = raw_window();
  if (!w) return Unexpected(w.error());
  if (w->second < w->first) return damaged();
  return TimeWindow{w->first, w->second};
}

Result<std::string> Reader::text() {
  auto n = count(1);
  if (!n) return Unexpected(n.error());
  std::string s(reinterpret_cast<const char*>(pos_), *n);
  pos_ += *n;
  if (!is_utf8(s)) return damaged();
  return s;
}

Result<Capacity> Reader::capacity() {
  auto c = int32();
  if (c && *c < 0) return damaged();
  return c;
}

Result<std::size_t> Reader::count(std::size_t min_bytes) {
  auto n = unsigned_int();
  if (!n) return Unexpected(n.error());
  if (*n > static_cast<std::uint64_t>(end_ - pos_) / min_bytes) return damaged();
  return static_cast<std::size_t>(*n);
}

Result<WeeklyRule> Reader::rule() {
  HOURLOOM_READ(day, byte_value());
  HOURLOOM_READ(start, time_of_day());
  HOURLOOM_READ(end, time_of_day());
  auto r = make_weekly_rule(*day, *start, *end);
  if (!r) return damaged();
  return r;
}

// An entry as a calendar holds it: a non-blank id, a kind it knows, and no
// negative capacity where the capacity counts.
Result<Entry> Reader::entry() {
  HOURLOOM_READ(id, text());
  HOURLOOM_READ(kind, byte_value());
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(c, int32());
  const auto known = static_cast<EntryKind>(*kind);
  if (is_blank_id(*id) || *kind > static_cast<unsigned>(EntryKind::WithCapacity) ||
      (known == EntryKind::WithCapacity && *c < 0))
    return damaged();
  return Entry{std::move(*id), known, *w, *c};
}

Result<CapacityWindow> Reader::capacity_window() {
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(c, capacity());
  return CapacityWindow{*w, *c};
}

// A state is never empty.
Result<StateWindow> Reader::state() {
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(c, capacity());
  if (!(w->start < w->end)) return damaged();
  return StateWindow{*w, *c};
}

// A match holds the instant asked about, so its window is not empty; its
// capacity is the state's for Available (1 or more) and Unavailable (0), the
// item's for a capacity override, 0 or none for a closed window, and none for
// the rest.
Result<WindowMatch> Reader::match() {
  HOURLOOM_READ(kind, byte_value());
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(c, unsigned_int());
  if (*kind > static_cast<std::uint8_t>(WindowKind::CapacityOverride) || !(w->start < w->end)) return damaged();
  WindowMatch m{static_cast<WindowKind>(*kind), *w, std::nullopt};
  if (*c != 0) {
    const auto v = unzigzag(*c - 1);
    if (v < 0 || v > std::numeric_limits<Capacity>::max()) return damaged();
    m.capacity = static_cast<Capacity>(v);
  }
  bool fits = false;
  switch (m.kind) {
    case WindowKind::Available: fits = m.capacity >= 1; break;
    case WindowKind::Unavailable: fits = m.capacity == 0; break;
    case WindowKind::CapacityOverride: fits = m.capacity.has_value(); break;
    case WindowKind::ClosedWindow: fits = !m.capacity || m.capacity == 0; break;
    case WindowKind::OpenRule:
    case WindowKind::OpenWindow:
    case WindowKind::BreakRule: fits = !m.capacity; break;
  }
  if (!fits) return damaged();
  return m;
}

// A step is a stretch of open time used whole: never empty, its duration its length.
Result<WorkingTimeTraceStep> Reader::step() {
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(d, duration());
  if (!(w->start < w->end) || *d != length(*w)) return damaged();
  return WorkingTimeTraceStep{*w, *d};
}

// The steps follow one another from the start; they add up to the requested
// duration, and the walk ends where the last one does (at the start when
// there are none).
Result<WorkingTimeTrace> Reader::trace() {
  HOURLOOM_READ(start, instant());
  HOURLOOM_READ(requested, duration());
  HOURLOOM_READ(result, instant());
  HOURLOOM_READ(n, count(6));
  WorkingTimeTrace t{*start, *requested, *start, {}};
  t.steps.reserve(*n);
  Duration used;
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(s, step());
    auto sum = used + s->duration;
    if (s->window.start < t.result || !sum) return damaged();
    used = *sum;
    t.result = s->window.end;
    t.steps.push_back(*s);
  }
  if (used != *requested || t.result != *result) return damaged();
  return t;
}

// The capacity is 0 or more; the current window holds the instant, the
// previous transition comes before it and the next after it, and every match
// holds it.
Result<InstantAnalysis> Reader::analysis() {
  InstantAnalysis a;
  HOURLOOM_READ(t, instant());
  HOURLOOM_READ(c, capacity());
  a.instant = *t;
  a.capacity = *c;
  HOURLOOM_READ(has_window, unsigned_int());
  if (*has_window > 1) return damaged();
  if (*has_window) {
    HOURLOOM_READ(w, window());
    if (!contains(*w, *t)) return damaged();
    a.current_window = *w;
  }
  for (auto* transition : {&a.previous_transition, &a.next_transition}) {
    HOURLOOM_READ(has, unsigned_int());
    if (*has > 1) return damaged();
    if (*has) {
      HOURLOOM_READ(at, instant());
      if (transition == &a.previous_transition ? !(*at < *t) : !(*t < *at)) return damaged();
      *transition = *at;
    }
  }
  HOURLOOM_READ(n, count(5));
  a.matches.reserve(*n);
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(m, match());
    if (!contains(m->window, *t)) return damaged();
    a.matches.push_back(*m);
  }
  return a;
}

Result<TimelineAnalysis> Reader::timeline_analysis() {
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(segments, states(*w));
  return TimelineAnalysis{*w, std::move(*segments)};
}

Result<Definition> Reader::definition() {
  Definition d;
  HOURLOOM_READ(capacity, int32());
  d.default_capacity = *capacity;
  for (auto* rules : {&d.open_rules, &d.break_rules}) {
    HOURLOOM_READ(n, count(5));
    rules->resize(*n);
    for (RuleDefinition& r : *rules) {
      HOURLOOM_READ(day, byte_value());
      HOURLOOM_READ(start, time_of_day());
      HOURLOOM_READ(end, time_of_day());
      r = {*day, *start, *end};
    }
  }
  for (auto* windows : {&d.open_windows, &d.closed_windows}) {
    HOURLOOM_READ(n, count(4));
    windows->resize(*n);
    for (WindowDefinition& x : *windows) {
      HOURLOOM_READ(w, raw_window());
      x = {w->first, w->second};
    }
  }
  HOURLOOM_READ(overrides, count(5));
  d.capacity_windows.resize(*overrides);
  for (CapacityDefinition& x : d.capacity_windows) {
    HOURLOOM_READ(w, raw_window());
    HOURLOOM_READ(c, int32());
    x = {w->first, w->second, *c};
  }
  HOURLOOM_READ(entries, count(7));
  d.entries.resize(*entries);
  for (EntryDefinition& e : d.entries) {
    HOURLOOM_READ(id, text());
    HOURLOOM_READ(kind, byte_value());
    HOURLOOM_READ(w, raw_window());
    HOURLOOM_READ(c, int32());
    e = {std::move(*id), *kind, w->first, w->second, *c};
  }
  return d;
}

// Each node's items are read back through the editing rules that check them;
// a node with components must have the items of an empty calendar, and is
// made once its last component is read.
Result<Calendar> Reader::calendar() {
  struct Open {
    std::size_t left;  // components still to read
    Composition k;
  };
  std::vector<Open> open;
  while (true) {
    HOURLOOM_READ(d, definition());
    auto c = to_calendar(std::move(*d));
    if (!c) return Unexpected(Error{ErrorKind::Value, c.error().message});
    HOURLOOM_READ(parts, count(8));
    Composition k;
    HOURLOOM_READ(composite, operation(k));
    std::optional<Calendar> done;
    if (*composite || *parts > 0) {
      if (!(*c == Calendar{})) return damaged();
      k.components.reserve(*parts);
      open.push_back({*parts, std::move(k)});
      if (*parts > 0) continue;  // its components follow
    } else {
      done = std::move(*c);
    }
    while (true) {
      if (!done) {  // the open composite has all its components
        auto whole = compose(std::move(open.back().k));
        if (!whole) return damaged();
        open.pop_back();
        done = std::move(*whole);
      }
      if (open.empty()) return std::move(*done);
      Open& top = open.back();
      top.k.components.push_back(std::move(*done));
      done.reset();
      if (--top.left > 0) break;
    }
  }
}

Result<bool> Reader::operation(Composition& k) {
  if (!operators_) return false;
  HOURLOOM_READ(op, unsigned_int());
  if (*op == 0) return false;
  if (*op > static_cast<std::uint64_t>(Operator::Repeat) + 1) return damaged();
  k.op = static_cast<Operator>(*op - 1);
  switch (k.op) {
    case Operator::Scale: {
      HOURLOOM_READ(factor, int32());
      k.factor = *factor;
      break;
    }
    case Operator::Within: {
      HOURLOOM_READ(w, window());
      k.window = *w;
      break;
    }
    case Operator::Repeat: {
      HOURLOOM_READ(anchor, instant());
      HOURLOOM_READ(period, duration());
      k.anchor = *anchor;
      k.period = *period;
      break;
    }
    case Operator::Effective: {
      HOURLOOM_READ(n, count(3));
      k.switches.reserve(*n);
      for (std::size_t i = 0; i < *n; ++i) {
        HOURLOOM_READ(from, instant());
        HOURLOOM_READ(component, int32());
        k.switches.push_back({*from, *component});
      }
      break;
    }
    default: break;
  }
  return true;
}

Result<std::vector<StateWindow>> Reader::states(TimeWindow within) {
  HOURLOOM_READ(n, count(5));
  std::vector<StateWindow> states;
  states.reserve(*n);
  Instant from = within.start;
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(s, state());
    if (s->window.start != from || (i > 0 && states.back().capacity == s->capacity)) return damaged();
    states.push_back(*s);
    from = s->window.end;
  }
  if (from != within.end) return damaged();
  return states;
}

Result<Timeline> Reader::timeline() {
  HOURLOOM_READ(c, calendar());
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(s, states(*w));
  return Timeline(std::move(*c), *w, *s);
}

Result<TimelineBatch> Reader::batch() {
  HOURLOOM_READ(n, count(12));
  TimelineBatch b;
  b.timelines.reserve(*n);
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(tl, timeline());
    b.timelines.push_back(std::move(*tl));
  }
  return b;
}

}  // namespace hourloom::tools
