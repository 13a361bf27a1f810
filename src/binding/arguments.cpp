// Arguments that are objects of the module's classes.
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
  *out = box->value();
  return true;
}

}  // namespace hourloom::py
