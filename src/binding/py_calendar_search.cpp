// HourloomCalendar searches and working time: the current state window,
// transitions, the next open time, working durations, added time with its
// trace, and the first slot. Durations and radii are converted in the body,
// after the declared arguments, without an argument prefix; searches are cut to
// the instants a datetime can hold, so every answer converts back.
#include "binding/py_calendar.h"
#include "engine/working_time.h"

namespace hourloom::py {

namespace {

// kPythonReach: datetime.min to datetime.max.
constexpr TimeWindow kPythonReach{
    Instant::FromParts(Date::FromCivil(1, 1, 1).value(), {}),
    Instant::FromParts(Date::FromCivil(9999, 12, 31).value(), TimeOfDay::FromHms(23, 59, 59, 999'999'000))};

// optional_instant: argument i as an instant; None gives absent.
bool optional_instant(const Args& a, Py_ssize_t i, std::optional<Instant>* out) {
  if (a.is_none(i)) return true;
  Instant t;
  if (!a.get(i, &t)) return false;
  *out = t;
  return true;
}

// optional_duration: argument i by the duck-typed duration conversion,
// unprefixed; None gives absent.
bool optional_duration(const Args& a, Py_ssize_t i, std::optional<Duration>* out) {
  if (a.is_none(i)) return true;
  Duration d;
  if (!any_to_duration(a[i], &d)) return false;
  *out = d;
  return true;
}

PyObject* optional_instant_to_py(const std::optional<Instant>& t) { return t ? to_py(*t) : Py_NewRef(Py_None); }

// around: (instant, searchRadius=None) -> Op(calendar, instant, radius) -> convert.
template <class Op, class Convert>
PyObject* around(PyObject* self, const Args& a, Op op, Convert convert) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant t;
    std::optional<Duration> radius;
    if (!a.get(0, &t) || !optional_duration(a, 1, &radius)) return nullptr;
    auto found = op(c, t, radius);
    return ok(found) ? convert(*found) : nullptr;
  });
}

template <WantedState Wanted>
PyObject* calendar_get_current_window(PyObject* self, const Args& a) {
  return around(
      self, a,
      [](const Calendar& c, Instant t, std::optional<Duration> r) {
        return get_current_state_window(c, t, r, Wanted, kPythonReach);
      },
      optional_window_to_py);
}

using TransitionOp = Result<std::optional<Instant>> (*)(const Calendar&, Instant, std::optional<Duration>, TimeWindow);

template <TransitionOp Op>
PyObject* calendar_get_transition(PyObject* self, const Args& a) {
  return around(
      self, a, [](const Calendar& c, Instant t, std::optional<Duration> r) { return Op(c, t, r, kPythonReach); },
      optional_instant_to_py);
}

PyObject* calendar_get_next_open_time(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start;
    std::optional<Instant> until;
    if (!a.get(0, &start) || !optional_instant(a, 1, &until)) return nullptr;
    auto found = get_next_open_time(c, start, until, kPythonReach);
    return ok(found) ? optional_instant_to_py(*found) : nullptr;
  });
}

// forward: (start, duration, searchUntil=None) -> Op(calendar, start, d, until) -> convert.
template <class Op, class Convert>
PyObject* forward(PyObject* self, const Args& a, Op op, Convert convert) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start;
    std::optional<Instant> until;
    Duration d;
    if (!a.get(0, &start) || !optional_instant(a, 2, &until) || !any_to_duration(a[1], &d)) return nullptr;
    auto done = op(c, start, d, until, kPythonReach);
    return ok(done) ? convert(*done) : nullptr;
  });
}

PyObject* calendar_add_work_duration(PyObject* self, const Args& a) {
  return forward(self, a, add_work_duration, [](Instant t) { return to_py(t); });
}

PyObject* calendar_trace_work_duration(PyObject* self, const Args& a) {
  return forward(self, a, trace_work_duration,
                 [](WorkingTimeTrace& t) { return box(TypeId::WorkingTimeTrace, std::move(t)); });
}

template <PyObject* (*Convert)(Duration)>
PyObject* calendar_get_working(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start, end;
    if (!a.get(0, &start) || !a.get(1, &end)) return nullptr;
    auto d = get_working_duration(c, start, end);
    return ok(d) ? Convert(*d) : nullptr;
  });
}

PyObject* calendar_find_first_slot(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start;
    Capacity minimum;
    std::optional<Instant> until;
    Duration d;
    if (!a.get(0, &start) || !a.get_or(2, &minimum, 1) || !optional_instant(a, 3, &until) ||
        !any_to_duration(a[1], &d))
      return nullptr;
    auto slot = find_first_slot(c, start, d, minimum, until, kPythonReach);
    return ok(slot) ? optional_window_to_py(*slot) : nullptr;
  });
}

}  // namespace

constinit MethodDecl kGetNextOpenTime{"GetNextOpenTime", "start, searchUntil=None", &calendar_get_next_open_time};
constinit MethodDecl kAddWorkDuration{"AddWorkDuration", "start, duration, searchUntil=None",
                                      &calendar_add_work_duration};
constinit MethodDecl kTraceWorkDuration{"TraceWorkDuration", "start, duration, searchUntil=None",
                                        &calendar_trace_work_duration};
constinit MethodDecl kGetWorkingDuration{"GetWorkingDuration", "start, end", &calendar_get_working<duration_to_py>};
constinit MethodDecl kGetWorkingTicks{"GetWorkingTicks", "start, end", &calendar_get_working<duration_to_ticks_py>};
constinit MethodDecl kGetCurrentOpenWindow{"GetCurrentOpenWindow", "instant, searchRadius=None",
                                           &calendar_get_current_window<WantedState::Open>};
constinit MethodDecl kGetCurrentUnavailableWindow{"GetCurrentUnavailableWindow", "instant, searchRadius=None",
                                                  &calendar_get_current_window<WantedState::Closed>};
constinit MethodDecl kGetNextTransitionTime{"GetNextTransitionTime", "instant, searchRadius=None",
                                            &calendar_get_transition<get_next_transition_time>};
constinit MethodDecl kGetPreviousTransitionTime{"GetPreviousTransitionTime", "instant, searchRadius=None",
                                                &calendar_get_transition<get_previous_transition_time>};
constinit MethodDecl kGetNearestTransitionTime{"GetNearestTransitionTime", "instant, searchRadius=None",
                                               &calendar_get_transition<get_nearest_transition_time>};
constinit MethodDecl kFindFirstSlot{"FindFirstSlot", "start, duration, minimumCapacity=1, searchUntil=None",
                                    &calendar_find_first_slot};

}  // namespace hourloom::py
