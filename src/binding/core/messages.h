// Every fixed text the binding layer produces itself; the engine's own texts
// are in time/error.h. Texts with a % are PyErr_Format formats. Parsing texts
// follow the wording CPython uses for its own functions.
#pragma once

namespace hourloom::py::text {

// Argument conversion.
inline constexpr const char* kIntegerRange = "out of range integral type conversion attempted";
inline constexpr const char* kTzinfo = "expected a datetime without tzinfo";
inline constexpr const char* kMissingTimestamp = "expected a datetime, got NaT";
inline constexpr const char* kInvalidDate = "invalid or out-of-range date";
inline constexpr const char* kLeapSecond = "ignored leap-second, `datetime` does not support leap-seconds";
inline constexpr const char* kTimedeltaRange = "Duration is outside Python timedelta range.";
inline constexpr const char* kCastFormat = "'%s' object cannot be cast as '%s'";
inline constexpr const char* kArgumentFormat = "argument '%s': %U";
inline constexpr const char* kExpectedInstants = "expected an iterable of datetimes";

// Argument parsing.
inline constexpr const char* kTooManyPositionalFormat = "%s() takes %s positional argument%s but %zd %s given";
inline constexpr const char* kUnexpectedKeywordFormat = "%s() got an unexpected keyword argument '%U'";
inline constexpr const char* kMultipleValuesFormat = "%s() got multiple values for argument '%s'";
inline constexpr const char* kMissingFormat = "%s() missing %zu required positional argument%s: %s";
inline constexpr const char* kKeywordsNotStringsFormat = "%s() keywords must be strings";
inline constexpr const char* kUnboundMethodFormat = "unbound method %s.%s() needs an argument";
inline constexpr const char* kCannotCreateFormat = "cannot create '%s' instances";
inline constexpr const char* kTooManyDeclared = "too many declared parameters";

// Members.
inline constexpr const char* kCloseArity = "Close expects 1 or 2 arguments.";
inline constexpr const char* kCapacityArity = "Capacity expects 1 or 3 arguments.";
inline constexpr const char* kNoCalendars = "At least one calendar is required.";
inline constexpr const char* kTimeWindowOrdering = "TimeWindow only supports equality comparison.";
inline constexpr const char* kStateWindowOrdering = "HourloomStateWindow only supports equality comparison.";
inline constexpr const char* kWindowMatchOrdering = "HourloomWindowMatch only supports equality comparison.";
inline constexpr const char* kInvalidComparison = "invalid comparison operator";

// Holds, module, firewall.
inline constexpr const char* kAlreadyBorrowed = "Already borrowed";
inline constexpr const char* kAlreadyMutablyBorrowed = "Already mutably borrowed";
inline constexpr const char* kSubInterpreters = "hourloom does not support sub-interpreters";
inline constexpr const char* kUnexpectedFailure = "unexpected internal failure";

}  // namespace hourloom::py::text
