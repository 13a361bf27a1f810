// The one overload set turning engine values into new Python objects: to_py(v)
// for every value a member can return, lists for vectors, None for an absent
// optional or a null pointer. Each returns a new reference or nullptr.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/convert.h"
#include "binding/hold.h"
#include "binding/objects.h"
#include "binding/pyref.h"
#include "definition/definition.h"
#include "engine/calendar.h"
#include "time/records.h"
#include "time/weekly_rule.h"
#include "timeline/batch.h"

namespace hourloom::py {

// The Python object owning one calendar. Queries read it through value()
// under a shared hold; edits take the flag exclusively and reach the calendar
// only through edited(). Objects that answer for the calendar as it is now
// share one immutable copy of it (snapshot()), made on first demand and
// dropped by the next edit, so an unchanged calendar is copied once however
// many such objects are made.
class CalendarBox {
 public:
  explicit CalendarBox(Calendar c) : value_(std::move(c)) {}
  BorrowFlag flag;

  const Calendar& value() const { return value_; }
  Calendar& edited() { return value_; }
  // snapshot: a copy of the calendar as it is, taken again once an edit has
  // advanced its generation.
  std::shared_ptr<const Calendar> snapshot() const {
    if (!snapshot_ || snapshot_->generation() != value_.generation())
      snapshot_ = std::make_shared<const Calendar>(value_);
    return snapshot_;
  }

 private:
  Calendar value_;
  mutable std::shared_ptr<const Calendar> snapshot_;
};

inline PyObject* to_py(std::int32_t n) { return PyLong_FromLong(n); }
inline PyObject* to_py(std::int64_t n) { return PyLong_FromLongLong(n); }
inline PyObject* to_py(Duration d) { return duration_to_py(d); }
inline PyObject* to_py(Weekday d) { return PyLong_FromLong(weekday_number(d)); }
inline PyObject* to_py(EntryKind k) { return PyLong_FromLong(static_cast<long>(k)); }
inline PyObject* to_py(WindowKind k) { return PyLong_FromLong(static_cast<long>(k)); }
inline PyObject* to_py(const std::string& s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

inline PyObject* to_py(const TimeWindow& w) { return box(TypeId::TimeWindow, TimeWindow(w)); }
inline PyObject* to_py(const WeeklyRule& r) { return box(TypeId::WeeklyRule, WeeklyRule(r)); }
inline PyObject* to_py(const CapacityWindow& c) { return box(TypeId::CapacityWindow, CapacityWindow(c)); }
inline PyObject* to_py(const Entry& e) { return box(TypeId::Entry, Entry(e)); }
inline PyObject* to_py(const StateWindow& s) { return box(TypeId::StateWindow, StateWindow(s)); }
inline PyObject* to_py(const WindowMatch& m) { return box(TypeId::WindowMatch, WindowMatch(m)); }
inline PyObject* to_py(const WorkingTimeTraceStep& s) {
  return box(TypeId::WorkingTimeTraceStep, WorkingTimeTraceStep(s));
}
inline PyObject* to_py(InstantAnalysis a) { return box(TypeId::InstantAnalysis, std::move(a)); }
inline PyObject* to_py(TimelineAnalysis a) { return box(TypeId::TimelineAnalysis, std::move(a)); }
inline PyObject* to_py(WorkingTimeTrace t) { return box(TypeId::WorkingTimeTrace, std::move(t)); }
inline PyObject* to_py(Timeline t) { return box(TypeId::Timeline, std::move(t)); }
inline PyObject* to_py(TimelineBatch b) { return box(TypeId::TimelineBatch, std::move(b)); }
inline PyObject* to_py(Calendar c) { return emplace<CalendarBox>(TypeId::Calendar, std::move(c)); }
inline PyObject* to_py(Definition d) { return emplace<Definition>(TypeId::Definition, std::move(d)); }

template <class T>
PyObject* to_py(const std::optional<T>& v) {
  return v ? to_py(*v) : Py_NewRef(Py_None);
}
template <class T>
PyObject* to_py(const T* p) {
  return p ? to_py(*p) : Py_NewRef(Py_None);
}

// sequence_to_py: a new list with to_py(item) for each item of a sized range, in order.
template <class Items>
PyObject* sequence_to_py(const Items& items) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  for (const auto& value : items) {
    PyObject* item = to_py(value);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), i++, item);
  }
  return list.release();
}
template <class T>
PyObject* to_py(const std::vector<T>& items) {
  return sequence_to_py(items);
}
inline PyObject* to_py(const EntryList& entries) { return sequence_to_py(entries); }

// to_py(Result): the value's object, or the engine error raised (None for a
// Result<void>). Declared after every other overload, which it calls.
template <class T>
PyObject* to_py(Result<T>&& r) {
  if (!r) return raise_error(r.error());
  if constexpr (std::is_void_v<T>)
    return Py_NewRef(Py_None);
  else
    return to_py(std::move(*r));
}

}  // namespace hourloom::py
