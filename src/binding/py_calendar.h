// HourloomCalendar: the Python object owning one engine Calendar, and the
// common steps of its members (receiver check, hold, conversion, one engine
// operation, conversion back).
#pragma once

#include "binding/decl.h"
#include "binding/objects.h"
#include "binding/py_records.h"
#include "engine/calendar.h"

namespace hourloom::py {

using CalendarBox = Guarded<Calendar>;

inline PyObject* new_calendar_object(Calendar&& c) { return emplace<CalendarBox>(TypeId::Calendar, std::move(c)); }

// ok: raises the engine error, if any; true on success.
template <class T>
bool ok(const Result<T>& r) {
  return !raise_if_error(r);
}

// read_calendar: body(const Calendar&) under the shared hold.
template <class Body>
PyObject* read_calendar(PyObject* self, Body body) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, self);
  if (!box) return nullptr;
  SharedHold hold(box->flag);
  if (!hold) return nullptr;
  return body(static_cast<const Calendar&>(box->value));
}

// edit_calendar: body(Calendar&) -> bool under the exclusive hold; the
// calendar itself on success, so that edits chain.
template <class Body>
PyObject* edit_calendar(PyObject* self, Body body) {
  CalendarBox* box = unbox<CalendarBox>(TypeId::Calendar, self);
  if (!box) return nullptr;
  ExclusiveHold hold(box->flag);
  if (!hold) return nullptr;
  if (!body(box->value)) return nullptr;
  return Py_NewRef(self);
}

// Queries (defined beside the editing members).
PyObject* calendar_can_work(PyObject* self, const Args& a);
PyObject* calendar_has_capacity(PyObject* self, const Args& a);
PyObject* calendar_get_capacity_at(PyObject* self, const Args& a);
PyObject* calendar_get_open_windows(PyObject* self, const Args& a);
PyObject* calendar_get_capacity_windows(PyObject* self, const Args& a);
PyObject* calendar_get_unavailable_windows(PyObject* self, const Args& a);
PyObject* calendar_get_state_windows(PyObject* self, const Args& a);

// Searches and working time (declared in py_calendar_search.cpp).
extern MethodDecl kGetNextOpenTime, kAddWorkDuration, kTraceWorkDuration, kGetWorkingDuration, kGetWorkingTicks,
    kGetCurrentOpenWindow, kGetCurrentUnavailableWindow, kGetNextTransitionTime, kGetPreviousTransitionTime,
    kGetNearestTransitionTime, kFindFirstSlot;

}  // namespace hourloom::py
