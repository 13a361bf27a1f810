// HourloomCalendar's object (CalendarBox), its receivers, and the questions it
// shares with the point and range query objects, each declared once here by
// name, parameter list and engine function. The calendar's rows and member
// table are in calendar.cpp; the query objects' in query_objects.cpp.
//   cal.At(t).CanWork() == cal.CanWork(t);  cal.Between(s, e).GetOpenWindows() == cal.GetOpenWindows(s, e)
#pragma once

#include <memory>
#include <optional>
#include <tuple>

#include "binding/core/rows.h"
#include "engine/analysis.h"
#include "engine/working_time.h"

namespace hourloom::py {

// The Python object owning one calendar. Queries read it through value()
// under a shared hold; edits take the flag exclusively and reach the calendar
// only through edited(). Objects that answer for the calendar as it is now
// share one immutable copy of it (snapshot()), made on first demand and
// dropped by the next edit, so an unchanged calendar is copied once however
// many such objects are made.
class CalendarBox {
 public:
  explicit CalendarBox(Calendar c) : value_(std::move(c)) {}
  BorrowFlag flag;

  const Calendar& value() const { return value_; }
  // edited: the calendar to edit; its snapshot goes, so the edit need not
  // copy the derived data the snapshot shared.
  Calendar& edited() {
    snapshot_.reset();
    return value_;
  }
  std::shared_ptr<const Calendar> snapshot() const {
    if (!snapshot_) snapshot_ = std::make_shared<const Calendar>(value_);
    return snapshot_;
  }

 private:
  Calendar value_;
  mutable std::shared_ptr<const Calendar> snapshot_;
};

// OnCalendar: the receiver of HourloomCalendar members: the calendar (shared
// hold; edits: exclusive hold and edited()).
struct OnCalendar {
  using Box = CalendarBox;
  static constexpr TypeId id = TypeId::Calendar;
  static std::tuple<const Calendar&> bound(const CalendarBox& b) { return {b.value()}; }
  static std::tuple<Calendar&> bound(CalendarBox& b) { return {b.edited()}; }
};

// OnCalendarBox: a calendar member that receives the calendar object itself
// (At, Between take its snapshot once their arguments have converted).
struct OnCalendarBox {
  using Box = CalendarBox;
  static constexpr TypeId id = TypeId::Calendar;
  static std::tuple<const CalendarBox&> bound(const CalendarBox& b) { return {b}; }
};

// The values of the point and range query objects (query_objects.cpp) that At
// and Between return: an instant or a range bound to the calendar's snapshot.
struct PointQuery {
  std::shared_ptr<const Calendar> calendar;
  Instant at;
};

// The range is kept as given; the questions that need it ordered refuse it.
struct RangeQuery {
  std::shared_ptr<const Calendar> calendar;
  Instant start;
  Instant end;
};

inline PointQuery point_query(const CalendarBox& c, Instant at) { return {c.snapshot(), at}; }
inline RangeQuery range_query(const CalendarBox& c, Instant start, Instant end) { return {c.snapshot(), start, end}; }

// ---------------------------------------------------------------- searches within Python's reach

// The searches and working-time questions as the Python members ask them:
// windows and forward searches stop at the ends of datetime's range
// (kPythonReach), so each converts back to a datetime; transitions are found
// at or beyond those ends, and one Python cannot hold fails in the
// conversion. Durations and radii arrive as converted in the body.

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

inline Result<std::int64_t> working_ticks(const Calendar& c, Instant start, Instant end) {
  return ticks_of(get_working_duration(c, start, end));
}

// state_windows_list: the state windows as a new list, each made into its
// object as the walk hands it out, so that a long range's windows are never
// held twice, as engine values and as objects; nullptr when Python fails.
Result<PyObject*> state_windows_list(const Calendar& c, Instant start, Instant end);

// ---------------------------------------------------------------- shared questions

// Asked of the calendar with every argument, of a point query with its
// instant as the first, of a range query with its range as the first two.
namespace ask {

// At an instant.
inline constexpr Question<&can_work> kCanWork{"CanWork", "target"};
inline constexpr Question<&has_capacity> kHasCapacity{"HasCapacity", "target, minimumCapacity"};
inline constexpr Question<&get_capacity_at> kGetCapacityAt{"GetCapacityAt", "instant"};
inline constexpr Question<&next_open_time> kGetNextOpenTime{"GetNextOpenTime", "start, searchUntil=None"};
inline constexpr Question<&add_work> kAddWorkDuration{"AddWorkDuration", "start, duration, searchUntil=None"};
inline constexpr Question<&trace_work> kTraceWorkDuration{"TraceWorkDuration", "start, duration, searchUntil=None"};
inline constexpr Question<&windows_at> kGetWindowsAt{"GetWindowsAt", "instant, searchRadius=None"};
inline constexpr Question<&current_window<WantedState::Open>> kGetCurrentOpenWindow{"GetCurrentOpenWindow",
                                                                                    "instant, searchRadius=None"};
inline constexpr Question<&current_window<WantedState::Closed>> kGetCurrentUnavailableWindow{
    "GetCurrentUnavailableWindow", "instant, searchRadius=None"};
inline constexpr Question<&transition<get_next_transition_time>> kGetNextTransitionTime{
    "GetNextTransitionTime", "instant, searchRadius=None"};
inline constexpr Question<&transition<get_previous_transition_time>> kGetPreviousTransitionTime{
    "GetPreviousTransitionTime", "instant, searchRadius=None"};
inline constexpr Question<&transition<get_nearest_transition_time>> kGetNearestTransitionTime{
    "GetNearestTransitionTime", "instant, searchRadius=None"};

// Over a range.
inline constexpr Question<&get_open_windows> kGetOpenWindows{"GetOpenWindows", "start, end"};
inline constexpr Question<&get_capacity_windows> kGetCapacityWindows{"GetCapacityWindows",
                                                                     "start, end, minimumCapacity=1"};
inline constexpr Question<&get_unavailable_windows> kGetUnavailableWindows{"GetUnavailableWindows", "start, end"};
inline constexpr Question<&state_windows_list> kGetStateWindows{"GetStateWindows", "start, end"};
inline constexpr Question<&get_working_duration> kGetWorkingDuration{"GetWorkingDuration", "start, end"};
inline constexpr Question<&working_ticks> kGetWorkingTicks{"GetWorkingTicks", "start, end"};

}  // namespace ask

}  // namespace hourloom::py
