#include "tools/borrow.h"

#include <iterator>
#include <memory>

#include "binding/classes/calendar.h"
#include "binding/core/convert.h"
#include "binding/core/errors.h"
#include "binding/core/hold.h"
#include "binding/core/objects.h"
#include "binding/core/pyref.h"
#include "binding/core/to_py.h"

namespace hourloom::tools {

namespace {

// The class names of the kinds of payload, in the order of Kind (the one list:
// _core.classes gives the classes to the Python side).
constexpr const char* kClassNames[] = {
    "TimeWindow",        "HourloomWeeklyRule",    "HourloomCapacityWindow",   "HourloomEntry",
    "HourloomCalendar",  "HourloomDefinition",    "HourloomPointQuery",       "HourloomRangeQuery",
    "HourloomTimeline",  "HourloomTimelineBatch", "HourloomInstantAnalysis",  "HourloomTimelineAnalysis",
    "HourloomStateWindow", "HourloomWindowMatch", "WorkingTimeTrace",         "WorkingTimeTraceStep",
};
static_assert(std::size(kClassNames) == static_cast<std::size_t>(Kind::TraceStep));

}  // namespace

bool load_classes(Classes* out) {
  py::Ref module(PyImport_ImportModule("hourloom"));
  if (!module) return false;
  for (std::size_t k = 0; k < std::size(kClassNames); ++k) {
    Py_XSETREF(out->by_kind[k + 1], PyObject_GetAttrString(module.get(), kClassNames[k]));
    if (!out->by_kind[k + 1]) return false;
  }
  // The internal error's class, as a duration beyond the representable range raises it.
  py::Ref hours(PyObject_GetAttrString(module.get(), "Hours"));
  if (!hours) return false;
  py::Ref too_long(PyObject_CallFunction(hours.get(), "L", 3'000'000'000'000LL));
  PyObject* raised = PyErr_Occurred();
  if (too_long || !raised || PyErr_GivenExceptionMatches(raised, PyExc_Exception)) {
    PyErr_SetString(PyExc_ImportError, "hourloom's internal error class was not found");
    return false;
  }
  out->internal_error = Py_NewRef(raised);
  PyErr_Clear();
  return true;
}

bool take_source(const Classes& classes, PyObject* obj, Source* out) {
  const auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  if (type == classes.of(Kind::Calendar)) {
    auto& box = py::boxed_value<py::CalendarBox>(obj);
    py::SharedHold hold(box.flag);
    if (!hold) return false;
    out->calendar = box.snapshot();
    out->calendar->prepare();
    return true;
  }
  if (type == classes.of(Kind::Timeline)) {
    out->timeline = py::boxed_value<Timeline>(obj);
    return true;
  }
  PyErr_Format(PyExc_TypeError, "expected a HourloomCalendar or HourloomTimeline, got '%s'", Py_TYPE(obj)->tp_name);
  return false;
}

bool EditHold::open(const Classes& classes, PyObject* obj) {
  if (reinterpret_cast<PyObject*>(Py_TYPE(obj)) != classes.of(Kind::Calendar)) {
    PyErr_Format(PyExc_TypeError, "expected a HourloomCalendar, got '%s'", Py_TYPE(obj)->tp_name);
    return false;
  }
  auto& box = py::boxed_value<py::CalendarBox>(obj);
  if (!hold_.emplace(box.flag)) return false;
  box_ = &box;
  return true;
}

const Calendar& EditHold::current() const { return box_->value(); }
Calendar& EditHold::edited() { return box_->edited(); }

bool take_calendar(const Classes& classes, PyObject* obj, Calendar* out, const char* name) {
  if (reinterpret_cast<PyObject*>(Py_TYPE(obj)) == classes.of(Kind::Calendar)) {
    auto& box = py::boxed_value<py::CalendarBox>(obj);
    py::SharedHold hold(box.flag);
    if (!hold) return false;
    *out = box.value();
    return true;
  }
  if (reinterpret_cast<PyObject*>(Py_TYPE(obj)) == classes.of(Kind::Timeline)) {
    PyErr_Format(PyExc_TypeError, "%s: expected a HourloomCalendar, got a HourloomTimeline, which answers only "
                 "inside its compiled range", name);
    return false;
  }
  PyErr_Format(PyExc_TypeError, "%s: expected a HourloomCalendar, got '%s'", name, Py_TYPE(obj)->tp_name);
  return false;
}

PyObject* new_calendar(const Classes& classes, Calendar c) {
  return py::emplace<py::CalendarBox>(reinterpret_cast<PyTypeObject*>(classes.of(Kind::Calendar)), std::move(c));
}

PyObject* exception_class(const Classes& classes, ErrorKind kind) {
  return py::exception_type(kind, classes.internal_error);
}

// ---------------------------------------------------------------- pickling

namespace {

template <class T>
const T& value_of(PyObject* obj) {
  return py::boxed_value<T>(obj);
}

// put_object and load mirror each other: the values of each kind are written
// and read by the Writer and Reader methods of the same names; the
// query objects, which only the binding knows, are their calendar and instants.
bool put_object(Kind kind, PyObject* obj, Writer& w) {
  switch (kind) {
    case Kind::Window: w.window(value_of<TimeWindow>(obj)); break;
    case Kind::Rule: w.rule(value_of<WeeklyRule>(obj)); break;
    case Kind::CapacityWindow: w.capacity_window(value_of<CapacityWindow>(obj)); break;
    case Kind::Entry: w.entry(value_of<Entry>(obj)); break;
    case Kind::Calendar: {
      auto& box = py::boxed_value<py::CalendarBox>(obj);
      py::SharedHold hold(box.flag);
      if (!hold) return false;
      w.calendar(box.value());
      break;
    }
    case Kind::Definition: w.definition(value_of<Definition>(obj)); break;
    case Kind::PointQuery: {
      const auto& q = value_of<py::PointQuery>(obj);
      w.calendar(*q.calendar);
      w.instant(q.at);
      break;
    }
    case Kind::RangeQuery: {
      const auto& q = value_of<py::RangeQuery>(obj);
      w.calendar(*q.calendar);
      w.instant(q.start);
      w.instant(q.end);
      break;
    }
    case Kind::Timeline: w.timeline(value_of<Timeline>(obj)); break;
    case Kind::TimelineBatch: w.batch(value_of<TimelineBatch>(obj)); break;
    case Kind::InstantAnalysis: w.analysis(value_of<InstantAnalysis>(obj)); break;
    case Kind::TimelineAnalysis: w.timeline_analysis(value_of<TimelineAnalysis>(obj)); break;
    case Kind::StateWindow: w.state(value_of<StateWindow>(obj)); break;
    case Kind::WindowMatch: w.match(value_of<WindowMatch>(obj)); break;
    case Kind::Trace: w.trace(value_of<WorkingTimeTrace>(obj)); break;
    case Kind::TraceStep: w.step(value_of<WorkingTimeTraceStep>(obj)); break;
  }
  return true;
}

Result<py::PointQuery> point_query(Reader& r) {
  HOURLOOM_READ(c, r.calendar());
  HOURLOOM_READ(at, r.instant());
  return py::PointQuery{std::make_shared<const Calendar>(std::move(*c)), *at};
}

Result<py::RangeQuery> range_query(Reader& r) {
  HOURLOOM_READ(c, r.calendar());
  HOURLOOM_READ(start, r.instant());
  HOURLOOM_READ(end, r.instant());
  return py::RangeQuery{std::make_shared<const Calendar>(std::move(*c)), *start, *end};
}

// rebuilt: a new object of `type` holding the value `V` read from the whole
// payload, or nullptr with ValueError.
template <class V, class T>
PyObject* rebuilt(PyObject* type, Reader& r, Result<T> value) {
  value = r.finish(std::move(value));
  if (!value) {
    PyErr_Format(PyExc_ValueError, "cannot rebuild a hourloom object: %s", value.error().message);
    return nullptr;
  }
  return py::emplace<V>(reinterpret_cast<PyTypeObject*>(type), std::move(*value));
}

}  // namespace

bool dump(const Classes& classes, PyObject* obj, std::string* out) {
  const auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  for (int k = 1; k <= static_cast<int>(Kind::TraceStep); ++k) {
    if (type != classes.by_kind[k]) continue;
    Writer w(static_cast<Kind>(k));
    if (!put_object(static_cast<Kind>(k), obj, w)) return false;
    if (w.wants_operators()) {
      w = Writer(static_cast<Kind>(k), true);
      if (!put_object(static_cast<Kind>(k), obj, w)) return false;
    }
    *out = w.take();
    return true;
  }
  PyErr_Format(PyExc_TypeError, "expected an object of a hourloom class, got '%s'", Py_TYPE(obj)->tp_name);
  return false;
}

PyObject* load(const Classes& classes, std::string_view payload) {
  const auto kind = Reader::kind_of(payload);
  if (!kind) {
    PyErr_Format(PyExc_ValueError, "cannot rebuild a hourloom object: %s", Reader::damaged().error().message);
    return nullptr;
  }
  PyObject* type = classes.by_kind[static_cast<int>(*kind)];
  Reader r(payload, *kind);
  switch (*kind) {
    case Kind::Window: return rebuilt<TimeWindow>(type, r, r.window());
    case Kind::Rule: return rebuilt<WeeklyRule>(type, r, r.rule());
    case Kind::CapacityWindow: return rebuilt<CapacityWindow>(type, r, r.capacity_window());
    case Kind::Entry: return rebuilt<Entry>(type, r, r.entry());
    case Kind::Calendar: return rebuilt<py::CalendarBox>(type, r, r.calendar());
    case Kind::Definition: return rebuilt<Definition>(type, r, r.definition());
    case Kind::PointQuery: return rebuilt<py::PointQuery>(type, r, point_query(r));
    case Kind::RangeQuery: return rebuilt<py::RangeQuery>(type, r, range_query(r));
    case Kind::Timeline: return rebuilt<Timeline>(type, r, r.timeline());
    case Kind::TimelineBatch: return rebuilt<TimelineBatch>(type, r, r.batch());
    case Kind::InstantAnalysis: return rebuilt<InstantAnalysis>(type, r, r.analysis());
    case Kind::TimelineAnalysis: return rebuilt<TimelineAnalysis>(type, r, r.timeline_analysis());
    case Kind::StateWindow: return rebuilt<StateWindow>(type, r, r.state());
    case Kind::WindowMatch: return rebuilt<WindowMatch>(type, r, r.match());
    case Kind::Trace: return rebuilt<WorkingTimeTrace>(type, r, r.trace());
    case Kind::TraceStep: return rebuilt<WorkingTimeTraceStep>(type, r, r.step());
  }
  return nullptr;
}

TimeWindow python_reach() { return py::kPythonReach; }

}  // namespace hourloom::tools
