// Reading hourloom's own objects from the companion module: the one unit that
// knows their layout (both modules are built from the same headers). Every
// cast of a hourloom object happens in borrow.cpp, after a check of the
// object's type by identity against the classes of the imported module.
//   Source s; if (!take_source(classes, obj, &s)) return nullptr;
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>

#include "binding/core/hold.h"
#include "tools/columns.h"
#include "tools/pickling.h"

namespace hourloom::py {
class CalendarBox;  // binding/classes/calendar.h
}  // namespace hourloom::py

namespace hourloom::tools {

// Classes: hourloom's classes and the class of its internal error (which the
// module does not name), owned for the process.
struct Classes {
  PyObject* internal_error = nullptr;  // set last: loaded once it is set
  // Every class whose instances travel, by the kind of their payload.
  PyObject* by_kind[static_cast<int>(Kind::TraceStep) + 1] = {};
  PyObject* of(Kind k) const { return by_kind[static_cast<int>(k)]; }
};

// load_classes: imports hourloom and keeps its classes; false with the import
// error (a later call loads them again).
bool load_classes(Classes* out);

// take_source: under the interpreter lock, a calendar's current snapshot
// (taken under its shared hold, released on return) made ready for readers
// without the lock (Calendar::prepare), or a copy of a timeline sharing its frozen
// states. False with TypeError for any
// other object, RuntimeError "Already mutably borrowed" while an edit holds
// the calendar.
bool take_source(const Classes& classes, PyObject* obj, Source* out);

// EditHold: the calendar of a HourloomCalendar object, held exclusively
// for an edit as long as this lives (hourloom's own edits take the same hold).
class EditHold {
 public:
  // open: false with TypeError for any other object, RuntimeError "Already
  // borrowed" while another hold is on it.
  bool open(const Classes& classes, PyObject* obj);
  // current: the calendar as it is; edited: the calendar to edit (its
  // shared snapshot goes). Both after open().
  const Calendar& current() const;
  Calendar& edited();

 private:
  std::optional<py::ExclusiveHold> hold_;
  py::CalendarBox* box_ = nullptr;
};

// take_calendar: under the interpreter lock, a copy of a calendar (taken
// under its shared hold; a composite's copy shares its operands). False with
// TypeError for any other object (a timeline answers only inside its range),
// RuntimeError "Already mutably borrowed" while an edit holds it.
bool take_calendar(const Classes& classes, PyObject* obj, Calendar* out, const char* name);

// new_calendar: a new HourloomCalendar holding c.
PyObject* new_calendar(const Classes& classes, Calendar c);

// exception_class: the Python class raised for an engine error of this kind,
// as hourloom raises it.
PyObject* exception_class(const Classes& classes, ErrorKind kind);

// dump: the payload of any object of a class in `classes.by_kind` (a
// calendar read under its shared hold); false with TypeError for any other
// object, RuntimeError "Already mutably borrowed" while an edit holds it.
bool dump(const Classes& classes, PyObject* obj, std::string* out);

// load: a new object rebuilt from a payload of dump; nullptr with ValueError
// naming the problem for a damaged payload.
PyObject* load(const Classes& classes, std::string_view payload);

// python_reach: the instants a datetime can hold, the reach of hourloom's members.
TimeWindow python_reach();

}  // namespace hourloom::tools
