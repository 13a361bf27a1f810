#include "time/records.h"

namespace hourloom {

Result<Duration> working_duration(const std::vector<StateWindow>& segments) {
  Duration total;
  for (const StateWindow& s : segments) {
    if (!s.can_work()) continue;
    auto sum = total + length(s.window);
    if (!sum) return sum;
    total = *sum;
  }
  return total;
}

Result<Duration> consumed_duration(const std::vector<WorkingTimeTraceStep>& steps) {
  Duration total;
  for (const WorkingTimeTraceStep& s : steps) {
    auto sum = total + s.duration;
    if (!sum) return sum;
    total = *sum;
  }
  return total;
}

Result<std::int64_t> duration_to_ticks(Duration d) {
  auto micros = d.total_micros();
  if (!micros) return fail(ErrorKind::Overflow, msg::kTickOverflow);
  auto ticks = checked_mul(*micros, 10);
  if (!ticks) return fail(ErrorKind::Overflow, msg::kTickOverflow);
  return *ticks;
}

}  // namespace hourloom
