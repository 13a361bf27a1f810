// Interruption of long questions: loops that may run long poll interrupted()
// every kPollEvery steps, and when the process's hook says so, the question
// fails with ErrorKind::Interrupted ("The operation was interrupted.") and its
// partial result is dropped. Questions change nothing, so an interrupted one
// leaves every calendar as it was.
//   set_interrupt_hook(+[] { return stop_requested.load(); });
#pragma once

namespace hourloom {

using InterruptHook = bool (*)();

// set_interrupt_hook: the hook asked by interrupted() (nullptr: never). It is
// called from whichever thread asks a long question and must be safe there.
void set_interrupt_hook(InterruptHook hook);
// interrupted: whether the hook asks the running question to stop.
bool interrupted();

inline constexpr unsigned kPollEvery = 4096;

// InterruptPoll: a loop's countdown to its next look at the hook.
class InterruptPoll {
 public:
  // stop: every kPollEvery-th call, whether the hook asks to stop.
  bool stop() {
    if (--left_ != 0) return false;
    left_ = kPollEvery;
    return interrupted();
  }

 private:
  unsigned left_ = kPollEvery;
};

}  // namespace hourloom
