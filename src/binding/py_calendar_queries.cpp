// HourloomCalendar queries: capacity and state questions over an instant or a range.
#include "binding/py_calendar.h"
#include "engine/state.h"

namespace hourloom::py {

namespace {

// target_window: the TimeWindow value when `target` is one, else nullptr.
const TimeWindow* target_window(PyObject* target) {
  return Py_TYPE(target) == type_of(TypeId::TimeWindow) ? &boxed_value<TimeWindow>(target) : nullptr;
}

// range_query: (start, end) -> compute(calendar, start, end) -> list of make(item).
template <class F, class Make>
PyObject* range_query(PyObject* self, const Args& a, F compute, Make make) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start, end;
    if (!a.get(0, &start) || !a.get(1, &end)) return nullptr;
    auto items = compute(c, start, end);
    if (!ok(items)) return nullptr;
    return list_to_py(*items, make);
  });
}

}  // namespace

PyObject* calendar_can_work(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    if (const TimeWindow* w = target_window(a[0])) {
      auto covered = window_can_work(c, *w);
      return ok(covered) ? to_py(*covered) : nullptr;
    }
    Instant t;
    if (!from_py(a[0], &t)) return nullptr;
    return to_py(get_capacity_at(c, t) >= 1);
  });
}

PyObject* calendar_has_capacity(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Capacity minimum;
    if (!a.get(1, &minimum)) return nullptr;
    if (!ok(require_positive_capacity(minimum))) return nullptr;  // before the target is looked at
    if (const TimeWindow* w = target_window(a[0])) {
      auto covered = window_has_capacity(c, *w, minimum);
      return ok(covered) ? to_py(*covered) : nullptr;
    }
    Instant t;
    if (!from_py(a[0], &t)) return nullptr;
    return to_py(get_capacity_at(c, t) >= minimum);
  });
}

PyObject* calendar_get_capacity_at(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant t;
    if (!a.get(0, &t)) return nullptr;
    return PyLong_FromLong(get_capacity_at(c, t));
  });
}

PyObject* calendar_get_open_windows(PyObject* self, const Args& a) {
  return range_query(self, a, get_open_windows, window_to_py);
}

PyObject* calendar_get_unavailable_windows(PyObject* self, const Args& a) {
  return range_query(self, a, get_unavailable_windows, window_to_py);
}

PyObject* calendar_get_capacity_windows(PyObject* self, const Args& a) {
  return read_calendar(self, [&](const Calendar& c) -> PyObject* {
    Instant start, end;
    Capacity minimum;
    if (!a.get(0, &start) || !a.get(1, &end) || !a.get_or(2, &minimum, 1)) return nullptr;
    auto windows = get_capacity_windows(c, start, end, minimum);
    if (!ok(windows)) return nullptr;
    return list_to_py(*windows, window_to_py);
  });
}

PyObject* calendar_get_state_windows(PyObject* self, const Args& a) {
  return range_query(self, a, state_windows, state_window_to_py);
}

}  // namespace hourloom::py
