#include "engine/interrupt.h"

#include <atomic>

namespace hourloom {

namespace {
std::atomic<InterruptHook> g_hook{nullptr};
}  // namespace

void set_interrupt_hook(InterruptHook hook) { g_hook.store(hook, std::memory_order_relaxed); }

bool interrupted() {
  const InterruptHook hook = g_hook.load(std::memory_order_relaxed);
  return hook != nullptr && hook();
}

}  // namespace hourloom
