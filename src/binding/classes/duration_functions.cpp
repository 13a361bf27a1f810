// Hours, Minutes, Seconds and their lower-case twins: six separate functions
// that build a timedelta from an integer count of units.
#include "binding/core/rows.h"

namespace hourloom::py {

namespace {

// units: a count of units as a duration; leaving the range is an internal error.
template <std::int64_t SecondsPerUnit>
Result<Duration> units(std::int64_t count) {
  auto seconds = checked_mul(count, SecondsPerUnit);
  if (!seconds) return fail(ErrorKind::Internal, msg::kDurationOverflow);
  return Duration::FromParts(0, *seconds, 0);
}

constinit MethodDecl kHours = function<&units<3600>>("Hours", "value");
constinit MethodDecl kMinutes = function<&units<60>>("Minutes", "value");
constinit MethodDecl kSeconds = function<&units<1>>("Seconds", "value");
constinit MethodDecl kHoursLower = function<&units<3600>>("hours", "value");
constinit MethodDecl kMinutesLower = function<&units<60>>("minutes", "value");
constinit MethodDecl kSecondsLower = function<&units<1>>("seconds", "value");

}  // namespace

const FunctionDecl kDurationFunctions[6] = {
    {&kHours, &fast_entry<kHours>},           {&kMinutes, &fast_entry<kMinutes>},
    {&kSeconds, &fast_entry<kSeconds>},       {&kHoursLower, &fast_entry<kHoursLower>},
    {&kMinutesLower, &fast_entry<kMinutesLower>}, {&kSecondsLower, &fast_entry<kSecondsLower>},
};

}  // namespace hourloom::py
