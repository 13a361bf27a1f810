// The searches and working-time questions as the Python members ask them.
// Windows and forward searches stop at the ends of datetime's range, so each
// converts back to a datetime; transitions are found at or beyond those ends,
// and one Python cannot hold fails in the conversion. Rows of the calendar (and of objects bound to a calendar) name
// these functions; durations and radii arrive as converted in the body.
#pragma once

#include "engine/analysis.h"
#include "engine/working_time.h"

namespace hourloom::py {

// kPythonReach: datetime.min to datetime.max.
inline constexpr TimeWindow kPythonReach{
    Instant::FromParts(Date::FromCivil(1, 1, 1).value(), {}),
    Instant::FromParts(Date::FromCivil(9999, 12, 31).value(), TimeOfDay::FromHms(23, 59, 59, 999'999'000))};

template <WantedState Wanted>
Result<std::optional<TimeWindow>> current_window(const Calendar& c, Instant t, std::optional<Duration> radius) {
  return get_current_state_window(c, t, radius, Wanted, kPythonReach);
}

using TransitionSearch = Result<std::optional<Instant>> (*)(const Calendar&, Instant, std::optional<Duration>,
                                                            TimeWindow);
template <TransitionSearch Search>
Result<std::optional<Instant>> transition(const Calendar& c, Instant t, std::optional<Duration> radius) {
  return Search(c, t, radius, kPythonReach);
}

inline Result<std::optional<Instant>> next_open_time(const Calendar& c, Instant start, std::optional<Instant> until) {
  return get_next_open_time(c, start, until, kPythonReach);
}

inline Result<Instant> add_work(const Calendar& c, Instant start, Duration d, std::optional<Instant> until) {
  return add_work_duration(c, start, d, until, kPythonReach);
}

inline Result<WorkingTimeTrace> trace_work(const Calendar& c, Instant start, Duration d,
                                           std::optional<Instant> until) {
  return trace_work_duration(c, start, d, until, kPythonReach);
}

inline Result<std::optional<TimeWindow>> first_slot(const Calendar& c, Instant start, Duration d, Capacity minimum,
                                                    std::optional<Instant> until) {
  return find_first_slot(c, start, d, minimum, until, kPythonReach);
}

inline Result<std::vector<WindowMatch>> windows_at(const Calendar& c, Instant t, std::optional<Duration> radius) {
  return get_windows_at(c, t, radius, kPythonReach);
}

inline Result<InstantAnalysis> analysis_at(const Calendar& c, Instant t, std::optional<Duration> radius) {
  return instant_analysis(c, t, radius, kPythonReach);
}

// ticks_of: a computed duration in ticks; OverflowError beyond 64 bits.
inline Result<std::int64_t> ticks_of(const Result<Duration>& d) {
  if (!d) return std::unexpected(d.error());
  return duration_to_ticks(*d);
}

inline Result<std::int64_t> working_ticks(const Calendar& c, Instant start, Instant end) {
  return ticks_of(get_working_duration(c, start, end));
}

}  // namespace hourloom::py
