#include "tools/pickling.h"

#include <limits>

#include "definition/conversion.h"
#include "tools/columns.h"

namespace hourloom::tools {

namespace {

constexpr unsigned char kVersion = 1;
constexpr const char* kDamaged = "the payload is damaged or not a hourloom_tools pickle";

constexpr std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
constexpr std::int64_t unzigzag(std::uint64_t v) {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}


}  // namespace

// ---------------------------------------------------------------- writing

Writer::Writer(Kind kind) {
  out_.reserve(64);
  out_.push_back(static_cast<char>(kVersion));
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

// A calendar is its own items and its number of components, then each
// component the same way: depth first, with a stack of its own, so that any
// depth that can be built can be written.
void Writer::calendar(const Calendar& root) {
  std::vector<const Calendar*> pending{&root};
  while (!pending.empty()) {
    const Calendar& c = *pending.back();
    pending.pop_back();
    // A composite's own fields are those of an empty calendar.
    definition(c.is_composite() ? Definition{} : to_definition(c).value());
    const std::vector<Calendar>& parts = c.components();
    unsigned_int(parts.size());
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back(&*part);
  }
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

void Writer::states(const std::vector<StateWindow>& states) {
  unsigned_int(states.size());
  for (const StateWindow& s : states) with_capacity(s);
}

// Each state's window and capacity; the reader checks that each starts where
// the one before ends.
void Writer::states(const Timeline& tl) {
  unsigned_int(tl.size());
  Instant from = tl.window().start;
  for (std::size_t i = 0; i < tl.size(); ++i) {
    with_capacity(TimeWindow{from, tl.end_of(i)}, tl.capacity_of(i));
    from = tl.end_of(i);
  }
}

void Writer::match(const WindowMatch& m) {
  unsigned_int(static_cast<std::uint8_t>(m.kind));
  window(m.window);
  // A present capacity is written shifted by one; zero marks an absent one.
  unsigned_int(m.capacity ? zigzag(*m.capacity) + 1 : 0);
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

void Writer::timeline(const Timeline& tl) {
  calendar(tl.calendar());
  window(tl.window());
  states(tl);
}

// ---------------------------------------------------------------- reading

Unexpected<Error> Reader::damaged() { return fail(ErrorKind::Value, kDamaged); }

std::optional<Kind> Reader::kind_of(std::string_view payload) {
  if (payload.size() < 2 || static_cast<unsigned char>(payload[0]) != kVersion) return std::nullopt;
  const auto k = static_cast<unsigned char>(payload[1]);
  if (k < static_cast<unsigned char>(Kind::Window) || k > static_cast<unsigned char>(Kind::TraceStep))
    return std::nullopt;
  return static_cast<Kind>(k);
}

Reader::Reader(std::string_view payload, Kind kind)
    : pos_(reinterpret_cast<const unsigned char*>(payload.data())), end_(pos_ + payload.size()) {
  if (kind_of(payload) == kind)
    pos_ += 2;
  else
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
  return s;
}

Result<std::size_t> Reader::count(std::size_t min_bytes) {
  auto n = unsigned_int();
  if (!n) return Unexpected(n.error());
  if (*n > static_cast<std::uint64_t>(end_ - pos_) / min_bytes) return damaged();
  return static_cast<std::size_t>(*n);
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

// A calendar is its own items, read back through the editing rules that
// check them, then its components, depth first with a stack of its own. A
// composite has no items of its own.
Result<Calendar> Reader::calendar() {
  struct Open {
    std::size_t left;  // components still to read
    std::vector<Calendar> parts;
  };
  std::vector<Open> open;
  while (true) {
    HOURLOOM_READ(d, definition());
    auto c = to_calendar(std::move(*d));
    if (!c) return Unexpected(Error{ErrorKind::Value, c.error().message});
    HOURLOOM_READ(parts, count(8));
    if (*parts > 0) {
      if (!(*c == Calendar{})) return damaged();
      open.push_back({*parts, {}});
      open.back().parts.reserve(*parts);
      continue;
    }
    Calendar done = std::move(*c);
    while (true) {
      if (open.empty()) return done;
      Open& top = open.back();
      top.parts.push_back(std::move(done));
      if (--top.left > 0) break;
      done = make_composite(std::move(top.parts));
      open.pop_back();
    }
  }
}

// The states of a window: ordered, each starting where the one before ends,
// the first at the window's start and the last ending at its end.
Result<std::vector<StateWindow>> Reader::states(TimeWindow within) {
  HOURLOOM_READ(n, count(5));
  std::vector<StateWindow> states;
  states.reserve(*n);
  Instant from = within.start;
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(w, window());
    HOURLOOM_READ(c, int32());
    if (w->start != from || !(w->start < w->end) || *c < 0 || (i > 0 && states.back().capacity == *c))
      return damaged();
    states.push_back({*w, *c});
    from = w->end;
  }
  if (from != within.end) return damaged();
  return states;
}

Result<WindowMatch> Reader::match() {
  HOURLOOM_READ(kind, byte_value());
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(c, unsigned_int());
  if (*kind > static_cast<std::uint8_t>(WindowKind::CapacityOverride)) return damaged();
  WindowMatch m{static_cast<WindowKind>(*kind), *w, std::nullopt};
  if (*c != 0) {
    const auto v = unzigzag(*c - 1);
    if (v < std::numeric_limits<Capacity>::min() || v > std::numeric_limits<Capacity>::max()) return damaged();
    m.capacity = static_cast<Capacity>(v);
  }
  return m;
}

Result<InstantAnalysis> Reader::analysis() {
  InstantAnalysis a;
  HOURLOOM_READ(t, instant());
  HOURLOOM_READ(c, int32());
  a.instant = *t;
  a.capacity = *c;
  HOURLOOM_READ(has_window, unsigned_int());
  if (*has_window > 1) return damaged();
  if (*has_window) {
    HOURLOOM_READ(w, window());
    a.current_window = *w;
  }
  for (auto* transition : {&a.previous_transition, &a.next_transition}) {
    HOURLOOM_READ(has, unsigned_int());
    if (*has > 1) return damaged();
    if (*has) {
      HOURLOOM_READ(at, instant());
      *transition = *at;
    }
  }
  HOURLOOM_READ(n, count(5));
  a.matches.reserve(*n);
  for (std::size_t i = 0; i < *n; ++i) {
    HOURLOOM_READ(m, match());
    a.matches.push_back(*m);
  }
  return a;
}

Result<Timeline> Reader::timeline() {
  HOURLOOM_READ(c, calendar());
  HOURLOOM_READ(w, window());
  HOURLOOM_READ(s, states(*w));
  return Timeline(std::move(*c), *w, *s);
}

}  // namespace hourloom::tools
