#include "tools/build.h"

#include <optional>
#include <string>

#include "binding/core/messages.h"
#include "binding/core/pyref.h"
#include "tools/entry_point.h"

namespace hourloom::tools {

namespace {

// raise_converted_at: the exception raised just now, as a ValueError with
// prefix and the position (MemoryError stays one). A UnicodeEncodeError
// cannot be made from its text alone.
PyObject* raise_converted_at(const char* prefix, std::size_t position) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  py::Ref owned_type(type), owned_value(value), owned_traceback(traceback);
  py::Ref text(value ? PyObject_Str(value) : nullptr);
  const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  PyErr_Clear();
  PyObject* kind = type && PyErr_GivenExceptionMatches(type, PyExc_MemoryError) ? PyExc_MemoryError : PyExc_ValueError;
  return raise_at(kind, (std::string(prefix) + (utf8 ? utf8 : "cannot be converted")).c_str(), position);
}

// Reach: the microseconds a datetime can hold, and the instant of each.
class Reach {
 public:
  Reach() : first_(micros_of(python_reach().start)), last_(micros_of(python_reach().end)) {}
  // instant: the instant of us, or nullopt with the exception raised naming the argument.
  std::optional<Instant> instant(std::int64_t us, std::size_t i, const char* name) const {
    if (us < first_ || us > last_) [[unlikely]]
      return refuse(us, i, name);
    return instant_at(us, kNanosPerMicro);
  }

 private:
  [[gnu::cold, gnu::noinline]] static std::nullopt_t refuse(std::int64_t us, std::size_t i, const char* name) {
    if (us == kMissing)
      raise_at(PyExc_TypeError, (std::string("argument '") + name + "': " + py::text::kMissingTimestamp).c_str(), i);
    else
      raise_at(PyExc_ValueError, text::kInstantRange, i);
    return std::nullopt;
  }
  std::int64_t first_, last_;
};

}  // namespace

PyObject* add_windows(const Classes& classes, PyObject* args) noexcept {
  return guarded([&]() -> PyObject* {
    PyObject *cal, *starts, *ends, *capacities, *ids;
    int kind_number;
    Py_ssize_t size;
    if (!PyArg_ParseTuple(args, "OinOOOO", &cal, &kind_number, &size, &starts, &ends, &capacities, &ids))
      return nullptr;
    if (kind_number < 0 || kind_number >= static_cast<int>(kItemKinds) || size < 0 ||
        (ids != Py_None && !PyList_Check(ids))) {
      PyErr_SetString(PyExc_ValueError, "unknown kind of window, or ids not a list");
      return nullptr;
    }
    const auto n = static_cast<std::size_t>(size);
    Int64Buffer start_col, end_col, capacity_col;
    if (!start_col.open(starts, n, false, "starts") || !end_col.open(ends, n, false, "ends") ||
        !capacity_col.open(capacities, n, false, "capacities", true))
      return nullptr;
    const Py_ssize_t id_count = ids == Py_None ? 0 : PyList_GET_SIZE(ids);
    if (ids != Py_None && id_count != size && id_count != 1) {
      PyErr_Format(PyExc_ValueError, "ids: expected %zu values", n);
      return nullptr;
    }
    EditHold hold;
    if (!hold.open(classes, cal)) return nullptr;
    const Column s = start_col.column(), e = end_col.column(), c = capacity_col.column();
    const Reach reach;
    WindowBatch batch(hold.current(), static_cast<ItemKind>(kind_number));
    batch.reserve(n);
    // Each element converts as the scalar edit's arguments do, in their order
    // (id, start, end, capacity), and is then checked as that edit checks it.
    // The loop is made for each combination of the optional columns.
    const auto convert = [&]<bool kIds, bool kCapacities>() -> bool {
      for (std::size_t i = 0; i < n; ++i) {
        std::string_view id;
        if constexpr (kIds) {
          // The str objects lie wherever they were made: each is fetched a few elements ahead.
          if (const auto ahead = static_cast<Py_ssize_t>(i) + 8; id_count != 1 && ahead < id_count) {
            const char* object = reinterpret_cast<const char*>(PyList_GET_ITEM(ids, ahead));
            __builtin_prefetch(object);
            __builtin_prefetch(object + 64);
          }
          PyObject* item = PyList_GET_ITEM(ids, id_count == 1 ? 0 : static_cast<Py_ssize_t>(i));
          if (!PyUnicode_Check(item)) {
            const std::string text =
                std::string("argument 'ids': '") + Py_TYPE(item)->tp_name + "' object cannot be cast as 'str'";
            raise_at(PyExc_TypeError, text.c_str(), i);
            return false;
          }
          if (PyUnicode_IS_COMPACT_ASCII(item)) {  // its text is its UTF-8
            id = {static_cast<const char*>(PyUnicode_DATA(item)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(item))};
          } else {
            Py_ssize_t length;
            const char* utf8 = PyUnicode_AsUTF8AndSize(item, &length);
            if (!utf8) {
              raise_converted_at("argument 'ids': ", i);
              return false;
            }
            id = {utf8, static_cast<std::size_t>(length)};
          }
        }
        const auto start = reach.instant(s.at(i), i, "starts");
        if (!start) return false;
        const auto end = reach.instant(e.at(i), i, "ends");
        if (!end) return false;
        std::int64_t capacity = 0;
        if constexpr (kCapacities) {
          capacity = c.at(i);
          if (capacity < INT32_MIN || capacity > INT32_MAX) {
            raise_at(PyExc_OverflowError, py::text::kIntegerRange, i);
            return false;
          }
        }
        if (auto ok = batch.add(*start, *end, static_cast<Capacity>(capacity), id); !ok) {
          raise_failure(classes, ok.error(), i);
          return false;
        }
      }
      return true;
    };
    const bool converted =
        ids == Py_None ? (c.given() ? convert.operator()<false, true>() : convert.operator()<false, false>())
                       : (c.given() ? convert.operator()<true, true>() : convert.operator()<true, false>());
    if (!converted) return nullptr;
    add_window_batch(hold.edited(), batch);
    Py_RETURN_NONE;
  });
}

PyObject* add_holidays(const Classes& classes, PyObject* args) noexcept {
  return guarded([&]() -> PyObject* {
    PyObject *cal, *days;
    if (!PyArg_ParseTuple(args, "OO", &cal, &days)) return nullptr;
    Int64Buffer day_col;
    if (!day_col.open(days, SIZE_MAX, false, "days")) return nullptr;
    EditHold hold;
    if (!hold.open(classes, cal)) return nullptr;
    const std::size_t n = day_col.size();
    const Column d = day_col.column();
    const std::int64_t first = python_reach().start.date().days(), last = python_reach().end.date().days();
    WindowBatch batch(hold.current(), ItemKind::ClosedWindow);
    batch.reserve(n);
    // Each day as add_holiday takes it: the date, then the day after it, then the window's checks.
    for (std::size_t i = 0; i < n; ++i) {
      const std::int64_t day = d.at(i);
      if (day == kMissing) return raise_at(PyExc_TypeError, "argument 'source': expected a date, got NaT", i);
      if (day < first || day > last) return raise_at(PyExc_ValueError, text::kDateRange, i);
      const auto w = holiday_window(Date::FromDays(static_cast<std::int32_t>(day)));
      if (!w) return raise_failure(classes, w.error(), i);
      if (auto ok = batch.add(w->start, w->end); !ok) return raise_failure(classes, ok.error(), i);
    }
    add_window_batch(hold.edited(), batch);
    Py_RETURN_NONE;
  });
}

}  // namespace hourloom::tools
