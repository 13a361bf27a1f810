// Calendars from columns: many windows, or holidays, put into a calendar in
// one edit that makes all of them or none, as a loop of the scalar edits would
// make them. The thin Python layer gives wall-clock microseconds (or day
// numbers) as int64 buffers.
//   _core.add_windows(cal, kind, n, starts, ends, capacities, ids) -> None
//   _core.add_holidays(cal, days) -> None
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "tools/borrow.h"

namespace hourloom::tools {

// add_windows(cal, kind, n, starts, ends, capacities, ids): n edits of the
// engine's ItemKind number `kind`: starts[i] to ends[i] (wall-clock
// microseconds), capacities[i] for the capacity kinds, ids[i] (a list of str)
// for the entry kinds; each column holds n values or one for all, and absent
// ones are None. None once every edit is made; otherwise the exception of the
// first element that would fail, its message ending " (at position i)", and
// the calendar unchanged.
PyObject* add_windows(const Classes& classes, PyObject* args) noexcept;

// add_holidays(cal, days): closes the whole day of each day number (days since
// 1970-01-01, NaT for none), as add_windows does.
PyObject* add_holidays(const Classes& classes, PyObject* args) noexcept;

}  // namespace hourloom::tools
