// Ref: the single owner of one strong Python reference. Every new reference
// the binding creates lands in a Ref, so no error exit can leak or double-free.
//   Ref list(PyList_New(n)); if (!list) return nullptr; ... return list.release();
#pragma once

#include <utility>

#include "binding/core/python.h"

namespace hourloom::py {

class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* owned) : p_(owned) {}  // takes over a new reference (may be null)
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Py_XDECREF(p_);
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

}  // namespace hourloom::py
