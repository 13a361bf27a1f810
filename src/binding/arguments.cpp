// Arguments that are objects of the module's classes, and the target of a
// coverage question.
#include "binding/decl.h"

namespace hourloom::py {

bool from_py(PyObject* o, TimeWindow* out) {
  const TimeWindow* w = unbox<TimeWindow>(TypeId::TimeWindow, o);
  if (!w) return false;
  *out = *w;
  return true;
}

bool from_py(PyObject* o, Calendar* out) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, o);
  if (!box) return false;
  SharedHold hold(box->flag);
  if (!hold) return false;
  *out = box->value;
  return true;
}

bool from_py(PyObject* o, MinimumCapacity* out) {
  Capacity minimum;
  if (!from_py(o, &minimum)) return false;
  auto checked = MinimumCapacity::From(minimum);
  if (!checked) {
    raise_error(checked.error());
    return false;
  }
  *out = *checked;
  return true;
}

bool from_py_in_body(PyObject* o, Target* out) {
  if (Py_TYPE(o) == type_of(TypeId::TimeWindow)) {
    *out = boxed_value<TimeWindow>(o);
    return true;
  }
  Instant t;
  if (!from_py(o, &t)) return false;
  *out = t;
  return true;
}

}  // namespace hourloom::py
