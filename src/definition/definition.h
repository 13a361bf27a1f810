// Definition records: a calendar's saved form, one plain record per item kind,
// holding values exactly as they were read or taken (nothing is validated here;
// a day of 9 or a negative capacity is kept until a calendar is built from it).
//   Definition d; d.open_rules.push_back({1, TimeOfDay::FromHms(8, 0, 0), TimeOfDay::FromHms(17, 0, 0)});
#pragma once

#include <cstdint>
#include "time/expected.h"
#include <string>
#include <vector>

#include "time/values.h"

namespace hourloom {

struct RuleDefinition {
  std::uint8_t day = 0;  // weekday number as read, Sunday = 0
  TimeOfDay start;
  TimeOfDay end;
  friend constexpr bool operator==(const RuleDefinition&, const RuleDefinition&) = default;
};

struct WindowDefinition {
  Instant start;
  Instant end;
  friend constexpr bool operator==(const WindowDefinition&, const WindowDefinition&) = default;
};

struct CapacityDefinition {
  Instant start;
  Instant end;
  std::int32_t capacity = 0;
  friend constexpr bool operator==(const CapacityDefinition&, const CapacityDefinition&) = default;
};

struct EntryDefinition {
  std::string id;
  std::uint8_t kind = 0;  // entry kind number as read; unknown kinds are kept
  Instant start;
  Instant end;
  std::int32_t capacity = 0;
  friend bool operator==(const EntryDefinition&, const EntryDefinition&) = default;
};

struct Definition {
  std::int32_t default_capacity = 1;
  std::vector<RuleDefinition> open_rules;
  std::vector<RuleDefinition> break_rules;
  std::vector<WindowDefinition> open_windows;
  std::vector<WindowDefinition> closed_windows;
  std::vector<CapacityDefinition> capacity_windows;
  std::vector<EntryDefinition> entries;
  friend bool operator==(const Definition&, const Definition&) = default;
};

// A failure of the JSON reader or writer: its full text, position included
// ("missing field `entries` at line 1 column 97"). Always a ValueError.
struct JsonError {
  std::string message;
};

template <class T>
using JsonResult = Expected<T, JsonError>;

}  // namespace hourloom
