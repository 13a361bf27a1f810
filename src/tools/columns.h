// Column kernels: one question asked of every element of int64 microsecond
// columns (datetime64[us] and timedelta64[us] values), over a calendar or a
// compiled timeline. Plain engine code without Python, so that the caller can
// run it with the interpreter lock released.
//   Kernel k(source, job, reach);  k.prepare();  if (auto f = k.run(0, n)) report(*f);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/calendar.h"
#include "timeline/micro_index.h"
#include "timeline/timeline.h"

namespace hourloom::tools {

// kMissing: NaT, in both directions.
inline constexpr std::int64_t kMissing = INT64_MIN;

// Texts of the column layer's own errors (the engine's are in time/error.h).
namespace text {
inline constexpr const char* kInstantRange = "Instant is outside the range of datetime.";
inline constexpr const char* kDateRange = "Date is outside the range of date.";
inline constexpr const char* kResultRange = "Duration is outside the timedelta64[us] range.";
inline constexpr const char* kNanosResultRange = "Duration is outside the timedelta64[ns] range.";
inline constexpr const char* kNanosInstantRange = "Instant is outside the datetime64[ns] range.";
}  // namespace text

enum class Question : unsigned char {
  CapacityAt, NextOpen, AddWork, WorkingDuration, CapacityTime, FirstSlot, LastSlot, AddCapacityTime
};

// Source: what the columns are asked of: a calendar's immutable snapshot,
// shared with other readers, or a copy of a timeline sharing its frozen
// states. A snapshot is read from several threads at once, so it is prepared
// first (Calendar::prepare, under the interpreter lock), after which its
// questions only read it.
struct Source {
  std::shared_ptr<const Calendar> calendar;  // set for a calendar
  std::optional<Timeline> timeline;          // set for a timeline
};

// Column: `size` values read at i * step: step 1 for one value per element,
// step 0 for one value for all. Absent when values is null.
struct Column {
  const std::int64_t* values = nullptr;
  std::size_t step = 0;
  bool given() const { return values != nullptr; }
  std::int64_t at(std::size_t i) const { return values[i * step]; }
};

// Job: the question, its columns and the output (int64 microseconds, or
// nanoseconds when `nanos`; capacities for CapacityAt). kMissing in any
// column gives kMissing out.
struct Job {
  Question question = Question::CapacityAt;
  Column first;   // instants, or starts (ends for LastSlot and walks back)
  Column second;  // durations (AddWork, FirstSlot, LastSlot, AddCapacityTime) or ends (WorkingDuration, CapacityTime)
  Column until;   // search horizons (NextOpen, AddWork, FirstSlot, AddCapacityTime), earlier bounds walking back
  Capacity minimum = 1;
  std::int64_t* out = nullptr;
  std::size_t size = 0;
  bool nanos = false;
};

// Failure: the first element whose question failed, with the engine error.
struct Failure {
  std::size_t position;
  Error error;
};

// Conversions between microsecond counts and engine values. instant_from_micros
// is absent outside the reach; micros_of(Instant) floors to the microsecond as
// a datetime holds it (a leap second keeps the fraction within its second).
std::optional<Instant> instant_from_micros(std::int64_t us, TimeWindow reach);
// instant_at: v ticks of `tick` nanoseconds (1000: microseconds) since the
// epoch; the caller has checked v against the reach.
inline Instant instant_at(std::int64_t v, std::int64_t tick) {
  const std::int64_t per_second = kNanosPerSecond / tick;
  return *Instant::FromUnix(floor_div(v, per_second), static_cast<std::uint32_t>(floor_mod(v, per_second) * tick));
}
Duration duration_from_micros(std::int64_t us);
std::int64_t micros_of(Instant t);
// ticks_of: t in ticks of `tick` nanoseconds (1000: microseconds), floored;
// an error past int64 ticks.
Result<std::int64_t> ticks_of(Instant t, std::int64_t tick);

// slot_in_states: a first (or, backward, last) slot question from `point`,
// with the scalar methods' checks and bounds, answered from states as the
// slot's start or kMissing; absent when the states do not hold its range.
std::optional<Result<std::int64_t>> slot_in_states(const Timeline& states, bool backward, Instant point, Duration d,
                                                   Capacity minimum, std::optional<Instant> bound, TimeWindow reach,
                                                   std::int64_t tick = kNanosPerMicro);

// Kernel: answers one job element by element. A calendar's elements are
// answered from a timeline compiled by prepare() over the instants the job
// touches, when that range is not too long for the number of elements; what
// the range does not decide is asked of the calendar itself, except spans (open
// and weighted time) too far apart to compile, which are answered from one walk
// over their union (sweep_spans). A timeline answers from its own states, and
// a walk that would need time outside its compiled range gives kMissing. A
// negative AddWork duration walks back from the element's instant, `until`
// being the earliest instant it may use.
// AddCapacityTime is AddWork with capacity-weighted time, its answers rounded
// to the whole tick that reaches the amount (later going forward, earlier
// walking back).
class Kernel {
 public:
  Kernel(Source source, const Job& job, TimeWindow reach) : source_(std::move(source)), job_(job), reach_(reach) {}

