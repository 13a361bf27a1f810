// Engine errors as values: an exception kind and one of the fixed messages.
// The engine never raises; the binding turns an Error into the Python exception
// of its kind, e.g. Error{ErrorKind::Value, msg::kEndBeforeStart} -> ValueError.
#pragma once

#include <string_view>

#include "time/expected.h"

namespace hourloom {

// Interrupted: a long question stopped at the interruption hook's request (engine/interrupt.h).
enum class ErrorKind : unsigned char { Value, Runtime, Overflow, Internal, Interrupted };

struct Error {
  ErrorKind kind;
  const char* message;  // always a static text: the engine's below, or the binding's
  // Compares the texts, not their addresses: the same literal need not have
  // one address across translation units (sanitizers keep copies apart).
  friend constexpr bool operator==(const Error& a, const Error& b) {
    if (a.kind != b.kind) return false;
    if (a.message == nullptr || b.message == nullptr) return a.message == b.message;
    return std::string_view(a.message) == std::string_view(b.message);
  }
};

template <class T>
using Result = Expected<T, Error>;

constexpr Unexpected<Error> fail(ErrorKind kind, const char* message) {
  return Unexpected(Error{kind, message});
}

// Every message the engine produces; the binding keeps its own texts apart
// (binding/core/messages.h).
namespace msg {
inline constexpr const char* kInterrupted = "The operation was interrupted.";
inline constexpr const char* kEndBeforeStart = "End must be greater than or equal to start.";
inline constexpr const char* kSameStartEnd = "Start and end cannot be the same time.";
inline constexpr const char* kDayRange = "Day must be in DayOfWeek range 0..6.";
inline constexpr const char* kNegativeCapacity = "Capacity cannot be negative.";
inline constexpr const char* kCapacityNotPositive = "Required capacity must be positive.";
inline constexpr const char* kNegativeDuration = "Duration cannot be negative.";
inline constexpr const char* kRadiusNotPositive = "Search radius must be positive.";
inline constexpr const char* kEmptyEntryId = "Entry id cannot be empty.";
inline constexpr const char* kEmptyJson = "JSON cannot be empty.";
inline constexpr const char* kCompositeEdit =
    "Composite calendars are query-only. Add rules to source calendars before composing.";
inline constexpr const char* kCompositeSerialize =
    "Composite calendars are query-only and cannot be serialized as one definition. "
    "Serialize the source calendars instead.";
inline constexpr const char* kNoOperands = "At least one calendar is required.";
inline constexpr const char* kOperandCount = "The operator got the wrong number of calendars.";
inline constexpr const char* kScaleRange = "Scale factor must be between 0 and 2147483647.";
inline constexpr const char* kNoSwitches = "At least one (instant, calendar) pair is required.";
inline constexpr const char* kSwitchOrder = "Switch instants must be strictly increasing.";
inline constexpr const char* kSwitchComponents = "Switches must name each calendar once, in order.";
inline constexpr const char* kPeriodNotPositive = "Period must be positive.";
inline constexpr const char* kPeriodTooLong = "The anchor plus the period leaves the representable range.";
inline constexpr const char* kWorkNotFound =
    "The requested working duration was not found inside the search range.";
inline constexpr const char* kTickOverflow = "Duration tick overflow.";
inline constexpr const char* kDateOverflow = "Date overflow.";
inline constexpr const char* kRangeOutsideTimeline = "Range is outside the compiled timeline.";
inline constexpr const char* kTimestampOutsideTimeline = "Timestamp is outside the compiled timeline.";
// Internal errors: instant or duration arithmetic left the representable range.
inline constexpr const char* kInstantAddOverflow = "Instant addition left the representable range.";
inline constexpr const char* kInstantSubOverflow = "Instant subtraction left the representable range.";
inline constexpr const char* kDurationOverflow = "Duration arithmetic left the representable range.";
}  // namespace msg

}  // namespace hourloom
