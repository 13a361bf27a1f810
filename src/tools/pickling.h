// The compact binary form of hourloom's values that pickling carries: a
// version byte, the kind of value, then its fields as variable-length
// integers. Reading checks every field and every count against what is left,
// so a damaged payload gives an error, never a crash or a runaway allocation.
//   std::string b = encode(calendar);  Result<Calendar> c = decode_calendar(b);
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// Encoding: appends to one buffer; cannot fail.
class Writer {
 public:
  explicit Writer(Kind kind);
  std::string take() { return std::move(out_); }

  void unsigned_int(std::uint64_t v);
  void signed_int(std::int64_t v);
  void instant(Instant t);
  void duration(Duration d);
  void time_of_day(TimeOfDay t);
  void window(TimeWindow w);  // the end as an offset from the start
  void text(std::string_view s);

  // The items of a calendar or definition (day: the weekday number, Sunday 0;
  // kind: the entry kind's number), and the records that hold the same fields.
  void rule(unsigned day, TimeOfDay start, TimeOfDay end);
  void rule(const WeeklyRule& r);
  void entry(std::string_view id, std::uint8_t kind, TimeWindow w, std::int64_t capacity);
  void entry(const Entry& e);
  // with_capacity: a window and its capacity (a capacity window, an override, a state).
  void with_capacity(TimeWindow w, std::int64_t capacity);
  template <class T>
    requires requires(const T& x) { x.window; x.capacity; }
  void with_capacity(const T& x) { with_capacity(x.window, x.capacity); }
  void step(const WorkingTimeTraceStep& s);
  void trace(const WorkingTimeTrace& t);

  void calendar(const Calendar& c);
  void definition(const Definition& d);
  void states(const Timeline& tl);
  void states(const std::vector<StateWindow>& states);
  void analysis(const InstantAnalysis& a);
  void match(const WindowMatch& m);
  void timeline(const Timeline& tl);

 private:
  std::string out_;
};

// Decoding: each getter returns the next field, or an error once the payload
// is found damaged (every later getter then fails too).
class Reader {
 public:
  // Reader: a payload that must hold `kind`.
  Reader(std::string_view payload, Kind kind);
  // kind_of: the kind a payload claims to hold, or nullopt.
  static std::optional<Kind> kind_of(std::string_view payload);

  Result<std::uint64_t> unsigned_int();
  Result<std::int64_t> signed_int();
  Result<std::int32_t> int32();
  Result<std::uint8_t> byte_value();
  Result<Instant> instant();
  Result<Duration> duration();
  Result<TimeOfDay> time_of_day();
  Result<TimeWindow> window();  // an ordered window; raw_window for a definition's
  Result<std::string> text();
  // count: a sequence's length, refused when the remaining bytes could not
  // hold that many items of at least `min_bytes` each.
  Result<std::size_t> count(std::size_t min_bytes);

  Result<Calendar> calendar();
  Result<Definition> definition();
  Result<std::vector<StateWindow>> states(TimeWindow within);
  Result<InstantAnalysis> analysis();
  Result<WindowMatch> match();
  Result<Timeline> timeline();

  // finish: the value's error, or an error when bytes are left over.
  template <class T>
  Result<T> finish(Result<T> value) const {
    if (value && pos_ != end_) return damaged();
    return value;
  }
  static Unexpected<Error> damaged();

 private:
  Result<std::pair<Instant, Instant>> raw_window();
  const unsigned char* pos_;
  const unsigned char* end_;
};

}  // namespace hourloom::tools

// HOURLOOM_READ(var, expr): the next field of a payload into `var`, or its error returned at once.
#define HOURLOOM_READ(var, expr) \
  auto var = (expr);             \
  if (!var) return Unexpected(var.error())
