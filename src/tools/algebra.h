// Calendars from calendars for Python: the composites of the algebra
// (union, total, difference, scale, within, effective, repeat) built from
// hourloom calendars, and the text of a composition tree.
//   _core.compose(op, (a, b), factor, start_us, end_us, period_us, switch_us, switch_parts) -> calendar
//   _core.describe(cal) -> "total\n  calendar: ...\n  ..."
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "tools/borrow.h"

namespace hourloom::tools {

// compose_calendar: args (op, calendars, factor, start_us, end_us, period_us,
// switch_us, switch_parts), op an Operator number; start_us is a within's
// start or a repeat's anchor; switch_parts[i] is the component number that
// switch i puts in force or -1. A union or total of one calendar is a copy of
// it. TypeError for an operand that is not a calendar, ValueError as compose
// refuses the composition or for an instant outside the reach.
PyObject* compose_calendar(const Classes& classes, PyObject* args);

// describe_calendar: the composition tree of a calendar, one node a line,
// indented two spaces a level.
PyObject* describe_calendar(const Classes& classes, PyObject* obj);

}  // namespace hourloom::tools
