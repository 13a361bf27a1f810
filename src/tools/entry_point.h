// What every _core entry point is built from: the exception firewall that
// turns C++ failures into Python exceptions, the raising of engine errors,
// and the reader of the caller's int64 buffers.
//   return guarded([&] { Int64Buffer b; if (!b.open(obj, n, false, "out")) return nullptr; ... });
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "binding/core/messages.h"
#include "tools/borrow.h"
#include "tools/columns.h"

namespace hourloom::tools {

// guarded: body() behind the exception firewall: MemoryError for bad_alloc,
// SystemError for anything else.
template <class Body>
PyObject* guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (...) {
  }
  PyErr_SetString(PyExc_SystemError, py::text::kUnexpectedFailure);
  return nullptr;
}

// raise_at: `type` with text and " (at position i)"; nullptr.
inline PyObject* raise_at(PyObject* type, const char* text, std::size_t position) {
  PyErr_Format(type, "%s (at position %zu)", text, position);
  return nullptr;
}

// raise_failure: the exception of an engine error, naming the element's
// position when given; nullptr. Ctrl-C keeps its own pending exception.
inline PyObject* raise_failure(const Classes& classes, const Error& e,
                               std::optional<std::size_t> position = std::nullopt) {
  if (e.kind == ErrorKind::Interrupted && PyErr_Occurred()) return nullptr;
  if (position) return raise_at(exception_class(classes, e.kind), e.message, *position);
  PyErr_SetString(exception_class(classes, e.kind), e.message);
  return nullptr;
}

// instant_arg: an argument in microseconds as an instant inside the reach,
// or nullopt with ValueError.
inline std::optional<Instant> instant_arg(std::int64_t us) {
  auto t = instant_from_micros(us, python_reach());
  if (!t) PyErr_SetString(PyExc_ValueError, text::kInstantRange);
  return t;
}

// Int64Buffer: one int64 buffer of the caller, released on every return path.
class Int64Buffer {
 public:
  Int64Buffer() = default;
  Int64Buffer(const Int64Buffer&) = delete;
  Int64Buffer& operator=(const Int64Buffer&) = delete;
  ~Int64Buffer() {
    if (held_) PyBuffer_Release(&view_);
  }
  // open: a contiguous one-dimensional int64 buffer of 1 or `size` items (any
  // number for SIZE_MAX; exactly `size` when writable or `exact`), one item
  // standing for all; None leaves an optional buffer absent and is refused
  // for any other.
  bool open(PyObject* obj, std::size_t size, bool writable, const char* name, bool optional = false,
            bool exact = false) {
    if (obj == Py_None) {
      if (!optional) PyErr_Format(PyExc_TypeError, "%s: expected an int64 buffer, got None", name);
      return optional;
    }
    const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(obj, &view_, flags) < 0) return false;
    held_ = true;
    const char* f = view_.format ? view_.format : "B";
    if (*f == '<' || *f == '=' || *f == '@') ++f;
    const bool int64 = view_.itemsize == 8 && (std::strcmp(f, "q") == 0 || std::strcmp(f, "l") == 0);
    const auto n = static_cast<std::size_t>(view_.len / 8);
    if (!int64 || view_.ndim > 1 || (size != SIZE_MAX && n != size && (n != 1 || writable || exact))) {
      if (size == SIZE_MAX)
        PyErr_Format(PyExc_ValueError, "%s: expected int64 values", name);
      else
        PyErr_Format(PyExc_ValueError, "%s: expected %zu int64 values", name, size);
      return false;
    }
    step_ = n == 1 && size != 1 ? 0 : 1;
    return true;
  }
  Column column() const { return held_ ? Column{static_cast<const std::int64_t*>(view_.buf), step_} : Column{}; }
  std::int64_t* data() const { return static_cast<std::int64_t*>(view_.buf); }
  std::size_t size() const { return held_ ? static_cast<std::size_t>(view_.len / 8) : 0; }

 private:
  Py_buffer view_{};
  bool held_ = false;
  std::size_t step_ = 1;
};

}  // namespace hourloom::tools
