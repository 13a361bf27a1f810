#include "tools/borrow.h"

#include <memory>

#include "binding/classes/calendar.h"
#include "binding/core/convert.h"
#include "binding/core/errors.h"
#include "binding/core/hold.h"
#include "binding/core/objects.h"
#include "binding/core/pyref.h"

namespace hourloom::tools {

bool load_classes(Classes* out) {
  py::Ref module(PyImport_ImportModule("hourloom"));
  if (!module) return false;
  py::Ref calendar(PyObject_GetAttrString(module.get(), "HourloomCalendar"));
  py::Ref timeline(PyObject_GetAttrString(module.get(), "HourloomTimeline"));
  if (!calendar || !timeline) return false;
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
  out->calendar = calendar.release();
  out->timeline = timeline.release();
  return true;
}

bool take_source(const Classes& classes, PyObject* obj, Source* out) {
  const auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  if (type == classes.calendar) {
    auto& box = py::boxed_value<py::CalendarBox>(obj);
    py::SharedHold hold(box.flag);
    if (!hold) return false;
    out->calendar = box.snapshot();
    out->calendar->prepare();
    return true;
  }
  if (type == classes.timeline) {
    out->timeline = py::boxed_value<Timeline>(obj);
    return true;
  }
  PyErr_Format(PyExc_TypeError, "expected a HourloomCalendar or HourloomTimeline, got '%s'", Py_TYPE(obj)->tp_name);
  return false;
}

PyObject* exception_class(const Classes& classes, ErrorKind kind) {
  return py::exception_type(kind, classes.internal_error);
}

TimeWindow python_reach() { return py::kPythonReach; }

}  // namespace hourloom::tools
