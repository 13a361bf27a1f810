// Turning engine errors into Python exceptions, the argument-name prefix for
// conversion TypeErrors, and the exception firewall around every entry point.
#pragma once

#include <new>

#include "binding/core/messages.h"
#include "binding/core/python.h"
#include "time/error.h"

namespace hourloom::py {

// create_internal_error_type: the dedicated BaseException subclass for
// arithmetic that left the representable range; made once at import.
bool create_internal_error_type();

// exception_type: the Python class raised for an engine error of this kind;
// `internal_error` is the internal error's class as the calling module has it.
inline PyObject* exception_type(ErrorKind kind, PyObject* internal_error) {
  switch (kind) {
    case ErrorKind::Value: return PyExc_ValueError;
    case ErrorKind::Runtime: return PyExc_RuntimeError;
    case ErrorKind::Overflow: return PyExc_OverflowError;
    case ErrorKind::Internal: return internal_error;
    case ErrorKind::Interrupted: return PyExc_KeyboardInterrupt;
  }
  return PyExc_SystemError;
}

// raise_error: sets the Python exception for an engine error; returns nullptr.
// An interrupted question keeps the exception already pending (see below).
PyObject* raise_error(const Error& e);

// python_signal_pending: the engine's interruption hook. On a thread holding
// the GIL it runs Python's pending signal handlers and says whether one
// raised (the exception stays pending); elsewhere it never interrupts.
bool python_signal_pending();

template <class T>
bool raise_if_error(const Result<T>& r) {
  if (r) return false;
  raise_error(r.error());
  return true;
}

// raise_cast_error: TypeError "'T' object cannot be cast as 'C'".
PyObject* raise_cast_error(PyObject* obj, const char* class_name);
// The same, naming the expected class by its type's own short name.
PyObject* raise_cast_error(PyObject* obj, PyTypeObject* expected);

// prefix_argument_error: when a TypeError is pending, replaces it by
// TypeError "argument 'name': <original message>". Other errors pass unchanged.
void prefix_argument_error(const char* name);

// Exception firewall: no C++ exception crosses into CPython.
template <class F>
auto guarded(F&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    raise_error(Error{ErrorKind::Internal, text::kUnexpectedFailure});
  }
  if constexpr (std::is_same_v<decltype(body()), int>)
    return -1;
  else
    return nullptr;
}

}  // namespace hourloom::py
