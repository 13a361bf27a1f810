// Result records handed from the engine to Python: entries, capacity and state
// windows, window matches, instant and range analyses, working-time traces.
// Plain values; the Python wrappers own one each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "time/window.h"

namespace hourloom {

using Capacity = std::int32_t;

// WithCapacity: an entry that sets the capacity inside its window.
enum class EntryKind : std::uint8_t { Open = 0, Closed = 1, WithCapacity = 2 };

enum class WindowKind : std::uint8_t {
  Available = 0,
  Unavailable = 1,
  OpenRule = 2,
  OpenWindow = 3,
  BreakRule = 4,
  ClosedWindow = 5,
  CapacityOverride = 6,
};

struct Entry {
  std::string id;
  EntryKind kind = EntryKind::Open;
  TimeWindow window;
  Capacity capacity = 0;
  friend bool operator==(const Entry&, const Entry&) = default;
};

struct CapacityWindow {
  TimeWindow window;
  Capacity capacity = 0;
  friend constexpr bool operator==(const CapacityWindow&, const CapacityWindow&) = default;
};

struct StateWindow {
  TimeWindow window;
  Capacity capacity = 0;
  constexpr bool can_work() const { return capacity >= 1; }
  friend constexpr bool operator==(const StateWindow&, const StateWindow&) = default;
};

struct WindowMatch {
  WindowKind kind = WindowKind::Available;
  TimeWindow window;
  std::optional<Capacity> capacity;
  friend constexpr bool operator==(const WindowMatch&, const WindowMatch&) = default;
};

struct InstantAnalysis {
  Instant instant;
  Capacity capacity = 0;
  std::optional<TimeWindow> current_window;
  std::optional<Instant> previous_transition;
  std::optional<Instant> next_transition;
  std::vector<WindowMatch> matches;
  constexpr bool can_work() const { return capacity >= 1; }
};

struct TimelineAnalysis {
  TimeWindow window;
  std::vector<StateWindow> segments;
};

struct WorkingTimeTraceStep {
  TimeWindow window;
  Duration duration;
};

struct WorkingTimeTrace {
  Instant start;
  Duration requested;
  Instant result;
  std::vector<WorkingTimeTraceStep> steps;
};

// working_duration: the summed lengths of the segments that can work, in order.
Result<Duration> working_duration(const std::vector<StateWindow>& segments);
// consumed_duration: the summed step durations of a trace, in order.
Result<Duration> consumed_duration(const std::vector<WorkingTimeTraceStep>& steps);
// duration_to_ticks: whole microseconds (truncated toward zero) times 10;
// OverflowError "Duration tick overflow." when it leaves 64 bits.
Result<std::int64_t> duration_to_ticks(Duration d);

}  // namespace hourloom
