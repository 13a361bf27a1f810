#include "tools/build.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "binding/core/pyref.h"

namespace hourloom::tools {

namespace {

// Ints: an int64 column of n values, or of one for all (any number for
// SIZE_MAX), read from a buffer; None leaves it absent.
class Ints {
 public:
  Ints() = default;
  Ints(const Ints&) = delete;
  Ints& operator=(const Ints&) = delete;
  ~Ints() {
    if (view_.obj) PyBuffer_Release(&view_);
  }
  bool open(PyObject* obj, std::size_t n, const char* name) {
    if (obj == Py_None) return true;
    if (PyObject_GetBuffer(obj, &view_, PyBUF_C_CONTIGUOUS) < 0) return false;
    const auto count = static_cast<std::size_t>(view_.len) / sizeof(std::int64_t);
    if (view_.len % static_cast<Py_ssize_t>(sizeof(std::int64_t)) != 0 ||
        (n != SIZE_MAX && count != n && count != 1)) {
      PyErr_Format(PyExc_ValueError, "%s: expected %zu int64 values", name, n);
      return false;
    }
    column_ = {static_cast<const std::int64_t*>(view_.buf), count == 1 && n != 1 ? std::size_t{0} : std::size_t{1}};
    size_ = count;
    return true;
  }
  const Column& column() const { return column_; }
  std::size_t size() const { return size_; }

 private:
  Py_buffer view_{};
  Column column_;
  std::size_t size_ = 0;
};

// Refusal: why an element cannot be converted: the exception class (a built-in
// one, alive for the process) and its text.
struct Refusal {
  std::size_t position;
  PyObject* type;
  std::string text;
};

// refusal_raised: a refusal of the exception raised just now.
Refusal refusal_raised(std::size_t position, const char* prefix) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  py::Ref owned_type(type), owned_value(value), owned_traceback(traceback);
  py::Ref text(value ? PyObject_Str(value) : nullptr);
  const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  PyErr_Clear();
  // UnicodeEncodeError cannot be made from its text alone: it goes as the ValueError it is.
  PyObject* kind = type && PyErr_GivenExceptionMatches(type, PyExc_MemoryError) ? PyExc_MemoryError : PyExc_ValueError;
  return {position, kind, std::string(prefix) + (utf8 ? utf8 : "cannot be converted")};
}

// Reach: the microseconds a datetime can hold, and the instant of each.
class Reach {
 public:
  Reach() : first_(micros_of(python_reach().start)), last_(micros_of(python_reach().end)) {}
  // instant: the instant of us, or a refusal naming the argument.
  std::optional<Instant> instant(std::int64_t us, std::size_t i, const char* name,
                                 std::optional<Refusal>& refusal) const {
    if (us < first_ || us > last_) [[unlikely]] {
      refuse(us, i, name, refusal);
      return std::nullopt;
    }
    const std::int64_t seconds = floor_div(us, kMicrosPerSecond);
    return instant_of(seconds, static_cast<std::uint64_t>(us - seconds * kMicrosPerSecond) * kNanosPerMicro);
  }

