#include "tools/columns.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/backward.h"
#include "engine/search.h"
#include "engine/state.h"
#include "engine/time_index.h"
#include "engine/working_time.h"
#include "time/gallop.h"

namespace hourloom::tools {

namespace {

// A calendar is compiled over the job's range when the range is at most this
// long, or at most this long per element.
constexpr std::int64_t kCompileAlwaysSeconds = 400 * kSecondsPerDay;
constexpr std::int64_t kCompilePerElementSeconds = kSecondsPerDay;
// How far past the latest start a walk's stretch is compiled, beyond twice
// the longest duration.
constexpr Duration kWalkMargin = Duration::FromSeconds(14 * kSecondsPerDay);

// nanos_of: d in nanoseconds; t as nanoseconds since the epoch, a leap second
// counting as the end of its second (as instant arithmetic does).
__int128 nanos_of(Duration d) { return static_cast<__int128>(d.seconds()) * kNanosPerSecond + d.nanos(); }
__int128 nanos_of(Instant t) { return nanos_of(t.since_epoch()); }
// divide: n / d truncated, in 64 bits when n fits them (a 128-bit division
// costs far more than the rest of a question).
__int128 divide(__int128 n, std::int64_t d) {
  if (INT64_MIN < n && n <= INT64_MAX) return static_cast<std::int64_t>(n) / d;
  return n / d;
}
// duration_of_nanos: ns >= 0 nanoseconds, within one compiled range.
Duration duration_of_nanos(__int128 ns) {
  const __int128 s = divide(ns, kNanosPerSecond);
  return Duration::FromNormalized(static_cast<std::int64_t>(s), static_cast<std::uint32_t>(ns - s * kNanosPerSecond));
}
// ticks_of_nanos: a signed span in ticks of `tick` nanoseconds, truncated
// toward zero as a timedelta holds it; an error past int64 ticks.
Result<std::int64_t> ticks_of_nanos(__int128 ns, std::int64_t tick) {
  const __int128 v = tick == 1 ? ns : divide(ns, tick);
  if (v <= kMissing || v > INT64_MAX)
    return fail(ErrorKind::Overflow, tick == 1 ? text::kNanosResultRange : text::kResultRange);
  return static_cast<std::int64_t>(v);
}
// ticks128: t in ticks since the epoch, floored (a leap second keeps the
// fraction within its second).
__int128 ticks128(Instant t, std::int64_t tick) {
  const std::int64_t fraction = t.is_leap() ? std::int64_t{t.nanos()} - kNanosPerSecond : std::int64_t{t.nanos()};
  return static_cast<__int128>(t.unix_seconds()) * (kNanosPerSecond / tick) + floor_div(fraction, tick);
}
// ceil_ticks: the first whole tick at or after t.
__int128 ceil_ticks(Instant t, std::int64_t tick) {
  if (t.is_leap()) return static_cast<__int128>(t.unix_seconds() + 1) * (kNanosPerSecond / tick);
  return static_cast<__int128>(t.unix_seconds()) * (kNanosPerSecond / tick) + (t.nanos() + tick - 1) / tick;
}
// clamped: v within the int64 values a column may hold (NaT and the largest excluded).
std::int64_t clamped(__int128 v) {
  return static_cast<std::int64_t>(std::clamp<__int128>(v, INT64_MIN + 1, INT64_MAX - 1));
}
Duration duration_from_ticks(std::int64_t v, std::int64_t tick) {
  const std::int64_t per_second = kNanosPerSecond / tick;
  return Duration::FromNormalized(floor_div(v, per_second), static_cast<std::uint32_t>(floor_mod(v, per_second) * tick));
}
bool not_found(const Error& e) { return e.kind == ErrorKind::Runtime && Error{e.kind, msg::kWorkNotFound} == e; }

}  // namespace

Duration duration_from_micros(std::int64_t us) { return duration_from_ticks(us, kNanosPerMicro); }

std::optional<Instant> instant_from_micros(std::int64_t us, TimeWindow reach) {
  if (us == kMissing || us < ceil_ticks(reach.start, kNanosPerMicro) || micros_of(reach.end) < us) return std::nullopt;
  return instant_at(us, kNanosPerMicro);
}

Result<std::int64_t> ticks_of(Instant t, std::int64_t tick) {
  const __int128 v = ticks128(t, tick);
  if (v <= kMissing || v > INT64_MAX) return fail(ErrorKind::Value, text::kNanosInstantRange);
  return static_cast<std::int64_t>(v);
}

std::int64_t micros_of(Instant t) { return static_cast<std::int64_t>(ticks128(t, kNanosPerMicro)); }

// ---------------------------------------------------------------- preparing

// Long columns of capacities are asked of a MicroIndex. A timeline the size
// of the column or larger is searched as it is.
constexpr std::size_t kMicroIndexFrom = 64;
constexpr std::size_t kAscentSample = 4096;

std::optional<Failure> Kernel::prepare() {
  const Job& j = job_;
  tick_ = j.nanos ? 1 : kNanosPerMicro;
  reach_first_us_ = clamped(ceil_ticks(reach_.start, tick_));
  // In nanoseconds the reach ends past int64: its largest value is an instant like any other.
  reach_last_us_ = static_cast<std::int64_t>(std::min<__int128>(ticks128(reach_.end, tick_), INT64_MAX));
  if (j.question == Question::CapacityAt && j.size >= kMicroIndexFrom) {
    // A sample tells whether the column ascends; run() checks each instant
    // as it goes, and a calendar is compiled over the column's range.
    const std::size_t sample = std::min(j.size, kAscentSample);
    std::size_t ascents = 0;
    for (std::size_t i = 1; i < sample; ++i) ascents += j.first.at(i - 1) <= j.first.at(i);
    ascending_ = ascents + sample / 8 >= sample;
    if (live()) {
      // NaT is the smallest int64: it cannot raise the maximum, and is
      // skipped for the minimum without a branch.
      // Four running pairs, so that the comparisons do not wait on each other.
      std::int64_t lo = INT64_MAX, hi = INT64_MIN;
      const std::int64_t* v = j.first.values;
      if (j.first.step == 1) {
        std::int64_t los[4] = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
        std::int64_t his[4] = {INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
        std::size_t i = 0;
        for (; i + 4 <= j.size; i += 4)
          for (std::size_t k = 0; k < 4; ++k) {
            los[k] = std::min(los[k], v[i + k] == kMissing ? INT64_MAX : v[i + k]);
            his[k] = std::max(his[k], v[i + k]);
          }
        for (; i < j.size; ++i) {
          los[0] = std::min(los[0], v[i] == kMissing ? INT64_MAX : v[i]);
          his[0] = std::max(his[0], v[i]);
        }
        lo = std::min({los[0], los[1], los[2], los[3]});
        hi = std::max({his[0], his[1], his[2], his[3]});
      } else {
        lo = hi = v[0];
      }
      if (hi == kMissing) return std::nullopt;  // all NaT
      lo = std::max(lo, reach_first_us_);  // run() reports instants outside the reach
      hi = std::min(hi, reach_last_us_);
      if (lo > hi) return std::nullopt;
      const Instant end = capped_add(instant_at(hi, tick_), one_tick(), reach_.end);
      if (!compile(instant_at(lo, tick_), end)) return std::nullopt;
    }
    index_states();
    return std::nullopt;
  }
  // Check every instant once, and find the range the job touches.
  std::int64_t lo_us = INT64_MAX, hi_us = INT64_MIN, longest_us = 0, longest_back_us = 0;
  std::int64_t until_lo_us = INT64_MAX, until_hi_us = INT64_MIN;
  const bool pairs = spans();
  const bool walk =
      j.question == Question::NextOpen || j.question == Question::AddWork || j.question == Question::AddCapacityTime;
  for (std::size_t i = 0; i < j.size; ++i) {
    const std::int64_t a = j.first.at(i);
    const std::int64_t b = j.second.given() ? j.second.at(i) : 0;
    if (a == kMissing || (j.second.given() && b == kMissing) || (j.until.given() && j.until.at(i) == kMissing))
      continue;
    if (beyond_reach(a, b, j.until.given() ? j.until.at(i) : 0))
      return Failure{i, {ErrorKind::Value, text::kInstantRange}};
    lo_us = std::min({lo_us, a, pairs ? b : a});
    hi_us = std::max({hi_us, a, pairs ? b : a});
    if (!pairs && j.second.given()) {
      longest_us = std::max(longest_us, b);
      longest_back_us = std::max(longest_back_us, -b);  // b > kMissing
    }
    if (j.until.given()) {
      until_lo_us = std::min(until_lo_us, j.until.at(i));
      until_hi_us = std::max(until_hi_us, j.until.at(i));
    }
  }
  if (lo_us > hi_us) return std::nullopt;
  if (j.question == Question::FirstSlot || j.question == Question::LastSlot) {
    // A live calendar's states over every element's search range, unless too long.
    if (!live()) return std::nullopt;
    Instant lo = instant_at(lo_us, tick_);
    Instant end = instant_at(hi_us, tick_);
    if (j.question == Question::LastSlot)
      lo = j.until.given() ? instant_at(std::min(lo_us, until_lo_us), tick_) : earliest_bound(lo, std::nullopt, reach_);
    else
      end = j.until.given() ? instant_at(std::max(hi_us, until_hi_us), tick_) : search_horizon(end, std::nullopt, reach_);
    if (lo < end) compile(lo, end);
    return std::nullopt;
  }

  if (live()) {
    Instant lo = instant_at(lo_us, tick_);
    Instant end = capped_add(instant_at(hi_us, tick_), one_tick(), reach_.end);
    if (walk) {
      const Duration longest = duration_from_ticks(longest_us, tick_);
      end = capped_add(capped_add(capped_add(end, longest, reach_.end), longest, reach_.end), kWalkMargin, reach_.end);
      if (longest_back_us > 0) {
        const Duration back = duration_from_ticks(longest_back_us, tick_);
        lo = capped_sub(capped_sub(capped_sub(lo, back, reach_.start), back, reach_.start), kWalkMargin, reach_.start);
      }
    }
    if (!compile(lo, end)) return pairs ? sweep_spans() : std::nullopt;  // else element by element
  }
  index_states();
  if (j.question == Question::AddWork || pairs) build_integrals(false);
  if (j.question == Question::AddWork && micro_) build_micro_sums();
  if (j.question == Question::CapacityTime || j.question == Question::AddCapacityTime) build_integrals(true);
  return std::nullopt;
}

// compile: the calendar's states over [start, end) as a timeline of our own
// (without a copy of the calendar, which only window matches would read);
// false when the range is too long for the job's number of elements to be
// worth it, or its states cannot be found.
bool Kernel::compile(Instant start, Instant end) {
  const auto span = (end - start).seconds();
  const auto per_element = static_cast<__int128>(kCompilePerElementSeconds) * static_cast<__int128>(job_.size);
  if (span > kCompileAlwaysSeconds && span > per_element) return false;
  auto states = state_windows(*source_.calendar, start, end);
  if (!states) return false;
  own_.emplace(Calendar{}, TimeWindow{start, end}, *states);
  return true;
}

// index_states: a MicroIndex over the states when the column is at least as
// long as they are (a longer timeline is searched as it is).
void Kernel::index_states() {
  if (states()->size() > job_.size) return;
  if (tick_ == kNanosPerMicro) {
    micro_ = &states()->micro_index();
    return;
  }
  // Nanoseconds: an index of our own, when the states' window fits int64 of them.
  const TimeWindow w = states()->window();
  if (INT64_MIN < ceil_ticks(w.start, tick_) && ceil_ticks(w.end, tick_) < INT64_MAX)
    micro_ = &own_index_.emplace(*states(), tick_);
}

void Kernel::build_integrals(bool weighted) {
  const Timeline& tl = *states();
  std::vector<__int128>& before = weighted ? weighted_before_ : open_before_;
  before.resize(tl.size() + 1);
  __int128 sum = 0;
  for (std::size_t i = 0; i < tl.size(); ++i) {
    before[i] = sum;
    const Capacity c = tl.capacity_of(i);
    const __int128 len = nanos_of(tl.end_of(i)) - nanos_of(tl.start_of(i));
    if (c > 0) sum += weighted ? len * c : len;
  }
  before[tl.size()] = sum;
}

// build_micro_sums: open_us_, when every boundary of the states is a whole
// microsecond (as for any calendar made from Python values).
void Kernel::build_micro_sums() {
  const Timeline& tl = *states();
  const auto whole = [this](Instant t) { return !t.is_leap() && t.nanos() % tick_ == 0; };
  if (tl.size() == 0 || !whole(tl.window().end)) return;
  std::vector<std::int64_t> sums(tl.size() + 1);
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < tl.size(); ++i) {
    if (!whole(tl.start_of(i))) return;
    sums[i] = sum;
    if (tl.capacity_of(i) > 0)
      sum += static_cast<std::int64_t>(ticks128(tl.end_of(i), tick_) - ticks128(tl.start_of(i), tick_));
  }
  sums[tl.size()] = sum;
  open_us_ = std::move(sums);
}

std::size_t Kernel::locate(Instant t) const {
  if (!micro_) return states()->locate(t);
  const std::int64_t us = clamped(ticks128(t, tick_));  // a whole tick, as every column value
  return micro_->holds(us) ? micro_->state(us) : Timeline::kOutside;
}

std::size_t Kernel::index_of(Instant t) const {
  const Timeline& tl = *states();
  return t == tl.window().end ? tl.size() : locate(t);
}

__int128 Kernel::integral_to(const std::vector<__int128>& before, bool weighted, Instant t, std::size_t k) const {
  const Timeline& tl = *states();
  if (k == tl.size()) return before[k];
  const Capacity c = tl.capacity_of(k);
  if (c <= 0) return before[k];
  const __int128 part = nanos_of(t) - nanos_of(tl.start_of(k));
  return before[k] + (weighted ? part * c : part);
}

// ---------------------------------------------------------------- questions

Result<std::int64_t> Kernel::capacity_at(Instant t, std::size_t& hint) const {
  if (const Timeline* tl = states()) {
    const std::size_t i = tl->locate_near(t, hint);
    if (i != Timeline::kOutside) {
      hint = i;
      return tl->capacity_of(i);
    }
    if (!live()) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
  }
  return get_capacity_at(*source_.calendar, t);
}

Result<std::int64_t> Kernel::next_open(Instant t, std::optional<Instant> until) const {
  const Instant horizon = search_horizon(t, until, reach_);
  if (const Timeline* tl = states()) {
    std::size_t i = locate(t);
    if (i == Timeline::kOutside && !live()) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
    if (i != Timeline::kOutside) {
      while (i < tl->size() && tl->capacity_of(i) < 1) ++i;
      if (i < tl->size()) {
        const Instant open = std::max(t, tl->start_of(i));
        return open < horizon ? out(open) : kMissing;
      }
      if (!live() || !(tl->window().end < horizon)) return kMissing;
    }
  }
  auto r = get_next_open_time(*source_.calendar, t, until, reach_);
  if (!r) return Unexpected(r.error());
  return *r ? out(**r) : Result<std::int64_t>(kMissing);
}

Result<std::int64_t> Kernel::add_work(Instant s, Duration d, std::optional<Instant> until) const {
  if (const Timeline* tl = states()) {
    const std::size_t k = locate(s);
    if (k == Timeline::kOutside && !live()) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
    if (d.is_zero()) return out(s);
    if (k != Timeline::kOutside) {
      const Instant horizon = search_horizon(s, until, reach_);
      const __int128 target = integral_to(open_before_, false, s, k) + nanos_of(d);
      // The first state whose end reaches the target holds the answer (it is
      // open, as the open time before it falls short). It usually lies a few
      // states on, so the search gallops from k.
      const auto it =
          gallop_lower_bound(open_before_.begin() + static_cast<std::ptrdiff_t>(k + 1), open_before_.end(), target);
      if (it != open_before_.end()) {
        const auto j = static_cast<std::size_t>(it - open_before_.begin()) - 1;
        const Instant answer = (tl->start_of(j) + duration_of_nanos(target - open_before_[j])).value();
        return answer <= horizon ? out(answer) : kMissing;
      }
      if (!live() || !(tl->window().end < horizon)) return kMissing;
    }
  }
  if (d.is_zero()) return out(s);
  auto r = add_work_duration(*source_.calendar, s, d, until, reach_);
  if (!r) return not_found(r.error()) ? Result<std::int64_t>(kMissing) : Unexpected(r.error());
  return out(*r);
}

// The latest instant whose open time before e is d short of e's: the state
// holding it is the last whose open time before it does not exceed that.
Result<std::int64_t> Kernel::walk_back(Instant e, Duration d, std::optional<Instant> until) const {
  const Instant bound = earliest_bound(e, until, reach_);
  if (const Timeline* tl = states()) {
    const std::size_t k = index_of(e);
    if (k == Timeline::kOutside && !live()) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
    if (d.is_zero()) return out(e);
    if (k != Timeline::kOutside) {
      const __int128 target = integral_to(open_before_, false, e, k) - nanos_of(d);
      if (target >= 0) {
        // The last state up to k whose open time before it is at most the target, galloping back from k.
        const auto first = open_before_.begin();
        const auto i = static_cast<std::size_t>(
            gallop_upper_bound_back(first, first + static_cast<std::ptrdiff_t>(k + 1), target) - first - 1);
        const Instant answer = (tl->start_of(i) + duration_of_nanos(target - open_before_[i])).value();
        return bound <= answer ? out(answer) : kMissing;
      }
      if (!live() || !(bound < tl->window().start)) return kMissing;
    }
  }
  if (d.is_zero()) return out(e);
  auto r = walk_back_work(*source_.calendar, e, d, until, reach_);
  if (!r) return Unexpected(r.error());
  return *r ? out(**r) : Result<std::int64_t>(kMissing);
}

// between: open time (or capacity-weighted time) of [a, b), negated when b < a.
Result<std::int64_t> Kernel::between(Instant a, Instant b, bool weighted) const {
  const bool negate = b < a;
  if (negate) std::swap(a, b);
  __int128 total = 0;
  const Timeline* tl = states();
  const bool inside = tl && tl->window().start <= a && b <= tl->window().end;
  if (inside) {
    const std::vector<__int128>& before = weighted ? weighted_before_ : open_before_;
    total = integral_to(before, weighted, b, index_of(b)) - integral_to(before, weighted, a, index_of(a));
  } else if (!live()) {
    return fail(ErrorKind::Value, msg::kRangeOutsideTimeline);
  } else {
    auto walked = walk_between(a, b, weighted);
    if (!walked) return Unexpected(walked.error());
    total = *walked;
  }
  return ticks_of_nanos(negate ? -total : total, tick_);
}

// walk_between: the calendar's own answer for a <= b, in nanoseconds.
Result<__int128> Kernel::walk_between(Instant a, Instant b, bool weighted) const {
  __int128 total = 0;
  if (!weighted) {
    const auto open = get_working_duration(*source_.calendar, a, b);
    if (!open) return Unexpected(open.error());
    return nanos_of(*open);
  }
  StateWalk walk(*source_.calendar, a, b);
  while (true) {
    auto s = walk.next();
    if (!s) return Unexpected(s.error());
    if (!*s) return total;
    const __int128 len = nanos_of((*s)->window.end) - nanos_of((*s)->window.start);
    if ((*s)->capacity > 0) total += len * (*s)->capacity;
  }
}

// sweep_spans: every distinct end of the elements' spans, in order, with the
// open (or weighted) time before it, counted from the first end along the
// stretches the spans cover: one walk over the union of the spans (the
// calendar's walks go in pieces of bounded length), where asking each element
// would walk the overlaps again and again. Stretches that no span covers are
// never walked. Only an interruption fails; another error leaves the elements
// to be asked one by one, which report it at its position.
std::optional<Failure> Kernel::sweep_spans() {
  const Job& j = job_;
  const bool weighted = j.question == Question::CapacityTime;
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  for (std::size_t i = 0; i < j.size; ++i) {
    const std::int64_t a = j.first.at(i), b = j.second.at(i);
    if (a != kMissing && b != kMissing && a != b) spans.emplace_back(std::min(a, b), std::max(a, b));
  }
  std::sort(spans.begin(), spans.end());
  std::vector<std::int64_t> points;
  points.reserve(2 * spans.size());
  for (const auto& [a, b] : spans) {
    points.push_back(a);
    points.push_back(b);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  std::vector<__int128> before(points.size());
  std::int64_t covered_to = INT64_MIN;  // the latest end of the spans starting at or before the point
  for (std::size_t k = 0, next = 0; k + 1 < points.size(); ++k) {
    for (; next < spans.size() && spans[next].first <= points[k]; ++next)
      covered_to = std::max(covered_to, spans[next].second);
    __int128 part = 0;
    if (covered_to > points[k]) {
      auto walked = walk_between(instant_at(points[k], tick_), instant_at(points[k + 1], tick_), weighted);
      if (!walked && walked.error().kind == ErrorKind::Interrupted) return Failure{0, walked.error()};
      if (!walked) return std::nullopt;
      part = *walked;
    }
    before[k + 1] = before[k] + part;
  }
  swept_points_ = std::move(points);
  swept_before_ = std::move(before);
  return std::nullopt;
}

// swept: an element's answer from sweep_spans, whose points hold both ends of
// every span that is not empty.
Result<std::int64_t> Kernel::swept(std::int64_t a, std::int64_t b) const {
  if (a == b) return 0;
  const auto at = [&](std::int64_t us) {
    const auto k = std::lower_bound(swept_points_.begin(), swept_points_.end(), us) - swept_points_.begin();
    return swept_before_[static_cast<std::size_t>(k)];
  };
  return ticks_of_nanos(at(b) - at(a), tick_);
}

namespace {

// slot_start: a slot question's answer as the slot's start in ticks, NaT for none.
Result<std::int64_t> slot_start(const Result<std::optional<TimeWindow>>& r, std::int64_t tick) {
  if (!r) return Unexpected(r.error());
  return *r ? ticks_of((*r)->start, tick) : Result<std::int64_t>(kMissing);
}

}  // namespace

std::optional<Result<std::int64_t>> slot_in_states(const Timeline& states, bool backward, Instant point, Duration d,
                                                   Capacity minimum, std::optional<Instant> bound, TimeWindow reach,
                                                   std::int64_t tick) {
  const auto range = backward ? last_slot_range(point, d, minimum, bound, reach)
                              : first_slot_range(point, d, minimum, bound, reach);
  if (!range) return Unexpected(range.error());
  if (!*range) return kMissing;
  const TimeWindow w = states.window();
  if ((*range)->start < w.start || w.end < (*range)->end) return std::nullopt;
  return slot_start(backward ? timeline_last_slot(states, point, d, minimum, (*range)->start)
                             : timeline_first_slot(states, point, d, minimum, (*range)->end),
                    tick);
}

// A live calendar's compiled states answer when they hold the search range;
// the calendar itself answers the others.
Result<std::int64_t> Kernel::first_slot(Instant s, Duration d, std::optional<Instant> until) const {
  if (own_)
    if (auto r = slot_in_states(*own_, false, s, d, job_.minimum, until, reach_, tick_)) return *r;
  return slot_start(source_.timeline ? timeline_first_slot(*source_.timeline, s, d, job_.minimum, until)
                                     : find_first_slot(*source_.calendar, s, d, job_.minimum, until, reach_),
                    tick_);
}

Result<std::int64_t> Kernel::last_slot(Instant e, Duration d, std::optional<Instant> until) const {
  if (source_.timeline && index_of(e) == Timeline::kOutside)
    return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);  // as a walk back from e says
  if (own_)
    if (auto r = slot_in_states(*own_, true, e, d, job_.minimum, until, reach_, tick_)) return *r;
  return slot_start(source_.timeline ? timeline_last_slot(*source_.timeline, e, d, job_.minimum, until)
                                     : find_last_slot(*source_.calendar, e, d, job_.minimum, until, reach_),
                    tick_);
}

// ---------------------------------------------------------------- the loop

std::optional<Failure> Kernel::run_capacities(std::size_t from, std::size_t to) {
  const Job& j = job_;
  std::size_t hint = 0;
  const MicroIndex& index = *micro_;
  for (std::size_t i = from; i < to; ++i) {
    const std::int64_t us = j.first.at(i);
    std::int64_t c = kMissing;
    if (us != kMissing) {
      if (index.holds(us)) {
        hint = ascending_ ? index.state_near(us, hint) : index.state(us);
        c = index.capacity_of(hint);
      } else {
        if (outside(us)) return Failure{i, {ErrorKind::Value, text::kInstantRange}};
        if (live()) {
          j.out[i] = get_capacity_at(*source_.calendar, instant_at(us, tick_));
          continue;
        }
        return Failure{i, {ErrorKind::Value, msg::kTimestampOutsideTimeline}};
      }
    } else {
      ++missing_;
    }
    j.out[i] = c;
  }
  return std::nullopt;
}

// run_walks: AddWork in int64 microseconds, from states indexed by whole
// microseconds whose boundaries all are whole microseconds (open_us_), as
// add_work and walk_back answer from open_before_; an element these states
// do not settle is asked as run() asks it. A stretch's closing instant, not
// the next opening, ends a forward walk; a walk back ends at the latest instant.
std::optional<Failure> Kernel::run_walks(std::size_t from, std::size_t to) {
  const Job& j = job_;
  const MicroIndex& index = *micro_;
  const std::int64_t* before = open_us_.data();
  const std::size_t m = open_us_.size() - 1;
  const std::int64_t span = kDefaultSearchSpan.seconds() * (kNanosPerSecond / tick_);
  std::size_t hint = 0;
  for (std::size_t i = from; i < to; ++i) {
    const std::int64_t s = j.first.at(i), d = j.second.at(i), u = j.until.given() ? j.until.at(i) : 0;
    if (d != 0 && d != kMissing && u != kMissing && index.holds(s) && !(j.until.given() && outside(u))) {
      hint = ascending_ ? index.state_near(s, hint) : index.state(s);
      const std::int64_t at = before[hint] + (index.capacity_of(hint) > 0 ? s - index.start_of(hint) : 0);
      if (d > 0 && d <= before[m] - at) {
        // The first state whose open time before it reaches the target ends
        // in the state holding the answer (one there is, as d <= the rest).
        const std::int64_t target = at + d;
        const auto k =
            static_cast<std::size_t>(gallop_lower_bound(before + hint + 1, before + m + 1, target) - before) - 1;
        const std::int64_t answer = index.start_of(k) + (target - before[k]);
        const std::int64_t horizon = std::min(j.until.given() ? u : clamped(__int128{s} + span), reach_last_us_);
        j.out[i] = answer <= horizon ? answer : kMissing;
        missing_ += answer > horizon;
        continue;
      }
      if (d < 0 && -d <= at) {
        // The last state up to hint whose open time before it does not pass the target.
        const std::int64_t target = at + d;
        const auto k =
            static_cast<std::size_t>(gallop_upper_bound_back(before, before + hint + 1, target) - before) - 1;
        const std::int64_t answer = index.start_of(k) + (target - before[k]);
        const std::int64_t bound = std::max(j.until.given() ? u : clamped(__int128{s} - span), reach_first_us_);
        j.out[i] = answer >= bound ? answer : kMissing;
        missing_ += answer < bound;
        continue;
      }
    }
    if (auto f = run_one(i, hint)) return f;
  }
  return std::nullopt;
}

std::optional<Failure> Kernel::run(std::size_t from, std::size_t to) {
  const Job& j = job_;
  if (micro_ && j.question == Question::CapacityAt) return run_capacities(from, to);
  if (!open_us_.empty()) return run_walks(from, to);
  std::size_t hint = 0;
  for (std::size_t i = from; i < to; ++i)
    if (auto f = run_one(i, hint)) return f;
  return std::nullopt;
}

inline std::optional<Failure> Kernel::run_one(std::size_t i, std::size_t& hint) {
  const Job& j = job_;
  const std::int64_t a = j.first.at(i);
  const std::int64_t b = j.second.given() ? j.second.at(i) : 0;
  const std::int64_t u = j.until.given() ? j.until.at(i) : 0;
  if (a == kMissing || b == kMissing || u == kMissing) {
    j.out[i] = kMissing;
    ++missing_;
    return std::nullopt;
  }
  if (beyond_reach(a, b, u)) return Failure{i, {ErrorKind::Value, text::kInstantRange}};
  const Instant t = instant_at(a, tick_);
  std::optional<Instant> until;
  if (j.until.given()) until = instant_at(u, tick_);
  Result<std::int64_t> r;
  switch (j.question) {
    case Question::CapacityAt: r = capacity_at(t, hint); break;
    case Question::NextOpen: r = next_open(t, until); break;
    case Question::AddWork:
      r = b < 0 ? walk_back(t, duration_from_ticks(-b, tick_), until) : add_work(t, duration_from_ticks(b, tick_), until);
      break;
    case Question::WorkingDuration:
    case Question::CapacityTime:
      r = swept_points_.empty() ? between(t, instant_at(b, tick_), j.question == Question::CapacityTime) : swept(a, b);
      break;
    case Question::FirstSlot: r = first_slot(t, duration_from_ticks(b, tick_), until); break;
    case Question::LastSlot: r = last_slot(t, duration_from_ticks(b, tick_), until); break;
    case Question::AddCapacityTime: r = add_capacity_time(t, b, until); break;
  }
  if (!r) return Failure{i, r.error()};
  missing_ += *r == kMissing;
  j.out[i] = *r;
  return std::nullopt;
}

// ---------------------------------------------------------------- capacity-weighted walks

namespace {

// ceil_nanos: the nanoseconds an amount of weighted time takes at capacity c >= 1.
Duration ceil_nanos(__int128 amount, Capacity c) { return duration_of_nanos((amount + c - 1) / c); }

// weighted_stop: the state window of a walk (forward or back) in which
// `remaining` weighted nanoseconds run out, with remaining cut to the part
// taken from that window; absent when the walk ends first.
template <class Walk>
Result<std::optional<StateWindow>> weighted_stop(Walk& walk, __int128& remaining) {
  while (true) {
    auto s = walk.next();
    if (!s || !*s) return s;
    if ((*s)->capacity <= 0) continue;
    const __int128 available = (nanos_of((*s)->window.end) - nanos_of((*s)->window.start)) * (*s)->capacity;
    if (remaining <= available) return s;
    remaining -= available;
  }
}

}  // namespace

// add_capacity_time: for amount >= 0 (in ticks), the first whole tick x with
// at least the amount of capacity-weighted time in [t, x), before the search
// horizon; below 0, the latest whole tick x, no earlier than the bound, with
// at least -amount in [x, t). kMissing when the horizon or the bound
// comes first. On compiled states the weighted time before each state finds
// the state where the amount runs out.
Result<std::int64_t> Kernel::add_capacity_time(Instant t, std::int64_t amount_ticks, std::optional<Instant> until) const {
  const bool back = amount_ticks < 0;
  const __int128 amount = static_cast<__int128>(amount_ticks) * tick_ * (back ? -1 : 1);
  const Instant limit = back ? earliest_bound(t, until, reach_) : search_horizon(t, until, reach_);
  auto answer = [&](Instant x) -> Result<std::int64_t> {
    if (back ? x < limit : limit < x) return kMissing;
    if (back || tick_ == 1) return out(x);
    return static_cast<std::int64_t>(ceil_ticks(x, tick_));  // whole microseconds of a datetime
  };
  if (const Timeline* tl = states()) {
    const std::size_t k = back ? index_of(t) : locate(t);
    if (k == Timeline::kOutside && !live()) return fail(ErrorKind::Value, msg::kTimestampOutsideTimeline);
    if (amount == 0) return out(t);
    if (k != Timeline::kOutside) {
      const auto& before = weighted_before_;
      const __int128 target = integral_to(before, true, t, k) + (back ? -amount : amount);
      if (!back && target <= before.back()) {
        // The state before the first whose weighted time before it reaches the target.
        const auto j = static_cast<std::size_t>(
            gallop_lower_bound(before.begin() + static_cast<std::ptrdiff_t>(k) + 1, before.end(), target) -
            before.begin()) - 1;
        return answer((tl->start_of(j) + ceil_nanos(target - before[j], tl->capacity_of(j))).value());
      }
      if (back && target >= 0) {
        // The last state whose weighted time before it does not exceed the target.
        const auto j = static_cast<std::size_t>(
            gallop_upper_bound_back(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(k) + 1, target) -
            before.begin()) - 1;
        return answer((tl->start_of(j) + duration_of_nanos((target - before[j]) / tl->capacity_of(j))).value());
      }
      if (!live() || !(back ? limit < tl->window().start : tl->window().end < limit)) return kMissing;
    }
  }
  if (amount == 0) return out(t);
  __int128 remaining = amount;
  if (back) {
    BackwardStateWalk walk(*source_.calendar, limit, t);
    const auto s = weighted_stop(walk, remaining);
    if (!s) return Unexpected(s.error());
    return *s ? answer(((*s)->window.end - ceil_nanos(remaining, (*s)->capacity)).value()) : kMissing;
  }
  StateWalk walk(*source_.calendar, t, limit);
  const auto s = weighted_stop(walk, remaining);
  if (!s) return Unexpected(s.error());
  return *s ? answer(((*s)->window.start + ceil_nanos(remaining, (*s)->capacity)).value()) : kMissing;
}

Result<WindowColumns> window_columns(const Source& source, Instant start, Instant end) {
  auto states = source.timeline ? timeline_state_windows(*source.timeline, start, end)
                                : state_windows(*source.calendar, start, end);
  if (!states) return Unexpected(states.error());
  WindowColumns out;
  out.starts.reserve(states->size());
  out.ends.reserve(states->size());
  out.capacities.reserve(states->size());
  for (const StateWindow& s : *states) {
    out.starts.push_back(micros_of(s.window.start));
    out.ends.push_back(micros_of(s.window.end));
    out.capacities.push_back(s.capacity);
  }
  return out;
}

}  // namespace hourloom::tools
