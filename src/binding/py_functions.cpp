// Hours, Minutes, Seconds and their lower-case twins: six separate functions
// that build a timedelta from an integer count of units.
#include "binding/registry.h"

namespace hourloom::py {

namespace {

template <std::int64_t SecondsPerUnit>
PyObject* units_to_timedelta(PyObject*, const Args& args) {
  std::int64_t count;
  if (!args.get(0, &count)) return nullptr;
  auto seconds = checked_mul(count, SecondsPerUnit);
  if (!seconds) return raise_error(Error{ErrorKind::Internal, msg::kDurationOverflow});
  return duration_from_seconds_py(*seconds);
}

constinit MethodDecl kHours{"Hours", "value", &units_to_timedelta<3600>};
constinit MethodDecl kMinutes{"Minutes", "value", &units_to_timedelta<60>};
constinit MethodDecl kSeconds{"Seconds", "value", &units_to_timedelta<1>};
constinit MethodDecl kHoursLower{"hours", "value", &units_to_timedelta<3600>};
constinit MethodDecl kMinutesLower{"minutes", "value", &units_to_timedelta<60>};
constinit MethodDecl kSecondsLower{"seconds", "value", &units_to_timedelta<1>};

}  // namespace

const FunctionDecl kDurationFunctions[6] = {
    {&kHours, &fast_entry<kHours>},           {&kMinutes, &fast_entry<kMinutes>},
    {&kSeconds, &fast_entry<kSeconds>},       {&kHoursLower, &fast_entry<kHoursLower>},
    {&kMinutesLower, &fast_entry<kMinutesLower>}, {&kSecondsLower, &fast_entry<kSecondsLower>},
};

}  // namespace hourloom::py