  // prepare: scans the columns and compiles what the job needs; a failure
  // names the first element that cannot be converted.
  std::optional<Failure> prepare();
  // run: elements [from, to); stops at the first failure. Writes job.out only.
  std::optional<Failure> run(std::size_t from, std::size_t to);
  // missing: how many answers so far were kMissing.
  std::size_t missing() const { return missing_; }

 private:
  const Timeline* states() const { return source_.timeline ? &*source_.timeline : own_ ? &*own_ : nullptr; }
  bool live() const { return !source_.timeline; }
  // out: an answer in the job's ticks; an error past int64 nanoseconds.
  Result<std::int64_t> out(Instant t) const {
    if (tick_ != 1) return micros_of(t);
    return ticks_of(t, tick_);
  }
  Duration one_tick() const { return Duration::FromNormalized(0, static_cast<std::uint32_t>(tick_)); }
  // spans: the second column holds the ends of spans, not durations.
  bool spans() const {
    return job_.question == Question::WorkingDuration || job_.question == Question::CapacityTime;
  }
  // outside: a column's instant lies outside the reach.
  bool outside(std::int64_t us) const { return us < reach_first_us_ || reach_last_us_ < us; }
  // beyond_reach: an element's instants leave the reach: its first value, its
  // second when that ends a span, its until when given.
  bool beyond_reach(std::int64_t first, std::int64_t second, std::int64_t until) const {
    return outside(first) || (spans() && outside(second)) || (job_.until.given() && outside(until));
  }
  // Open (or capacity-weighted) time from the start of the states to t, in
  // nanoseconds; t lies in [window.start, window.end], in state k (or k = size()).
  __int128 integral_to(const std::vector<__int128>& before, bool weighted, Instant t, std::size_t k) const;
  std::size_t locate(Instant t) const;    // the state holding t, or Timeline::kOutside
  std::size_t index_of(Instant t) const;  // locate, with the compiled end as size()
  bool compile(Instant start, Instant end);  // false when not worth it
  void index_states();                        // a MicroIndex when the column is long enough
  void build_integrals(bool weighted);

  Result<std::int64_t> capacity_at(Instant t, std::size_t& hint) const;
  Result<std::int64_t> next_open(Instant t, std::optional<Instant> until) const;
  Result<std::int64_t> add_work(Instant s, Duration d, std::optional<Instant> until) const;
  Result<std::int64_t> walk_back(Instant e, Duration d, std::optional<Instant> until) const;
  Result<std::int64_t> between(Instant a, Instant b, bool weighted) const;
  Result<__int128> walk_between(Instant a, Instant b, bool weighted) const;
  std::optional<Failure> sweep_spans();
  Result<std::int64_t> swept(std::int64_t a, std::int64_t b) const;
  Result<std::int64_t> first_slot(Instant s, Duration d, std::optional<Instant> until) const;
  Result<std::int64_t> last_slot(Instant e, Duration d, std::optional<Instant> until) const;
  Result<std::int64_t> add_capacity_time(Instant t, std::int64_t amount_ticks, std::optional<Instant> until) const;

  Source source_;
  Job job_;
  TimeWindow reach_;
  std::optional<Failure> run_capacities(std::size_t from, std::size_t to);
  std::optional<Failure> run_walks(std::size_t from, std::size_t to);
  std::optional<Failure> run_one(std::size_t i, std::size_t& hint);
  void build_micro_sums();

  std::optional<Timeline> own_;          // a calendar's compiled stretch
  const MicroIndex* micro_ = nullptr;    // finds states for long columns (kept with the states)
  std::optional<MicroIndex> own_index_;  // the index in nanoseconds, for a job in them
  bool ascending_ = false;               // the column mostly ascends
  std::int64_t tick_ = kNanosPerMicro;  // nanoseconds per column value
  std::int64_t reach_first_us_ = 0, reach_last_us_ = 0;  // the reach in ticks
  std::size_t missing_ = 0;
  std::vector<__int128> open_before_;    // open time before state i (ns), i in [0, size]
  std::vector<std::int64_t> open_us_;    // the same in microseconds, when every boundary is a whole one
  std::vector<__int128> weighted_before_;  // capacity-weighted time before state i
  std::vector<std::int64_t> swept_points_;  // see sweep_spans(): the ends of the spans, ascending,
  std::vector<__int128> swept_before_;      // with the time before each
};

// window_columns: the state windows of [start, end) as three columns: starts
// and ends (microseconds) and capacities; the errors of the scalar questions.
struct WindowColumns {
  std::vector<std::int64_t> starts, ends, capacities;
};
Result<WindowColumns> window_columns(const Source& source, Instant start, Instant end);

}  // namespace hourloom::tools
