// Reader/writer hold of one object: queries share it, edits take it
// exclusively. A conflicting hold (only reachable when argument conversion runs
// Python code that touches the same object) raises RuntimeError.
//   ExclusiveHold hold(self->flag); if (!hold) return nullptr;
#pragma once

#include <atomic>

#include "binding/core/messages.h"
#include "binding/core/python.h"

namespace hourloom::py {

class BorrowFlag {
 public:
  bool try_shared() {
    int s = state_.load(std::memory_order_relaxed);
    do {
      if (s < 0) return false;
    } while (!state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire));
    return true;
  }
  void release_shared() { state_.fetch_sub(1, std::memory_order_release); }
  bool try_exclusive() {
    int expected = 0;
    return state_.compare_exchange_strong(expected, -1, std::memory_order_acquire);
  }
  void release_exclusive() { state_.store(0, std::memory_order_release); }

 private:
  std::atomic<int> state_{0};  // -1 exclusive, n > 0 shared by n
};

class SharedHold {
 public:
  explicit SharedHold(BorrowFlag& f) : flag_(f.try_shared() ? &f : nullptr) {
    if (!flag_) PyErr_SetString(PyExc_RuntimeError, text::kAlreadyMutablyBorrowed);
  }
  SharedHold(const SharedHold&) = delete;
  SharedHold& operator=(const SharedHold&) = delete;
  ~SharedHold() {
    if (flag_) flag_->release_shared();
  }
  explicit operator bool() const { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_;
};

class ExclusiveHold {
 public:
  explicit ExclusiveHold(BorrowFlag& f) : flag_(f.try_exclusive() ? &f : nullptr) {
    if (!flag_) PyErr_SetString(PyExc_RuntimeError, text::kAlreadyBorrowed);
  }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  ~ExclusiveHold() {
    if (flag_) flag_->release_exclusive();
  }
  explicit operator bool() const { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_;
};

}  // namespace hourloom::py
