// Engine values to and from Python beyond the scalars of convert.h: an
// instance of a module class for each value class_list.h boxes (to_py and
// from_py through ClassOf), lists for vectors, None for an absent optional or
// a null pointer, a raised error for a failed Result. Every to_py overload a
// row may call is declared here, before the row templates (rows.h) that call
// it. Each to_py returns a new reference or nullptr.
//   to_py(TimeWindow{a, b})  // a new hourloom.TimeWindow
#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/core/convert.h"
#include "binding/core/hold.h"
#include "binding/core/objects.h"
#include "binding/core/pyref.h"
#include "definition/definition.h"
#include "engine/calendar.h"
#include "engine/state.h"
#include "time/records.h"
#include "time/weekly_rule.h"
#include "timeline/batch.h"

namespace hourloom::py {

// ---------------------------------------------------------------- classes of the module

// The namespace classes hold no value; these tags stand for them in class_list.h.
struct DayOfWeekNames;
struct EntryKindNames;
struct WindowKindNames;
class CalendarBox;  // classes/calendar.h
struct PointQuery;  // classes/calendar.h
struct RangeQuery;

// ClassOf<V>: the class whose instances stand for engine value V (its TypeId
// and the Box an instance holds); undefined for values that are not boxed.
template <class V>
struct ClassOf;
#define HOURLOOM_CLASS_OF(Id, Value, BoxType, AliasRank) \
  template <>                                             \
  struct ClassOf<Value> {                                 \
    static constexpr TypeId id = TypeId::Id;              \
    using Box = BoxType;                                  \
  };
HOURLOOM_CLASSES(HOURLOOM_CLASS_OF)
#undef HOURLOOM_CLASS_OF

template <class V>
concept HasClass = requires { ClassOf<V>::id; };

// to_py(value): a new instance of the value's class owning (a copy of) it.
template <class T>
  requires HasClass<std::remove_cvref_t<T>>
PyObject* to_py(T&& value) {
  using Class = ClassOf<std::remove_cvref_t<T>>;
  return emplace<typename Class::Box>(Class::id, std::forward<T>(value));
}

// from_py(o, &value): an argument that is an instance of the value's class
// gives a copy of its value (taken under the object's shared hold where it has
// one); TypeError "'T' object cannot be cast as 'C'" otherwise.
template <HasClass V>
bool from_py(PyObject* o, V* out) {
  auto* box = unbox<typename ClassOf<V>::Box>(ClassOf<V>::id, o);
  if (!box) return false;
  if constexpr (requires { box->flag; }) {
    SharedHold hold(box->flag);
    if (!hold) return false;
    *out = box->value();
  } else {
    *out = *box;
  }
  return true;
}
// from_py(o, &pointer): the value itself, which the argument keeps alive for
// the call (immutable values only).
template <HasClass V>
  requires std::same_as<typename ClassOf<V>::Box, V>
bool from_py(PyObject* o, const V** out) {
  *out = unbox<V>(ClassOf<V>::id, o);
  return *out != nullptr;
}

// A minimum capacity: the integer conversion, then the engine's check.
inline bool from_py(PyObject* o, MinimumCapacity* out) {
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

// A PyObject* parameter receives the argument as given (borrowed), for a small
// body that decides itself how to read it.
inline bool from_py(PyObject* o, PyObject** out) {
  *out = o;
  return true;
}

// ---------------------------------------------------------------- plain values

inline PyObject* to_py(std::int32_t n) { return PyLong_FromLong(n); }
inline PyObject* to_py(std::int64_t n) { return PyLong_FromLongLong(n); }
inline PyObject* to_py(Duration d) { return duration_to_py(d); }
inline PyObject* to_py(Weekday d) { return PyLong_FromLong(weekday_number(d)); }
inline PyObject* to_py(EntryKind k) { return PyLong_FromLong(static_cast<long>(k)); }
inline PyObject* to_py(WindowKind k) { return PyLong_FromLong(static_cast<long>(k)); }
inline PyObject* to_py(const std::string& s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

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
