/* Coverage for the fuzz harness: GCC's -fsanitize-coverage=trace-pc calls
   __sanitizer_cov_trace_pc at every basic block; this counts hits per (hashed)
   block in one 8-bit counter array that the harness registers with libFuzzer,
   which no longer reads trace-pc itself.
   gcc -shared -fPIC -O2 -o build/fuzz/coverage_shim.so bench/fuzz_coverage_shim.c */
#include <stddef.h>
#include <stdint.h>

#define SLOTS (1u << 16)
static uint8_t counters[SLOTS];
static uintptr_t pcs[2 * SLOTS]; /* (pc, flags) pairs: one fake pc per slot */

void __sanitizer_cov_trace_pc(void) {
  uintptr_t pc = (uintptr_t)__builtin_return_address(0);
  counters[(pc ^ (pc >> 16)) & (SLOTS - 1)]++;
}

uint8_t* shim_counters(void) { return counters; }
uintptr_t* shim_pcs(void) {
  for (size_t i = 0; i < SLOTS; ++i) pcs[2 * i] = i + 1;
  return pcs;
}
size_t shim_slots(void) { return SLOTS; }