 private:
  [[gnu::cold, gnu::noinline]] static void refuse(std::int64_t us, std::size_t i, const char* name,
                                                  std::optional<Refusal>& refusal) {
    if (us == kMissing)
      refusal = Refusal{i, PyExc_TypeError, std::string("argument '") + name + "': expected a datetime, got NaT"};
    else
      refusal = Refusal{i, PyExc_ValueError, text::kInstantRange};
  }
  std::int64_t first_, last_;
};

constexpr const char* kDateRange = "Date is outside the range of date.";

PyObject* raise_at(PyObject* type, const char* text, std::size_t position) {
  PyErr_Format(type, "%s (at position %zu)", text, position);
  return nullptr;
}

// finish: the edits made when every element converted and the engine takes
// them all; otherwise the first failure is raised: the engine's for an
// element before the refused one, else the refusal.
PyObject* finish(const Classes& classes, PyObject* cal, ItemKind kind, WindowEdits& edits,
                 const std::optional<Refusal>& refusal) {
  EditHold hold;
  if (!hold.open(classes, cal)) return nullptr;
  const auto failure = refusal ? check_window_edits(hold.current(), kind, edits)
                               : add_window_edits(hold.edited(), kind, edits);
  if (failure)
    return raise_at(exception_class(classes, failure->error.kind), failure->error.message, failure->position);
  if (refusal) return raise_at(refusal->type, refusal->text.c_str(), refusal->position);
  Py_RETURN_NONE;
}

// guarded: body() with C++ failures turned into Python exceptions.
template <class Body>
PyObject* guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (...) {
  }
  PyErr_SetString(PyExc_SystemError, "unexpected internal failure");
  return nullptr;
}

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
    const auto kind = static_cast<ItemKind>(kind_number);
    const auto n = static_cast<std::size_t>(size);
    Ints start_col, end_col, capacity_col;
    if (!start_col.open(starts, n, "starts") || !end_col.open(ends, n, "ends") ||
        !capacity_col.open(capacities, n, "capacities"))
      return nullptr;
    const Py_ssize_t id_count = ids == Py_None ? 0 : PyList_GET_SIZE(ids);
    if (ids != Py_None && id_count != size && id_count != 1) {
      PyErr_Format(PyExc_ValueError, "ids: expected %zu values", n);
      return nullptr;
    }
    const Column s = start_col.column(), e = end_col.column(), c = capacity_col.column();
    const Reach reach;
    WindowEdits edits;
    edits.windows.reserve(n);
    if (c.given()) edits.capacities.reserve(n);
    if (ids != Py_None) edits.ids.reserve(n);
    std::optional<Refusal> refusal;
    // Each element converts as the scalar edit's arguments do, in their order: id, start, end, capacity.
    for (std::size_t i = 0; i < n; ++i) {
      if (ids != Py_None) {
        PyObject* id = PyList_GET_ITEM(ids, id_count == 1 ? 0 : static_cast<Py_ssize_t>(i));
        if (!PyUnicode_Check(id)) {
          refusal = Refusal{i, PyExc_TypeError,
                            std::string("argument 'ids': '") + Py_TYPE(id)->tp_name + "' object cannot be cast as 'str'"};
          break;
        }
        Py_ssize_t length;
        const char* utf8 = PyUnicode_AsUTF8AndSize(id, &length);
        if (!utf8) {
          refusal = refusal_raised(i, "argument 'ids': ");
          break;
        }
        edits.ids.emplace_back(utf8, static_cast<std::size_t>(length));
      }
      const auto start = reach.instant(s.at(i), i, "starts", refusal);
      const auto end = start ? reach.instant(e.at(i), i, "ends", refusal) : std::nullopt;
      if (!end) break;
      if (c.given()) {
        const std::int64_t capacity = c.at(i);
        if (capacity < INT32_MIN || capacity > INT32_MAX) {
          refusal = Refusal{i, PyExc_OverflowError, "out of range integral type conversion attempted"};
          break;
        }
        edits.capacities.push_back(static_cast<Capacity>(capacity));
      }
      edits.windows.push_back({*start, *end});
    }
    if (refusal) {
      edits.windows.resize(refusal->position);  // the elements before it, for the engine's checks
      edits.ids.resize(std::min(edits.ids.size(), refusal->position));
    }
    return finish(classes, cal, kind, edits, refusal);
  });
}

PyObject* add_holidays(const Classes& classes, PyObject* args) noexcept {
  return guarded([&]() -> PyObject* {
    PyObject *cal, *days;
    if (!PyArg_ParseTuple(args, "OO", &cal, &days)) return nullptr;
    Ints day_col;
    if (!day_col.open(days, SIZE_MAX, "days")) return nullptr;
    const std::size_t n = day_col.size();
    const Column d = day_col.column();
    const std::int64_t first = python_reach().start.date().days(), last = python_reach().end.date().days();
    WindowEdits edits;
    edits.windows.reserve(n);
    std::optional<Refusal> refusal;
    // Each day as add_holiday takes it: the date, then the day after it, then the window's checks.
    for (std::size_t i = 0; i < n && !refusal; ++i) {
      const std::int64_t day = d.at(i);
      if (day == kMissing) {
        refusal = Refusal{i, PyExc_TypeError, "argument 'source': expected a date, got NaT"};
      } else if (day < first || day > last) {
        refusal = Refusal{i, PyExc_ValueError, kDateRange};
      } else if (auto w = holiday_window(Date::FromDays(static_cast<std::int32_t>(day))); !w) {
        refusal = Refusal{i, exception_class(classes, w.error().kind), w.error().message};
      } else {
        edits.windows.push_back(*w);
      }
    }
    return finish(classes, cal, ItemKind::ClosedWindow, edits, refusal);
  });
}

}  // namespace hourloom::tools
