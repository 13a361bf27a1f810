// The compact binary form of hourloom's values that pickling carries: a
// version byte, the kind of value, then its fields as variable-length
// integers.
//   Writer w(Kind::Calendar);  w.calendar(c);  std::string b = w.take();
//   Reader r(b, Kind::Calendar);  Result<Calendar> back = r.finish(r.calendar());
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "definition/definition.h"
#include "engine/calendar.h"
#include "time/records.h"
#include "timeline/batch.h"

namespace hourloom::tools {

// Kind: what a payload holds; its number is the payload's second byte.
enum class Kind : std::uint8_t {
  Window = 1,
  Rule,
  CapacityWindow,
  Entry,
  Calendar,
  Definition,
  PointQuery,
  RangeQuery,
  Timeline,
  TimelineBatch,
  InstantAnalysis,
  TimelineAnalysis,
  StateWindow,
  WindowMatch,
  Trace,
  TraceStep,
};

// Encoding: appends to one buffer; cannot fail. Each value that travels has
// a method here and one of the same name in Reader, which reads it back.
// Version 1 writes a composite as the intersection of its parts; version 2
// follows each calendar's count of parts with its operator and parameters. A
// payload is written in version 1 unless it holds a composite of another
// operator: a Writer of version 1 then reports wants_operators(), and the
// payload is written again in 2.
class Writer {
 public:
  explicit Writer(Kind kind, bool operators = false);
  std::string take() { return std::move(out_); }
  bool wants_operators() const { return wants_operators_; }

  void unsigned_int(std::uint64_t v);
  void signed_int(std::int64_t v);
  void instant(Instant t);
  void duration(Duration d);
  void time_of_day(TimeOfDay t);
  void window(TimeWindow w);  // the end as an offset from the start
  void text(std::string_view s);

  void rule(const WeeklyRule& r);
  void entry(const Entry& e);
  void capacity_window(const CapacityWindow& w) { with_capacity(w.window, w.capacity); }
  void state(const StateWindow& s) { with_capacity(s.window, s.capacity); }
  void match(const WindowMatch& m);
  void step(const WorkingTimeTraceStep& s);
  void trace(const WorkingTimeTrace& t);
  void analysis(const InstantAnalysis& a);
  void timeline_analysis(const TimelineAnalysis& a);
  void definition(const Definition& d);
  void calendar(const Calendar& c);
  void timeline(const Timeline& tl);
  void batch(const TimelineBatch& b);

 private:
  // The same fields for a calendar's items and a definition's records (day:
  // the weekday number, Sunday 0; kind: the entry kind's number).
  void rule(unsigned day, TimeOfDay start, TimeOfDay end);
  void entry(std::string_view id, std::uint8_t kind, TimeWindow w, std::int64_t capacity);
  void with_capacity(TimeWindow w, std::int64_t capacity);
  void operation(const Calendar& c);
  std::string out_;
  bool operators_;
  bool wants_operators_ = false;
};

// Decoding: each method reads the next value, or gives an error once the
// payload is found damaged (every later read then fails too). A payload is
// untrusted: a value is given back only when the engine could have made it
// (a record as a question answers it, a calendar through its editing rules,
// text as valid UTF-8); anything else is damage, and is never a crash or a
// runaway allocation either.
class Reader {
 public:
  // Reader: a payload that must hold `kind`.
  Reader(std::string_view payload, Kind kind);
  // kind_of: the kind a payload claims to hold, or nullopt.
  static std::optional<Kind> kind_of(std::string_view payload);

  Result<std::uint64_t> unsigned_int();
  Result<std::int64_t> signed_int();
  Result<Instant> instant();
  Result<Duration> duration();
  Result<TimeOfDay> time_of_day();
  Result<TimeWindow> window();  // an ordered window; raw_window for a definition's
  Result<std::string> text();

  Result<WeeklyRule> rule();
  Result<Entry> entry();
  Result<CapacityWindow> capacity_window();
  Result<StateWindow> state();
  Result<WindowMatch> match();
  Result<WorkingTimeTraceStep> step();
  Result<WorkingTimeTrace> trace();
  Result<InstantAnalysis> analysis();
  Result<TimelineAnalysis> timeline_analysis();
  Result<Definition> definition();
  Result<Calendar> calendar();
  Result<Timeline> timeline();
  Result<TimelineBatch> batch();

  // finish: the value's error, or an error when bytes are left over.
  template <class T>
  Result<T> finish(Result<T> value) const {
    if (value && pos_ != end_) return damaged();
    return value;
  }
  static Unexpected<Error> damaged();

 private:
  Result<std::int32_t> int32();
  Result<std::uint8_t> byte_value();
  Result<Capacity> capacity();  // an int32 of at least 0
  // count: a sequence's length, refused when the remaining bytes could not
  // hold that many items of at least `min_bytes` each.
  Result<std::size_t> count(std::size_t min_bytes);
  Result<std::pair<Instant, Instant>> raw_window();
  // states: the states of `within`: ordered, gap-free, covering it, each of
  // capacity 0 or more and differing from the one before.
  Result<std::vector<StateWindow>> states(TimeWindow within);
  // operation: a calendar's operator and parameters (version 2), into k;
  // false for a simple calendar.
  Result<bool> operation(Composition& k);
  const unsigned char* pos_;
  const unsigned char* end_;
  bool operators_ = false;  // version 2
};

}  // namespace hourloom::tools

// HOURLOOM_READ(var, expr): the next field of a payload into `var`, or its error returned at once.
#define HOURLOOM_READ(var, expr) \
  auto var = (expr);             \
  if (!var) return Unexpected(var.error())
